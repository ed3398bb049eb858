// The edit lock on POSIX: flock on the file, held by an open descriptor.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "fileio/platform.h"

namespace orbex::fileio {

struct Lock::Handle {
    int fd = -1;
};

std::unique_ptr<Lock> Lock::acquire(const std::string& path, Error& error,
                                    const std::function<bool()>& stop) {
    error = {};
    for (;;) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            error = errorOf(lastFailure(), path, false, true);
            return nullptr;
        }
        int locked;
        if (stop) {
            // Asked again every few milliseconds, so that the wait can end.
            while ((locked = ::flock(fd, LOCK_EX | LOCK_NB)) != 0 &&
                   (errno == EWOULDBLOCK || errno == EINTR)) {
                if (stop()) {
                    ::close(fd);
                    error = interruptedError(path, true);
                    return nullptr;
                }
                ::usleep(5000);
            }
        } else {
            while ((locked = ::flock(fd, LOCK_EX)) != 0 && errno == EINTR) {
            }
        }
        if (locked != 0) {
            error = errorOf(lastFailure(), path, false, true);
            ::close(fd);
            return nullptr;
        }
        // Still the file the path names? A writer who held the lock before may have put a new
        // file in its place; then that one is locked instead.
        struct stat held, named;
        if (::fstat(fd, &held) == 0 && ::stat(path.c_str(), &named) == 0 &&
            held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
            std::unique_ptr<Lock> lock(new Lock);
            lock->handle_ = std::make_unique<Handle>();
            lock->handle_->fd = fd;
            return lock;
        }
        ::close(fd);
    }
}

Lock::~Lock() {
    if (handle_ && handle_->fd >= 0) ::close(handle_->fd);  // the lock goes with it
}

}  // namespace orbex::fileio
