// Reading a whole file, and replacing one so that it is never seen half-written: the tool's
// short forms of the file library.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "fileio/fileio.h"

namespace orbex::cli {

// Why a file cannot be read, as messages about it say after its name.
std::string reasonOf(const fileio::Error& e);

// The file's bytes (at most fileio::kInputLimit), or nullopt with the reason in `error`.
std::optional<std::string> readFile(const std::string& path, std::string& error);

// Writes the bytes to a new file beside `path` and renames it over `path` in one step. On any
// failure `path` is untouched, nothing is left behind, and `error` says why. A read-only target
// is refused unless `options.force`.
bool replaceFile(const std::string& path, std::string_view bytes, std::string& error);
bool replaceFile(const std::string& path, std::string_view bytes, std::string& error,
                 const fileio::ReplaceOptions& options);

// Makes the folder and its missing parents; true when it exists afterwards.
bool makeFolder(const std::string& path, std::string& error);

// Makes the folder and its missing parents; true when it exists afterwards.
bool makeFolder(const std::string& path, std::string& error);

}  // namespace orbex::cli
