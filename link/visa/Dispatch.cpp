#include "link/visa/Dispatch.h"

#include <atomic>
#include <mutex>

namespace visa {

namespace {

struct Installation {
    std::mutex lock; // serialises installs
    std::unique_ptr<Backend> owned;
    // What the calls read, from any thread, without taking the lock.
    std::atomic<Backend*> current{nullptr};
};

Installation& Installed() {
    static Installation installation;
    return installation;
}

} // namespace

std::unique_ptr<Backend> InstallBackend(std::unique_ptr<Backend> backend) {
    Installation& installed = Installed();
    std::lock_guard lock(installed.lock);
    installed.current.store(backend.get(), std::memory_order_release);
    installed.owned.swap(backend);
    return backend;
}

Backend* CurrentBackend() {
    return Installed().current.load(std::memory_order_acquire);
}

ViStatus viOpenDefaultRM(ViSession* sesn) {
    if (sesn)
        *sesn = VI_NULL;
    Backend* backend = CurrentBackend();
    return backend ? backend->OpenDefaultRM(sesn) : VI_ERROR_SYSTEM_ERROR;
}

ViStatus viFindRsrc(ViSession sesn, ViConstString expr, ViFindList* findList, ViUInt32* retcnt,
                    ViChar desc[VI_FIND_BUFLEN]) {
    if (findList)
        *findList = VI_NULL;
    if (retcnt)
        *retcnt = 0;
    Backend* backend = CurrentBackend();
    return backend ? backend->FindRsrc(sesn, expr, findList, retcnt, desc) : VI_ERROR_SYSTEM_ERROR;
}

ViStatus viFindNext(ViFindList findList, ViChar desc[VI_FIND_BUFLEN]) {
    Backend* backend = CurrentBackend();
    return backend ? backend->FindNext(findList, desc) : VI_ERROR_SYSTEM_ERROR;
}

ViStatus viOpen(ViSession sesn, ViConstRsrc name, ViAccessMode mode, ViUInt32 timeout,
                ViSession* vi) {
    if (vi)
        *vi = VI_NULL;
    Backend* backend = CurrentBackend();
    return backend ? backend->Open(sesn, name, mode, timeout, vi) : VI_ERROR_SYSTEM_ERROR;
}

ViStatus viSetAttribute(ViObject vi, ViAttr attrName, ViAttrState attrValue) {
    Backend* backend = CurrentBackend();
    return backend ? backend->SetAttribute(vi, attrName, attrValue) : VI_ERROR_SYSTEM_ERROR;
}

ViStatus viWrite(ViSession vi, ViConstBuf buf, ViUInt32 cnt, ViUInt32* retCnt) {
    if (retCnt)
        *retCnt = 0;
    Backend* backend = CurrentBackend();
    return backend ? backend->Write(vi, buf, cnt, retCnt) : VI_ERROR_SYSTEM_ERROR;
}

ViStatus viRead(ViSession vi, ViBuf buf, ViUInt32 cnt, ViUInt32* retCnt) {
    if (retCnt)
        *retCnt = 0;
    Backend* backend = CurrentBackend();
    return backend ? backend->Read(vi, buf, cnt, retCnt) : VI_ERROR_SYSTEM_ERROR;
}

ViStatus viClose(ViObject vi) {
    Backend* backend = CurrentBackend();
    return backend ? backend->Close(vi) : VI_ERROR_SYSTEM_ERROR;
}

} // namespace visa
