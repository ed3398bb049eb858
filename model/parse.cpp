#include "model/parse.h"

#include <algorithm>

namespace orbex {

Line parseLine(std::string_view s) {
    Line line;
    if (s.empty()) {
        line.type = Line::Type::Blank;
        return line;
    }
    if (s.front() == '#') {
        line.type = Line::Type::Comment;
        return line;
    }
    // Keys hold no "=", so the only key that can be followed by "='" is the text before the
    // first "=".
    // Most lines are keys: their "=" comes within the longest key's length.
    std::size_t eq = 0;
    const std::size_t near = std::min(s.size(), kMaxKeyLength + 1);
    while (eq < near && s[eq] != '=') ++eq;
    if (eq == near) eq = s.find('=', near);
    if (eq == std::string_view::npos || eq + 1 >= s.size() || s[eq + 1] != '\'') {
        line.fault = Line::Fault::NoKeyQuote;
        return line;
    }
    line.key = lookup(s.substr(0, eq));
    if (line.key < 0) {
        line.fault = Line::Fault::UnknownKey;
        return line;
    }
    const std::string_view rest = s.substr(eq + 2);
    const std::size_t quote = rest.find('\'');
    if (quote == std::string_view::npos) {
        line.fault = Line::Fault::NoCloseQuote;
        return line;
    }
    line.type = Line::Type::Param;
    line.value = rest.substr(0, quote);
    return line;
}

std::optional<bool> onOff(std::string_view value) {
    if (value == "on") return true;
    if (value == "off") return false;
    return std::nullopt;
}

}  // namespace orbex
