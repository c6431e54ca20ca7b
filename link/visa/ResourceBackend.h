#pragma once

// The part of a backend that every resource-based one shares: resource-manager, find-list
// and instrument-session handles, search patterns, per-session time-outs and the read rules
// of the standard, over a ResourceProvider that supplies the resources themselves.
// Single-threaded, like the utility.

#include "link/visa/Backend.h"
#include "link/visa/Connection.h"

#include <cstddef>
#include <map>
#include <memory>
#include <string>
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
        std::vector<std::string> matches;
        std::size_t next = 0;
        std::unique_ptr<Connection> connection;
        ViUInt32 timeoutMs = DEFAULT_TIMEOUT_MS;
    };

    Object* Find(ViObject handle, Kind kind);
    Object* TransferSession(ViSession vi, bool hasBuffer, ViUInt32 cnt, ViUInt32* retCnt,
                            ViStatus& refused);
    ViObject Add(Object object);
    std::size_t Count(Kind kind) const;

    std::unique_ptr<ResourceProvider> provider_;
    std::map<ViObject, Object> objects_;
    ViObject nextHandle_ = 0x1000;
};

} // namespace visa
