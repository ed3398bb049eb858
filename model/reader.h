// Reading a configuration file into a store.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "catalogue.h"
#include "store.h"

namespace orbex {

// One line as reading sees it: CR bytes dropped, the line feed taken off, a byte-order mark
// at its start removed; `number` counts from 1.
struct RawLine {
    std::string_view text;
    int number = 0;
    bool rebuilt = false;  // `text` is a copy without the line's CR bytes, valid for this call
};

// The bytes before the first 1A, and where it stands (npos when there is none).
struct FileText {
    std::string_view lines;
    std::size_t eof = std::string_view::npos;
};
inline FileText textOf(std::string_view bytes) {
    const std::size_t eof = bytes.find('\x1A');
    return {bytes.substr(0, eof), eof};
}

// Calls `f` for every line of a file's bytes until it returns false. Reading is in text mode:
// every CR byte is dropped, LF ends a line, a byte 1A ends the file. A last line without a
// line break is a line like any other.
template <typename F>
void forEachLine(FileText in, F&& f) {
    const std::string_view bytes = in.lines;
    std::string scratch;
    RawLine line;
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        std::size_t end = bytes.find('\n', pos);
        const bool broken = end != std::string_view::npos;
        if (!broken) end = bytes.size();
        std::string_view text = bytes.substr(pos, end - pos);
        pos = broken ? end + 1 : end;
        ++line.number;
        // A comment stays a comment whatever CR bytes it holds: nothing reads its text.
        if (text.starts_with('#')) {
            line.text = text;
            line.rebuilt = false;
            if (!f(static_cast<const RawLine&>(line))) return;
            continue;
        }
        while (!text.empty() && text.back() == '\r') text.remove_suffix(1);
        line.rebuilt = text.find('\r') != std::string_view::npos;
        if (line.rebuilt) {
            scratch.assign(text);
            std::erase(scratch, '\r');
            text = scratch;
        }
        // A mark at the start of any line goes; a line of the mark alone is an empty line.
        if (text.starts_with(kBom)) text.remove_prefix(kBom.size());
        line.text = text;
        if (!f(static_cast<const RawLine&>(line))) return;
    }
}
template <typename F>
void forEachLine(std::string_view bytes, F&& f) {
    forEachLine(textOf(bytes), std::forward<F>(f));
}

struct Line {
    enum class Type : std::uint8_t { Blank, Comment, Param, Other };
    // Why a line of type Other is no parameter line.
    enum class Fault : std::uint8_t {
        None,
        NoKeyQuote,    // the text before the first "=" is not followed by "='"
        UnknownKey,    // it is, but the text is no key
        NoCloseQuote,  // a key and "='", but no closing quote
    };
    Type type = Type::Other;
    Fault fault = Fault::None;
    Id key = -1;             // Param and NoCloseQuote: the line's key
    std::string_view value;  // Param: the text between "='" and the next single quote
};

// KEY='value': the key at the first character, directly followed by "='", and a closing quote.
// Anything after the closing quote does not count. The line may still hold its line feed.
Line parseLine(std::string_view line);

// Applies one parameter line to the store, as the open command does for every line.
void applyParameter(Store& store, Id key, std::string_view value, bool xFlag);

// The value of a switch or of X: "on" true, "off" false, anything else neither.
std::optional<bool> onOff(std::string_view value);

// The open command: ResetAll, then every parameter line in file order, CHIPSET read with the
// X flag of the whole file (the first X line that says "on" or "off"). Returns that flag.
bool readConfig(std::string_view bytes, Store& store);

}  // namespace orbex
