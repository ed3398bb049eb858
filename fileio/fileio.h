// Reading a whole file within a bound, and replacing a file so that the old one survives any
// failure: the new bytes go to a temporary file beside the target, which takes the target's
// place in one rename. An in-place edit holds a lock from its read to its replace.
#pragma once

#include <cstddef>
#include <functional>
#include <iosfwd>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace orbex::fileio {

// A terminal configuration is a few kilobytes; anything larger than this is refused.
constexpr std::size_t kInputLimit = std::size_t{16} * 1024 * 1024;
// The bound as every message spells it: "16 MiB", or with `russian` "16 МиБ".
std::string inputLimitText(bool russian = false);

enum class Kind {
    None,
    System,       // a call of the system failed; `code` is its errno (or the errno nearest to it)
    TooLarge,     // the input exceeds the limit
    ReadOnly,     // the target is read-only and the replace was not forced
    NotFile,      // the path names a folder or a device, not a file
    Changed,      // the target is not what was read: another writer changed, created or removed it
    Interrupted,  // a signal came while signals were deferred (DeferSignals); `code` is EINTR
};

// What failed: the path as the caller gave it, the errno-like code and the system's reason.
struct Error {
    Kind kind = Kind::None;
    int code = 0;
    std::string path;
    std::string reason;
    bool writing = false;  // failed while replacing (else while reading)
    bool opening = false;  // failed before the first byte was written

    explicit operator bool() const { return kind != Kind::None; }
    // One line: "PATH: reason", or for TooLarge "PATH is larger than " the bound (as
    // inputLimitText spells it) ": not a terminal configuration";
    // for Changed "PATH: changed (removed, created) by another program since it was read".
    std::string message() const;
};

// The reason in Russian where it is a known one (no space, no permission, read-only file,
// file too large, no such folder); else the system's own text.
std::string russianReason(const Error& error);

// What a read takes: whatever the path opens (a device, a pipe a shell made for the command
// line), or a regular file only: a file of a folder, where a FIFO or a device put there would
// hold the read for ever. The second opens without waiting and refuses anything else
// (Kind::NotFile, "not a regular file") before reading a byte.
enum class Accept { Any, Regular };

// The bytes of the file, at most `limit`; reads no more than limit + 1 bytes.
std::optional<std::string> readFile(const std::string& path, Error& error,
                                    std::size_t limit = kInputLimit, Accept accept = Accept::Any);
// The same into `buffer`, whose storage serves the next file: false on failure.
bool readInto(const std::string& path, std::string& buffer, Error& error,
              std::size_t limit = kInputLimit, Accept accept = Accept::Any);
// The bytes of one file, in storage that the next file read into it reuses: it grows to the
// largest file it held (one larger than a megabyte is let go before the next read) and is
// never cleared before a read.
class Buffer {
  public:
    std::string_view bytes() const { return {data_.get(), size_}; }

  private:
    friend bool readInto(const std::string& path, Buffer& buffer, Error& error, std::size_t limit,
                         Accept accept);
    struct Sink;  // how a read fills it
    static constexpr std::size_t kFirstCapacity = std::size_t{64} * 1024;
    static constexpr std::size_t kKeptCapacity = std::size_t{1} << 20;
    // Before a read: room for a first read, a large room let go.
    void prepare();
    // Room for `capacity` bytes, keeping those held.
    void reserve(std::size_t capacity);
    std::unique_ptr<char[]> data_;
    std::size_t size_ = 0, capacity_ = 0;
};
// The same into `buffer`: an open, reads straight into the buffer until one of them returns
// nothing, and a close; false on failure.
bool readInto(const std::string& path, Buffer& buffer, Error& error,
              std::size_t limit = kInputLimit, Accept accept = Accept::Any);

// Reads the files of a list one after another ahead of their user, in a thread of its own,
// into a few buffers that it reuses: the user takes them in list order, while the next ones are
// read. Memory is bounded by the buffers, not by the number of files. Without a second
// processor (or with `threaded` false) each file is read when the user takes it.
class ReadAhead {
  public:
    // Puts the path of file `i` into `path`; false when the file is not for reading here (the
    // user reads it itself: standard input, say). Called from the reading thread.
    using PathOf = std::function<bool(std::size_t i, std::string& path)>;
    static constexpr std::size_t kSlots = 16;

