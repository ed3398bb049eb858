// Reading many files one after another into one buffer, for the check over a whole fleet.
#pragma once

#include <string>

namespace orbex::cli {

// Reads the file whole into `bytes`, whose memory serves the next file again; false with the
// reason in `error` (the same reasons as readFile gives).
bool readInto(const std::string& path, std::string& bytes, std::string& error);

}  // namespace orbex::cli
