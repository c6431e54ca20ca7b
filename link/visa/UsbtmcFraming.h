#pragma once

// The wire layout of USBTMC bulk messages and class requests (USB Test and Measurement
// Class 1.0). All multi-byte fields are little-endian.

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace visa::usbtmc {

inline constexpr std::uint8_t kInterfaceClass = 0xFE;
inline constexpr std::uint8_t kInterfaceSubClass = 0x03;

inline constexpr std::size_t kHeaderSize = 12;
inline constexpr std::uint8_t kDevDepMsgOut = 1;
inline constexpr std::uint8_t kRequestDevDepMsgIn = 2;
inline constexpr std::uint8_t kDevDepMsgIn = 2;
inline constexpr std::uint8_t kEndOfMessage = 0x01;

// Offsets in the 12-byte header.
inline constexpr std::size_t kMsgIdOffset = 0;
inline constexpr std::size_t kTagOffset = 1;
inline constexpr std::size_t kTagInverseOffset = 2;
inline constexpr std::size_t kTransferSizeOffset = 4;
inline constexpr std::size_t kAttributesOffset = 8;

// Class requests, sent with wIndex the endpoint address (0xA2) or the interface (0xA1).
inline constexpr std::uint8_t kRequestTypeEndpoint = 0xA2;
inline constexpr std::uint8_t kRequestTypeInterface = 0xA1;
inline constexpr std::uint8_t kInitiateAbortBulkOut = 1;
inline constexpr std::uint8_t kCheckAbortBulkOutStatus = 2;
inline constexpr std::uint8_t kInitiateAbortBulkIn = 3;
inline constexpr std::uint8_t kCheckAbortBulkInStatus = 4;
inline constexpr std::uint16_t kInitiateAbortReplySize = 2;
inline constexpr std::uint16_t kCheckAbortReplySize = 8;
// The standard request GET_STATUS to the device: anything but "no device" means it is there.
inline constexpr std::uint8_t kRequestTypeDeviceStatus = 0x80;
inline constexpr std::uint8_t kGetStatus = 0;
// Byte 1 of CHECK_ABORT_BULK_IN_STATUS: the host must read Bulk-IN before asking again.
inline constexpr std::uint8_t kAbortBulkInDrain = 0x01;

inline constexpr std::uint8_t kStatusSuccess = 0x01;
inline constexpr std::uint8_t kStatusPending = 0x02;
inline constexpr std::uint8_t kStatusFailed = 0x80;
inline constexpr std::uint8_t kStatusTransferNotInProgress = 0x81;

// bTag runs 1, 2, ... 127, 1, ...: 0 is not a valid tag, and devices built on TinyUSB
// compare only the low 7 bits of the tag in their abort requests.
inline constexpr std::uint8_t kLastTag = 127;

class TagCounter {
public:
    std::uint8_t Next() {
        last_ = last_ >= kLastTag ? 1 : static_cast<std::uint8_t>(last_ + 1);
        return last_;
    }

private:
    std::uint8_t last_ = 0;
};

constexpr std::uint32_t PaddedToFour(std::uint32_t size) {
    return (size + 3u) & ~3u;
}

// A DEV_DEP_MSG_OUT transfer: header, size payload bytes, zeros up to a multiple of 4.
std::vector<std::uint8_t> DevDepMsgOut(std::uint8_t tag, const std::uint8_t* payload,
                                       std::uint32_t size, bool endOfMessage);

std::array<std::uint8_t, kHeaderSize> RequestDevDepMsgIn(std::uint8_t tag, std::uint32_t maxSize);

struct DevDepMsgInHeader {
    std::uint8_t tag = 0;
    std::uint32_t transferSize = 0;
    bool endOfMessage = false;
};

enum class HeaderProblem { None, WrongMsgId, WrongTag };

// Checks the header of a DEV_DEP_MSG_IN transfer (at least kHeaderSize bytes) against the
// tag of the request it answers; header is filled in also for WrongTag.
HeaderProblem ParseDevDepMsgIn(const std::uint8_t* bytes, std::uint8_t expectedTag,
                               DevDepMsgInHeader& header);

} // namespace visa::usbtmc
