#include "link/visa/ResourceName.h"

#include <cctype>
#include <cstdio>
#include <vector>

namespace visa {

namespace {

std::vector<std::string_view> SplitParts(std::string_view text) {
    std::vector<std::string_view> parts;
    for (;;) {
        std::size_t separator = text.find("::");
        parts.push_back(text.substr(0, separator));
        if (separator == std::string_view::npos)
            return parts;
        text.remove_prefix(separator + 2);
    }
}

// Decimal, or hexadecimal after 0x; at most max.
bool ParseNumber(std::string_view text, unsigned long max, unsigned long& value) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty() || text.size() > 10)
        return false;
    value = 0;
    for (char c : text) {
        int digit;
        if (std::isdigit(static_cast<unsigned char>(c)))
            digit = c - '0';
        else if (base == 16 && std::isxdigit(static_cast<unsigned char>(c)))
            digit = std::toupper(static_cast<unsigned char>(c)) - 'A' + 10;
        else
            return false;
        value = value * static_cast<unsigned long>(base) + static_cast<unsigned long>(digit);
        if (value > max)
            return false;
    }
    return true;
}

bool ParseId(std::string_view text, std::uint16_t& id) {
    unsigned long value;
    if (!ParseNumber(text, 0xFFFF, value))
        return false;
    id = static_cast<std::uint16_t>(value);
    return true;
}

bool ParseInterfaceType(std::string_view text, unsigned& board) {
    if (text.size() < 3 || !EqualsNoCase(text.substr(0, 3), "USB"))
        return false;
    text.remove_prefix(3);
    if (text.empty()) {
        board = 0;
        return true;
    }
    unsigned long value;
    if (text.size() > 1 && (text[1] == 'x' || text[1] == 'X'))
        return false; // the board number is decimal only
    if (!ParseNumber(text, 0xFFFF, value))
        return false;
    board = static_cast<unsigned>(value);
    return true;
}

} // namespace

bool ParseResourceName(std::string_view text, UsbResourceName& name) {
    std::vector<std::string_view> parts = SplitParts(text);
    if (parts.size() < 4 || parts.size() > 6)
        return false;
    if (EqualsNoCase(parts.back(), "INSTR"))
        parts.pop_back();
    if (parts.size() < 4 || parts.size() > 5)
        return false;
    UsbResourceName parsed;
    if (!ParseInterfaceType(parts[0], parsed.board) || !ParseId(parts[1], parsed.vendorId) ||
        !ParseId(parts[2], parsed.productId) || parts[3].empty())
        return false;
    parsed.serial = std::string(parts[3]);
    if (parts.size() == 5) {
        unsigned long number;
        if (parts[4].size() > 1 && (parts[4][1] == 'x' || parts[4][1] == 'X'))
            return false;
        if (!ParseNumber(parts[4], 0xFF, number))
            return false;
        parsed.interfaceNumber = static_cast<unsigned>(number);
    }
    name = std::move(parsed);
    return true;
}

std::string CanonicalName(const UsbResourceName& name) {
    char ids[32];
    std::snprintf(ids, sizeof ids, "::0x%04X::0x%04X::", name.vendorId, name.productId);
    std::string text = "USB" + std::to_string(name.board) + ids + name.serial;
    if (name.interfaceNumber)
        text += "::" + std::to_string(*name.interfaceNumber);
    return text + "::INSTR";
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(a[i])) !=
            std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

} // namespace visa
