#include "model/mac.h"

#include <array>

namespace orbex {
namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string canonical(const std::array<int, 12>& digits) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string s;
    s.reserve(17);
    for (int i = 0; i < 12; ++i) {
        if (i > 0 && i % 2 == 0) s += '^';
        s += kHex[digits[static_cast<std::size_t>(i)]];
    }
    return s;
}

// Twelve hex digits in groups of `group` digits with `separator` between the groups.
std::optional<std::string> grouped(std::string_view s, std::size_t group, char separator) {
    const std::size_t groups = 12 / group;
    if (s.size() != 12 + (separator ? groups - 1 : 0)) return std::nullopt;
    std::array<int, 12> digits{};
    std::size_t d = 0;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (separator && i % (group + 1) == group) {
            if (s[i] != separator) return std::nullopt;
            continue;
        }
        const int v = hexValue(s[i]);
        if (v < 0) return std::nullopt;
        digits[d++] = v;
    }
    return canonical(digits);
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

}  // namespace

std::optional<std::string> parseMac(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    switch (s.size()) {
        case 12:
            return grouped(s, 12, 0);
        case 14:
            return grouped(s, 4, '.');
        case 17:
            for (char separator : {':', '-', '^'})
                if (s[2] == separator) return grouped(s, 2, separator);
            return std::nullopt;
        default:
            return std::nullopt;
    }
}

std::optional<std::string> macFileName(std::string_view text) {
    auto mac = parseMac(text);
    if (mac) *mac += ".cfg";
    return mac;
}

std::optional<std::string> macOfFileName(std::string_view name) {
    if (name.size() != 21 || !name.ends_with(".cfg")) return std::nullopt;
    return grouped(name.substr(0, 17), 2, '^');
}

}  // namespace orbex
