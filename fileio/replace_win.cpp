// The steps of a replace on Windows, and what else looks at files through their links.
// Windows keeps no POSIX mode (only the read-only attribute) and renames nothing over a file
// that is open, if only for a moment.
#include <algorithm>
#include <cerrno>

#include "fileio/win32.h"

namespace orbex::fileio {

namespace {

HANDLE handleOf(Handle handle) {
    return reinterpret_cast<HANDLE>(handle);
}

// One rename puts the new file in the old one's place: a reader or an in-place edit finds the
// old file or the new one, never none. (ReplaceFileW would keep the old file's access list
// too, but Wine's moves the old file aside first, so that the name is missing for a moment,
// and leaves a file rfXXXX.tmp behind when it fails.) Without MOVEFILE_REPLACE_EXISTING a
// file that appeared meanwhile keeps its name.
Failure move(const NativePath& from, const Target& to, bool replace) {
    const std::wstring target = wide(to.path);
    // A read-only target, forced, has its attribute lifted for the rename; the new file gets
    // the old one's attributes.
    const bool readOnly = to.exists && (to.attributes & FILE_ATTRIBUTE_READONLY);
    if (readOnly) ::SetFileAttributesW(target.c_str(), to.attributes & ~FILE_ATTRIBUTE_READONLY);
    const DWORD flags =
        replace ? MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH : MOVEFILE_WRITE_THROUGH;
    // A refusal while the old file is open (a reader, an edit about to wait for the lock, a
    // virus scanner) is tried again for a while.
    DWORD e = 0;
    for (int attempt = 0; attempt < 40; ++attempt) {
        if (attempt > 0) ::Sleep(25);
        e = ::MoveFileExW(from.c_str(), target.c_str(), flags) ? 0 : ::GetLastError();
        if (e == 0 || !to.exists || (e != ERROR_ACCESS_DENIED && e != ERROR_SHARING_VIOLATION))
            break;
    }
    if (to.exists) ::SetFileAttributesW(target.c_str(), to.attributes);
    return e == 0 ? Failure{} : windowsFailure(e);
}

}  // namespace

bool namesNoFile(const std::string& path) {
    return path.empty() || path.back() == '/' || path.back() == '\\';
}

Failure followLinks(const std::string& path, Target& t) {
    t.path = narrow(finalPath(wide(path)));
    const DWORD attributes = ::GetFileAttributesW(wide(t.path).c_str());
    t.exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (!t.exists) return {};
    t.attributes = attributes;
    t.type =
        attributes & FILE_ATTRIBUTE_DIRECTORY ? Target::Type::Directory : Target::Type::Regular;
    t.readOnly = attributes & FILE_ATTRIBUTE_READONLY;
    return {};
}

Failure checkWritable(const Target&) {
    return {};  // told by the rename
}

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of("\\/");
    if (slash == std::string::npos) return ".";
    if (slash == 0 || (slash == 2 && path[1] == ':')) return path.substr(0, slash + 1);
    return path.substr(0, slash);
}

Failure createIn(const std::string& dir, std::string_view name, unsigned, Handle& handle,
                 NativePath& path) {
    path = wide(dir);
    if (!path.empty() && path.back() != L'\\' && path.back() != L'/') path += L'\\';
    path += wide(std::string(name));
    // Shared for deletion only: a signal's handler removes the file while it is open.
    const HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr,
                                   CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return lastFailure();
    handle = reinterpret_cast<Handle>(h);
    return {};
}

Failure adopt(Handle, const Target&) {
    return {};  // the attributes come with the rename
}

Failure writeSome(Handle handle, const char* bytes, std::size_t count, std::size_t& done) {
    DWORD n = 0;
    const DWORD want = static_cast<DWORD>(std::min<std::size_t>(count, DWORD{1} << 30));
    if (!::WriteFile(handleOf(handle), bytes, want, &n, nullptr)) return lastFailure();
    done = n;
    return {};
}

Failure flush(Handle handle) {
    return ::FlushFileBuffers(handleOf(handle)) ? Failure{} : lastFailure();
}

Failure closeWritten(Handle handle) {
    return ::CloseHandle(handleOf(handle)) ? Failure{} : lastFailure();
}

void discard(const NativeChar* path) {
    ::DeleteFileW(path);
}

Failure renameOver(const NativePath& from, const Target& to) {
    return move(from, to, true);
}

Failure renameNoReplace(const NativePath& from, const Target& to) {
    return move(from, to, false);
}

// MOVEFILE_WRITE_THROUGH makes each rename durable: no folder is opened or flushed.
Failure openFolder(const std::string&, Folder&) {
    return {};
}

Failure flushFileSystem(const Folder&) {
    return {};  // never asked: kFlushesFileSystem is false
}

void syncFolder(const Folder&) {}

void closeFolder(const Folder&) {}

std::optional<unsigned> newFileMode(std::span<const std::string>, bool) {
    return std::nullopt;
}

bool sameFile(const std::string& a, const std::string& b) {
    const auto identity = [](const std::string& p, BY_HANDLE_FILE_INFORMATION& info) {
        const HANDLE h = ::CreateFileW(wide(p).c_str(), 0,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (h == INVALID_HANDLE_VALUE) return false;
        const bool ok = ::GetFileInformationByHandle(h, &info) != 0;
        ::CloseHandle(h);
        return ok;
    };
    // The place first: a writer may replace the file between the two looks at the identities.
    const std::wstring pa = finalPath(wide(a)), pb = finalPath(wide(b));
    if (::CompareStringOrdinal(pa.c_str(), static_cast<int>(pa.size()), pb.c_str(),
                               static_cast<int>(pb.size()), TRUE) == CSTR_EQUAL)
        return ::GetFileAttributesW(pa.c_str()) != INVALID_FILE_ATTRIBUTES;
    BY_HANDLE_FILE_INFORMATION ia, ib;
    return identity(a, ia) && identity(b, ib) &&
           ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
           ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
}

}  // namespace orbex::fileio
