// Replacing files so that the old ones survive any failure: each new file is written beside
// its target, checked, made durable and renamed over it in one step. A single replace is a
// batch of one; the calls of the system are the platform's back end (platform.h).
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <mutex>
#include <random>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "fileio/platform.h"

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

constexpr std::string_view kTempPrefix = ".orbcfg-";
constexpr std::size_t kTempTagSize = 8;

// Runs the seam before a step: 0 to go on, else the errno the step fails with.
int fault(seam::Step step, std::size_t& count) {
    const seam::Hook& h = seam::hook();
    return h ? h(step, count) : 0;
}
int fault(seam::Step step) {
    std::size_t none = 0;
    return fault(step, none);
}

// One replace at a time: the signal handlers know of one set of temporary files.
std::mutex& replaceMutex() {
    static std::mutex m;
    return m;
}

// A short random part of a temporary name: lower-case letters and digits, from splitmix64
// over a counter seeded once. Not std::mt19937: the static Qt of the Windows build has its own
// instance of that template, and callers in Qt that GCC compiled knowing which registers their
// instance keeps crashed once the linker took this file's instance in its place.
std::string randomTag() {
    static std::atomic<std::uint64_t> counter{(std::uint64_t{std::random_device{}()} << 32) ^
                                              std::random_device{}()};
    std::uint64_t z = counter.fetch_add(0x9e3779b97f4a7c15ULL) + 0x9e3779b97f4a7c15ULL;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    z ^= z >> 31;
    static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    std::string tag(kTempTagSize, '0');
    for (char& c : tag) {
        c = kDigits[z % 36];
        z /= 36;
    }
    return tag;
}

// Follows the links of `path` and refuses what may not be replaced.
Failure inspect(const std::string& path, const ReplaceOptions& options, Target& t) {
    if (namesNoFile(path)) return {Kind::NotFile, EISDIR, "not a file name"};
    if (Failure f = followLinks(path, t)) return f;
    if (!t.exists) return {};
    if (t.type == Target::Type::Directory) return isDirectory();
    if (t.type == Target::Type::Other) return notRegular();
    if (options.force) return {};
    // The mode decides, not the rights of the process: root is refused too.
    if (t.readOnly) return {Kind::ReadOnly, EACCES, "read-only file"};
    return checkWritable(t);
}

// The mode a new file is created with: the old file's permission bits (its other bits are
// given once its owner is), else the caller's (0666 as the umask narrows it).
unsigned creationMode(const Target& t, const ReplaceOptions& options) {
    return t.exists ? t.mode & 0777 : options.newFileMode.value_or(0666) & 0666;
}

// What rules a target out before anything is written: EEXIST a file where none is expected,
// ENOENT none where one is; else 0.
int unexpected(const Expected& expect, bool exists) {
    if (expect.state == Expected::State::Absent && exists) return EEXIST;
    if (expect.state == Expected::State::Bytes && !exists) return ENOENT;
    return 0;
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

// The edit lock of a target a replace expects to hold certain bytes; nullptr with the error
// (Kind::Changed when the file is gone).
std::unique_ptr<Lock> lockExpected(const std::string& path, Error& error,
                                   const std::function<bool()>& stop) {
    auto lock = Lock::acquire(path, error, stop);
    if (!lock) {
        if (error.kind == Kind::System && error.code == ENOENT)
            error = changedError(path, ENOENT, true);
        error.writing = true;
    }
    return lock;
}

// Every byte written, each write checked.
Failure writeAll(Handle handle, std::string_view bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        std::size_t count = std::min<std::size_t>(bytes.size() - done, std::size_t{1} << 16);
        if (const int code = fault(seam::Step::Write, count)) return systemFailure(code);
        std::size_t n = 0;
        if (Failure f = writeSome(handle, bytes.data() + done, count, n)) return f;
        if (n == 0) return systemFailure(EIO);
        done += n;
    }
    return {};
}

// The temporary files of the replace under way that a signal removes: g_names[i] from
// g_from on, of g_count, where not null. Changed while signals are held.
const NativeChar* const* volatile g_names = nullptr;
volatile std::size_t g_from = 0;
volatile std::size_t g_count = 0;

// Signals held for the scope.
struct Held {
    Held() { holdSignals(); }
    ~Held() { releaseSignals(); }
};

// The temporary files of a replace: removed when it goes out of scope, all but those renamed,
// and by a signal that ends the process while they exist.
class TempFiles {
  public:
    explicit TempFiles(std::size_t n) : paths_(n), names_(n, nullptr) {}
    ~TempFiles() {
        const Held held;
        for (std::size_t i = renamed_; i < paths_.size(); ++i)
            if (names_[i]) discard(names_[i]);
        if (!armed_) return;
        g_names = nullptr;
        g_count = 0;
        g_from = 0;
        uninstallCleanup();
    }
    TempFiles(const TempFiles&) = delete;
    TempFiles& operator=(const TempFiles&) = delete;

