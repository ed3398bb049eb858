// Reading a file on Windows.
#include <algorithm>
#include <cerrno>

#include "fileio/win32.h"

namespace orbex::fileio {

void closeFile(Handle handle) {
    ::CloseHandle(reinterpret_cast<HANDLE>(handle));
}

Failure openToRead(const std::string& path, Accept accept, Handle& handle) {
    const std::wstring w = wide(path);
    // A folder does not open as a file: it is told by its attributes.
    const DWORD attributes = ::GetFileAttributesW(w.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return isDirectory();
    const HANDLE h = ::CreateFileW(w.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return lastFailure();
    handle = reinterpret_cast<Handle>(h);
    if (accept == Accept::Regular && ::GetFileType(h) != FILE_TYPE_DISK) return notRegular();
    return {};
}

Failure readSome(Handle handle, char* place, std::size_t count, std::size_t& got) {
    DWORD n = 0;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(count, DWORD{1} << 30));
    got = 0;
    if (!::ReadFile(reinterpret_cast<HANDLE>(handle), place, want, &n, nullptr)) {
        const DWORD e = ::GetLastError();
        // The writing end of a pipe closed: the end of the input.
        return e == ERROR_BROKEN_PIPE ? Failure{} : windowsFailure(e);
    }
    got = n;
    return {};
}

}  // namespace orbex::fileio
