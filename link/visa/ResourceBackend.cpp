#include "link/visa/ResourceBackend.h"

#include "link/visa/SearchPattern.h"

#include <algorithm>
#include <cstring>
#include <regex>

namespace visa {

namespace {

void CopyName(const std::string& name, ViChar desc[VI_FIND_BUFLEN]) {
    if (!desc)
        return;
    std::size_t length = std::min<std::size_t>(name.size(), VI_FIND_BUFLEN - 1);
    std::memcpy(desc, name.data(), length);
    desc[length] = '\0';
}

} // namespace

ResourceBackend::ResourceBackend(std::unique_ptr<ResourceProvider> provider)
    : provider_(std::move(provider)) {}

ResourceBackend::~ResourceBackend() {
    // Sessions close in the order they were opened, before the provider goes.
    objects_.clear();
}

// The table is kept in the order of the handles, which is the order of opening.
ResourceBackend::Table::const_iterator ResourceBackend::Entry(ViObject handle) const {
    auto found = std::lower_bound(objects_.begin(), objects_.end(), handle,
                                  [](const auto& entry, ViObject h) { return entry.first < h; });
    return found != objects_.end() && found->first == handle ? found : objects_.end();
}

ResourceBackend::Shared ResourceBackend::Find(ViObject handle, Kind kind) const {
    std::shared_lock lock(tableLock_);
    auto found = Entry(handle);
    if (found == objects_.end() || found->second->kind != kind)
        return nullptr;
    return found->second;
}

bool ResourceBackend::Known(ViObject handle) const {
    std::shared_lock lock(tableLock_);
    return Entry(handle) != objects_.end();
}

// VI_NULL, and the object dropped, when the resource manager it was opened through has been
// closed by another thread meanwhile.
ViObject ResourceBackend::Add(Shared object) {
    std::lock_guard lock(tableLock_);
    if (object->kind != Kind::Manager) {
        auto manager = Entry(object->manager);
        if (manager == objects_.end() || manager->second->kind != Kind::Manager)
            return VI_NULL;
    }
    ViObject handle = nextHandle_++;
    auto place = std::lower_bound(objects_.begin(), objects_.end(), handle,
                                  [](const auto& entry, ViObject h) { return entry.first < h; });
    objects_.insert(place, {handle, std::move(object)});
    return handle;
}

ViStatus ResourceBackend::OpenDefaultRM(ViSession* sesn) {
    if (!sesn)
        return VI_ERROR_INV_PARAMETER;
    *sesn = Add(std::make_shared<Object>());
    return VI_SUCCESS;
}

ViStatus ResourceBackend::FindRsrc(ViSession sesn, ViConstString expr, ViFindList* findList,
                                   ViUInt32* retcnt, ViChar desc[VI_FIND_BUFLEN]) {
    if (findList)
        *findList = VI_NULL;
    if (retcnt)
        *retcnt = 0;
    if (!Find(sesn, Kind::Manager))
        return VI_ERROR_INV_OBJECT;
    if (!expr)
        return VI_ERROR_INV_EXPR;
    CompiledPattern pattern;
    ViStatus status = CompilePattern(expr, pattern);
    if (status != VI_SUCCESS)
        return status;
    std::vector<std::string> present;
    status = provider_->List(present);
    if (status != VI_SUCCESS)
        return status;

    auto list = std::make_shared<Object>();
    list->kind = Kind::FindList;
    list->manager = sesn;
    for (std::string& name : present)
        if (MatchesWhole(pattern, name))
            list->matches.push_back(std::move(name));
    if (list->matches.empty())
        return VI_ERROR_RSRC_NFOUND;
    list->next = 1;
    ViFindList handle = Add(list);
    if (handle == VI_NULL)
        return VI_ERROR_INV_OBJECT;
    CopyName(list->matches.front(), desc);
    if (retcnt)
        *retcnt = static_cast<ViUInt32>(list->matches.size());
    if (findList)
        *findList = handle;
    return VI_SUCCESS;
}

ViStatus ResourceBackend::FindNext(ViFindList findList, ViChar desc[VI_FIND_BUFLEN]) {
    Shared list = Find(findList, Kind::FindList);
    if (!list)
        return VI_ERROR_INV_OBJECT;
    std::lock_guard use(list->use);
    if (list->next >= list->matches.size())
        return VI_ERROR_RSRC_NFOUND;
    CopyName(list->matches[list->next++], desc);
    return VI_SUCCESS;
}

ViStatus ResourceBackend::Open(ViSession sesn, ViConstRsrc name, ViAccessMode mode,
                               ViUInt32 timeout, ViSession* vi) {
    if (vi)
        *vi = VI_NULL;
    if (!Find(sesn, Kind::Manager))
        return VI_ERROR_INV_OBJECT;
    if (!vi)
        return VI_ERROR_INV_PARAMETER;
    if (!name)
        return VI_ERROR_INV_RSRC_NAME;
    if (mode != VI_NO_LOCK)
        return VI_ERROR_INV_ACC_MODE; // locks are not offered
    auto session = std::make_shared<Object>();
    session->kind = Kind::Session;
    session->manager = sesn;
    ViStatus status = provider_->Open(name, timeout, session->connection);
    if (status != VI_SUCCESS)
        return status;
    *vi = Add(std::move(session));
    return *vi == VI_NULL ? VI_ERROR_INV_OBJECT : VI_SUCCESS;
}

ViStatus ResourceBackend::SetAttribute(ViObject vi, ViAttr attrName, ViAttrState attrValue) {
    Shared session = Find(vi, Kind::Session);
    if (!session)
        return Known(vi) ? VI_ERROR_NSUP_ATTR : VI_ERROR_INV_OBJECT;
    if (attrName != VI_ATTR_TMO_VALUE)
        return VI_ERROR_NSUP_ATTR;
    if (attrValue > VI_TMO_INFINITE)
        return VI_ERROR_NSUP_ATTR_STATE;
    std::lock_guard use(session->use);
    session->timeoutMs = static_cast<ViUInt32>(attrValue);
    session->connection->TimeoutSet(session->timeoutMs);
    return VI_SUCCESS;
}

// The session a read or write goes to, with its count cleared; nullptr and the reason when
// the handle is no session or the buffer is missing.
ResourceBackend::Shared ResourceBackend::TransferSession(ViSession vi, bool hasBuffer, ViUInt32 cnt,
                                                         ViUInt32* retCnt,
                                                         ViStatus& refused) const {
    if (retCnt)
        *retCnt = 0;
    Shared session = Find(vi, Kind::Session);
    if (!session)
        refused = VI_ERROR_INV_OBJECT;
    else if (!hasBuffer && cnt > 0)
        refused = VI_ERROR_INV_PARAMETER;
    return refused == VI_SUCCESS ? session : nullptr;
}

ViStatus ResourceBackend::Write(ViSession vi, ViConstBuf buf, ViUInt32 cnt, ViUInt32* retCnt) {
    ViStatus refused = VI_SUCCESS;
    Shared session = TransferSession(vi, buf != nullptr, cnt, retCnt, refused);
    if (!session)
        return refused;
    std::lock_guard use(session->use);
    ViUInt32 written = 0;
    ViStatus status = session->connection->Write(buf, cnt, session->timeoutMs, written);
    if (retCnt)
        *retCnt = written;
    return status;
}

// A message may come in pieces; reading goes on until its end or the limit.
ViStatus ResourceBackend::Read(ViSession vi, ViBuf buf, ViUInt32 cnt, ViUInt32* retCnt) {
    ViStatus refused = VI_SUCCESS;
    Shared session = TransferSession(vi, buf != nullptr, cnt, retCnt, refused);
    if (!session)
        return refused;
    std::lock_guard use(session->use);
    ViUInt32 total = 0;
    bool end = false;
    while (!end && (total < cnt || cnt == 0)) {
        ViUInt32 count = 0;
        ViStatus status =
            session->connection->Read(buf + total, cnt - total, session->timeoutMs, count, end);
        total += count;
        if (retCnt)
            *retCnt = total;
        if (status != VI_SUCCESS)
            return status;
        if (cnt == 0)
            break;
        if (count == 0 && !end)
            return VI_ERROR_IO; // a connection that neither delivers nor ends would spin here
    }
    return end ? VI_SUCCESS : VI_SUCCESS_MAX_CNT;
}

ViStatus ResourceBackend::Close(ViObject vi) {
    if (vi == VI_NULL)
        return VI_WARN_NULL_OBJECT;
    // What is closed is destroyed after the table is let go, in the order it was opened:
    // closing a connection may talk to its instrument.
    std::vector<Shared> closed;
    {
        std::lock_guard lock(tableLock_);
        auto found = Entry(vi);
        if (found == objects_.end())
            return VI_ERROR_INV_OBJECT;
        const bool manager = found->second->kind == Kind::Manager;
        auto gone = std::stable_partition(objects_.begin(), objects_.end(), [&](const auto& entry) {
            return entry.first != vi &&
                   !(manager && entry.second->kind != Kind::Manager && entry.second->manager == vi);
        });
        for (auto it = gone; it != objects_.end(); ++it)
            closed.push_back(std::move(it->second));
        objects_.erase(gone, objects_.end());
    }
    return VI_SUCCESS;
}

std::size_t ResourceBackend::Count(Kind kind) const {
    std::shared_lock lock(tableLock_);
    std::size_t count = 0;
    for (const auto& entry : objects_)
        if (entry.second->kind == kind)
            ++count;
    return count;
}

std::size_t ResourceBackend::OpenFindLists() const {
    return Count(Kind::FindList);
}

std::size_t ResourceBackend::OpenSessions() const {
    return Count(Kind::Session);
}

} // namespace visa
