// What reading a file ignores and what the review would reset: the report of `orbcfg-cli check`.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace orbex {

// What a finding says of its line. The value and the hint are its parameters, as noted.
enum class LintCode : std::uint8_t {
    NoCloseQuote,    // a parameter line without its closing quote
    NotParamLine,    // no KEY='value' line at all
    UnknownKey,      // value: the name; hint: the key it matches regardless of case, if any
    NoEquals,        // a key without "='" after it
    Blanks,          // blanks before the key or around "="
    NoQuotes,        // the value not in single quotes
    NotInTable,      // value: the value, with "_x" for a CHIPSET line read with X='on'
    XNotOnOff,       // X: value neither on nor off
    SwitchNotOnOff,  // a switch's value neither on nor off
    NotEdited,       // a key the program does not edit (it is dropped on save)
    AfterEof,        // text after byte 1A
    Reset,           // value: the text the key's check (param(key).check) does not pass
    DroppedComment,  // a comment line the save does not write again
};

struct Finding {
    int line = 0;     // 1-based line of the file
    std::string key;  // empty when the line names no key
    LintCode code = LintCode::NotParamLine;
    std::string value{}, hint{};
    bool xFlag = false;  // NotInTable on CHIPSET: the value was looked up with "_x" appended
    // A value the review would reset, not a line that reading ignores.
    bool resets() const { return code == LintCode::Reset; }
};

// What the finding says, in the words of orbcfg-cli check.
std::string message(const Finding& finding);

// In line order. Comments and empty lines are never findings.
std::vector<Finding> lintConfig(std::string_view bytes);
// The same, one at a time, without holding them: a file of many bad lines needs no more memory
// than the file.
void lintConfig(std::string_view bytes, const std::function<void(const Finding&)>& report);

// A key whose last parameter line the check notes on its way: the value as the file holds it
// and its line (0 when the file has no such line).
struct LastValue {
    int key = -1;
    std::string value;
    int line = 0;
};
// The same, noting the last value of each of `watch`'s keys in the same pass.
void lintConfig(std::string_view bytes, const std::function<void(const Finding&)>& report,
                std::span<LastValue> watch);

// The lines of a file that reading ignores and that the save therefore drops: the findings
// above that are not resets, and the comment lines that the save does not write again; in line
// order.
std::vector<Finding> droppedLines(std::string_view bytes);
// The same for a file already read: `read` is what readConfig made of `bytes`.
class MemoryStore;
std::vector<Finding> droppedLines(std::string_view bytes, const MemoryStore& read);

}  // namespace orbex
