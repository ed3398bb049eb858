// Inside the file library: what its common files (reading, replacing, errors) share, and the
// calls of the system that each platform's back end provides them (the *_posix.cpp files or
// the *_win.cpp files; CMake builds one set). Not for callers of the library.
#pragma once

#include <csignal>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fileio/fileio.h"

namespace orbex::fileio {

// ---- Common: errors (error.cpp) ----

// Why a call failed: Kind::System with the errno (on Windows the nearest one) and the reason
// as Linux words it, or a refusal of another kind. Its path is added where the Error is made.
struct Failure {
    Kind kind = Kind::None;
    int code = 0;
    std::string reason;

    explicit operator bool() const { return kind != Kind::None; }
};

// Kind::System with the system's words for `code`.
Failure systemFailure(int code);
// Kind::NotFile: a folder (EISDIR), or something that is neither a folder nor a regular file.
Failure isDirectory();
Failure notRegular();

Error makeError(Kind kind, int code, const std::string& path, std::string reason, bool writing,
                bool opening);
Error errorOf(const Failure& failure, const std::string& path, bool writing, bool opening);
// Kind::TooLarge for a read of `path`.
Error tooLargeError(const std::string& path, bool opening);
// Kind::Changed, its code telling how: EEXIST a file that appeared, ENOENT one that went, EBUSY
// other bytes.
Error changedError(const std::string& path, int code, bool opening);
Error interruptedError(const std::string& path, bool opening);

// ---- The back end: errors ----

// The reason of an errno in Linux's words (the C library of Windows words some otherwise).
std::string systemReason(int code);
// The failure of the system call that failed last in this thread (errno; GetLastError()).
Failure lastFailure();

// ---- The back end: open files ----

// A file descriptor, or a HANDLE of Windows; kNoHandle is neither (INVALID_HANDLE_VALUE is -1).
using Handle = std::intptr_t;
constexpr Handle kNoHandle = -1;

void closeFile(Handle handle);

// Opens `path` for a read. With Accept::Regular it waits for nothing (a FIFO would wait for a
// writer) and refuses anything but a regular file before a byte is read. `handle` is set once
// the file is open, also when a refusal follows: the caller closes it.
Failure openToRead(const std::string& path, Accept accept, Handle& handle);
// Reads up to `count` bytes into `place`: how many in `got`, 0 at the end of the file.
Failure readSome(Handle handle, char* place, std::size_t count, std::size_t& got);

// ---- The back end: the steps of a replace ----

// A path in the system's own characters: temporary files are named so, ready for a signal
// handler.
#ifdef _WIN32
using NativeChar = wchar_t;
#else
using NativeChar = char;
#endif
using NativePath = std::basic_string<NativeChar>;

// What is at the end of the links of a replace's target.
struct Target {
    enum class Type { Regular, Directory, Other };
    std::string path;  // links followed (the path itself where none lead on)
    bool exists = false;
    Type type = Type::Regular;
    bool readOnly = false;          // a mode without write bits; the read-only attribute
    unsigned mode = 0;              // POSIX: the bits of its mode (07777)
    unsigned owner = 0, group = 0;  // POSIX
    unsigned long attributes = 0;   // Windows: its attributes, given to the new file
};

// True when `path` cannot name a file at all (empty, or ending in a separator).
bool namesNoFile(const std::string& path);
// Follows the links of `path` to what is there; a missing file at the end is no failure.
Failure followLinks(const std::string& path, Target& target);
// Whether the process may write the target where its mode allows it (a file system mounted
// read-only, an access list); no failure where the platform cannot tell.
Failure checkWritable(const Target& target);
// The folder of a path, as the system takes it ("." for a bare name).
std::string folderOf(const std::string& path);

// Creates the file `name` in `dir`, only if no file has that name (EEXIST else), with `mode`
// (POSIX; the umask narrows it): its handle and path.
Failure createIn(const std::string& dir, std::string_view name, unsigned mode, Handle& handle,
                 NativePath& path);
// The old file's owner, group and mode on the new one, where the platform keeps them.
Failure adopt(Handle handle, const Target& target);
// Writes up to `count` bytes: how many in `done`.
Failure writeSome(Handle handle, const char* bytes, std::size_t count, std::size_t& done);
// The bytes written made durable.
Failure flush(Handle handle);
// Closes the file: a failure reports a write that did not reach the file.
Failure closeWritten(Handle handle);
// Removes a temporary file; safe in a signal handler.
void discard(const NativeChar* path);
// Puts the temporary file in the target's place in one step, the old file's attributes on it.
Failure renameOver(const NativePath& from, const Target& to);
// The same, only while no file has the target's name: EEXIST when one has.
Failure renameNoReplace(const NativePath& from, const Target& to);

// A folder of a batch's targets, opened so that its renames can be made durable.
struct Folder {
    Handle handle = kNoHandle;
    std::uint64_t device = 0;  // the file system it is on
};
// True where one flush of a file system makes all that was written to it durable, and reports
// a failed write-back of any file: a batch then flushes each file system once, not each file.
#ifdef __linux__
constexpr bool kFlushesFileSystem = true;
#else
constexpr bool kFlushesFileSystem = false;
#endif
Failure openFolder(const std::string& dir, Folder& folder);
Failure flushFileSystem(const Folder& folder);
// Makes the renames in the folder durable, where the system can; never fails.
void syncFolder(const Folder& folder);
void closeFolder(const Folder& folder);

// ---- Signals during a replace (one at a time, under the process's replace mutex) ----

// Holds off, until releaseSignals, the handlers of the signals of installCleanup in this
// thread (POSIX: they are blocked; on Windows, whose handlers run in a thread of their own,
// they wait).
void holdSignals();
void releaseSignals();
// Puts a handler in place for the signals that end a process from the terminal or by request
// (SIGINT, SIGTERM, SIGHUP; on Windows SIGINT and SIGTERM), displacing the process's: it
// calls removeTemporaries, then the signal acts as it would have. uninstallCleanup puts the
// displaced handlers back.
void installCleanup();
void uninstallCleanup();
// Common (replace.cpp): removes the temporary files of the replace under way that are not
// renamed yet; safe in a signal handler.
void removeTemporaries();

}  // namespace orbex::fileio
