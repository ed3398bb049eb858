#include "fileio/fileio.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <istream>
#include <mutex>
#include <random>
#include <thread>
#include <utility>
#include <vector>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <csignal>
#include <cwchar>
#else
#include <fcntl.h>
#include <pthread.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <climits>
#include <csignal>
#endif

namespace orbex::fileio {

namespace seam {
namespace {
Hook& hook() {
    static Hook h;
    return h;
}
}  // namespace

void setHook(Hook h) {
    hook() = std::move(h);
}

}  // namespace seam

namespace {

// Runs the seam before a step: 0 to go on, else the errno the step fails with.
int fault(seam::Step step, std::size_t& count) {
    const seam::Hook& h = seam::hook();
    return h ? h(step, count) : 0;
}
int fault(seam::Step step) {
    std::size_t none = 0;
    return fault(step, none);
}

Error makeError(Kind kind, int code, const std::string& path, std::string reason, bool writing,
                bool opening) {
    Error e;
    e.kind = kind;
    e.code = code;
    e.path = path;
    e.reason = std::move(reason);
    e.writing = writing;
    e.opening = opening;
    return e;
}

#ifdef _WIN32
// The C library of Windows words some reasons otherwise than Linux ("Filename too long"), and
// knows no others: messages read the same on both systems.
std::string systemReason(int code) {
    switch (code) {
        case EPERM:
            return "Operation not permitted";
        case ENOENT:
            return "No such file or directory";
        case EIO:
            return "Input/output error";
        case EBADF:
            return "Bad file descriptor";
        case ENOMEM:
            return "Cannot allocate memory";
        case EACCES:
            return "Permission denied";
        case EBUSY:
            return "Device or resource busy";
        case EEXIST:
            return "File exists";
        case EXDEV:
            return "Invalid cross-device link";
        case ENOTDIR:
            return "Not a directory";
        case EISDIR:
            return "Is a directory";
        case EINVAL:
            return "Invalid argument";
        case EMFILE:
            return "Too many open files";
        case EFBIG:
            return "File too large";
        case ENOSPC:
            return "No space left on device";
        case EROFS:
            return "Read-only file system";
        case EPIPE:
            return "Broken pipe";
        case ENAMETOOLONG:
            return "File name too long";
        case ENOTEMPTY:
            return "Directory not empty";
        case ELOOP:
            return "Too many levels of symbolic links";
        default:
            return std::strerror(code);
    }
}
#else
std::string systemReason(int code) {
    return std::strerror(code);
}
#endif

// One replace at a time: the signal handlers below know of one temporary file.
std::mutex& replaceMutex() {
    static std::mutex m;
    return m;
}

// A short random part of a temporary name.
std::string randomTag() {
    static std::mt19937 engine{std::random_device{}()};
    static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    std::string tag(8, '0');
    for (char& c : tag) c = kDigits[engine() % 36];
    return tag;
}

// Kind::Changed, its code telling how: EEXIST a file that appeared, ENOENT one that went, EBUSY
// other bytes.
Error changedError(const std::string& path, int code, bool opening) {
    const char* reason = code == EEXIST   ? "created by another program since it was read"
                         : code == ENOENT ? "removed by another program since it was read"
                                          : "changed by another program since it was read";
    return makeError(Kind::Changed, code, path, reason, true, opening);
}

// Whether the file at `path` still holds `expected` (read again, at most one byte more): an
// empty error when it does, Kind::Changed when it holds other bytes or is gone, else why it
// cannot be read.
Error compareWith(const std::string& path, std::string_view expected) {
    Error e;
    std::string now;
    if (readInto(path, now, e, expected.size())) {
        if (now == expected) return {};
        return changedError(path, EBUSY, false);
    }
    if (e.kind == Kind::TooLarge) return changedError(path, EBUSY, false);
    if (e.kind == Kind::System && e.code == ENOENT) return changedError(path, ENOENT, false);
    e.writing = true;
    e.opening = false;
    return e;
}

Error interruptedError(const std::string& path, bool opening) {
    return makeError(Kind::Interrupted, EINTR, path, "interrupted by a signal", true, opening);
}

// What rules a target out before anything is written: EEXIST a file where none is expected,
// ENOENT none where one is; else 0.
int unexpected(const Expected& expect, bool exists) {
    if (expect.state == Expected::State::Absent && exists) return EEXIST;
    if (expect.state == Expected::State::Bytes && !exists) return ENOENT;
    return 0;
}

// The edit lock of a target a replace expects to hold certain bytes; nullptr with the error
// (Kind::Changed when the file is gone).
std::unique_ptr<Lock> lockExpected(const std::string& path, Error& error,
                                   const std::function<bool()>& stop = {}) {
    auto lock = Lock::acquire(path, error, stop);
    if (!lock) {
        if (error.kind == Kind::System && error.code == ENOENT)
            error = changedError(path, ENOENT, true);
        error.writing = true;
    }
    return lock;
}

}  // namespace

std::string Error::message() const {
    if (kind == Kind::TooLarge)
        return path + " is larger than 16 MiB: not a terminal configuration";
    return path + ": " + reason;
}

std::string russianReason(const Error& e) {
    switch (e.kind) {
        case Kind::None:
            return {};
        case Kind::TooLarge:
            return "файл больше 16 МиБ: это не файл конфигурации терминала";
        case Kind::ReadOnly:
            return "файл только для чтения";
        case Kind::NotFile:
            return e.code == EISDIR ? "это папка, а не файл" : "это не файл";
        case Kind::Interrupted:
            return "прервано сигналом";
        case Kind::Changed:
            return e.code == EEXIST ? "файл создан другой программой после чтения"
                   : e.code == ENOENT ? "файл удалён другой программой после чтения"
                                      : "файл изменён другой программой после чтения";
        case Kind::System:
            break;
    }
    switch (e.code) {
        case ENOSPC:
#ifdef EDQUOT
        case EDQUOT:
#endif
            return "нет места на диске";
        case EACCES:
        case EPERM:
            return "нет прав доступа";
        case EROFS:
            return "файловая система только для чтения";
        case EFBIG:
            return "файл слишком большой";
        case ENOENT:
            return e.writing ? "нет такой папки" : "нет такого файла";
        case ENOTDIR:
            return "нет такой папки";
        case EISDIR:
            return "это папка, а не файл";
        case ENAMETOOLONG:
            return "слишком длинное имя файла";
        case EIO:
            return "ошибка ввода-вывода";
        default:
            return e.reason;
    }
}

std::optional<std::string> readStream(std::istream& in, const std::string& name, Error& error,
                                      std::size_t limit) {
    error = {};
    std::string bytes;
    char buffer[65536];
    while (bytes.size() <= limit) {
        const std::size_t want = std::min(sizeof buffer, limit + 1 - bytes.size());
        in.read(buffer, static_cast<std::streamsize>(want));
        bytes.append(buffer, static_cast<std::size_t>(in.gcount()));
        if (in.bad()) {
            error = makeError(Kind::System, EIO, name, systemReason(EIO), false, false);
            return std::nullopt;
        }
        if (!in) break;
    }
    if (bytes.size() > limit) {
        error = makeError(Kind::TooLarge, EFBIG, name, "larger than 16 MiB", false, false);
        return std::nullopt;
    }
    return bytes;
}

#ifndef _WIN32

namespace {

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};

// The temporary file that a signal must remove, and the handlers it displaced.
const char* volatile g_temp = nullptr;
// The temporary files of a replace of many files: those from `g_batchFrom` on are not renamed.
const char* const* volatile g_batch = nullptr;
volatile std::size_t g_batchFrom = 0;
volatile std::size_t g_batchCount = 0;
struct sigaction g_previous[3];

void onSignal(int sig) {
    if (const char* temp = g_temp) ::unlink(temp);
    if (const char* const* batch = g_batch)
        for (std::size_t i = g_batchFrom; i < g_batchCount; ++i)
            if (batch[i]) ::unlink(batch[i]);
    for (int i = 0; i < 3; ++i)
        if (kSignals[i] == sig) ::sigaction(sig, &g_previous[i], nullptr);
    ::raise(sig);  // delivered on return, as the process would have had it
}

// Puts onSignal in place for the three signals, keeping the handlers it displaces; a signal the
// process ignores stays ignored.
void installHandlers() {
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    for (int sig : kSignals) sigaddset(&action.sa_mask, sig);
    for (int i = 0; i < 3; ++i) {
        ::sigaction(kSignals[i], nullptr, &g_previous[i]);
        if (g_previous[i].sa_handler != SIG_IGN) ::sigaction(kSignals[i], &action, nullptr);
    }
}

// A new file with a short name of its own in `dir`, created with `mode` (the umask narrows it):
// its descriptor and `path`, or -1 with errno.
int createUnique(const std::string& dir, mode_t mode, std::string& path) {
    for (int attempt = 0; attempt < 32; ++attempt) {
        path = dir + "/.orbcfg-" + randomTag();
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

// Renames `from` to `to` unless a file has that name: 0, EEXIST when one has, or errno. Where
// the file system refuses a rename that replaces nothing (NFS, CIFS), a hard link takes the
// name, which fails on a name taken too; where it keeps no links either, a look right before
// a plain rename is the best there is.
int renameNoReplace(const char* from, const char* to) {
#ifdef __linux__
    if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP && errno != EOPNOTSUPP) return errno;
#endif
    if (::link(from, to) == 0) {
        ::unlink(from);
        return 0;
    }
    if (errno != EPERM && errno != ENOTSUP && errno != EOPNOTSUPP && errno != EXDEV &&
        errno != EMLINK)
        return errno;
    struct stat st;
    if (::lstat(to, &st) == 0) return EEXIST;
    if (errno != ENOENT) return errno;
    return ::rename(from, to) == 0 ? 0 : errno;
}

// Blocks the three signals while it lives.
class Blocked {
  public:
    Blocked() {
        sigset_t set;
        sigemptyset(&set);
        for (int sig : kSignals) sigaddset(&set, sig);
        pthread_sigmask(SIG_BLOCK, &set, &old_);
    }
    ~Blocked() { pthread_sigmask(SIG_SETMASK, &old_, nullptr); }
    Blocked(const Blocked&) = delete;
    Blocked& operator=(const Blocked&) = delete;

  private:
    sigset_t old_;
};

// The temporary file of one replace: removed when it goes out of scope unless it was renamed,
// and on the signals while it exists.
class TempFile {
  public:
    explicit TempFile(std::string dir) : dir_(std::move(dir)) {}
    ~TempFile() {
        Blocked blocked;
        if (fd_ >= 0) ::close(fd_);
        if (!path_.empty()) ::unlink(path_.c_str());
        g_temp = nullptr;
        if (installed_)
            for (int i = 0; i < 3; ++i) ::sigaction(kSignals[i], &g_previous[i], nullptr);
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    // Creates the file with `mode` (the umask narrows it further); errno on failure.
    int create(mode_t mode) {
        Blocked blocked;
        install();
        std::string path;
        const int fd = createUnique(dir_, mode, path);
        if (fd < 0) return errno;
        fd_ = fd;
        path_ = std::move(path);
        g_temp = path_.c_str();
        return 0;
    }
    int fd() const { return fd_; }
    const std::string& path() const { return path_; }

    int close() {
        const int fd = std::exchange(fd_, -1);
        return ::close(fd) == 0 ? 0 : errno;
    }
    // Renames the file to `target` (with `noReplace` only while no file has that name: EEXIST
    // else); from then on it is the target's, and no longer removed.
    int renameTo(const std::string& target, bool noReplace = false) {
        if (const int code = fault(seam::Step::Rename)) return code;
        Blocked blocked;
        if (noReplace) {
            if (const int code = renameNoReplace(path_.c_str(), target.c_str())) return code;
        } else if (::rename(path_.c_str(), target.c_str()) != 0) {
            return errno;
        }
        g_temp = nullptr;
        path_.clear();
        return 0;
    }

  private:
    void install() {
        if (installed_) return;
        installHandlers();
        installed_ = true;
    }

    std::string dir_;
    std::string path_;
    int fd_ = -1;
    bool installed_ = false;
};

std::string dirOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

// The path at the end of a chain of symbolic links, and what is there (`exists` false: the last
// link names no file yet); 0 or errno.
int resolve(const std::string& path, std::string& out, struct stat& st, bool& exists) {
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
        p = link.starts_with('/') ? link : dirOf(p) + "/" + link;
    }
    return ELOOP;
}

}  // namespace

namespace {

// The one bounded read of a file: at most one byte more than `limit` is asked for, so that a
// file that grows past the bound is caught without a stat (a folder opens and fails at its
// first read). `sink.room(n)` gives a place for up to n more bytes, `sink.took(n)` keeps what
// a read put there, `sink.size()` counts what is kept.
template <typename Sink>
bool readBounded(const std::string& path, Sink& sink, Error& error, std::size_t limit,
                 Accept accept) {
    error = {};
    const auto fail = [&](Kind kind, int code, std::string reason) {
        sink.clear();
        error = makeError(kind, code, path, std::move(reason), false, true);
        return false;
    };
    sink.clear();
    // A regular file is opened without waiting (a FIFO would wait for a writer) and looked at
    // before its first read (a FIFO or a device could give bytes for ever).
    const int fd =
        ::open(path.c_str(), O_RDONLY | O_CLOEXEC | (accept == Accept::Regular ? O_NONBLOCK : 0));
    if (fd < 0) return fail(Kind::System, errno, systemReason(errno));
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    if (accept == Accept::Regular) {
        struct stat st;
        if (::fstat(fd, &st) != 0) return fail(Kind::System, errno, systemReason(errno));
        if (S_ISDIR(st.st_mode)) return fail(Kind::NotFile, EISDIR, "is a directory");
        if (!S_ISREG(st.st_mode)) return fail(Kind::NotFile, EINVAL, "not a regular file");
    }
    while (sink.size() <= limit) {
        const std::size_t want = limit + 1 - sink.size();
        char* const place = sink.room(want);
        const ssize_t n = ::read(fd, place, sink.roomSize(want));
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno == EISDIR) return fail(Kind::NotFile, EISDIR, "is a directory");
            return fail(Kind::System, errno, systemReason(errno));
        }
        if (n == 0) break;
        sink.took(static_cast<std::size_t>(n));
    }
    if (sink.size() > limit) return fail(Kind::TooLarge, EFBIG, "larger than 16 MiB");
    return true;
}

