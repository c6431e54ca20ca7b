#include "link/visa/UsbtmcFraming.h"

namespace visa::usbtmc {
namespace {

void PutLittleEndian32(std::uint8_t* at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint32_t GetLittleEndian32(const std::uint8_t* at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | at[i];
    return value;
}

void PutHeaderStart(std::uint8_t* header, std::uint8_t msgId, std::uint8_t tag) {
    header[kMsgIdOffset] = msgId;
    header[kTagOffset] = tag;
    header[kTagInverseOffset] = static_cast<std::uint8_t>(~tag);
    header[3] = 0;
}

} // namespace

std::vector<std::uint8_t> DevDepMsgOut(std::uint8_t tag, const std::uint8_t* payload,
                                       std::uint32_t size, bool endOfMessage) {
    std::vector<std::uint8_t> transfer(kHeaderSize + PaddedToFour(size), 0);
    PutHeaderStart(transfer.data(), kDevDepMsgOut, tag);
    PutLittleEndian32(&transfer[kTransferSizeOffset], size);
    transfer[kAttributesOffset] = endOfMessage ? kEndOfMessage : 0;
    for (std::uint32_t i = 0; i < size; ++i)
        transfer[kHeaderSize + i] = payload[i];
    return transfer;
}

std::array<std::uint8_t, kHeaderSize> RequestDevDepMsgIn(std::uint8_t tag, std::uint32_t maxSize) {
    std::array<std::uint8_t, kHeaderSize> header{};
    PutHeaderStart(header.data(), kRequestDevDepMsgIn, tag);
    PutLittleEndian32(&header[kTransferSizeOffset], maxSize);
    return header;
}

HeaderProblem ParseDevDepMsgIn(const std::uint8_t* bytes, std::uint8_t expectedTag,
                               DevDepMsgInHeader& header) {
    if (bytes[kMsgIdOffset] != kDevDepMsgIn)
        return HeaderProblem::WrongMsgId;
    header.tag = bytes[kTagOffset];
    header.transferSize = GetLittleEndian32(&bytes[kTransferSizeOffset]);
    header.endOfMessage = (bytes[kAttributesOffset] & kEndOfMessage) != 0;
    if (bytes[kTagOffset] != expectedTag ||
        bytes[kTagInverseOffset] != static_cast<std::uint8_t>(~expectedTag))
        return HeaderProblem::WrongTag;
    return HeaderProblem::None;
}

} // namespace visa::usbtmc
