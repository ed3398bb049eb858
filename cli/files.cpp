#include "files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <system_error>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace orbex::cli {

std::optional<std::string> readFile(const std::string& path, std::string& error) {
    std::error_code ec;
    if (fs::is_directory(path, ec)) {
        error = "is a directory";
        return std::nullopt;
    }
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        error = std::strerror(errno);
        return std::nullopt;
    }
    std::string bytes;
    char buffer[16384];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, n);
    const bool failed = std::ferror(f) != 0;
    const int saved = errno;
    std::fclose(f);
    if (failed) {
        error = std::strerror(saved);
        return std::nullopt;
    }
    return bytes;
}

bool replaceFile(const std::string& path, std::string_view bytes, std::string& error) {
    const fs::path target(path);
    if (target.filename().empty()) {
        error = "not a file name";
        return false;
    }
    const fs::path dir = target.has_parent_path() ? target.parent_path() : fs::path(".");
    std::random_device random;
    fs::path temp;
    std::FILE* f = nullptr;
    for (int attempt = 0; attempt < 16 && !f; ++attempt) {
        temp = dir / ("." + target.filename().string() + ".orbcfg-" + std::to_string(random()));
        f = std::fopen(temp.string().c_str(), "wbx");
        if (!f && errno != EEXIST) break;
    }
    if (!f) {
        error = std::strerror(errno);
        return false;
    }
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = std::fflush(f) == 0 && ok;
#ifndef _WIN32
    ok = ok && ::fsync(fileno(f)) == 0;
#endif
    int saved = errno;
    ok = std::fclose(f) == 0 && ok;
    if (ok) saved = 0;
    std::error_code ec;
    if (ok) {
        // An existing file keeps its permissions.
        const auto status = fs::status(target, ec);
        if (!ec && fs::exists(status)) fs::permissions(temp, status.permissions(), ec);
        ec.clear();
        fs::rename(temp, target, ec);
        if (ec) {
            ok = false;
            error = ec.message();
        }
    } else {
        error = std::strerror(saved != 0 ? saved : EIO);
    }
    if (!ok) fs::remove(temp, ec);
    return ok;
}

}  // namespace orbex::cli
