#pragma once

// The part of a backend that every resource-based one shares: resource-manager, find-list
// and instrument-session handles, search patterns, per-session time-outs and the read rules
// of the standard, over a ResourceProvider that supplies the resources themselves.
//
// Safe to call from several threads at once, as VISA allows: the table of handles is
// guarded by one lock (shared by the calls that only look a handle up) that is never held while an
// instrument is talked to, so a read that waits for its time-out on one session does not hold up
// the others. Calls on one session (or one find list) run one at a time. A session closed while
// another thread still reads or writes through it stays alive until that call returns. The provider
// is asked for its resources from several threads too.

#include "link/visa/Backend.h"
#include "link/visa/Connection.h"

#include <cstddef>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <utility>
#include <vector>

namespace visa {

inline constexpr ViUInt32 DEFAULT_TIMEOUT_MS = 2000;

class ResourceBackend final : public Backend {
public:
    explicit ResourceBackend(std::unique_ptr<ResourceProvider> provider);
    ~ResourceBackend() override;

    ViStatus OpenDefaultRM(ViSession* sesn) override;
    ViStatus FindRsrc(ViSession sesn, ViConstString expr, ViFindList* findList, ViUInt32* retcnt,
                      ViChar desc[VI_FIND_BUFLEN]) override;
    ViStatus FindNext(ViFindList findList, ViChar desc[VI_FIND_BUFLEN]) override;
    ViStatus Open(ViSession sesn, ViConstRsrc name, ViAccessMode mode, ViUInt32 timeout,
                  ViSession* vi) override;
    ViStatus SetAttribute(ViObject vi, ViAttr attrName, ViAttrState attrValue) override;
    ViStatus Write(ViSession vi, ViConstBuf buf, ViUInt32 cnt, ViUInt32* retCnt) override;
    ViStatus Read(ViSession vi, ViBuf buf, ViUInt32 cnt, ViUInt32* retCnt) override;
    ViStatus Close(ViObject vi) override;

    // How many find lists and instrument sessions are open now (resource managers aside).
    std::size_t OpenFindLists() const;
    std::size_t OpenSessions() const;

private:
    enum class Kind { Manager, FindList, Session };
    struct Object {
        Kind kind = Kind::Manager;
        ViSession manager = VI_NULL; // the resource manager it was opened through
        // Held for the whole of a call on this object; the fields below are its.
        std::mutex use;
        std::vector<std::string> matches;
        std::size_t next = 0;
        std::unique_ptr<Connection> connection;
        ViUInt32 timeoutMs = DEFAULT_TIMEOUT_MS;
    };
    using Shared = std::shared_ptr<Object>;
    using Table = std::vector<std::pair<ViObject, Shared>>;

    Table::const_iterator Entry(ViObject handle) const;
    Shared Find(ViObject handle, Kind kind) const;
    bool Known(ViObject handle) const;
    Shared TransferSession(ViSession vi, bool hasBuffer, ViUInt32 cnt, ViUInt32* retCnt,
                           ViStatus& refused) const;
    ViObject Add(Shared object);
    std::size_t Count(Kind kind) const;

    std::unique_ptr<ResourceProvider> provider_;
    mutable std::shared_mutex tableLock_; // guards objects_ and nextHandle_
    Table objects_;
    ViObject nextHandle_ = 0x1000;
};

} // namespace visa
