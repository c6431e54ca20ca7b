#pragma once

#include "link/visa/visa.h"

// Raw bytes to and from the instrument of the open session. The writer protocol and the
// segment transfer reach the instrument only through this.
class DeviceIo {
public:
    virtual ~DeviceIo() = default;
    // Sends count bytes as one message; the status of the write (0 only when all were sent).
    virtual ViStatus DeviceWrite(const void* bytes, ViUInt32 count) = 0;
    // Reads one reply of at most limit bytes into buffer, which holds limit + 1 bytes. On
    // success a NUL follows the bytes read and letters a to z before the first NUL are
    // upper-cased. Any non-zero status (VI_SUCCESS_MAX_CNT included) is a failed read.
    virtual ViStatus DeviceRead(char* buffer, ViUInt32 limit, ViUInt32& count) = 0;
};