    ReadAhead(std::size_t count, PathOf pathOf, bool threaded = defaultThreaded(),
              Accept accept = Accept::Any);
    ~ReadAhead();
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    struct File {
        bool skipped = false;          // not read here: PathOf said so
        const Error* error = nullptr;  // the read failed: why
        std::string_view bytes;        // else what the file holds
    };
    // The next file of the list (the first call: file 0), valid until the next call. Not to
    // be called more often than there are files.
    File next();

    // True when a second processor is there to read ahead.
    static bool defaultThreaded();

  private:
    struct Slot {
        Buffer buffer;
        Error error;
        bool ok = false, skipped = false;
    };
    void fill(std::size_t i, Slot& slot, std::string& path);
    void produce();

    const std::size_t count_;
    const PathOf pathOf_;
    const bool threaded_;
    const Accept accept_;
    std::unique_ptr<Slot[]> slots_;
    std::size_t taken_ = 0;  // files handed to the user
    std::string path_;       // the unthreaded way's path
    struct Shared;
    std::unique_ptr<Shared> shared_;
};

// The same for a stream; `name` stands for it in the error.
std::optional<std::string> readStream(std::istream& in, const std::string& name, Error& error,
                                      std::size_t limit = kInputLimit);

// A file of any size read piece by piece, for input far larger than a configuration (a server's
// log): `piece` gets each piece as it is read, valid until it returns. False with the reason in
// `error` when the file cannot be opened or read.
using Piece = std::function<void(std::string_view bytes)>;
bool readPieces(const std::string& path, const Piece& piece, Error& error);
// The same for a stream; `name` stands for it in the error.
bool readPieces(std::istream& in, const std::string& name, const Piece& piece, Error& error);

// Decompresses gzip data given piece by piece (RFC 1952), members one after another as gzip
// itself reads them; zero bytes after the last member (the padding of a tape or a copy) are
// ignored. Each decompressed piece goes to `out`, valid until it returns.
class Gunzip {
  public:
    explicit Gunzip(Piece out);
    ~Gunzip();
    Gunzip(const Gunzip&) = delete;
    Gunzip& operator=(const Gunzip&) = delete;

    // True when the bytes begin as gzip data does (1F 8B): told by the bytes, not the name.
    static bool isGzip(std::string_view firstBytes);
    // False with the reason in `error` when the data is corrupt; nothing more may be fed then.
    bool feed(std::string_view bytes, std::string& error);
    // After the last piece: false when the data ended within a member.
    bool finish(std::string& error);

  private:
    struct Stream;
    std::unique_ptr<Stream> stream_;
};

// What a replace expects at its target: anything (a plain replace), no file at all (a new file:
// a file that appeared meanwhile is never replaced), or the bytes the caller read (a file changed
// or removed meanwhile is another writer's: never replaced, never re-created).
struct Expected {
    enum class State { Any, Absent, Bytes } state = State::Any;
    std::string_view bytes;  // with Bytes

    static Expected absent() { return {State::Absent, {}}; }
    static Expected holding(std::string_view bytes) { return {State::Bytes, bytes}; }
};

// The name (without folder) of a temporary file that a replace writes beside its target:
// ".orbcfg-" and eight lower-case letters or digits. One that stays was left by a replace that
// was stopped.
bool isTemporaryName(std::string_view name);

struct ReplaceOptions {
    bool force = false;  // replace a read-only target too
    // The mode a new target gets (the umask narrows it); none: 0666 as narrowed. POSIX only.
    std::optional<unsigned> newFileMode;
    Expected expect = {};  // replaceFile only; each file of replaceFiles has its own
    // replaceFiles only: with signals deferred (DeferSignals), one that comes stops the batch
    // before its next file or rename, with Kind::Interrupted, so that the caller can put back
    // what was renamed before the process ends by it.
    bool stopOnSignal = false;
};

