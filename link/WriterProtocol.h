#pragma once

#include "link/DeviceIo.h"
#include "status/StatusTable.h"

#include <array>
#include <cstddef>
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

// The loader's command header as it goes on the wire: marker, big-endian bodyLength (the
// bytes after that field: command, six parameter bytes and any payload), command, param.
inline constexpr std::size_t COMMAND_FRAME_SIZE = 12;
using CommandFrame = std::array<std::uint8_t, COMMAND_FRAME_SIZE>;
CommandFrame BuildCommandFrame(std::uint8_t marker, std::uint32_t bodyLength, std::uint8_t command,
                               const std::uint8_t* param);

// The parameter bytes of every command but CMD_RESET, and the reset's own.
inline constexpr std::uint8_t COMMAND_PARAM[6] = {1, 2, 3, 4, 5, 6};
inline constexpr std::uint8_t RESET_PARAM[6] = {'R', 'E', 'S', 'E', 'T', '!'};

// One reply of the loader: at most 255 bytes, NUL-terminated and upper-cased on success.
inline constexpr std::uint32_t REPLY_LIMIT = 255;
struct LoaderReply {
    ViStatus status = VI_SUCCESS;
    ViUInt32 count = 0;
    char text[REPLY_LIMIT + 1] = {};
};
LoaderReply ReadReply(DeviceIo& device);

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
    StatusCode SendFrame(std::uint32_t bodyLength, std::uint8_t command, StatusCode failure);
    StatusCode WritePayload(const void* bytes, ViUInt32 count, StatusCode failure);
    StatusCode ExpectOk(StatusCode failure);

    DeviceIo& device_;
    Clock& clock_;
};
