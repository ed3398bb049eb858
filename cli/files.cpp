#include "files.h"

namespace orbex::cli {

std::optional<std::string> readFile(const std::string& path, std::string& error) {
    fileio::Error e;
    auto bytes = fileio::readFile(path, e);
    if (!bytes) error = e.kind == fileio::Kind::TooLarge ? e.message() : e.reason;
    return bytes;
}

bool replaceFile(const std::string& path, std::string_view bytes, std::string& error) {
    return replaceFile(path, bytes, error, {});
}

bool replaceFile(const std::string& path, std::string_view bytes, std::string& error,
                 const fileio::ReplaceOptions& options) {
    fileio::Error e;
    if (fileio::replaceFile(path, bytes, e, options)) return true;
    error = e.reason;
    return false;
}

}  // namespace orbex::cli
