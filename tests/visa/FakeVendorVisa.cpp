// A vendor VISA library that cannot serve: seven of the eight functions, viRead missing.
// None of them is ever called, as the library is refused when it is loaded.

#include "link/visa/visa.h"

#define FAKE_VISA_EXPORT extern "C" __attribute__((visibility("default")))

FAKE_VISA_EXPORT ViStatus viOpenDefaultRM(ViSession*) {
    return VI_ERROR_SYSTEM_ERROR;
}
FAKE_VISA_EXPORT ViStatus viFindRsrc(ViSession, ViConstString, ViFindList*, ViUInt32*, ViChar*) {
    return VI_ERROR_SYSTEM_ERROR;
}
FAKE_VISA_EXPORT ViStatus viFindNext(ViFindList, ViChar*) {
    return VI_ERROR_SYSTEM_ERROR;
}
FAKE_VISA_EXPORT ViStatus viOpen(ViSession, ViConstRsrc, ViAccessMode, ViUInt32, ViSession*) {
    return VI_ERROR_SYSTEM_ERROR;
}
FAKE_VISA_EXPORT ViStatus viSetAttribute(ViObject, ViAttr, ViAttrState) {
    return VI_ERROR_SYSTEM_ERROR;
}
FAKE_VISA_EXPORT ViStatus viWrite(ViSession, ViConstBuf, ViUInt32, ViUInt32*) {
    return VI_ERROR_SYSTEM_ERROR;
}
FAKE_VISA_EXPORT ViStatus viClose(ViObject) {
    return VI_ERROR_SYSTEM_ERROR;
}
