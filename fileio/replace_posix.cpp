// The steps of a replace on POSIX, and what else looks at files through their links.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "fileio/platform.h"

namespace orbex::fileio {

namespace {

int fdOf(Handle handle) {
    return static_cast<int>(handle);
}

// The path at the end of a chain of symbolic links, and what is there (`exists` false: the last
// link names no file yet); 0 or errno. The last name is no link: what lstat found there is
// what stat would.
int endOfLinks(const std::string& path, std::string& out, struct stat& st, bool& exists) {
    std::string p = path;
    for (int hops = 0; hops < 40; ++hops) {
        if (::lstat(p.c_str(), &st) != 0) {
            if (errno != ENOENT) return errno;
            out = p;
            exists = false;
            return 0;
        }
        if (!S_ISLNK(st.st_mode)) {
            out = p;
            exists = true;
            return 0;
        }
        std::string link(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : PATH_MAX) + 1,
                         '\0');
        const ssize_t n = ::readlink(p.c_str(), link.data(), link.size());
        if (n < 0) return errno;
        link.resize(static_cast<std::size_t>(n));
        p = link.starts_with('/') ? link : folderOf(p) + "/" + link;
    }
    return ELOOP;
}

// Where a replace of the path lands: the canonical path of the folder of the file at the end of
// its links, and that file's name; empty when no file is there or it cannot be told.
std::string placeOf(const std::string& path) {
    std::string target;
    struct stat st;
    bool exists = false;
    if (endOfLinks(path, target, st, exists) != 0 || !exists) return {};
    char* folder = ::realpath(folderOf(target).c_str(), nullptr);
    if (!folder) return {};
    std::string place = folder;
    std::free(folder);
    return place + "/" + target.substr(target.find_last_of('/') + 1);
}

}  // namespace

bool namesNoFile(const std::string& path) {
    return path.empty() || path.back() == '/';
}

Failure followLinks(const std::string& path, Target& t) {
    struct stat st;
    if (const int code = endOfLinks(path, t.path, st, t.exists)) return systemFailure(code);
    if (!t.exists) return {};
    t.type = S_ISDIR(st.st_mode)   ? Target::Type::Directory
             : S_ISREG(st.st_mode) ? Target::Type::Regular
                                   : Target::Type::Other;
    t.readOnly = (st.st_mode & 0222) == 0;
    t.mode = st.st_mode & 07777;
    t.owner = st.st_uid;
    t.group = st.st_gid;
    return {};
}

Failure checkWritable(const Target& t) {
    if (::faccessat(AT_FDCWD, t.path.c_str(), W_OK, AT_EACCESS) != 0 &&
        (errno == EACCES || errno == EROFS))
        return lastFailure();
    return {};
}

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

Failure createIn(const std::string& dir, std::string_view name, unsigned mode, Handle& handle,
                 NativePath& path) {
    path = dir + "/" + std::string(name);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (fd < 0) return lastFailure();
    handle = fd;
    return {};
}

Failure adopt(Handle handle, const Target& t) {
    if (!t.exists) return {};
    const int fd = fdOf(handle);
    const uid_t owner = t.owner;
    const gid_t group = t.group;
    struct stat now;
    if (::fstat(fd, &now) == 0 && (now.st_uid != owner || now.st_gid != group)) {
        // Where the process may: the owner and group; else the group alone.
        if (::fchown(fd, owner, group) != 0 && now.st_gid != group &&
            ::fchown(fd, static_cast<uid_t>(-1), group) != 0) {
            // Neither may be set: the file becomes the process's, as any file it creates.
        }
    }
    return ::fchmod(fd, static_cast<mode_t>(t.mode)) == 0 ? Failure{} : lastFailure();
}

Failure writeSome(Handle handle, const char* bytes, std::size_t count, std::size_t& done) {
    ssize_t n;
    while ((n = ::write(fdOf(handle), bytes, count)) < 0 && errno == EINTR) {
    }
    if (n < 0) return lastFailure();
    done = static_cast<std::size_t>(n);
    return {};
}

Failure flush(Handle handle) {
    return ::fsync(fdOf(handle)) == 0 ? Failure{} : lastFailure();
}

Failure closeWritten(Handle handle) {
    return ::close(fdOf(handle)) == 0 ? Failure{} : lastFailure();
}

void discard(const NativeChar* path) {
    ::unlink(path);
}

Failure renameOver(const NativePath& from, const Target& to) {
    return ::rename(from.c_str(), to.path.c_str()) == 0 ? Failure{} : lastFailure();
}

// Where the file system refuses a rename that replaces nothing (NFS, CIFS), a hard link takes
// the name, which fails on a name taken too; where it keeps no links either, a look right
// before a plain rename is the best there is.
Failure renameNoReplace(const NativePath& from, const Target& to) {
    const char* target = to.path.c_str();
#ifdef __linux__
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, target, RENAME_NOREPLACE) == 0) return {};
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP && errno != EOPNOTSUPP)
        return lastFailure();
#endif
    if (::link(from.c_str(), target) == 0) {
        ::unlink(from.c_str());
        return {};
    }
    if (errno != EPERM && errno != ENOTSUP && errno != EOPNOTSUPP && errno != EXDEV &&
        errno != EMLINK)
        return lastFailure();
    struct stat st;
    if (::lstat(target, &st) == 0) return systemFailure(EEXIST);
    if (errno != ENOENT) return lastFailure();
    return renameOver(from, to);
}

Failure openFolder(const std::string& dir, Folder& folder) {
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return lastFailure();
    struct stat st;
    folder.handle = fd;
    folder.device = ::fstat(fd, &st) == 0 ? static_cast<std::uint64_t>(st.st_dev) : 0;
    return {};
}

Failure flushFileSystem(const Folder& folder) {
#ifdef __linux__
    return ::syncfs(fdOf(folder.handle)) == 0 ? Failure{} : lastFailure();
#else
    (void)folder;
    return systemFailure(ENOSYS);  // never asked: kFlushesFileSystem is false
#endif
}

void syncFolder(const Folder& folder) {
    // A folder that cannot be synced has the new files all the same.
    if (folder.handle != kNoHandle) (void)::fsync(fdOf(folder.handle));
}

void closeFolder(const Folder& folder) {
    if (folder.handle != kNoHandle) ::close(fdOf(folder.handle));
}

std::optional<unsigned> newFileMode(std::span<const std::string> sources, bool secret) {
    std::optional<unsigned> mode;
    for (const std::string& path : sources) {
        struct stat st;
        if (::stat(path.c_str(), &st) != 0) continue;
        mode = mode.value_or(0777) & (st.st_mode & 0777);
    }
    if (secret) mode = mode.value_or(0600) & 0600;
    return mode;
}

bool sameFile(const std::string& a, const std::string& b) {
    // The place first: a writer may replace the file between the two looks at the inodes, and
    // the same path would then seem to name two files.
    if (const std::string place = placeOf(a); !place.empty() && place == placeOf(b)) return true;
    struct stat sa, sb;
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

}  // namespace orbex::fileio
