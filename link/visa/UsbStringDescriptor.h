#pragma once

// The wire layout of USB string descriptors (USB 2.0, 9.6.7): bLength, bDescriptorType 3,
// then UTF-16LE code units; descriptor 0 lists the language ids instead.

#include <cstddef>
#include <cstdint>
#include <string>

namespace visa {

inline constexpr std::uint8_t kRequestTypeStandardIn = 0x80;
inline constexpr std::uint8_t kGetDescriptor = 6;
inline constexpr std::uint8_t kStringDescriptorType = 3;
inline constexpr std::uint16_t kStringDescriptorMaxSize = 255;

// The ASCII text of a string descriptor, with '?' for every character outside ASCII; false
// when the bytes are no string descriptor. size is the count of bytes received.
bool DecodeStringDescriptor(const std::uint8_t* bytes, std::size_t size, std::string& text);

// The first language id of descriptor 0; false when it lists none.
bool FirstLanguage(const std::uint8_t* bytes, std::size_t size, std::uint16_t& language);

} // namespace visa
