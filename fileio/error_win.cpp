// The errors of the system on Windows, as Linux reports the same failures: the errno that
// Linux has and its words, so that messages and the Russian reasons read the same on both.
#include <cerrno>
#include <cstring>

#include "fileio/win32.h"

namespace orbex::fileio {

namespace {

// The C library of Windows words some reasons otherwise than Linux ("Filename too long"), and
// knows no others.
struct Words {
    int code;
    const char* reason;
};
constexpr Words kLinuxWords[] = {
    {EPERM, "Operation not permitted"},
    {ENOENT, "No such file or directory"},
    {EIO, "Input/output error"},
    {EBADF, "Bad file descriptor"},
    {ENOMEM, "Cannot allocate memory"},
    {EACCES, "Permission denied"},
    {EBUSY, "Device or resource busy"},
    {EEXIST, "File exists"},
    {EXDEV, "Invalid cross-device link"},
    {ENOTDIR, "Not a directory"},
    {EISDIR, "Is a directory"},
    {EINVAL, "Invalid argument"},
    {EMFILE, "Too many open files"},
    {EFBIG, "File too large"},
    {ENOSPC, "No space left on device"},
    {EROFS, "Read-only file system"},
    {EPIPE, "Broken pipe"},
    {ENAMETOOLONG, "File name too long"},
    {ENOTEMPTY, "Directory not empty"},
    {ELOOP, "Too many levels of symbolic links"},
};

// The errno that the same failure has on Linux, as the C library of Windows maps them (with
// a few nearer ones: a name too long, a write-protected disk, a file where a folder should
// be). An error of Windows alone is not here.
struct Nearest {
    DWORD error;
    int code;
};
constexpr Nearest kErrnos[] = {
    {ERROR_FILE_NOT_FOUND, ENOENT},
    {ERROR_PATH_NOT_FOUND, ENOENT},
    {ERROR_INVALID_DRIVE, ENOENT},
    {ERROR_BAD_NETPATH, ENOENT},
    {ERROR_BAD_NET_NAME, ENOENT},
    {ERROR_BAD_PATHNAME, ENOENT},
    {ERROR_NO_MORE_FILES, ENOENT},
    {ERROR_ACCESS_DENIED, EACCES},
    {ERROR_SHARING_VIOLATION, EACCES},  // open in another program: Linux has no such refusal
    {ERROR_LOCK_VIOLATION, EACCES},
    {ERROR_NETWORK_ACCESS_DENIED, EACCES},
    {ERROR_CANNOT_MAKE, EACCES},
    {ERROR_CURRENT_DIRECTORY, EACCES},
    {ERROR_DRIVE_LOCKED, EACCES},
    {ERROR_NOT_LOCKED, EACCES},
    {ERROR_LOCK_FAILED, EACCES},
    {ERROR_WRITE_PROTECT, EROFS},
    {ERROR_DISK_FULL, ENOSPC},
    {ERROR_HANDLE_DISK_FULL, ENOSPC},
    {ERROR_FILE_EXISTS, EEXIST},
    {ERROR_ALREADY_EXISTS, EEXIST},
    {ERROR_FILENAME_EXCED_RANGE, ENAMETOOLONG},
    {ERROR_DIRECTORY, ENOTDIR},
    {ERROR_DIR_NOT_EMPTY, ENOTEMPTY},
    {ERROR_NOT_SAME_DEVICE, EXDEV},
    {ERROR_TOO_MANY_OPEN_FILES, EMFILE},
    {ERROR_NOT_ENOUGH_MEMORY, ENOMEM},
    {ERROR_OUTOFMEMORY, ENOMEM},
    {ERROR_BROKEN_PIPE, EPIPE},
    {ERROR_CANT_RESOLVE_FILENAME, ELOOP},
    {ERROR_INVALID_NAME, EINVAL},  // a character Windows keeps out of names
    {ERROR_INVALID_PARAMETER, EINVAL},
    {ERROR_READ_FAULT, EIO},
    {ERROR_WRITE_FAULT, EIO},
    {ERROR_CRC, EIO},
    {ERROR_SECTOR_NOT_FOUND, EIO},
    {ERROR_NOT_READY, EIO},
    {ERROR_IO_DEVICE, EIO},
};

std::string windowsReason(DWORD e) {
    wchar_t* text = nullptr;
    const DWORD n = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, e, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring w = n && text ? std::wstring(text, n) : std::wstring();
    if (text) ::LocalFree(text);
    while (!w.empty() && (w.back() == L'\r' || w.back() == L'\n' || w.back() == L' ')) w.pop_back();
    return w.empty() ? "error " + std::to_string(e) : narrow(w);
}

}  // namespace

std::string systemReason(int code) {
    for (const Words& w : kLinuxWords)
        if (w.code == code) return w.reason;
    return std::strerror(code);
}

Failure windowsFailure(DWORD e) {
    for (const Nearest& n : kErrnos)
        if (n.error == e) return systemFailure(n.code);
    return {Kind::System, EIO, windowsReason(e)};
}

Failure lastFailure() {
    return windowsFailure(::GetLastError());
}

std::wstring wide(const std::string& s) {
    if (s.empty()) return {};
    const int n =
        ::MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), nullptr, 0);
    std::wstring w(static_cast<std::size_t>(n), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, s.data(), static_cast<int>(s.size()), w.data(), n);
    return w;
}

std::string narrow(const std::wstring& w) {
    if (w.empty()) return {};
    const int n = ::WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), nullptr,
                                        0, nullptr, nullptr);
    std::string s(static_cast<std::size_t>(n), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, w.data(), static_cast<int>(w.size()), s.data(), n, nullptr,
                          nullptr);
    return s;
}

std::wstring finalPath(const std::wstring& path) {
    const HANDLE h =
        ::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return path;
    std::wstring out(32768, L'\0');
    const DWORD n = ::GetFinalPathNameByHandleW(h, out.data(), static_cast<DWORD>(out.size()),
                                                FILE_NAME_NORMALIZED);
    ::CloseHandle(h);
    if (n == 0 || n >= out.size()) return path;
    out.resize(n);
    return out;
}

}  // namespace orbex::fileio
