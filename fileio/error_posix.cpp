// The errors of the system on POSIX: errno and the C library's words.
#include <cerrno>
#include <cstring>

#include "fileio/platform.h"

namespace orbex::fileio {

std::string systemReason(int code) {
    return std::strerror(code);
}

Failure lastFailure() {
    return systemFailure(errno);
}

}  // namespace orbex::fileio
