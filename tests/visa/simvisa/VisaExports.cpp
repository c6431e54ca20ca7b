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

} // namespace

TQ4800_VISA_EXPORT ViStatus viOpenDefaultRM(ViSession* sesn) {
    visa::Backend* bench = SimulatedBench();
    return bench ? bench->OpenDefaultRM(sesn) : VI_ERROR_SYSTEM_ERROR;
}

TQ4800_VISA_EXPORT ViStatus viFindRsrc(ViSession sesn, ViConstString expr, ViFindList* findList,
                                       ViUInt32* retcnt, ViChar desc[VI_FIND_BUFLEN]) {
    visa::Backend* bench = SimulatedBench();
    return bench ? bench->FindRsrc(sesn, expr, findList, retcnt, desc) : VI_ERROR_SYSTEM_ERROR;
}

TQ4800_VISA_EXPORT ViStatus viFindNext(ViFindList findList, ViChar desc[VI_FIND_BUFLEN]) {
    visa::Backend* bench = SimulatedBench();
    return bench ? bench->FindNext(findList, desc) : VI_ERROR_SYSTEM_ERROR;
}

TQ4800_VISA_EXPORT ViStatus viOpen(ViSession sesn, ViConstRsrc name, ViAccessMode mode,
                                   ViUInt32 timeout, ViSession* vi) {
    visa::Backend* bench = SimulatedBench();
    return bench ? bench->Open(sesn, name, mode, timeout, vi) : VI_ERROR_SYSTEM_ERROR;
}

TQ4800_VISA_EXPORT ViStatus viSetAttribute(ViObject vi, ViAttr attrName, ViAttrState attrValue) {
    visa::Backend* bench = SimulatedBench();
    return bench ? bench->SetAttribute(vi, attrName, attrValue) : VI_ERROR_SYSTEM_ERROR;
}

TQ4800_VISA_EXPORT ViStatus viWrite(ViSession vi, ViConstBuf buf, ViUInt32 cnt, ViUInt32* retCnt) {
    visa::Backend* bench = SimulatedBench();
    return bench ? bench->Write(vi, buf, cnt, retCnt) : VI_ERROR_SYSTEM_ERROR;
}

TQ4800_VISA_EXPORT ViStatus viRead(ViSession vi, ViBuf buf, ViUInt32 cnt, ViUInt32* retCnt) {
    visa::Backend* bench = SimulatedBench();
    return bench ? bench->Read(vi, buf, cnt, retCnt) : VI_ERROR_SYSTEM_ERROR;
}

TQ4800_VISA_EXPORT ViStatus viClose(ViObject vi) {
    visa::Backend* bench = SimulatedBench();
    return bench ? bench->Close(vi) : VI_ERROR_SYSTEM_ERROR;
}
