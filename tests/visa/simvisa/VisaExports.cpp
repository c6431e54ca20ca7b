// The simulated bench in the shape of a vendor VISA library: the eight functions with C
// linkage, and nothing else visible. The system backend loads it with dlopen, so the whole
// path a vendor library takes can be exercised without one. The bench is the one that
// TQ4800_VISA=sim would give (TQ4800_SIM, TQ4800_SIM_TRACE), made on first use.

#include "backend/BackendFactory.h"

#include <cstdio>
#include <memory>
#include <string>

#define TQ4800_VISA_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

visa::Backend* SimulatedBench() {
    static const std::unique_ptr<visa::Backend> backend = [] {
        std::string error;
        std::unique_ptr<visa::Backend> made = visa::CreateBackend("sim", error);
        if (!made)
            std::fprintf(stderr, "%s\n", error.c_str());
        return made;
    }();
    return backend.get();
}

// The call made on the bench, or a system error when the bench could not be made.
template <typename... Parameters, typename... Arguments>
ViStatus OnBench(ViStatus (visa::Backend::*call)(Parameters...), Arguments... arguments) {
    visa::Backend* bench = SimulatedBench();
    return bench ? (bench->*call)(arguments...) : VI_ERROR_SYSTEM_ERROR;
}

} // namespace

TQ4800_VISA_EXPORT ViStatus viOpenDefaultRM(ViSession* sesn) {
    return OnBench(&visa::Backend::OpenDefaultRM, sesn);
}

TQ4800_VISA_EXPORT ViStatus viFindRsrc(ViSession sesn, ViConstString expr, ViFindList* findList,
                                       ViUInt32* retcnt, ViChar desc[VI_FIND_BUFLEN]) {
    return OnBench(&visa::Backend::FindRsrc, sesn, expr, findList, retcnt, desc);
}

TQ4800_VISA_EXPORT ViStatus viFindNext(ViFindList findList, ViChar desc[VI_FIND_BUFLEN]) {
    return OnBench(&visa::Backend::FindNext, findList, desc);
}

TQ4800_VISA_EXPORT ViStatus viOpen(ViSession sesn, ViConstRsrc name, ViAccessMode mode,
                                   ViUInt32 timeout, ViSession* vi) {
    return OnBench(&visa::Backend::Open, sesn, name, mode, timeout, vi);
}

TQ4800_VISA_EXPORT ViStatus viSetAttribute(ViObject vi, ViAttr attrName, ViAttrState attrValue) {
    return OnBench(&visa::Backend::SetAttribute, vi, attrName, attrValue);
}

TQ4800_VISA_EXPORT ViStatus viWrite(ViSession vi, ViConstBuf buf, ViUInt32 cnt, ViUInt32* retCnt) {
    return OnBench(&visa::Backend::Write, vi, buf, cnt, retCnt);
}

TQ4800_VISA_EXPORT ViStatus viRead(ViSession vi, ViBuf buf, ViUInt32 cnt, ViUInt32* retCnt) {
    return OnBench(&visa::Backend::Read, vi, buf, cnt, retCnt);
}

TQ4800_VISA_EXPORT ViStatus viClose(ViObject vi) {
    return OnBench(&visa::Backend::Close, vi);
}
