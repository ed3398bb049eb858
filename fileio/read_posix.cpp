// Reading a file on POSIX.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "fileio/platform.h"

namespace orbex::fileio {

void closeFile(Handle handle) {
    ::close(static_cast<int>(handle));
}

Failure openToRead(const std::string& path, Accept accept, Handle& handle) {
    // A regular file is opened without waiting (a FIFO would wait for a writer) and looked at
    // before its first read (a FIFO or a device could give bytes for ever).
    const int fd =
        ::open(path.c_str(), O_RDONLY | O_CLOEXEC | (accept == Accept::Regular ? O_NONBLOCK : 0));
    if (fd < 0) return lastFailure();
    handle = fd;
    if (accept == Accept::Regular) {
        struct stat st;
        if (::fstat(fd, &st) != 0) return lastFailure();
        if (S_ISDIR(st.st_mode)) return isDirectory();
        if (!S_ISREG(st.st_mode)) return notRegular();
    }
    return {};
}

Failure readSome(Handle handle, char* place, std::size_t count, std::size_t& got) {
    ssize_t n;
    while ((n = ::read(static_cast<int>(handle), place, count)) < 0 && errno == EINTR) {
    }
    if (n < 0) return errno == EISDIR ? isDirectory() : lastFailure();
    got = static_cast<std::size_t>(n);
    return {};
}

}  // namespace orbex::fileio