    // Creates file i in `dir` with `mode`, under a name of its own: its handle.
    Failure create(std::size_t i, const std::string& dir, unsigned mode, Handle& handle) {
        const Held held;
        arm();
        for (int attempt = 0; attempt < 32; ++attempt) {
            const std::string name = std::string(kTempPrefix) + randomTag();
            Failure f = createIn(dir, name, mode, handle, paths_[i]);
            if (!f) {
                names_[i] = paths_[i].c_str();
                return {};
            }
            if (f.code != EEXIST) return f;
        }
        return systemFailure(EEXIST);
    }

    // Renames file i (all before it renamed already) to the target (with `noReplace` only
    // while no file has that name: EEXIST else). No signal needs holding: a handler that runs
    // just after the rename removes a name that is gone.
    Failure renameTo(std::size_t i, const Target& target, bool noReplace) {
        if (const int code = fault(seam::Step::Rename)) return systemFailure(code);
        if (Failure f =
                noReplace ? renameNoReplace(paths_[i], target) : renameOver(paths_[i], target))
            return f;
        renamed_ = i + 1;
        g_from = renamed_;
        return {};
    }

  private:
    void arm() {
        if (armed_) return;
        installCleanup();
        g_from = 0;
        g_count = names_.size();
        g_names = names_.data();
        armed_ = true;
    }

    std::vector<NativePath> paths_;
    std::vector<const NativeChar*> names_;  // what the signal handler reads
    std::size_t renamed_ = 0;
    bool armed_ = false;
};

// The distinct folders of a batch's targets, each opened once: before the first write where
// one flush of each file system makes the batch durable (it then reports a failed write-back
// of what follows), else only to sync the renames, where a folder that cannot be opened is
// not synced.
class Folders {
  public:
    explicit Folders(bool forFlush) : forFlush_(forFlush) {}
    ~Folders() {
        for (const Folder& f : list_) closeFolder(f);
    }
    Folders(const Folders&) = delete;
    Folders& operator=(const Folders&) = delete;

    Failure add(const std::string& dir) {
        if (!seen_.insert(dir).second) return {};
        Folder folder;
        if (Failure f = openFolder(dir, folder); f && forFlush_) return f;
        list_.push_back(folder);
        return {};
    }
    // One flush of each file system the new files are on.
    Failure flushFileSystems() {
        std::unordered_set<std::uint64_t> flushed;
        for (const Folder& f : list_) {
            if (!flushed.insert(f.device).second) continue;
            if (const int code = fault(seam::Step::Sync)) return systemFailure(code);
            if (Failure failure = flushFileSystem(f)) return failure;
        }
        return {};
    }
    void syncAll() {
        for (const Folder& f : list_) syncFolder(f);
    }

  private:
    const bool forFlush_;
    std::unordered_set<std::string> seen_;
    std::vector<Folder> list_;
};

// One replace of many files, or of one, from the look at the targets to the sync of their
// folders. Its steps fail with the error about the file they failed at.
class Batch {
  public:
    Batch(std::span<const Replacement> files, const ReplaceOptions& options, Error& error,
          BatchResult& result)
        : files_(files),
          options_(options),
          error_(error),
          result_(result),
          targets_(files.size()),
          flushEach_(!kFlushesFileSystem || files.size() == 1) {}

    bool run();

  private:
    bool inspectAll();
    bool lockEarly();
    bool writeFiles(TempFiles& temps, Folders& folders);
    bool writeFile(std::size_t at, TempFiles& temps, Folders& folders);
    bool renameFiles(TempFiles& temps);
    bool renameFile(std::size_t at, TempFiles& temps);
    bool expectedHeld(std::size_t at, std::unique_ptr<Lock>& lock);
    bool interrupted(std::size_t at);
    std::function<bool()> stopWaiting() const;
    bool fail(std::size_t at, Error e);
    bool fail(std::size_t at, const Failure& f) {
        return fail(at, errorOf(f, files_[at].path, true, opening_));
    }

    std::span<const Replacement> files_;
    const ReplaceOptions& options_;
    Error& error_;
    BatchResult& result_;
    std::vector<Target> targets_;
    // A single file's flush is the one flush of a batch of one; a flush of its whole file
    // system would be slower, and wait for other programs' writes.
    const bool flushEach_;
    bool opening_ = true;
    std::unique_ptr<Lock> early_;
};

bool Batch::run() {
    if (!inspectAll() || !lockEarly()) return false;
    std::lock_guard<std::mutex> one(replaceMutex());
    TempFiles temps(files_.size());
    Folders folders(!flushEach_);
    if (!writeFiles(temps, folders)) return false;
    if (!flushEach_) {
        // The flush is of no file in particular.
        if (Failure f = folders.flushFileSystems()) return fail(0, f);
    }
    if (!renameFiles(temps)) return false;
    result_.renamed = files_.size();
    folders.syncAll();
    return true;
}

bool Batch::fail(std::size_t at, Error e) {
    error_ = std::move(e);
    error_.path = files_[at].path;
    result_.failed = at;
    return false;
}

// Every target looked at, and refused where it may not be replaced, before anything is
// written.
bool Batch::inspectAll() {
    for (std::size_t at = 0; at < files_.size(); ++at) {
        if (Failure f = inspect(files_[at].path, options_, targets_[at])) return fail(at, f);
        if (const int code = unexpected(files_[at].expect, targets_[at].exists))
            return fail(at, changedError(files_[at].path, code, true));
    }
    return true;
}

