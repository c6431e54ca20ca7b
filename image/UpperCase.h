#pragma once

#include <string>

// Upper-cases a to z and leaves every other byte as it is, whatever the locale.
inline void UpperCaseLetters(std::string& text) {
    for (char& byte : text) {
        if (byte >= 'a' && byte <= 'z')
            byte = static_cast<char>(byte - 'a' + 'A');
    }
}
