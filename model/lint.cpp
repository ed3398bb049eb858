#include "lint.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "catalogue.h"
#include "checks.h"
#include "reader.h"
#include "review.h"

namespace orbex {
namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && isBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back())) s.remove_suffix(1);
    return s;
}

std::string quoted(std::string_view s) {
    return "'" + std::string(s) + "'";
}

std::optional<Id> findIgnoringCase(std::string_view s) {
    for (Id id = 0; id < kKeyCount; ++id) {
        std::string_view k = param(id).key;
        if (k.size() == s.size() && std::equal(k.begin(), k.end(), s.begin(), [](char a, char b) {
                return std::tolower(static_cast<unsigned char>(a)) ==
                       std::tolower(static_cast<unsigned char>(b));
            }))
            return id;
    }
    return std::nullopt;
}

// Why a line that is neither empty, a comment nor a parameter line is ignored: the parser's
// fault, and for a line that misses the grammar, what the line seems to have meant.
Finding explain(const RawLine& raw, const Line& line) {
    if (line.fault == Line::Fault::NoCloseQuote)
        return {raw.number, std::string(param(line.key).key), "no closing quote; ignored"};
    const std::string_view s = raw.text;
    const std::size_t eq = s.find('=');
    const std::string_view left = s.substr(0, eq);
    const std::string_view name = eq == std::string_view::npos
                                      ? trim(left).substr(0, trim(left).find_first_of(" \t'"))
                                      : trim(left);
    const auto id = find(name);
    if (!id) {
        if (name.empty() || eq == std::string_view::npos)
            return {raw.number, "", "not a KEY='value' line; ignored"};
        std::string m = "unknown key " + quoted(name);
        if (auto near = findIgnoringCase(name))
            m += " (keys are case-sensitive: " + std::string(param(*near).key) + ")";
        return {raw.number, "", m + "; ignored"};
    }
    Finding f{raw.number, std::string(name), ""};
    if (eq == std::string_view::npos) {
        f.message = "no \"='\" after the key; ignored";
    } else if (left != name || (eq + 1 < s.size() && isBlank(s[eq + 1]))) {
        f.message = "blanks before the key or around \"=\"; ignored";
    } else {
        f.message = "the value must stand in single quotes; ignored";
    }
    return f;
}

}  // namespace

std::vector<Finding> lintConfig(std::string_view bytes) {
    std::vector<Finding> out;
    std::array<int, kKeyCount> lastLine{};

    MemoryStore store;
    const bool xFlag = readConfig(bytes, store);
    const Id chipset = idOf(keys::CHIPSET), x = idOf(keys::X), fb = idOf(keys::FB);

    forEachLine(bytes, [&](const RawLine& raw) {
        const Line line = parseLine(raw.text);
        if (line.type == Line::Type::Blank || line.type == Line::Type::Comment) return true;
        if (line.type == Line::Type::Other) {
            out.push_back(explain(raw, line));
            return true;
        }
        const Param& p = param(line.key);
        Finding f{raw.number, std::string(p.key), ""};
        const std::string v = quoted(line.value);
        switch (p.kind) {
            case Kind::None:
                if (line.key == x && !xFlagOf(line.value))
                    f.message = v + " is neither on nor off; ignored";
                else if (line.key != x && line.key != fb)
                    f.message = "not edited by the program; ignored, and dropped on save";
                break;
            case Kind::Switch:
                if (line.value != "on" && line.value != "off")
                    f.message = v + " is neither on nor off; the switch stays unset";
                break;
            case Kind::Choice:
                if (p.has(Editable)) break;
                if (line.key == chipset && xFlag) {
                    if (!chipsetItem(line.value, true))
                        f.message = quoted(std::string(line.value) + "_x") +
                                    " (the value with X='on') is not in the key's value table; "
                                    "ignored";
                } else if (!itemOf(p.table, line.value)) {
                    f.message = v + " is not in the key's value table; ignored";
                }
                break;
            case Kind::Text:
                break;
        }
        if (f.message.empty()) {
            lastLine[line.key] = raw.number;
        } else {
            out.push_back(std::move(f));
        }
        return true;
    });
    if (auto eof = bytes.find('\x1A'); eof != std::string_view::npos) {
        const std::string_view rest = bytes.substr(eof + 1);
        if (rest.find_first_not_of(" \t\r\n\x1A") != std::string_view::npos)
            out.push_back(
                {static_cast<int>(std::count(bytes.begin(), bytes.begin() + eof, '\n')) + 1, "",
                 "text after byte 1A (Ctrl-Z) is ignored"});
    }

    const MemoryStore before = store;
    BuildReviewTable(store, [&](Id id) {
        const Param& p = param(id);
        out.push_back({lastLine[id], std::string(p.key),
                       quoted(before.text(id)) + " is not " + describe(p.check) +
                           "; saving resets it to unset"});
    });
    std::stable_sort(out.begin(), out.end(),
                     [](const Finding& a, const Finding& b) { return a.line < b.line; });
    return out;
}

}  // namespace orbex
