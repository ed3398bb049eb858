#include "scan.h"

#include <cerrno>
#include <cstring>

#include "files.h"

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

namespace orbex::cli {

#ifdef _WIN32
bool readInto(const std::string& path, std::string& buffer, std::string_view& bytes,
              std::string& error) {
    auto read = readFile(path, error);
    if (!read) return false;
    buffer = std::move(*read);
    bytes = buffer;
    return true;
}
#else
bool readInto(const std::string& path, std::string& buffer, std::string_view& bytes,
              std::string& error) {
    const auto fail = [&](int code) {
        error = code == EISDIR ? "is a directory" : std::strerror(code);
        return false;
    };
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return fail(errno);
    // A directory opens, and its first read fails with EISDIR.
    std::size_t size = 0;
    if (buffer.size() < 65536) buffer.resize(65536);
    for (;;) {
        if (size == buffer.size()) buffer.resize(buffer.size() * 2);
        const ssize_t n = ::read(fd, buffer.data() + size, buffer.size() - size);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int code = errno;
            ::close(fd);
            return fail(code);
        }
        if (n == 0) break;
        size += static_cast<std::size_t>(n);
    }
    ::close(fd);
    bytes = std::string_view(buffer.data(), size);
    return true;
}
#endif

}  // namespace orbex::cli
