#pragma once

// Trims a NUL-terminated text in place and returns it; nullptr gives nullptr. Blank bytes
// are those that are at most 0x20 taken as signed 8-bit numbers: 0x01 to 0x20 and 0x80 to
// 0xFF. Blanks before the first and after the last non-blank byte go; blanks between stay.
char* TrimText(char* text);

// Whether TrimText drops a byte at either end of a text.
inline bool IsBlankByte(char byte) {
    return static_cast<signed char>(byte) <= 0x20;
}