// Into a string, through a chunk on the stack: growing the string to read into it would clear
// every byte of it first.
struct StringSink {
    explicit StringSink(std::string& b) : bytes(b) {}
    std::string& bytes;
    char chunk[65536];  // left as it is: a read fills it
    void clear() { bytes.clear(); }
    std::size_t size() const { return bytes.size(); }
    char* room(std::size_t) { return chunk; }
    std::size_t roomSize(std::size_t want) const { return std::min(sizeof chunk, want); }
    void took(std::size_t n) { bytes.append(chunk, n); }
};

}  // namespace

bool readInto(const std::string& path, std::string& buffer, Error& error, std::size_t limit,
              Accept accept) {
    StringSink sink(buffer);
    return readBounded(path, sink, error, limit, accept);
}

// Straight into the buffer, which grows as the file needs.
struct Buffer::Sink {
    Buffer& b;
    void clear() { b.size_ = 0; }
    std::size_t size() const { return b.size_; }
    char* room(std::size_t want) {
        if (b.size_ == b.capacity_) b.reserve(std::min(b.capacity_ * 2, b.size_ + want));
        return b.data_.get() + b.size_;
    }
    std::size_t roomSize(std::size_t want) const { return std::min(b.capacity_ - b.size_, want); }
    void took(std::size_t n) { b.size_ += n; }
};

