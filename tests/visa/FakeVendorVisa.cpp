// A stand-in for a vendor VISA library: the eight functions with C linkage, each recording
// its call. Built once whole and once without viRead (FAKE_VISA_WITHOUT_READ).

#include "link/visa/visa.h"

#include <cstdio>
#include <cstring>
#include <string>

#define FAKE_VISA_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

constexpr ViSession kResourceManager = 0x100;
constexpr ViFindList kFindList = 0x200;
constexpr ViSession kInstrument = 0x300;
const char* const kNames[] = {"USB0::0x1D7A::0x52C1::TW00000001::INSTR",
                              "USB0::0x1D7A::0x52C1::TW00000002::INSTR"};

std::string calls;
unsigned nextName = 0;

void Record(const char* format, auto... values) {
    char line[512];
    std::snprintf(line, sizeof line, format, values...);
    calls += line;
    calls += "\n";
}

} // namespace

FAKE_VISA_EXPORT const char* FakeVisaCalls() {
    return calls.c_str();
}

FAKE_VISA_EXPORT ViStatus viOpenDefaultRM(ViSession* sesn) {
    Record("viOpenDefaultRM");
    *sesn = kResourceManager;
    return VI_SUCCESS;
}

FAKE_VISA_EXPORT ViStatus viFindRsrc(ViSession sesn, ViConstString expr, ViFindList* findList,
                                     ViUInt32* retcnt, ViChar* desc) {
    Record("viFindRsrc %#x %s", sesn, expr);
    if (sesn != kResourceManager)
        return VI_ERROR_INV_OBJECT;
    *findList = kFindList;
    *retcnt = 2;
    std::strcpy(desc, kNames[0]);
    nextName = 1;
    return VI_SUCCESS;
}

FAKE_VISA_EXPORT ViStatus viFindNext(ViFindList findList, ViChar* desc) {
    Record("viFindNext %#x", findList);
    if (findList != kFindList || nextName >= 2)
        return VI_ERROR_RSRC_NFOUND;
    std::strcpy(desc, kNames[nextName++]);
    return VI_SUCCESS;
}

FAKE_VISA_EXPORT ViStatus viOpen(ViSession sesn, ViConstRsrc name, ViAccessMode mode,
                                 ViUInt32 timeout, ViSession* vi) {
    Record("viOpen %#x %s %u %u", sesn, name, mode, timeout);
    *vi = kInstrument;
    return VI_SUCCESS;
}

FAKE_VISA_EXPORT ViStatus viSetAttribute(ViObject vi, ViAttr attrName, ViAttrState attrValue) {
    Record("viSetAttribute %#x %#x %#llx", vi, attrName,
           static_cast<unsigned long long>(attrValue));
    return VI_SUCCESS;
}

FAKE_VISA_EXPORT ViStatus viWrite(ViSession vi, ViConstBuf buf, ViUInt32 cnt, ViUInt32* retCnt) {
    Record("viWrite %#x %.*s", vi, static_cast<int>(cnt), reinterpret_cast<const char*>(buf));
    *retCnt = cnt;
    return VI_SUCCESS;
}

#ifndef FAKE_VISA_WITHOUT_READ
FAKE_VISA_EXPORT ViStatus viRead(ViSession vi, ViBuf buf, ViUInt32 cnt, ViUInt32* retCnt) {
    Record("viRead %#x %u", vi, cnt);
    const char reply[] = "WRITER\n";
    *retCnt = sizeof reply - 1 < cnt ? sizeof reply - 1 : cnt;
    std::memcpy(buf, reply, *retCnt);
    return *retCnt == sizeof reply - 1 ? VI_SUCCESS : VI_SUCCESS_MAX_CNT;
}
#endif

FAKE_VISA_EXPORT ViStatus viClose(ViObject vi) {
    Record("viClose %#x", vi);
    return VI_SUCCESS;
}
