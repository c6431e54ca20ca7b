#pragma once

#include <QString>
#include <cstddef>
#include <string_view>

// Text of the utility and of its files as shown in the window: up to the first NUL, read as
// UTF-8 when it is valid UTF-8, else byte for byte as Latin-1.
QString FromSystemText(std::string_view text);

// A fixed-width text field up to its first NUL, never past its end.
template <std::size_t N> std::string_view FieldText(const char (&field)[N]) {
    std::size_t length = 0;
    while (length < N && field[length] != '\0')
        ++length;
    return {field, length};
}