bool readInto(const std::string& path, Buffer& buffer, Error& error, std::size_t limit,
              Accept accept) {
    buffer.size_ = 0;  // nothing of the last file kept when the room is made
    buffer.prepare();
    Buffer::Sink sink{buffer};
    return readBounded(path, sink, error, limit, accept);
}

std::optional<std::string> readFile(const std::string& path, Error& error, std::size_t limit,
                                    Accept accept) {
    std::string bytes;
    if (!readInto(path, bytes, error, limit, accept)) return std::nullopt;
    return bytes;
}

namespace {

// What a replace learns of its target before it writes anything.
struct Target {
    std::string path;  // links followed
    struct stat st;
    bool exists = false;
    mode_t mode = 0666;
};

// Follows the links of `path` and refuses what may not be replaced: 0, or the kind of the
// failure with its code and reason.
Kind inspect(const std::string& path, const ReplaceOptions& options, Target& t, int& code,
             std::string& reason) {
    const auto fail = [&](Kind kind, int c, std::string why = {}) {
        code = c;
        reason = why.empty() ? systemReason(c) : std::move(why);
        return kind;
    };
    if (path.empty() || path.back() == '/') return fail(Kind::NotFile, EISDIR, "not a file name");
    // The last name of the links is no link: what lstat found there is what stat would.
    if (const int c = resolve(path, t.path, t.st, t.exists)) return fail(Kind::System, c);
    if (t.exists) {
        if (S_ISDIR(t.st.st_mode)) return fail(Kind::NotFile, EISDIR, "is a directory");
        if (!S_ISREG(t.st.st_mode)) return fail(Kind::NotFile, EINVAL, "not a regular file");
        // The mode decides, not the rights of the process: root is refused too.
        if (!options.force && (t.st.st_mode & 0222) == 0)
            return fail(Kind::ReadOnly, EACCES, "read-only file");
        if (!options.force && ::faccessat(AT_FDCWD, t.path.c_str(), W_OK, AT_EACCESS) != 0 &&
            (errno == EACCES || errno == EROFS))
            return fail(Kind::System, errno);
    }
    t.mode = t.exists ? (t.st.st_mode & 07777) : options.newFileMode.value_or(0666) & 0666;
    return Kind::None;
}

// The old file's owner, group and mode on the new one: 0 or errno.
int adopt(int fd, const Target& t) {
    if (!t.exists) return 0;
    struct stat now;
    if (::fstat(fd, &now) == 0 && (now.st_uid != t.st.st_uid || now.st_gid != t.st.st_gid)) {
        // Where the process may: the owner and group; else the group alone.
        if (::fchown(fd, t.st.st_uid, t.st.st_gid) != 0 && now.st_gid != t.st.st_gid &&
            ::fchown(fd, static_cast<uid_t>(-1), t.st.st_gid) != 0) {
            // Neither may be set: the file becomes the process's, as any file it creates.
        }
    }
    return ::fchmod(fd, t.mode) == 0 ? 0 : errno;
}

// Every byte written, each write checked: 0 or errno.
int writeAll(int fd, std::string_view bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        std::size_t count = std::min<std::size_t>(bytes.size() - done, std::size_t{1} << 16);
        if (const int code = fault(seam::Step::Write, count)) return code;
        const ssize_t n = ::write(fd, bytes.data() + done, count);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        if (n == 0) return EIO;
        done += static_cast<std::size_t>(n);
    }
    return 0;
}

// Makes a rename in the folder durable. A folder that cannot be opened or synced has the new
// file all the same.
void syncFolder(const std::string& dir) {
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        (void)::fsync(fd);
        ::close(fd);
    }
}

}  // namespace

bool replaceFile(const std::string& path, std::string_view bytes, Error& error,
                 const ReplaceOptions& options) {
    error = {};
    bool opening = true;
    const auto fail = [&](Kind kind, int code, std::string reason = {}) {
        error = makeError(kind, code, path, reason.empty() ? systemReason(code) : reason, true,
                          opening);
        return false;
    };
    Target t;
    {
        int code = 0;
        std::string reason;
        if (const Kind kind = inspect(path, options, t, code, reason); kind != Kind::None)
            return fail(kind, code, reason);
    }
    const std::string& target = t.path;
    if (const int code = unexpected(options.expect, t.exists)) {
        error = changedError(path, code, true);
        return false;
    }
    // Taken before the process's own mutex: a thread of it that holds this lock may be about
    // to replace the file too.
    std::unique_ptr<Lock> lock;
    const bool compare = options.expect.state == Expected::State::Bytes;
    if (compare && !(lock = lockExpected(target, error))) {
        error.path = path;
        return false;
    }

    std::lock_guard<std::mutex> one(replaceMutex());
    TempFile temp(dirOf(target));
    if (const int code = temp.create(t.mode & 0777)) return fail(Kind::System, code);
    const int fd = temp.fd();
    if (const int code = adopt(fd, t)) return fail(Kind::System, code);

    opening = false;
    if (const int code = writeAll(fd, bytes)) return fail(Kind::System, code);
    if (const int code = fault(seam::Step::Sync)) return fail(Kind::System, code);
    if (::fsync(fd) != 0) return fail(Kind::System, errno);
    if (const int code = temp.close()) return fail(Kind::System, code);
    // Compared as late as may be: whoever writes without the lock has the least time.
    if (compare) {
        if (Error e = compareWith(target, options.expect.bytes)) {
            error = std::move(e);
            error.path = path;
            return false;
        }
    }
    const bool noReplace = options.expect.state == Expected::State::Absent;
    if (const int code = temp.renameTo(target, noReplace)) {
        if (noReplace && code == EEXIST) {
            error = changedError(path, EEXIST, false);
            return false;
        }
        return fail(Kind::System, code);
    }
    syncFolder(dirOf(target));
    return true;
}

