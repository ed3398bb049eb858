// orbcfg-cli: checking and scripting configuration files on the model, without a window.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace orbex::cli {

// Runs one command line (without the program name). Returns the exit code: 0 success,
// 1 findings of `check`, 2 a file that cannot be read or written, or a bad command line.
int run(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
        std::ostream& err);

}  // namespace orbex::cli
