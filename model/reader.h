// Reading a configuration file into a store.
#pragma once

#include <functional>
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
};

// Calls `f` for every line of a file's bytes until it returns false. Reading is in text mode:
// every CR byte is dropped, LF ends a line, a byte 1A ends the file. A last line without a
// line break is a line like any other.
void forEachLine(std::string_view bytes, const std::function<bool(const RawLine&)>& f);

struct Line {
    enum class Type : std::uint8_t { Blank, Comment, Param, Other };
    Type type = Type::Other;
    Id key = -1;             // Param: the line's key
    std::string_view value;  // Param: the text between "='" and the next single quote
};

// KEY='value': the key at the first character, directly followed by "='", and a closing quote.
Line parseLine(std::string_view line);

// Applies one parameter line to the store, as the open command does for every line.
void applyParameter(Store& store, Id key, std::string_view value, bool xFlag);

// The flag pass: the first X line whose value is "on" or "off" decides; none means off.
bool readXFlag(std::string_view bytes);

// The open command's two passes: the X flag from the first X line that says "on" or "off",
// then ResetAll and every parameter line in file order.
void readConfig(std::string_view bytes, Store& store);

}  // namespace orbex