namespace {

// The temporary files of a replace of many: removed when it goes out of scope, all but those
// renamed, and on the signals while they exist.
class TempBatch {
  public:
    explicit TempBatch(std::size_t n) : paths_(n), names_(n, nullptr) {}
    ~TempBatch() {
        Blocked blocked;
        for (std::size_t i = renamed_; i < paths_.size(); ++i)
            if (names_[i]) ::unlink(names_[i]);
        g_batch = nullptr;
        g_batchCount = 0;
        g_batchFrom = 0;
        if (installed_)
            for (int i = 0; i < 3; ++i) ::sigaction(kSignals[i], &g_previous[i], nullptr);
    }
    TempBatch(const TempBatch&) = delete;
    TempBatch& operator=(const TempBatch&) = delete;

    // Creates file i beside `target`'s folder with `mode`: its descriptor, or -1 with errno.
    int create(std::size_t i, const std::string& dir, mode_t mode) {
        Blocked blocked;
        install();
        std::string path;
        const int fd = createUnique(dir, mode, path);
        if (fd < 0) return -1;
        paths_[i] = std::move(path);
        names_[i] = paths_[i].c_str();
        return fd;
    }
    const std::string& path(std::size_t i) const { return paths_[i]; }

    // Renames file i (all before it renamed already) to `target` (with `noReplace` only while
    // no file has that name: EEXIST else): 0 or errno.
    // No signal needs blocking here: a handler that runs just after the rename unlinks a name
    // that is gone.
    int renameTo(std::size_t i, const std::string& target, bool noReplace) {
        if (const int code = fault(seam::Step::Rename)) return code;
        if (noReplace) {
            if (const int code = renameNoReplace(paths_[i].c_str(), target.c_str())) return code;
        } else if (::rename(paths_[i].c_str(), target.c_str()) != 0) {
            return errno;
        }
        renamed_ = i + 1;
        g_batchFrom = renamed_;
        return 0;
    }

  private:
    void install() {
        if (installed_) return;
        installHandlers();
        g_batch = names_.data();
        g_batchFrom = 0;
        g_batchCount = names_.size();
        installed_ = true;
    }

    std::vector<std::string> paths_;
    std::vector<const char*> names_;  // what the signal handler reads
    std::size_t renamed_ = 0;
    bool installed_ = false;
};

}  // namespace

bool replaceFiles(std::span<const Replacement> files, Error& error, BatchResult& result,
                  const ReplaceOptions& options) {
    error = {};
    result = {};
    bool opening = true;
    std::size_t at = 0;
    const auto fail = [&](Kind kind, int code, std::string reason = {}) {
        error = makeError(kind, code, files[at].path, reason.empty() ? systemReason(code) : reason,
                          true, opening);
        result.failed = at;
        return false;
    };
    std::vector<Target> targets(files.size());
    for (at = 0; at < files.size(); ++at) {
        int code = 0;
        std::string reason;
        if (const Kind kind = inspect(files[at].path, options, targets[at], code, reason);
            kind != Kind::None)
            return fail(kind, code, reason);
        if (const int c = unexpected(files[at].expect, targets[at].exists)) {
            error = changedError(files[at].path, c, true);
            result.failed = at;
            return false;
        }
    }

    std::lock_guard<std::mutex> one(replaceMutex());
    TempBatch temps(files.size());
    // The distinct folders, each opened before the first write, so that a flush through it
    // reports any write-back failure of what follows.
    struct Folder {
        std::string path;
        int fd = -1;
        dev_t dev = 0;
    };
    std::vector<Folder> folders;
    struct Closers {
        std::vector<Folder>& folders;
        ~Closers() {
            for (const Folder& f : folders) ::close(f.fd);
        }
    } closers{folders};
    // Every new file written and closed; made durable below all at once.
    const auto interrupted = [&] {
        if (!options.stopOnSignal || DeferSignals::pending() == 0) return false;
        error = interruptedError(files[at].path, opening);
        result.failed = at;
        return true;
    };
    // The wait for another's edit lock ends at a deferred signal too.
    const std::function<bool()> stopWaiting =
        options.stopOnSignal ? std::function<bool()>([] { return DeferSignals::pending() != 0; })
                             : std::function<bool()>();
    for (at = 0; at < files.size(); ++at) {
        const Target& t = targets[at];
        std::string dir = dirOf(t.path);
        opening = true;
        if (interrupted()) return false;
        if (std::none_of(folders.begin(), folders.end(),
                         [&](const Folder& f) { return f.path == dir; })) {
            const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (fd < 0) return fail(Kind::System, errno);
            struct stat st;
            folders.push_back({dir, fd, ::fstat(fd, &st) == 0 ? st.st_dev : 0});
        }
        const int fd = temps.create(at, dir, t.mode & 0777);
        if (fd < 0) return fail(Kind::System, errno);
        struct Closer {
            int fd;
            bool open = true;
            ~Closer() {
                if (open) ::close(fd);
            }
        } closer{fd};
        if (const int code = adopt(fd, t)) return fail(Kind::System, code);
        opening = false;
        if (const int code = writeAll(fd, files[at].bytes)) return fail(Kind::System, code);
#ifndef __linux__
        // No syncfs: each file reaches the disk on its own.
        if (const int code = fault(seam::Step::Sync)) return fail(Kind::System, code);
        if (::fsync(fd) != 0) return fail(Kind::System, errno);
#endif
        closer.open = false;
        if (::close(fd) != 0) return fail(Kind::System, errno);
    }
#ifdef __linux__
    // One flush of each file system the new files are on; it reports a failed write-back of
    // any of them.
    at = 0;
    for (std::size_t i = 0; i < folders.size(); ++i) {
        if (std::any_of(folders.begin(), folders.begin() + static_cast<std::ptrdiff_t>(i),
                        [&](const Folder& f) { return f.dev == folders[i].dev; }))
            continue;
        if (const int code = fault(seam::Step::Sync)) return fail(Kind::System, code);
        if (::syncfs(folders[i].fd) != 0) return fail(Kind::System, errno);
    }
#endif
    for (at = 0; at < files.size(); ++at) {
        const Expected& expect = files[at].expect;
        result.renamed = at;
        if (interrupted()) return false;
        // A file expected to hold certain bytes is compared and renamed under its lock, one at
        // a time.
        std::unique_ptr<Lock> lock;
        if (expect.state == Expected::State::Bytes) {
            if (!(lock = lockExpected(targets[at].path, error, stopWaiting))) {
                error.path = files[at].path;
                result.failed = at;
                return false;
            }
            if (Error e = compareWith(targets[at].path, expect.bytes)) {
                error = std::move(e);
                error.path = files[at].path;
                result.failed = at;
                return false;
            }
        }
        const bool noReplace = expect.state == Expected::State::Absent;
        if (const int code = temps.renameTo(at, targets[at].path, noReplace)) {
            if (noReplace && code == EEXIST) {
                error = changedError(files[at].path, EEXIST, false);
                result.failed = at;
                return false;
            }
            return fail(Kind::System, code);
        }
    }
    result.renamed = files.size();
    for (const Folder& f : folders) (void)::fsync(f.fd);
    return true;
}

