#pragma once

// The subset of the VISA C API that the instrument session uses, with the standard's type
// widths and numeric values for x86-64 Linux. The functions live in namespace visa so that
// a vendor library loaded at run time, which exports the same names with C linkage, never
// collides with them; they dispatch to the backend chosen by the factory.

#include <cstdint>

using ViUInt32 = std::uint32_t;
using ViInt32 = std::int32_t;
using ViUInt16 = std::uint16_t;
using ViStatus = ViInt32;
using ViObject = ViUInt32;
using ViSession = ViObject;
using ViFindList = ViObject;
using ViAttr = ViUInt32;
using ViAccessMode = ViUInt32;
using ViBoolean = ViUInt16;
// 64 bits wide on 64-bit platforms: a vendor viSetAttribute must be called with it.
using ViAttrState = std::uint64_t;
using ViChar = char;
using ViString = ViChar*;
using ViConstString = const ViChar*;
using ViRsrc = ViChar*;
using ViConstRsrc = const ViChar*;
using ViByte = unsigned char;
using ViBuf = ViByte*;
using ViConstBuf = const ViByte*;

inline constexpr ViStatus VisaStatus(std::uint32_t bits) {
    return static_cast<ViStatus>(bits);
}

inline constexpr ViStatus VI_SUCCESS = 0;
inline constexpr ViStatus VI_SUCCESS_TERM_CHAR = VisaStatus(0x3FFF0005);
inline constexpr ViStatus VI_SUCCESS_MAX_CNT = VisaStatus(0x3FFF0006);
inline constexpr ViStatus VI_SUCCESS_DEV_NPRESENT = VisaStatus(0x3FFF007D);
inline constexpr ViStatus VI_WARN_NULL_OBJECT = VisaStatus(0x3FFF0082);
inline constexpr ViStatus VI_WARN_NSUP_ATTR_STATE = VisaStatus(0x3FFF0084);
inline constexpr ViStatus VI_ERROR_SYSTEM_ERROR = VisaStatus(0xBFFF0000);
inline constexpr ViStatus VI_ERROR_INV_OBJECT = VisaStatus(0xBFFF000E);
inline constexpr ViStatus VI_ERROR_INV_EXPR = VisaStatus(0xBFFF0010);
inline constexpr ViStatus VI_ERROR_RSRC_NFOUND = VisaStatus(0xBFFF0011);
inline constexpr ViStatus VI_ERROR_INV_RSRC_NAME = VisaStatus(0xBFFF0012);
inline constexpr ViStatus VI_ERROR_INV_ACC_MODE = VisaStatus(0xBFFF0013);
inline constexpr ViStatus VI_ERROR_TMO = VisaStatus(0xBFFF0015);
inline constexpr ViStatus VI_ERROR_NSUP_ATTR = VisaStatus(0xBFFF001D);
inline constexpr ViStatus VI_ERROR_NSUP_ATTR_STATE = VisaStatus(0xBFFF001E);
inline constexpr ViStatus VI_ERROR_ALLOC = VisaStatus(0xBFFF003C);
inline constexpr ViStatus VI_ERROR_IO = VisaStatus(0xBFFF003E);
inline constexpr ViStatus VI_ERROR_NSUP_OPER = VisaStatus(0xBFFF0067);
inline constexpr ViStatus VI_ERROR_RSRC_BUSY = VisaStatus(0xBFFF0072);
inline constexpr ViStatus VI_ERROR_INV_PARAMETER = VisaStatus(0xBFFF0078);
inline constexpr ViStatus VI_ERROR_LIBRARY_NFOUND = VisaStatus(0xBFFF009E);
inline constexpr ViStatus VI_ERROR_CONN_LOST = VisaStatus(0xBFFF00A6);
inline constexpr ViStatus VI_ERROR_NPERMISSION = VisaStatus(0xBFFF00A8);

inline constexpr ViAttr VI_ATTR_TMO_VALUE = 0x3FFF001A;
inline constexpr ViUInt32 VI_NULL = 0;
inline constexpr ViAccessMode VI_NO_LOCK = 0;
inline constexpr ViUInt32 VI_TMO_IMMEDIATE = 0;
inline constexpr ViUInt32 VI_TMO_INFINITE = 0xFFFFFFFF;
inline constexpr int VI_FIND_BUFLEN = 256;

namespace visa {

ViStatus viOpenDefaultRM(ViSession* sesn);
ViStatus viFindRsrc(ViSession sesn, ViConstString expr, ViFindList* findList, ViUInt32* retcnt,
                    ViChar desc[VI_FIND_BUFLEN]);
ViStatus viFindNext(ViFindList findList, ViChar desc[VI_FIND_BUFLEN]);
ViStatus viOpen(ViSession sesn, ViConstRsrc name, ViAccessMode mode, ViUInt32 timeout,
                ViSession* vi);
ViStatus viSetAttribute(ViObject vi, ViAttr attrName, ViAttrState attrValue);
ViStatus viWrite(ViSession vi, ViConstBuf buf, ViUInt32 cnt, ViUInt32* retCnt);
ViStatus viRead(ViSession vi, ViBuf buf, ViUInt32 cnt, ViUInt32* retCnt);
ViStatus viClose(ViObject vi);

} // namespace visa
