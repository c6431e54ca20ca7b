#pragma once

#include "image/ImageInfo.h"

#include <span>
#include <string_view>

// The keys of a firmware revision file's header lines, and the ImageInfo field each fills.
enum class HeaderField { ImageRev, ModelName, RevsNotSupport, UpdatedDescription, UtilityRev };

struct HeaderKey {
    std::string_view key;
    HeaderField field;
    std::size_t longestValue;
    bool upperCased;
};

inline constexpr int HEADER_KEY_COUNT = 5;
extern const HeaderKey HeaderKeys[HEADER_KEY_COUNT];

// The key that ends the header; the binary part follows its line.
inline constexpr std::string_view FILE_START_KEY = "FileStart";

// nullptr for a key that is not in the table; keys are case-sensitive.
const HeaderKey* FindHeaderKey(std::string_view key);

// The whole fixed-width text field (terminator included) that a key fills.
std::span<char> HeaderFieldText(ImageInfo& image, HeaderField field);
std::span<const char> HeaderFieldText(const ImageInfo& image, HeaderField field);