namespace {

// Where a replace of the path lands: the canonical path of the folder of the file at the end of
// its links, and that file's name; empty when no file is there or it cannot be told.
std::string placeOf(const std::string& path) {
    std::string target;
    struct stat st;
    bool exists = false;
    if (resolve(path, target, st, exists) != 0 || !exists) return {};
    char* folder = ::realpath(dirOf(target).c_str(), nullptr);
    if (!folder) return {};
    std::string place = folder;
    std::free(folder);
    return place + "/" + target.substr(target.find_last_of('/') + 1);
}

}  // namespace

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

struct DeferSignals::Saved {
    sigset_t mask;
};

DeferSignals::DeferSignals() : saved_(std::make_unique<Saved>()) {
    sigset_t set;
    sigemptyset(&set);
    for (int sig : kSignals) sigaddset(&set, sig);
    pthread_sigmask(SIG_BLOCK, &set, &saved_->mask);
}

DeferSignals::~DeferSignals() {
    pthread_sigmask(SIG_SETMASK, &saved_->mask, nullptr);  // a kept signal acts here
}

int DeferSignals::pending() {
    sigset_t set;
    if (sigpending(&set) != 0) return 0;
    for (int sig : kSignals)
        if (sigismember(&set, sig) == 1) return sig;
    return 0;
}

struct Lock::Handle {
    int fd = -1;
};

std::unique_ptr<Lock> Lock::acquire(const std::string& path, Error& error) {
    return acquire(path, error, {});
}

std::unique_ptr<Lock> Lock::acquire(const std::string& path, Error& error,
                                    const std::function<bool()>& stop) {
    error = {};
    for (;;) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            error = makeError(Kind::System, errno, path, systemReason(errno), false, true);
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
            const int code = errno;
            ::close(fd);
            error = makeError(Kind::System, code, path, systemReason(code), false, true);
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

#else  // _WIN32

namespace {

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

// The errno that the same failure has on Linux, as the C library of Windows maps them (with
// a few nearer ones: a name too long, a write-protected disk, a file where a folder should
// be); 0 for an error of Windows alone.
int errnoOf(DWORD e) {
    switch (e) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
        case ERROR_BAD_NETPATH:
        case ERROR_BAD_NET_NAME:
        case ERROR_BAD_PATHNAME:
        case ERROR_NO_MORE_FILES:
            return ENOENT;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:  // open in another program: Linux has no such refusal
        case ERROR_LOCK_VIOLATION:
        case ERROR_NETWORK_ACCESS_DENIED:
        case ERROR_CANNOT_MAKE:
        case ERROR_CURRENT_DIRECTORY:
        case ERROR_DRIVE_LOCKED:
        case ERROR_NOT_LOCKED:
        case ERROR_LOCK_FAILED:
            return EACCES;
        case ERROR_WRITE_PROTECT:
            return EROFS;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return ENOSPC;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            return EEXIST;
        case ERROR_FILENAME_EXCED_RANGE:
            return ENAMETOOLONG;
        case ERROR_DIRECTORY:
            return ENOTDIR;
        case ERROR_DIR_NOT_EMPTY:
            return ENOTEMPTY;
        case ERROR_NOT_SAME_DEVICE:
            return EXDEV;
        case ERROR_TOO_MANY_OPEN_FILES:
            return EMFILE;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY:
            return ENOMEM;
        case ERROR_BROKEN_PIPE:
            return EPIPE;
        case ERROR_CANT_RESOLVE_FILENAME:
            return ELOOP;
        case ERROR_INVALID_NAME:  // a character Windows keeps out of names
        case ERROR_INVALID_PARAMETER:
            return EINVAL;
        case ERROR_READ_FAULT:
        case ERROR_WRITE_FAULT:
        case ERROR_CRC:
        case ERROR_SECTOR_NOT_FOUND:
        case ERROR_NOT_READY:
        case ERROR_IO_DEVICE:
            return EIO;
        default:
            return 0;
    }
}

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

// A failure of Windows as Linux reports it: its errno and the words of Linux; an error that
// Linux does not know keeps the words of Windows, with EIO for a code.
Error windowsError(const std::string& path, DWORD e, bool writing, bool opening) {
    if (const int code = errnoOf(e))
        return makeError(Kind::System, code, path, systemReason(code), writing, opening);
    return makeError(Kind::System, EIO, path, windowsReason(e), writing, opening);
}

std::wstring dirOf(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos) return L".";
    if (slash == 0 || (slash == 2 && path[1] == L':')) return path.substr(0, slash + 1);
    return path.substr(0, slash);
}

// The temporary file that Ctrl+C or a termination must remove.
wchar_t g_tempPath[32768];
volatile std::sig_atomic_t g_armed = 0;

void onSignal(int sig) {
    if (g_armed) ::DeleteFileW(g_tempPath);
    std::signal(sig, SIG_DFL);
    std::raise(sig);
}

class TempFile {
  public:
    explicit TempFile(std::wstring dir) : dir_(std::move(dir)) {}
    ~TempFile() {
        if (handle_ != INVALID_HANDLE_VALUE) ::CloseHandle(handle_);
        g_armed = 0;
        if (!path_.empty()) ::DeleteFileW(path_.c_str());
        if (installed_) {
            std::signal(SIGINT, oldInt_);
            std::signal(SIGTERM, oldTerm_);
        }
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    DWORD create() {
        oldInt_ = std::signal(SIGINT, onSignal);
        oldTerm_ = std::signal(SIGTERM, onSignal);
        installed_ = true;
        for (int attempt = 0; attempt < 32; ++attempt) {
            std::wstring path = dir_;
            if (!path.empty() && path.back() != L'\\' && path.back() != L'/') path += L'\\';
            path += wide(".orbcfg-" + randomTag());
            const HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                           FILE_ATTRIBUTE_NORMAL, nullptr);
            if (h != INVALID_HANDLE_VALUE) {
                handle_ = h;
                path_ = std::move(path);
                if (path_.size() < sizeof g_tempPath / sizeof g_tempPath[0]) {
                    std::wcscpy(g_tempPath, path_.c_str());
                    g_armed = 1;
                }
                return 0;
            }
            const DWORD e = ::GetLastError();
            if (e != ERROR_FILE_EXISTS && e != ERROR_ALREADY_EXISTS) return e;
        }
        return ERROR_FILE_EXISTS;
    }
    HANDLE handle() const { return handle_; }
    const std::wstring& path() const { return path_; }
    bool close() {
        const HANDLE h = std::exchange(handle_, INVALID_HANDLE_VALUE);
        return ::CloseHandle(h) != 0;
    }
    void renamed() {
        g_armed = 0;
        path_.clear();
    }

