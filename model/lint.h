// What reading a file ignores and what the review would reset: the report of `orbcfg-cli check`.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace orbex {

struct Finding {
    int line = 0;     // 1-based line of the file
    std::string key;  // empty when the line names no key
    std::string message;
};

// In line order. Comments and empty lines are never findings.
std::vector<Finding> lintConfig(std::string_view bytes);

}  // namespace orbex
