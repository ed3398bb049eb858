// What reading a file ignores and what the review would reset: the report of `orbcfg-cli check`.
#pragma once

#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace orbex {

struct Finding {
    int line = 0;     // 1-based line of the file
    std::string key;  // empty when the line names no key
    std::string message;
    bool resets = false;  // a value the review would reset, not a line that reading ignores
};

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
