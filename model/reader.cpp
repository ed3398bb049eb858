#include "model/reader.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "model/text.h"

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

namespace {
// A value as UTF-8: kept when it is valid UTF-8 already, otherwise read as Windows-1251.
void setDecoded(Store& store, Id id, std::string_view value) {
    if (text::isUtf8(value)) {
        store.setText(id, value);
    } else {
        store.setText(id, text::fromCp1251(value));
    }
}
}  // namespace

void applyParameter(Store& store, Id id, std::string_view value, bool xFlag) {
    const Param& p = param(id);
    switch (p.kind) {
        case Kind::Text:
            setDecoded(store, id, value);
            break;
        case Kind::Switch:
            if (const auto on = onOff(value)) {
                store.setCheck(id, *on ? Tri::Checked : Tri::Unchecked);
            } else {
                store.setCheck(id, Tri::Grayed);
            }
            break;
        case Kind::Choice: {
            if (p.has(Editable)) {
                if (auto item = itemOf(p.table, value)) store.setItem(id, *item);
                if (store.item(id) == 0) setDecoded(store, id, value);
                break;
            }
            const auto item =
                p.key == keys::CHIPSET ? chipsetItem(value, xFlag) : itemOf(p.table, value);
            if (item) store.setItem(id, *item);
            break;
        }
        case Kind::None:
            break;
    }
}

std::optional<bool> onOff(std::string_view value) {
    if (value == "on") return true;
    if (value == "off") return false;
    return std::nullopt;
}

bool readConfig(std::string_view bytes, Store& store) {
    static const Id x = idOf(keys::X), chipset = idOf(keys::CHIPSET);
    store.ResetAll();
    // One pass: CHIPSET waits for the X flag, which the first X line of "on" or "off" decides
    // wherever it stands, and which no earlier load carries over.
    std::optional<bool> xFlag;
    std::vector<std::string> chipsets;
    forEachLine(bytes, [&](const RawLine& raw) {
        const Line line = parseLine(raw.text);
        if (line.type != Line::Type::Param) return true;
        if (line.key == x) {
            if (!xFlag) xFlag = onOff(line.value);
        } else if (line.key == chipset) {
            chipsets.emplace_back(line.value);
        } else {
            applyParameter(store, line.key, line.value, false);
        }
        return true;
    });
    for (const std::string& value : chipsets)
        applyParameter(store, chipset, value, xFlag.value_or(false));
    return xFlag.value_or(false);
}

}  // namespace orbex