  private:
    std::wstring dir_;
    std::wstring path_;
    HANDLE handle_ = INVALID_HANDLE_VALUE;
    bool installed_ = false;
    void (*oldInt_)(int) = SIG_DFL;
    void (*oldTerm_)(int) = SIG_DFL;
};

// What stopped a write: an errno the seam gave, else an error of Windows.
struct WriteFailure {
    int code = 0;
    DWORD error = 0;
    explicit operator bool() const { return code != 0 || error != 0; }
};

// Every byte written, each write checked.
WriteFailure writeAll(HANDLE h, std::string_view bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        std::size_t count = std::min<std::size_t>(bytes.size() - done, std::size_t{1} << 16);
        if (const int code = fault(seam::Step::Write, count)) return {.code = code};
        DWORD n = 0;
        if (!::WriteFile(h, bytes.data() + done, static_cast<DWORD>(count), &n, nullptr))
            return {.error = ::GetLastError()};
        if (n == 0) return {.error = ERROR_WRITE_FAULT};
        done += n;
    }
    return {};
}

// The final path of a file, links followed; the path itself when it names no file yet.
std::wstring resolve(const std::wstring& path) {
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

}  // namespace

std::optional<std::string> readFile(const std::string& path, Error& error, std::size_t limit,
                                    Accept accept) {
    error = {};
    const std::wstring w = wide(path);
    const DWORD attributes = ::GetFileAttributesW(w.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        error = makeError(Kind::NotFile, EISDIR, path, "is a directory", false, true);
        return std::nullopt;
    }
    const HANDLE h = ::CreateFileW(w.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error = windowsError(path, ::GetLastError(), false, true);
        return std::nullopt;
    }
    if (accept == Accept::Regular && ::GetFileType(h) != FILE_TYPE_DISK) {
        ::CloseHandle(h);
        error = makeError(Kind::NotFile, EINVAL, path, "not a regular file", false, true);
        return std::nullopt;
    }
    std::string bytes;
    char buffer[65536];
    bool ok = true;
    DWORD e = 0;
    while (bytes.size() <= limit) {
        const DWORD want = static_cast<DWORD>(std::min(sizeof buffer, limit + 1 - bytes.size()));
        DWORD n = 0;
        if (!::ReadFile(h, buffer, want, &n, nullptr)) {
            e = ::GetLastError();
            ok = e == ERROR_BROKEN_PIPE;
            break;
        }
        if (n == 0) break;
        bytes.append(buffer, n);
    }
    ::CloseHandle(h);
    if (!ok) {
        error = windowsError(path, e, false, false);
        return std::nullopt;
    }
    if (bytes.size() > limit) {
        error = makeError(Kind::TooLarge, EFBIG, path, "larger than 16 MiB", false, false);
        return std::nullopt;
    }
    return bytes;
}

bool readInto(const std::string& path, Buffer& buffer, Error& error, std::size_t limit,
              Accept accept) {
    buffer.size_ = 0;
    auto bytes = readFile(path, error, limit, accept);
    if (!bytes) return false;
    buffer.prepare();
    if (buffer.capacity_ < bytes->size()) buffer.reserve(bytes->size());
    std::memcpy(buffer.data_.get(), bytes->data(), bytes->size());
    buffer.size_ = bytes->size();
    return true;
}

bool readInto(const std::string& path, std::string& buffer, Error& error, std::size_t limit,
              Accept accept) {
    auto bytes = readFile(path, error, limit, accept);
    if (!bytes) return false;
    buffer = std::move(*bytes);
    return true;
}

