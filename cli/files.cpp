#include "cli/files.h"

#include <filesystem>
#include <system_error>

namespace orbex::cli {

std::optional<std::string> readFile(const std::string& path, std::string& error) {
    fileio::Error e;
    auto bytes = fileio::readFile(path, e);
    if (!bytes) error = reasonOf(e);
    return bytes;
}

std::string reasonOf(const fileio::Error& e) {
    return e.kind == fileio::Kind::TooLarge ? e.reason + ": not a terminal configuration"
                                            : e.reason;
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

bool makeFolder(const std::string& path, std::string& error) {
    // Names are UTF-8; on Windows they reach the system as UTF-16.
    const std::filesystem::path p(std::u8string(path.begin(), path.end()));
    std::error_code ec;
    std::filesystem::create_directories(p, ec);
    if (std::filesystem::is_directory(p, ec)) return true;
    error = ec ? ec.message() : "not a folder";
    return false;
}

}  // namespace orbex::cli
