#include "scan.h"

#include <cerrno>
#include <cstring>

#include "files.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace orbex::cli {

#ifdef _WIN32
bool readInto(const std::string& path, std::string& bytes, std::string& error) {
    auto read = readFile(path, error);
    if (!read) return false;
    bytes = std::move(*read);
    return true;
}
#else
bool readInto(const std::string& path, std::string& bytes, std::string& error) {
    const auto fail = [&](int code) {
        error = code == EISDIR ? "is a directory" : std::strerror(code);
        return false;
    };
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return fail(errno);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
        const int code = S_ISDIR(st.st_mode) ? EISDIR : errno;
        ::close(fd);
        return fail(code);
    }
    // The size is a hint: a file that grows or shrinks meanwhile is read to its end all the same.
    std::size_t size = 0;
    bytes.resize(static_cast<std::size_t>(st.st_size) + 1);
    for (;;) {
        if (size == bytes.size()) bytes.resize(bytes.size() * 2 + 4096);
        const ssize_t n = ::read(fd, bytes.data() + size, bytes.size() - size);
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
    bytes.resize(size);
    return true;
}
#endif

}  // namespace orbex::cli
