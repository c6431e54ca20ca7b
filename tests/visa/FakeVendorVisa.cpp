// Vendor VISA libraries that misbehave, one for each way this file is built:
//   FAKE_VISA_WITHOUT_READ  seven of the eight functions, viRead missing: refused at load;
//   FAKE_VISA_THREAD        starts a thread of its own, which runs in the library's code
//                           until the program ends;
//   FAKE_VISA_UNRULY        only answers past its buffers, as all of them do: viRead counts
//                           more bytes than it was given room for, viFindRsrc("unterminated")
//                           gives a name without its NUL, and every other search list never
//                           ends.

#include "link/visa/visa.h"

#include <chrono>
#include <cstring>
#include <thread>

#define FAKE_VISA_EXPORT extern "C" __attribute__((visibility("default")))

constexpr const char* kListedName = "USB0::0x1D7A::0x52C1::TW00000001::INSTR";

FAKE_VISA_EXPORT ViStatus viOpenDefaultRM(ViSession* sesn) {
#ifdef FAKE_VISA_THREAD
    std::thread([] {
        for (;;)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }).detach();
#endif
    *sesn = 1;
    return VI_SUCCESS;
}
FAKE_VISA_EXPORT ViStatus viFindRsrc(ViSession, ViConstString expr, ViFindList* findList,
                                     ViUInt32* retcnt, ViChar* desc) {
    *findList = 2;
    *retcnt = 2;
    if (std::strcmp(expr, "unterminated") == 0)
        std::memset(desc, 'U', VI_FIND_BUFLEN);
    else
        std::strcpy(desc, kListedName);
    return VI_SUCCESS;
}
FAKE_VISA_EXPORT ViStatus viFindNext(ViFindList, ViChar* desc) {
    std::strcpy(desc, kListedName);
    return VI_SUCCESS;
}
FAKE_VISA_EXPORT ViStatus viOpen(ViSession, ViConstRsrc, ViAccessMode, ViUInt32, ViSession* vi) {
    *vi = 3;
    return VI_SUCCESS;
}
FAKE_VISA_EXPORT ViStatus viSetAttribute(ViObject, ViAttr, ViAttrState) {
    return VI_SUCCESS;
}
FAKE_VISA_EXPORT ViStatus viWrite(ViSession, ViConstBuf, ViUInt32 cnt, ViUInt32* retCnt) {
    *retCnt = cnt;
    return VI_SUCCESS;
}
#ifndef FAKE_VISA_WITHOUT_READ
FAKE_VISA_EXPORT ViStatus viRead(ViSession, ViBuf, ViUInt32 cnt, ViUInt32* retCnt) {
    *retCnt = cnt + 10;
    return VI_SUCCESS;
}
#endif
FAKE_VISA_EXPORT ViStatus viClose(ViObject) {
    return VI_SUCCESS;
}
