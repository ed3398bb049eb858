// The edit lock on Windows: a named mutex of the system.
#include <cstdint>

#include "fileio/win32.h"

namespace orbex::fileio {

// The lock is a named mutex of the system, named after the file: a byte lock on the file would
// keep it open, and Windows renames nothing over an open file, nor reads the bytes of a locked
// range through another handle. The name holds for the file that the replace puts in the old
// one's place, and nothing is left in the folder.
struct Lock::Handle {
    HANDLE mutex = nullptr;
};

namespace {

// The mutex of the file that `path` names, made if no process has it yet: nullptr with
// GetLastError() when the file is not there or no mutex can be made. The file's final path
// names it, case folded, so that every spelling of the path finds the same one.
HANDLE editMutex(const std::string& path) {
    const std::wstring w = wide(path);
    // The file must be there, as for any read.
    const HANDLE h =
        ::CreateFileW(w.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return nullptr;
    ::CloseHandle(h);
    std::wstring name = finalPath(w);
    ::CharUpperBuffW(name.data(), static_cast<DWORD>(name.size()));
    std::uint64_t hash = 14695981039346656037ull;  // FNV-1a
    for (wchar_t c : name) {
        hash ^= static_cast<std::uint16_t>(c);
        hash *= 1099511628211ull;
    }
    std::wstring tail = L"orbcfg-edit-";
    for (int shift = 60; shift >= 0; shift -= 4) tail += L"0123456789abcdef"[(hash >> shift) & 15];
    // Across the sessions of the machine where the process may, else within its own.
    HANDLE mutex = ::CreateMutexW(nullptr, FALSE, (L"Global\\" + tail).c_str());
    if (!mutex) mutex = ::CreateMutexW(nullptr, FALSE, (L"Local\\" + tail).c_str());
    return mutex;
}

}  // namespace

std::unique_ptr<Lock> Lock::acquire(const std::string& path, Error& error,
                                    const std::function<bool()>& stop) {
    error = {};
    const HANDLE mutex = editMutex(path);
    if (!mutex) {
        error = errorOf(lastFailure(), path, false, true);
        return nullptr;
    }
    // An owner that ended without releasing it (WAIT_ABANDONED) left the file whole: the
    // replace is one rename.
    DWORD waited;
    while ((waited = ::WaitForSingleObject(mutex, stop ? 5 : INFINITE)) == WAIT_TIMEOUT) {
        if (stop()) {
            ::CloseHandle(mutex);
            error = interruptedError(path, true);
            return nullptr;
        }
    }
    if (waited != WAIT_OBJECT_0 && waited != WAIT_ABANDONED) {
        error = errorOf(lastFailure(), path, false, true);
        ::CloseHandle(mutex);
        return nullptr;
    }
    std::unique_ptr<Lock> lock(new Lock);
    lock->handle_ = std::make_unique<Handle>();
    lock->handle_->mutex = mutex;
    return lock;
}

Lock::~Lock() {
    if (handle_ && handle_->mutex) {
        ::ReleaseMutex(handle_->mutex);
        ::CloseHandle(handle_->mutex);
    }
}

}  // namespace orbex::fileio
