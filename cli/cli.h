// orbcfg-cli: checking and scripting configuration files on the model, without a window.
#pragma once

#include <iosfwd>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace orbex::cli {

// Runs one command line (without the program name). Returns the exit code: 0 success,
// 1 findings of `check`, 2 a file that cannot be read or written, or a bad command line.
int run(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
        std::ostream& err);
// The same on views of the arguments (of argv itself).
int run(std::span<const std::string_view> args, std::istream& in, std::ostream& out,
        std::ostream& err);

}  // namespace orbex::cli
