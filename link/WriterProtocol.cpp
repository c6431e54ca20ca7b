#include "link/WriterProtocol.h"

#include "image/BigEndian.h"
#include "seams/Clock.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <string_view>

namespace {

constexpr std::size_t MARKER_OFFSET = 0;
constexpr std::size_t BODY_LENGTH_OFFSET = 1;
constexpr std::size_t COMMAND_OFFSET = 5;
constexpr std::size_t PARAM_OFFSET = 6;
constexpr std::size_t PARAM_SIZE = 6;

constexpr std::uint32_t FRAME_PAUSE_MS = 10;
// Command, six parameter bytes, and the payload that follows the frame (if any).
constexpr std::uint32_t BODY_WITHOUT_PAYLOAD = 7;
constexpr std::uint32_t LENGTH_FIELD_SIZE = 12;

// A loader that refuses the query answers with words ("NG", "ERROR"); read as 0 they would
// pass for any segment whose sum is 0. Only a decimal number counts: an optional sign,
// digits, and an optional line end.
bool IsDecimalReply(std::string_view text) {
    if (text.ends_with("\r\n"))
        text.remove_suffix(2);
    else if (text.ends_with('\n'))
        text.remove_suffix(1);
    if (text.starts_with('+') || text.starts_with('-'))
        text.remove_prefix(1);
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// Reads a decimal number of IsDecimalReply's form without overflow: the value is taken to
// 64 bits and its low 32 bits are kept, so a loader that prints its sum unsigned
// ("4294967295") gives the same 32-bit value as one that prints it signed ("-1").
std::int32_t ParseChecksum(std::string_view text) {
    bool negative = false;
    if (text.starts_with('+') || text.starts_with('-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        value = value * 10 + static_cast<std::uint64_t>(text[i] - '0');
    if (negative)
        value = ~value + 1;
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
}

} // namespace

CommandFrame BuildCommandFrame(std::uint8_t marker, std::uint32_t bodyLength, std::uint8_t command,
                               const std::uint8_t* param) {
    CommandFrame frame{};
    frame[MARKER_OFFSET] = marker;
    WriteBigEndian32(frame.data() + BODY_LENGTH_OFFSET, bodyLength);
    frame[COMMAND_OFFSET] = command;
    std::memcpy(frame.data() + PARAM_OFFSET, param, PARAM_SIZE);
    return frame;
}

LoaderReply ReadReply(DeviceIo& device) {
    LoaderReply reply;
    reply.status = device.DeviceRead(reply.text, REPLY_LIMIT, reply.count);
    // The text is used as a C string whatever the reader left in the buffer.
    reply.text[REPLY_LIMIT] = '\0';
    return reply;
}

WriterProtocol::WriterProtocol(DeviceIo& device, Clock& clock) : device_(device), clock_(clock) {}

ViStatus WriterProtocol::SendCommand(std::uint8_t marker, std::uint32_t bodyLength,
                                     std::uint8_t command, const std::uint8_t* param) {
    const CommandFrame frame = BuildCommandFrame(marker, bodyLength, command, param);
    const ViStatus status = device_.DeviceWrite(frame.data(), COMMAND_FRAME_SIZE);
    if (status != VI_SUCCESS)
        return status;
    clock_.SleepMs(FRAME_PAUSE_MS);
    return VI_SUCCESS;
}

StatusCode WriterProtocol::SendFrame(std::uint32_t bodyLength, std::uint8_t command,
                                     StatusCode failure) {
    const std::uint8_t* param = command == CMD_RESET ? RESET_PARAM : COMMAND_PARAM;
    return SendCommand(FRAME_MARKER, bodyLength, command, param) == VI_SUCCESS ? STATUS_COMPLETE
                                                                               : failure;
}

// Payloads follow their frame at once: no pause after them.
StatusCode WriterProtocol::WritePayload(const void* bytes, ViUInt32 count, StatusCode failure) {
    return device_.DeviceWrite(bytes, count) == VI_SUCCESS ? STATUS_COMPLETE : failure;
}

// The loader acknowledges with exactly the two letters "OK"; a line end or a blank after
// them is a different reply.
StatusCode WriterProtocol::ExpectOk(StatusCode failure) {
    const LoaderReply reply = ReadReply(device_);
    if (reply.status != VI_SUCCESS)
        return failure;
    if (reply.count != 2 || std::strcmp(reply.text, "OK") != 0)
        return STATUS_NOT_COMPLETE;
    return STATUS_COMPLETE;
}

StatusCode WriterProtocol::ResetWriter() {
    if (const StatusCode code = SendFrame(BODY_WITHOUT_PAYLOAD, CMD_RESET, STATUS_RESET_FAILED))
        return code;
    return ExpectOk(STATUS_RESET_FAILED);
}

// The loader answers the load only after all announced bytes; FinishLoad reads that reply.
StatusCode WriterProtocol::StartLoad(std::uint32_t bodyLength) {
    return SendFrame(bodyLength, CMD_LOAD, STATUS_LOAD_FAILED);
}

StatusCode WriterProtocol::FinishLoad() {
    if (const StatusCode code = ExpectOk(STATUS_LOAD_END_FAILED))
        return code;
    if (const StatusCode code =
            SendFrame(BODY_WITHOUT_PAYLOAD, CMD_LOAD_DONE, STATUS_LOAD_END_FAILED))
        return code;
    return ExpectOk(STATUS_LOAD_END_FAILED);
}

StatusCode WriterProtocol::SetSegmentType(std::uint8_t type) {
    if (const StatusCode code =
            SendFrame(BODY_WITHOUT_PAYLOAD + 1, CMD_SET_TYPE, STATUS_SET_TYPE_FAILED))
        return code;
    if (const StatusCode code = WritePayload(&type, 1, STATUS_SET_TYPE_FAILED))
        return code;
    return ExpectOk(STATUS_SET_TYPE_FAILED);
}

// The length goes out as unsigned decimal digits, NUL-terminated and zero-padded to 12 bytes.
StatusCode WriterProtocol::SetSegmentLength(std::uint32_t count) {
    char field[LENGTH_FIELD_SIZE] = {};
    std::to_chars(field, field + LENGTH_FIELD_SIZE - 1, count);
    if (const StatusCode code = SendFrame(BODY_WITHOUT_PAYLOAD + LENGTH_FIELD_SIZE, CMD_SET_LENGTH,
                                          STATUS_SET_LENGTH_FAILED))
        return code;
    if (const StatusCode code = WritePayload(field, LENGTH_FIELD_SIZE, STATUS_SET_LENGTH_FAILED))
        return code;
    return ExpectOk(STATUS_SET_LENGTH_FAILED);
}

StatusCode WriterProtocol::ReadChecksum(std::int32_t& checksum) {
    if (const StatusCode code =
            SendFrame(BODY_WITHOUT_PAYLOAD, CMD_GET_CHECKSUM, STATUS_CHECKSUM_QUERY_FAILED))
        return code;
    const LoaderReply reply = ReadReply(device_);
    if (reply.status != VI_SUCCESS)
        return STATUS_CHECKSUM_QUERY_FAILED;
    if (reply.count == 0)
        return STATUS_NOT_COMPLETE;
    // The whole reply is looked at: a NUL inside it is no part of a number.
    const std::string_view text(reply.text, std::min<std::size_t>(reply.count, REPLY_LIMIT));
    if (!IsDecimalReply(text))
        return STATUS_CHECKSUM_QUERY_FAILED;
    checksum = ParseChecksum(text);
    return STATUS_COMPLETE;
}

// The loader needs nothing between the checksum and the program command.
StatusCode WriterProtocol::PrepareFlash() {
    return STATUS_COMPLETE;
}

// The loader's progress and result lines are read by the segment transfer.
StatusCode WriterProtocol::ProgramFlash() {
    return SendFrame(BODY_WITHOUT_PAYLOAD, CMD_PROGRAM, STATUS_PROGRAM_FAILED);
}
