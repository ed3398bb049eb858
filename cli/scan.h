// Reading many files one after another into one buffer, for the check over a whole fleet.
#pragma once

#include <string>
#include <string_view>

namespace orbex::cli {

// Reads the file whole into `buffer`, which only grows and serves the next file again, and
// points `bytes` at what was read; false with the reason in `error` (the same reasons as
// readFile gives).
bool readInto(const std::string& path, std::string& buffer, std::string_view& bytes,
              std::string& error);

}  // namespace orbex::cli