bool replaceFile(const std::string& path, std::string_view bytes, Error& error,
                 const ReplaceOptions& options) {
    error = {};
    bool opening = true;
    const auto fail = [&](DWORD e) {
        error = windowsError(path, e, true, opening);
        return false;
    };
    const auto failWith = [&](Kind kind, int code, std::string reason) {
        error = makeError(kind, code, path, std::move(reason), true, opening);
        return false;
    };
    if (path.empty() || path.back() == '/' || path.back() == '\\')
        return failWith(Kind::NotFile, EISDIR, "not a file name");
    const std::wstring target = resolve(wide(path));
    const DWORD attributes = ::GetFileAttributesW(target.c_str());
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (exists) {
        if (attributes & FILE_ATTRIBUTE_DIRECTORY)
            return failWith(Kind::NotFile, EISDIR, "is a directory");
        if ((attributes & FILE_ATTRIBUTE_READONLY) && !options.force)
            return failWith(Kind::ReadOnly, EACCES, "read-only file");
    }
    if (const int code = unexpected(options.expect, exists)) {
        error = changedError(path, code, true);
        return false;
    }
    // Taken before the process's own mutex: a thread of it that holds this lock may be about
    // to replace the file too.
    std::unique_ptr<Lock> lock;
    const bool compare = options.expect.state == Expected::State::Bytes;
    if (compare && !(lock = lockExpected(path, error))) return false;
    const bool noReplace = options.expect.state == Expected::State::Absent;

    std::lock_guard<std::mutex> one(replaceMutex());
    TempFile temp(dirOf(target));
    if (const DWORD e = temp.create()) return fail(e);
    opening = false;
    if (const WriteFailure w = writeAll(temp.handle(), bytes))
        return w.code ? failWith(Kind::System, w.code, systemReason(w.code)) : fail(w.error);
    if (const int code = fault(seam::Step::Sync))
        return failWith(Kind::System, code, systemReason(code));
    if (!::FlushFileBuffers(temp.handle())) return fail(::GetLastError());
    if (!temp.close()) return fail(::GetLastError());
    // Compared as late as may be: whoever writes without the lock has the least time.
    if (compare) {
        if (Error e = compareWith(path, options.expect.bytes)) {
            error = std::move(e);
            error.path = path;
            return false;
        }
    }
    if (const int code = fault(seam::Step::Rename))
        return failWith(Kind::System, code, systemReason(code));

    // One rename puts the new file in the old one's place: a reader or an in-place edit finds
    // the old file or the new one, never none. (ReplaceFileW would keep the old file's access
    // list too, but Wine's moves the old file aside first, so that the name is missing for a
    // moment, and leaves a file rfXXXX.tmp behind when it fails.)
    // A read-only target, forced, has its attribute lifted for the rename; the new file gets
    // the old one's attributes.
    if (exists && (attributes & FILE_ATTRIBUTE_READONLY))
        ::SetFileAttributesW(target.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
    // Windows renames nothing over a file that is open, if only for a moment (a reader, an
    // edit about to wait for the lock, a virus scanner): a refusal is tried again for a while.
    bool moved = false;
    DWORD e = 0;
    for (int attempt = 0; attempt < 40; ++attempt) {
        if (attempt > 0) ::Sleep(25);
        // Without MOVEFILE_REPLACE_EXISTING a file that appeared meanwhile keeps its name.
        moved = ::MoveFileExW(temp.path().c_str(), target.c_str(),
                              noReplace ? MOVEFILE_WRITE_THROUGH
                                        : MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
        e = moved ? 0 : ::GetLastError();
        if (moved || !exists || (e != ERROR_ACCESS_DENIED && e != ERROR_SHARING_VIOLATION)) break;
    }
    if (exists) ::SetFileAttributesW(target.c_str(), attributes);
    if (!moved && noReplace && (e == ERROR_ALREADY_EXISTS || e == ERROR_FILE_EXISTS)) {
        error = changedError(path, EEXIST, false);
        return false;
    }
    if (!moved) return fail(e);
    temp.renamed();
    return true;
}

bool replaceFiles(std::span<const Replacement> files, Error& error, BatchResult& result,
                  const ReplaceOptions& options) {
    error = {};
    result = {};
    std::size_t at = 0;
    bool opening = true;
    const auto fail = [&](DWORD e) {
        error = windowsError(files[at].path, e, true, opening);
        result.failed = at;
        return false;
    };
    const auto failWith = [&](Kind kind, int code, std::string reason) {
        error = makeError(kind, code, files[at].path, std::move(reason), true, opening);
        result.failed = at;
        return false;
    };
    struct Item {
        std::wstring target;
        DWORD attributes = INVALID_FILE_ATTRIBUTES;
        std::wstring temp;
    };
    std::vector<Item> items(files.size());
    for (at = 0; at < files.size(); ++at) {
        const std::string& path = files[at].path;
        if (path.empty() || path.back() == '/' || path.back() == '\\')
            return failWith(Kind::NotFile, EISDIR, "not a file name");
        Item& item = items[at];
        item.target = resolve(wide(path));
        item.attributes = ::GetFileAttributesW(item.target.c_str());
        if (item.attributes != INVALID_FILE_ATTRIBUTES) {
            if (item.attributes & FILE_ATTRIBUTE_DIRECTORY)
                return failWith(Kind::NotFile, EISDIR, "is a directory");
            if ((item.attributes & FILE_ATTRIBUTE_READONLY) && !options.force)
                return failWith(Kind::ReadOnly, EACCES, "read-only file");
        }
        if (const int c =
                unexpected(files[at].expect, item.attributes != INVALID_FILE_ATTRIBUTES)) {
            error = changedError(path, c, true);
            result.failed = at;
            return false;
        }
    }

    std::lock_guard<std::mutex> one(replaceMutex());
    std::size_t renamed = 0;
    struct Remover {
        std::vector<Item>& items;
        std::size_t& renamed;
        ~Remover() {
            for (std::size_t i = renamed; i < items.size(); ++i)
                if (!items[i].temp.empty()) ::DeleteFileW(items[i].temp.c_str());
        }
    } remover{items, renamed};
    const auto interrupted = [&] {
        if (!options.stopOnSignal || DeferSignals::pending() == 0) return false;
        error = interruptedError(files[at].path, opening);
        result.failed = at;
        return true;
    };
    // The wait for another's edit lock ends at a deferred signal too.
    const std::function<bool()> stopWaiting =
        options.stopOnSignal ? std::function<bool()>([] { return DeferSignals::pending() != 0; })
                             : std::function<bool()>();
    // No flush of a whole volume: each file is written, flushed and closed.
    for (at = 0; at < files.size(); ++at) {
        Item& item = items[at];
        opening = true;
        if (interrupted()) return false;
        HANDLE h = INVALID_HANDLE_VALUE;
        for (int attempt = 0; attempt < 32 && h == INVALID_HANDLE_VALUE; ++attempt) {
            std::wstring path = dirOf(item.target);
            if (!path.empty() && path.back() != L'\\' && path.back() != L'/') path += L'\\';
            path += wide(".orbcfg-" + randomTag());
            h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
            if (h != INVALID_HANDLE_VALUE) {
                item.temp = std::move(path);
            } else if (const DWORD e = ::GetLastError();
                       e != ERROR_FILE_EXISTS && e != ERROR_ALREADY_EXISTS) {
                return fail(e);
            }
        }
        if (h == INVALID_HANDLE_VALUE) return fail(ERROR_FILE_EXISTS);
        struct Closer {
            HANDLE h;
            ~Closer() { ::CloseHandle(h); }
        } closer{h};
        opening = false;
        if (const WriteFailure w = writeAll(h, files[at].bytes))
            return w.code ? failWith(Kind::System, w.code, systemReason(w.code)) : fail(w.error);
        if (const int code = fault(seam::Step::Sync))
            return failWith(Kind::System, code, systemReason(code));
        if (!::FlushFileBuffers(h)) return fail(::GetLastError());
    }
    for (at = 0; at < files.size(); ++at) {
        Item& item = items[at];
        const Expected& expect = files[at].expect;
        result.renamed = renamed;
        if (interrupted()) return false;
        // A file expected to hold certain bytes is compared and renamed under its lock, one at
        // a time.
        std::unique_ptr<Lock> lock;
        if (expect.state == Expected::State::Bytes) {
            if (!(lock = lockExpected(files[at].path, error, stopWaiting))) {
                result.failed = at;
                return false;
            }
            if (Error e = compareWith(files[at].path, expect.bytes)) {
                error = std::move(e);
                result.failed = at;
                return false;
            }
        }
        const bool noReplace = expect.state == Expected::State::Absent;
        if (const int code = fault(seam::Step::Rename)) {
            result.renamed = renamed;
            return failWith(Kind::System, code, systemReason(code));
        }
        const bool exists = item.attributes != INVALID_FILE_ATTRIBUTES;
        const bool readOnly = exists && (item.attributes & FILE_ATTRIBUTE_READONLY);
        if (readOnly)
            ::SetFileAttributesW(item.target.c_str(), item.attributes & ~FILE_ATTRIBUTE_READONLY);
        bool moved = exists && !noReplace &&
                     ::ReplaceFileW(item.target.c_str(), item.temp.c_str(), nullptr,
                                    REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr);
        // Without MOVEFILE_REPLACE_EXISTING a file that appeared meanwhile keeps its name.
        if (!moved)
            moved =
                ::MoveFileExW(item.temp.c_str(), item.target.c_str(),
                              noReplace ? MOVEFILE_WRITE_THROUGH
                                        : MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
        const DWORD e = moved ? 0 : ::GetLastError();
        if (readOnly) ::SetFileAttributesW(item.target.c_str(), item.attributes);
        if (!moved && noReplace && (e == ERROR_ALREADY_EXISTS || e == ERROR_FILE_EXISTS)) {
            error = changedError(files[at].path, EEXIST, false);
            result.failed = at;
            return false;
        }
        if (!moved) {
            result.renamed = renamed;
            return fail(e);
        }
        renamed = at + 1;
    }
    result.renamed = renamed;
    return true;
}

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
    const std::wstring pa = resolve(wide(a)), pb = resolve(wide(b));
    if (::CompareStringOrdinal(pa.c_str(), static_cast<int>(pa.size()), pb.c_str(),
                               static_cast<int>(pb.size()), TRUE) == CSTR_EQUAL)
        return ::GetFileAttributesW(pa.c_str()) != INVALID_FILE_ATTRIBUTES;
    BY_HANDLE_FILE_INFORMATION ia, ib;
    return identity(a, ia) && identity(b, ib) &&
           ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
           ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
}

namespace {

constexpr int kDeferred[] = {SIGINT, SIGTERM, SIGBREAK};
volatile std::sig_atomic_t g_deferred = 0;

void keepSignal(int sig) {
    g_deferred = sig;
    std::signal(sig, keepSignal);  // Windows puts back the default before a handler runs
}

}  // namespace

struct DeferSignals::Saved {
    void (*previous[3])(int) = {SIG_DFL, SIG_DFL, SIG_DFL};
};

DeferSignals::DeferSignals() : saved_(std::make_unique<Saved>()) {
    g_deferred = 0;
    for (int i = 0; i < 3; ++i) saved_->previous[i] = std::signal(kDeferred[i], keepSignal);
}

DeferSignals::~DeferSignals() {
    for (int i = 0; i < 3; ++i) std::signal(kDeferred[i], saved_->previous[i]);
    if (const int sig = g_deferred) {
        g_deferred = 0;
        std::raise(sig);
    }
}

int DeferSignals::pending() {
    return g_deferred;
}

// The lock is a named mutex of the system, named after the file: a byte lock on the file would
// keep it open, and Windows renames nothing over an open file, nor reads the bytes of a locked
// range through another handle. The name holds for the file that the replace puts in the old
// one's place, and nothing is left in the folder.
struct Lock::Handle {
    HANDLE mutex = nullptr;
};

std::unique_ptr<Lock> Lock::acquire(const std::string& path, Error& error) {
    return acquire(path, error, {});
}

std::unique_ptr<Lock> Lock::acquire(const std::string& path, Error& error,
                                    const std::function<bool()>& stop) {
    error = {};
    const std::wstring w = wide(path);
    // The file must be there, as for any read; its final path names the lock, case folded.
    const HANDLE h =
        ::CreateFileW(w.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        error = windowsError(path, ::GetLastError(), false, true);
        return nullptr;
    }
    ::CloseHandle(h);
    std::wstring name = resolve(w);
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
    if (!mutex) {
        error = windowsError(path, ::GetLastError(), false, true);
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
        error = windowsError(path, ::GetLastError(), false, true);
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

#endif  // _WIN32

void Buffer::prepare() {
    // A megabyte and more served one large file: let it go rather than hold it to the end.
    if (capacity_ > kKeptCapacity || capacity_ == 0) {
        data_.reset();
        capacity_ = 0;
        reserve(kFirstCapacity);
    }
}

void Buffer::reserve(std::size_t capacity) {
    auto data = std::make_unique_for_overwrite<char[]>(capacity);
    if (size_ > 0) std::memcpy(data.get(), data_.get(), size_);
    data_ = std::move(data);
    capacity_ = capacity;
}

// What the reading thread and the user share, under one mutex. Either side that has to wait
// sleeps until the other is half a ring ahead (or done), so that the two wake each other once
// in half a ring of files, not at every file.
struct ReadAhead::Shared {
    std::mutex mutex;
    std::condition_variable filled, freed;
    std::size_t produced = 0;  // files read into their slots
    std::size_t released = 0;  // files the user is done with, their slots free again
    std::size_t wanted = 0;    // the user sleeps until this many are read
    bool readerWaits = false, userWaits = false, stop = false;
    std::thread thread;
};

bool isTemporaryName(std::string_view name) {
    static constexpr std::string_view kPrefix = ".orbcfg-";
    if (name.size() != kPrefix.size() + 8 || !name.starts_with(kPrefix)) return false;
    return std::all_of(name.begin() + kPrefix.size(), name.end(),
                       [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z'); });
}

bool ReadAhead::defaultThreaded() {
    return std::thread::hardware_concurrency() > 1;
}

ReadAhead::ReadAhead(std::size_t count, PathOf pathOf, bool threaded, Accept accept)
    : count_(count),
      pathOf_(std::move(pathOf)),
      threaded_(threaded && count > 1),
      accept_(accept),
      slots_(std::make_unique<Slot[]>(threaded_ ? kSlots : 1)) {
    if (!threaded_) return;
    shared_ = std::make_unique<Shared>();
    shared_->thread = std::thread([this] { produce(); });
}

ReadAhead::~ReadAhead() {
    if (!shared_) return;
    {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        shared_->stop = true;
    }
    shared_->freed.notify_one();
    shared_->thread.join();
}

void ReadAhead::fill(std::size_t i, Slot& slot, std::string& path) {
    slot.skipped = !pathOf_(i, path);
    slot.ok = !slot.skipped && readInto(path, slot.buffer, slot.error, kInputLimit, accept_);
}

void ReadAhead::produce() {
    Shared& s = *shared_;
    std::string path;
    for (std::size_t i = 0; i < count_; ++i) {
        {
            std::unique_lock<std::mutex> lock(s.mutex);
            if (i - s.released >= kSlots) {
                s.readerWaits = true;
                s.freed.wait(lock, [&] { return s.stop || i - s.released <= kSlots / 2; });
                s.readerWaits = false;
            }
            if (s.stop) return;
        }
        fill(i, slots_[i % kSlots], path);
        bool wake = false;
        {
            std::lock_guard<std::mutex> lock(s.mutex);
            s.produced = i + 1;
            wake = s.userWaits && s.produced >= s.wanted;
        }
        if (wake) s.filled.notify_one();
    }
}

ReadAhead::File ReadAhead::next() {
    const std::size_t i = taken_++;
    Slot* slot = &slots_[0];
    if (!threaded_) {
        fill(i, *slot, path_);
    } else {
        Shared& s = *shared_;
        bool wake = false;
        {
            // The file before this one is done with: its slot may be read into again.
            std::unique_lock<std::mutex> lock(s.mutex);
            s.released = i;
            wake = s.readerWaits && s.produced - s.released <= kSlots / 2;
            if (s.produced <= i) {
                if (wake) s.freed.notify_one();
                wake = false;
                s.wanted = std::min(count_, i + kSlots / 2);
                s.userWaits = true;
                s.filled.wait(lock, [&] { return s.produced >= s.wanted; });
                s.userWaits = false;
            }
        }
        if (wake) s.freed.notify_one();
        slot = &slots_[i % kSlots];
    }
    File f;
    f.skipped = slot->skipped;
    if (!slot->skipped && !slot->ok) f.error = &slot->error;
    if (slot->ok) f.bytes = slot->buffer.bytes();
    return f;
}

}  // namespace orbex::fileio
