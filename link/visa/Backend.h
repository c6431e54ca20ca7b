#pragma once

// The contract between the VISA functions of visa.h and what carries them out. Exactly one
// backend serves the process at a time; the factory (BackendFactory.h) picks it. Each of
// the eight calls has the meaning the VISA standard gives the function of the same name:
//
// - Calls block the calling thread; none of them processes window events.
// - Statuses: VI_SUCCESS (0); the standard's positive completion codes (VI_SUCCESS_MAX_CNT
//   for a read that stopped at its limit); negative errors (VI_ERROR_INV_OBJECT for an
//   unknown handle, VI_ERROR_RSRC_NFOUND when nothing matches or a resource is absent,
//   VI_ERROR_TMO when a read or write did not finish within the session's time-out,
//   VI_ERROR_CONN_LOST when the instrument left the bus).
// - Close(0) does no harm; closing a resource-manager session closes every find list and
//   instrument session opened through it.
// - A read returns at most one message: VI_SUCCESS when its end arrived, VI_SUCCESS_MAX_CNT
//   when the count ran out first (the rest stays for the next read).
// - A write sends one whole message.
// - The time-out is per session, set with SetAttribute(VI_ATTR_TMO_VALUE, ms); a new
//   session starts with 2000 ms.

#include "link/visa/visa.h"

namespace visa {

class Backend {
public:
    virtual ~Backend() = default;

    virtual ViStatus OpenDefaultRM(ViSession* sesn) = 0;
    virtual ViStatus FindRsrc(ViSession sesn, ViConstString expr, ViFindList* findList,
                              ViUInt32* retcnt, ViChar desc[VI_FIND_BUFLEN]) = 0;
    virtual ViStatus FindNext(ViFindList findList, ViChar desc[VI_FIND_BUFLEN]) = 0;
    virtual ViStatus Open(ViSession sesn, ViConstRsrc name, ViAccessMode mode, ViUInt32 timeout,
                          ViSession* vi) = 0;
    virtual ViStatus SetAttribute(ViObject vi, ViAttr attrName, ViAttrState attrValue) = 0;
    virtual ViStatus Write(ViSession vi, ViConstBuf buf, ViUInt32 cnt, ViUInt32* retCnt) = 0;
    virtual ViStatus Read(ViSession vi, ViBuf buf, ViUInt32 cnt, ViUInt32* retCnt) = 0;
    virtual ViStatus Close(ViObject vi) = 0;
};

} // namespace visa
