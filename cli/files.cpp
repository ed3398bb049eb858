#include "files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <system_error>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace orbex::cli {
namespace {

// Names are UTF-8; on Windows they reach the system as UTF-16.
fs::path pathOf(const std::string& utf8) {
#ifdef _WIN32
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
#else
    return fs::path(utf8);
#endif
}

std::FILE* openForReading(const fs::path& p) {
#ifdef _WIN32
    return ::_wfopen(p.c_str(), L"rb");
#else
    return std::fopen(p.c_str(), "rb");
#endif
}

// A new file, opened for writing; fails with EEXIST when the name is taken.
std::FILE* createNew(const fs::path& p) {
#ifdef _WIN32
    const int fd =
        ::_wopen(p.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
    std::FILE* f = fd < 0 ? nullptr : ::_fdopen(fd, "wb");
#else
    const int fd = ::open(p.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    std::FILE* f = fd < 0 ? nullptr : ::fdopen(fd, "wb");
#endif
    if (fd >= 0 && !f) {
        const int saved = errno;
#ifdef _WIN32
        ::_close(fd);
#else
        ::close(fd);
#endif
        errno = saved;
    }
    return f;
}

}  // namespace

std::optional<std::string> readFile(const std::string& path, std::string& error) {
    const fs::path p = pathOf(path);
    std::error_code ec;
    if (fs::is_directory(p, ec)) {
        error = "is a directory";
        return std::nullopt;
    }
    std::FILE* f = openForReading(p);
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
    const fs::path target = pathOf(path);
    if (target.filename().empty()) {
        error = "not a file name";
        return false;
    }
    const fs::path dir = target.has_parent_path() ? target.parent_path() : fs::path(".");
    std::random_device random;
    fs::path temp;
    std::FILE* f = nullptr;
    for (int attempt = 0; attempt < 16 && !f; ++attempt) {
        fs::path name(".");
        name += target.filename().native();
        name += ".orbcfg-" + std::to_string(random());
        temp = dir / name;
        f = createNew(temp);
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

bool makeFolder(const std::string& path, std::string& error) {
    const fs::path p = pathOf(path);
    std::error_code ec;
    fs::create_directories(p, ec);
    if (fs::is_directory(p)) return true;
    error = ec ? ec.message() : "not a folder";
    return false;
}

}  // namespace orbex::cli