// The edit lock of a batch of one that expects certain bytes is taken before the process's
// replace mutex, and held from the write to the rename: a thread of the process that holds
// it may be about to replace the file too. A batch of many takes each lock just before its
// file's rename (expectedHeld).
bool Batch::lockEarly() {
    if (files_.size() != 1 || files_[0].expect.state != Expected::State::Bytes) return true;
    early_ = lockExpected(targets_[0].path, error_, stopWaiting());
    return early_ ? true : fail(0, std::move(error_));
}

// Every new file written beside its target and closed; each flushed where the batch does not
// flush whole file systems.
bool Batch::writeFiles(TempFiles& temps, Folders& folders) {
    for (std::size_t at = 0; at < files_.size(); ++at) {
        opening_ = true;
        if (interrupted(at) || !writeFile(at, temps, folders)) return false;
    }
    return true;
}

bool Batch::writeFile(std::size_t at, TempFiles& temps, Folders& folders) {
    const Target& t = targets_[at];
    const std::string dir = folderOf(t.path);
    if (Failure f = folders.add(dir)) return fail(at, f);
    struct Closer {
        Handle handle = kNoHandle;
        ~Closer() {
            if (handle != kNoHandle) closeFile(handle);
        }
    } file;
    if (Failure f = temps.create(at, dir, creationMode(t, options_), file.handle))
        return fail(at, f);
    if (Failure f = adopt(file.handle, t)) return fail(at, f);
    opening_ = false;
    if (Failure f = writeAll(file.handle, files_[at].bytes)) return fail(at, f);
    if (flushEach_) {
        if (const int code = fault(seam::Step::Sync)) return fail(at, systemFailure(code));
        if (Failure f = flush(file.handle)) return fail(at, f);
    }
    if (Failure f = closeWritten(std::exchange(file.handle, kNoHandle))) return fail(at, f);
    return true;
}

bool Batch::renameFiles(TempFiles& temps) {
    for (std::size_t at = 0; at < files_.size(); ++at) {
        result_.renamed = at;
        if (interrupted(at) || !renameFile(at, temps)) return false;
    }
    return true;
}

bool Batch::renameFile(std::size_t at, TempFiles& temps) {
    const Expected& expect = files_[at].expect;
    std::unique_ptr<Lock> lock;
    if (expect.state == Expected::State::Bytes && !expectedHeld(at, lock)) return false;
    const bool noReplace = expect.state == Expected::State::Absent;
    if (Failure f = temps.renameTo(at, targets_[at], noReplace)) {
        if (noReplace && f.code == EEXIST)
            return fail(at, changedError(files_[at].path, EEXIST, false));
        return fail(at, f);
    }
    return true;
}

// A file expected to hold certain bytes is compared and renamed under its lock, one at a time;
// compared as late as may be, so that whoever writes without the lock has the least time.
bool Batch::expectedHeld(std::size_t at, std::unique_ptr<Lock>& lock) {
    lock = early_ ? std::move(early_) : lockExpected(targets_[at].path, error_, stopWaiting());
    if (!lock) return fail(at, std::move(error_));
    if (Error e = compareWith(targets_[at].path, files_[at].expect.bytes))
        return fail(at, std::move(e));
    return true;
}

// With stopOnSignal, the wait for another's edit lock ends at a deferred signal too.
std::function<bool()> Batch::stopWaiting() const {
    if (!options_.stopOnSignal) return {};
    return [] { return DeferSignals::pending() != 0; };
}

// With signals deferred, one that came stops a batch that asks for it before its next file or
// rename.
bool Batch::interrupted(std::size_t at) {
    if (!options_.stopOnSignal || DeferSignals::pending() == 0) return false;
    return !fail(at, interruptedError(files_[at].path, opening_));
}

}  // namespace

void removeTemporaries() {
    if (const NativeChar* const* names = g_names)
        for (std::size_t i = g_from; i < g_count; ++i)
            if (names[i]) discard(names[i]);
}

bool isTemporaryName(std::string_view name) {
    if (name.size() != kTempPrefix.size() + kTempTagSize || !name.starts_with(kTempPrefix))
        return false;
    return std::all_of(name.begin() + kTempPrefix.size(), name.end(),
                       [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z'); });
}

bool replaceFiles(std::span<const Replacement> files, Error& error, BatchResult& result,
                  const ReplaceOptions& options) {
    error = {};
    result = {};
    return Batch(files, options, error, result).run();
}

bool replaceFile(const std::string& path, std::string_view bytes, Error& error,
                 const ReplaceOptions& options) {
    const Replacement one{path, bytes, options.expect};
    BatchResult result;
    ReplaceOptions single = options;
    single.stopOnSignal = false;  // a batch's option
    return replaceFiles(std::span(&one, 1), error, result, single);
}

std::unique_ptr<Lock> Lock::acquire(const std::string& path, Error& error) {
    return acquire(path, error, {});
}

}  // namespace orbex::fileio
