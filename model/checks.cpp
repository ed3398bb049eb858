#include "model/checks.h"

#include <cstdint>

namespace orbex {

bool IsValidIpAddress(std::string_view s) {
    if (s.empty()) return true;
    if (s.size() < 7 || s.size() > 15) return false;
    std::uint32_t group[4] = {};
    int dots = 0;
    bool digits = false;
    for (char c : s) {
        if (c == '.') {
            if (!digits || ++dots > 3) return false;  // a group without digits is no group
            digits = false;
        } else if (c >= '0' && c <= '9') {
            group[dots] = group[dots] * 10 + static_cast<std::uint32_t>(c - '0');
            digits = true;
        } else {
            return false;
        }
    }
    if (dots != 3 || !digits) return false;
    return group[0] >= 1 && group[0] <= 255 && group[1] <= 255 && group[2] <= 255 &&
           group[3] <= 255;
}

bool IsValidIpList(std::string_view s) {
    bool entries = false;
    std::size_t i = 0;
    while (i < s.size()) {
        if (s[i] == ' ') {
            ++i;
            continue;
        }
        std::size_t end = s.find(' ', i);
        if (end == std::string_view::npos) end = s.size();
        if (!IsValidIpAddress(s.substr(i, end - i))) return false;
        entries = true;
        i = end;
    }
    return entries || IsValidIpAddress(s);
}

bool IsWholeNumber(std::string_view s) {
    std::size_t i = 0;
    while (i < s.size() && s[i] == ' ') ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    unsigned base = 10;
    if (i < s.size() && (s[i] == '$' || s[i] == 'x' || s[i] == 'X')) {
        base = 16, ++i;
    } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
        base = 16, i += 2;
    }
    if (i == s.size()) return false;
    const std::uint64_t limit = negative ? 2147483648u : 2147483647u;
    std::uint64_t value = 0;
    for (; i < s.size(); ++i) {
        const char c = s[i];
        unsigned d;
        if (c >= '0' && c <= '9') {
            d = static_cast<unsigned>(c - '0');
        } else if (base == 16 && c >= 'a' && c <= 'f') {
            d = static_cast<unsigned>(c - 'a' + 10);
        } else if (base == 16 && c >= 'A' && c <= 'F') {
            d = static_cast<unsigned>(c - 'A' + 10);
        } else {
            return false;
        }
        value = value * base + d;
        if (value > limit) return false;
    }
    return true;
}

std::string describe(Check c) {
    switch (c) {
        case Check::Number:
            return "a whole number";
        case Check::Address:
            return "an IPv4 address";
        case Check::AddressList:
            return "a list of IPv4 addresses separated by blanks";
        case Check::Any:
            break;
    }
    return "valid";
}

}  // namespace orbex
