#include "link/visa/UsbStringDescriptor.h"

namespace visa {
namespace {

// The descriptor's own length when the bytes hold a whole string descriptor, else 0.
std::size_t WholeLength(const std::uint8_t* bytes, std::size_t size) {
    if (size < 2 || bytes[1] != kStringDescriptorType)
        return 0;
    const std::size_t length = bytes[0];
    return length >= 2 && length <= size && length % 2 == 0 ? length : 0;
}

} // namespace

bool DecodeStringDescriptor(const std::uint8_t* bytes, std::size_t size, std::string& text) {
    const std::size_t length = WholeLength(bytes, size);
    if (length == 0)
        return false;
    text.clear();
    for (std::size_t at = 2; at < length; at += 2) {
        const unsigned unit = bytes[at] | unsigned{bytes[at + 1]} << 8;
        text.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
    }
    return true;
}

bool FirstLanguage(const std::uint8_t* bytes, std::size_t size, std::uint16_t& language) {
    if (WholeLength(bytes, size) < 4)
        return false;
    language = static_cast<std::uint16_t>(bytes[2] | bytes[3] << 8);
    return true;
}

} // namespace visa
