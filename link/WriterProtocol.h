#pragma once

#include "app/status/StatusTable.h"
#include "link/DeviceIo.h"

#include <cstdint>

class Clock;

inline constexpr std::uint8_t FRAME_MARKER = 0xAB;
inline constexpr std::uint8_t CMD_PROGRAM = 3;
inline constexpr std::uint8_t CMD_SET_LENGTH = 7;
inline constexpr std::uint8_t CMD_GET_CHECKSUM = 8;
inline constexpr std::uint8_t CMD_RESET = 10;
inline constexpr std::uint8_t CMD_LOAD = 12;
inline constexpr std::uint8_t CMD_LOAD_DONE = 13;
inline constexpr std::uint8_t CMD_SET_TYPE = 20;

// The loader's command steps for one segment. Each step returns 0 or its own code and
// never logs, retries or touches the window.
class WriterProtocol {
public:
    WriterProtocol(DeviceIo& device, Clock& clock);

    // One write of the 12-byte frame, then a 10 ms pause; no pause after a failed write.
    ViStatus SendCommand(std::uint8_t marker, std::uint32_t bodyLength, std::uint8_t command,
                         const std::uint8_t* param);
    StatusCode ResetWriter();
    StatusCode StartLoad(std::uint32_t bodyLength);
    StatusCode FinishLoad();
    StatusCode SetSegmentType(std::uint8_t type);
    StatusCode SetSegmentLength(std::uint32_t count);
    StatusCode ReadChecksum(std::int32_t& checksum);
    StatusCode PrepareFlash();
    StatusCode ProgramFlash();

private:
    DeviceIo& device_;
    Clock& clock_;
};