// Puts `bytes` in the place of the file that `path` names, following symbolic links. The new
// file keeps the old one's mode, and its owner and group where the process may set them; a new
// file gets the mode of a file the process creates. On failure the old file is untouched and
// nothing is left behind.
// A target that is not as `options.expect` says fails with Kind::Changed. With Absent the new
// file takes the name only while no file has it (one step: a file that appears meanwhile
// stays). With Bytes the edit lock of the target (Lock) is taken, and the target is read
// again, compared and replaced under it; a caller that holds that lock already uses Any (a
// second lock of one file would wait for itself).
bool replaceFile(const std::string& path, std::string_view bytes, Error& error,
                 const ReplaceOptions& options = {});

// One file of a replace of many.
struct Replacement {
    std::string path;
    std::string_view bytes;
    Expected expect = {};  // as for replaceFile
};
struct BatchResult {
    std::size_t failed = 0;   // the file the error is about
    std::size_t renamed = 0;  // how many files, from the first, hold their new bytes
};

// Replaces many files at once, as replaceFile does each (replaceFile is a batch of one), with
// one flush for all: every new file is written beside its target and closed, all are made
// durable together (syncfs on Linux; elsewhere, and in a batch of one file, each file is
// flushed), then each is renamed over its target in order, and each folder is synced once.
// On a failure before the first rename no target has changed and no temporary file is left;
// on a failure of a rename the files before it hold their new bytes (`result.renamed` of
// them: the caller puts them back), the others are untouched and no temporary file is left.
// A target that is not as its `expect` says fails the batch at that file, before its rename,
// with Kind::Changed; `options.expect` is not used here. The lock of a file expected to hold
// certain bytes is taken just before its rename and let go after it, one file at a time,
// while the batch holds the process's own replace mutex: a thread of the process must not
// hold one of those locks while it waits for a replace of its own. (A batch of one file
// takes it before that mutex, as replaceFile does.)
bool replaceFiles(std::span<const Replacement> files, Error& error, BatchResult& result,
                  const ReplaceOptions& options = {});

// The mode for a new file made from the files of `sources` (links followed): the permission
// bits they all share, so that a file made from a private one is private too; with `secret`
// (it holds a password) no more than 0600. Files that cannot be looked at count for nothing;
// none at all without `secret`: the system's default. Always none on Windows, which keeps no
// mode.
std::optional<unsigned> newFileMode(std::span<const std::string> sources, bool secret = false);

// Holds off the signals that end a process from the terminal or by request (SIGINT, SIGTERM,
// SIGHUP; on Windows SIGINT, SIGTERM and SIGBREAK) while it lives, in the thread that makes it
// and the threads that thread starts. A signal that comes is kept; when the scope ends it acts
// as it would have, and the process ends by it. One scope at a time.
class DeferSignals {
  public:
    DeferSignals();
    ~DeferSignals();
    DeferSignals(const DeferSignals&) = delete;
    DeferSignals& operator=(const DeferSignals&) = delete;

    // The signal that came meanwhile, or 0.
    static int pending();

  private:
    struct Saved;
    std::unique_ptr<Saved> saved_;
};

// True when both paths name the same existing file.
bool sameFile(const std::string& a, const std::string& b);

// An exclusive lock for an edit in place, held from before the read until after the replace.
// It locks the file that the path names and, once locked, checks that the path still names it
// (a writer who replaced it meanwhile has put a new file there, and then it locks that one).
class Lock {
  public:
    static std::unique_ptr<Lock> acquire(const std::string& path, Error& error);
    // The same, giving up while it waits when `stop` says so (nullptr, Kind::Interrupted).
    static std::unique_ptr<Lock> acquire(const std::string& path, Error& error,
                                         const std::function<bool()>& stop);
    ~Lock();
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

  private:
    Lock() = default;
    struct Handle;
    std::unique_ptr<Handle> handle_;
};

// The test seam: a hook that runs before each step of a replace and may make it fail.
namespace seam {

enum class Step { Write, Sync, Rename };

// `count` is the number of bytes a write is about to write; the hook may lower it (a short
// write). A non-zero result fails the step with that errno.
using Hook = std::function<int(Step step, std::size_t& count)>;

void setHook(Hook hook);  // an empty hook: no faults

}  // namespace seam

}  // namespace orbex::fileio
