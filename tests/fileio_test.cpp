// The file library on real files: every failure of a replace, injected through the seam or
// met on a full file system, leaves the old bytes and no temporary file; links, read-only
// targets, owners, modes, long names, signals and the input bound.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <optional>
#include <sstream>
#include <streambuf>
#include <thread>
#include <tuple>

#include "fileio/fileio.h"
#include "tests/cli_support.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

using namespace orbex;
using namespace orbex::testing;
namespace fs = std::filesystem;
using fileio::Error;
using fileio::Kind;
using fileio::seam::Step;

namespace {

const std::string kOld = "USERN='old'\r\n";
const std::string kNew(200000, 'n');  // several writes' worth
const std::string kLong = "USERN='" + std::string(100000, 'u') + "'\r\n";

// Removes the seam's hook when the test ends, whatever happens.
struct Hooked {
    explicit Hooked(fileio::seam::Hook hook) { fileio::seam::setHook(std::move(hook)); }
    ~Hooked() { fileio::seam::setHook({}); }
};

struct Fault {
    const char* name;
    fileio::seam::Hook hook;
    int code;
    const char* reason;  // as Linux words it, on every system
};

}  // namespace

TEST(Replace, EveryFailureKeepsTheOldFileAndLeavesNothing) {
    const std::vector<Fault> faults = {
        {"no space at the first write",
         [](Step s, std::size_t&) { return s == Step::Write ? ENOSPC : 0; }, ENOSPC,
         "No space left on device"},
        {"input/output error at a later write",
         [n = 0](Step s, std::size_t&) mutable { return s == Step::Write && ++n == 2 ? EIO : 0; },
         EIO, "Input/output error"},
        {"a short write, then no space",
         [n = 0](Step s, std::size_t& count) mutable {
             if (s != Step::Write) return 0;
             if (++n == 1) count /= 2;
             return n == 2 ? ENOSPC : 0;
         },
         ENOSPC, "No space left on device"},
        {"the flush fails", [](Step s, std::size_t&) { return s == Step::Sync ? EIO : 0; }, EIO,
         "Input/output error"},
        {"the rename fails", [](Step s, std::size_t&) { return s == Step::Rename ? EACCES : 0; },
         EACCES, "Permission denied"},
    };
    for (const Fault& f : faults) {
        TempDir dir;
        const std::string target = dir / "a.cfg";
        spit(target, kOld);
        Error e;
        {
            Hooked hooked(f.hook);
            EXPECT_FALSE(fileio::replaceFile(target, kNew, e)) << f.name;
        }
        EXPECT_EQ(slurp(target), kOld) << f.name;
        EXPECT_EQ(dir.names(), std::vector<std::string>{"a.cfg"}) << f.name;
        EXPECT_EQ(e.kind, Kind::System) << f.name;
        EXPECT_EQ(e.code, f.code) << f.name;
        EXPECT_EQ(e.path, target) << f.name;
        EXPECT_EQ(e.reason, f.reason) << f.name;
        EXPECT_EQ(e.message(), target + ": " + f.reason) << f.name;

        // The tool says so on one line and exits 2.
        Hooked hooked(f.hook);
        const Result r = runCli({"normalize", "-", "-o", target}, kLong);
        EXPECT_EQ(r.code, 2) << f.name;
        EXPECT_EQ(r.err, "orbcfg-cli: cannot write '" + target + "': " + f.reason + "\n") << f.name;
        EXPECT_EQ(slurp(target), kOld) << f.name;
        EXPECT_EQ(dir.names(), std::vector<std::string>{"a.cfg"}) << f.name;
    }
}

TEST(Replace, ShortWritesStillWriteEverything) {
    TempDir dir;
    spit(dir / "a.cfg", kOld);
    Hooked hooked([](Step s, std::size_t& count) {
        if (s == Step::Write && count > 1000) count = 1000;
        return 0;
    });
    Error e;
    ASSERT_TRUE(fileio::replaceFile(dir / "a.cfg", kNew, e)) << e.message();
    EXPECT_EQ(slurp(dir / "a.cfg"), kNew);
}

namespace {

// A target that the system keeps read-only: a mode without write bits; on Windows, which keeps
// no mode, the read-only attribute, taken off again at the end so that the folder can go.
struct ReadOnly {
    std::string path;
    explicit ReadOnly(std::string p) : path(std::move(p)) {
#ifdef _WIN32
        ::SetFileAttributesW(u8(path).wstring().c_str(), FILE_ATTRIBUTE_READONLY);
#else
        fs::permissions(u8(path), fs::perms(0444));
#endif
    }
    ~ReadOnly() {
#ifdef _WIN32
        ::SetFileAttributesW(u8(path).wstring().c_str(), FILE_ATTRIBUTE_NORMAL);
#endif
    }
    // Still as it was made: the same mode, or the attribute still set.
    bool kept() const {
#ifdef _WIN32
        return ::GetFileAttributesW(u8(path).wstring().c_str()) & FILE_ATTRIBUTE_READONLY;
#else
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 && (st.st_mode & 07777) == 0444;
#endif
    }
};

}  // namespace

TEST(Replace, ReadOnlyTargetIsRefusedUnlessForced) {
    TempDir dir;
    spit(dir / "a.cfg", kOld);
    const ReadOnly target(dir / "a.cfg");
    Error e;
    // The mode decides, also for root, who could write the file all the same.
    EXPECT_FALSE(fileio::replaceFile(dir / "a.cfg", "new", e));
    EXPECT_EQ(e.kind, Kind::ReadOnly);
    EXPECT_EQ(e.path, dir / "a.cfg");
    EXPECT_EQ(slurp(dir / "a.cfg"), kOld);
    EXPECT_EQ(fileio::russianReason(e), "файл только для чтения");

    spit(dir / "in.cfg", kOld);
    Result r = runCli({"set", dir / "in.cfg", "USERN=x", "-o", dir / "a.cfg"});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err, "orbcfg-cli: cannot write '" + (dir / "a.cfg") +
                         "': read-only file (--force replaces it)\n");
    EXPECT_EQ(slurp(dir / "a.cfg"), kOld);
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"a.cfg", "in.cfg"}));

    // A forced replace keeps it read-only.
    r = runCli({"set", dir / "in.cfg", "USERN=x", "-o", dir / "a.cfg", "--force"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(slurp(dir / "a.cfg").find("USERN='x'"), std::string::npos);
    EXPECT_TRUE(target.kept());
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"a.cfg", "in.cfg"}));
}

#ifndef _WIN32

namespace {

mode_t modeOf(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_mode & 07777;
}

// Sets the process's umask for the scope.
struct Umask {
    explicit Umask(mode_t m) : old(::umask(m)) {}
    ~Umask() { ::umask(old); }
    mode_t old;
};

std::vector<std::string> temporaries(const TempDir& dir, const std::string& target) {
    std::vector<std::string> v;
    for (const std::string& name : dir.names())
        if (name != target) v.push_back(name);
    return v;
}

}  // namespace

TEST(Replace, FollowsSymbolicLinks) {
    TempDir dir;
    fs::create_directories(dir.path() / "real");
    fs::create_directories(dir.path() / "links");
    spit(dir / "real/a.cfg", kOld);
    fs::create_symlink("../real/a.cfg", dir.path() / "links/hop");
    fs::create_symlink("hop", dir.path() / "links/a.cfg");  // a chain of relative links
    Error e;
    ASSERT_TRUE(fileio::replaceFile(dir / "links/a.cfg", "new", e)) << e.message();
    EXPECT_TRUE(fs::is_symlink(dir.path() / "links/a.cfg"));
    EXPECT_TRUE(fs::is_symlink(dir.path() / "links/hop"));
    EXPECT_EQ(slurp(dir / "real/a.cfg"), "new");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path() / "real"), fs::directory_iterator()),
              1);

    // A link to no file yet: the file it names is made.
    fs::create_symlink("real/b.cfg", dir.path() / "b.cfg");
    ASSERT_TRUE(fileio::replaceFile(dir / "b.cfg", "made", e)) << e.message();
    EXPECT_TRUE(fs::is_symlink(dir.path() / "b.cfg"));
    EXPECT_EQ(slurp(dir / "real/b.cfg"), "made");

    // The tool's -o does the same.
    spit(dir / "in.cfg", kOld);
    EXPECT_EQ(runCli({"normalize", dir / "in.cfg", "-o", dir / "links/a.cfg"}).code, 0);
    EXPECT_TRUE(fs::is_symlink(dir.path() / "links/a.cfg"));
    EXPECT_EQ(slurp(dir / "real/a.cfg"), runCli({"normalize", dir / "in.cfg"}).out);
}

TEST(Replace, KeepsModeOwnerAndGroup) {
    TempDir dir;
    Umask open(0);
    for (mode_t mode : {0600, 0640, 0664, 02640}) {
        spit(dir / "a.cfg", kOld);
        ::chmod((dir / "a.cfg").c_str(), mode);
        Error e;
        ASSERT_TRUE(fileio::replaceFile(dir / "a.cfg", "new", e)) << e.message();
        EXPECT_EQ(modeOf(dir / "a.cfg"), mode);
    }
    // A new file: what the process's umask allows.
    Umask usual(022);
    Error e;
    ASSERT_TRUE(fileio::replaceFile(dir / "new.cfg", "new", e));
    EXPECT_EQ(modeOf(dir / "new.cfg"), 0644u);
}

TEST(Replace, KeepsOwnerAndGroupOfAnotherUser) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root may give a file to another user";
    TempDir dir;
    spit(dir / "a.cfg", kOld);
    ASSERT_EQ(::chown((dir / "a.cfg").c_str(), 65534, 65534), 0);
    ::chmod((dir / "a.cfg").c_str(), 0600);
    Error e;
    ASSERT_TRUE(fileio::replaceFile(dir / "a.cfg", "new", e)) << e.message();
    struct stat st {};
    ASSERT_EQ(::stat((dir / "a.cfg").c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_gid, 65534u);
    EXPECT_EQ(st.st_mode & 07777, 0600u);
}

TEST(Replace, TemporaryFileIsNeverWiderThanTheTarget) {
    TempDir dir;
    Umask open(0);  // nothing narrows the file but the code under test
    spit(dir / "secret.cfg", "PASSW='x'\r\n");
    ::chmod((dir / "secret.cfg").c_str(), 0600);
    std::vector<mode_t> seen;
    Hooked hooked([&](Step s, std::size_t&) {
        if (s == Step::Write)
            for (const std::string& name : temporaries(dir, "secret.cfg"))
                seen.push_back(modeOf(dir / name));
        return 0;
    });
    Error e;
    ASSERT_TRUE(fileio::replaceFile(dir / "secret.cfg", "PASSW='y'\r\n", e));
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0], 0600u);
    EXPECT_EQ(dir.names(), std::vector<std::string>{"secret.cfg"});
}

TEST(Replace, LongNamesFit) {
    TempDir dir;
    spit(dir / "in.cfg", kOld);
    for (std::size_t length : {246, 251, 255}) {
        const std::string name = std::string(length - 4, 'n') + ".cfg";
        spit(dir / name, kOld);
        Error e;
        EXPECT_TRUE(fileio::replaceFile(dir / name, "new", e)) << length << ": " << e.message();
        EXPECT_EQ(slurp(dir / name), "new");
        const Result r = runCli({"set", dir / name, "USERN=x", "-i"});
        EXPECT_EQ(r.code, 0) << length << ": " << r.err;
        fs::remove(dir.path() / name);
    }
    EXPECT_EQ(dir.names(), std::vector<std::string>{"in.cfg"});
}

// A child stopped in the middle of a replace, its temporary file written, is killed: the
// signal removes the temporary file, and the old one stays.
TEST(Replace, SignalRemovesTheTemporaryFile) {
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        TempDir dir;
        spit(dir / "a.cfg", kOld);
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            ::close(ready[0]);
            for (int s : {SIGINT, SIGTERM, SIGHUP}) ::signal(s, SIG_DFL);
            fileio::seam::setHook([&](Step s, std::size_t&) {
                if (s == Step::Rename) {
                    (void)!::write(ready[1], "r", 1);
                    for (;;) ::pause();
                }
                return 0;
            });
            Error e;
            fileio::replaceFile(dir / "a.cfg", kNew, e);
            ::_exit(0);
        }
        ::close(ready[1]);
        char c = 0;
        ASSERT_EQ(::read(ready[0], &c, 1), 1);
        ::close(ready[0]);
        EXPECT_EQ(temporaries(dir, "a.cfg").size(), 1u);  // written, waiting for its rename
        ::kill(pid, sig);
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << sig;
        EXPECT_EQ(dir.names(), std::vector<std::string>{"a.cfg"}) << sig;
        EXPECT_EQ(slurp(dir / "a.cfg"), kOld);
    }
}

// A real full file system: a small tmpfs, mounted where the process may (root in CI).
TEST(Replace, FullFileSystem) {
    TempDir dir;
    const std::string mnt = dir / "small";
    fs::create_directory(mnt);
    if (::mount("tmpfs", mnt.c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount a tmpfs here (" << std::strerror(errno)
                     << "); needs root and the right to mount";
    struct Unmount {
        std::string at;
        ~Unmount() { ::umount2(at.c_str(), MNT_DETACH); }
    } unmount{mnt};

    const std::string target = mnt + "/a.cfg";
    spit(target, kOld);
    {
        // Fill what is left.
        const int fd = ::open((mnt + "/filler").c_str(), O_WRONLY | O_CREAT, 0644);
        ASSERT_GE(fd, 0);
        const std::string block(4096, 'f');
        while (::write(fd, block.data(), block.size()) > 0) {
        }
        ::close(fd);
    }
    Error e;
    EXPECT_FALSE(fileio::replaceFile(target, kNew, e));
    EXPECT_EQ(e.code, ENOSPC);
    EXPECT_EQ(fileio::russianReason(e), "нет места на диске");
    EXPECT_EQ(slurp(target), kOld);

    spit(dir / "big.cfg", kLong);
    const Result r2 = runCli({"normalize", dir / "big.cfg", "-o", target});
    EXPECT_EQ(r2.code, 2);
    EXPECT_EQ(r2.err, "orbcfg-cli: cannot write '" + target + "': " + std::strerror(ENOSPC) + "\n");
    EXPECT_EQ(slurp(target), kOld);
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(mnt))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"a.cfg", "filler"}));
}

#else  // _WIN32

// Failures that Windows has in its own words reach the user as Linux words them, with the
// errno that Linux has, so that the Russian reasons of the editor hold too.
TEST(Replace, WindowsFailuresReadAsOnLinux) {
    TempDir dir;
    spit(dir / "a.cfg", kOld);
    Error e;
    // No such file; no such folder.
    EXPECT_FALSE(fileio::readFile(dir / "none.cfg", e));
    EXPECT_EQ(e.code, ENOENT);
    EXPECT_EQ(e.message(), (dir / "none.cfg") + ": No such file or directory");
    EXPECT_EQ(fileio::russianReason(e), "нет такого файла");
    EXPECT_FALSE(fileio::replaceFile(dir / "none/a.cfg", kNew, e));
    EXPECT_EQ(e.code, ENOENT);
    EXPECT_EQ(e.reason, "No such file or directory");
    EXPECT_EQ(fileio::russianReason(e), "нет такой папки");

    // A file another program holds open without sharing: neither read nor replaced, the old
    // bytes kept and nothing left behind.
    const HANDLE held = ::CreateFileW(u8(dir / "a.cfg").c_str(), GENERIC_READ, 0, nullptr,
                                      OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    const bool read = fileio::readFile(dir / "a.cfg", e).has_value();
    const Error readError = e;
    const bool replaced = fileio::replaceFile(dir / "a.cfg", kNew, e);
    ::CloseHandle(held);
    EXPECT_FALSE(read);
    EXPECT_EQ(readError.code, EACCES);
    EXPECT_EQ(readError.reason, "Permission denied");
    EXPECT_FALSE(replaced);
    EXPECT_EQ(e.code, EACCES);
    EXPECT_EQ(e.message(), (dir / "a.cfg") + ": Permission denied");
    EXPECT_EQ(fileio::russianReason(e), "нет прав доступа");
    EXPECT_EQ(slurp(dir / "a.cfg"), kOld);
    EXPECT_EQ(dir.names(), std::vector<std::string>{"a.cfg"});
}

#endif  // _WIN32

namespace {

// A stream that never ends.
class Endless : public std::streambuf {
  protected:
    int_type underflow() override {
        static char zeros[4096] = {};
        setg(zeros, zeros, zeros + sizeof zeros);
        return 0;
    }
};

}  // namespace

// Many files at once: every failure before the renames leaves every old file and no temporary
// file; a failed rename leaves the files before it replaced (the caller puts them back), the
// others untouched, and no temporary file.
TEST(ReplaceMany, EveryFailureKeepsTheOldFilesAndLeavesNothing) {
    struct ManyFault {
        const char* name;
        fileio::seam::Hook hook;
        int code;
        std::size_t failed, renamed;
    };
    const std::vector<ManyFault> faults = {
        {"no space while writing the second file",
         [n = 0](Step s, std::size_t&) mutable {
             return s == Step::Write && ++n == static_cast<int>(kNew.size() / 65536) + 2 ? ENOSPC
                                                                                         : 0;
         },
         ENOSPC, 1, 0},
        {"a short write, then an input/output error",
         [n = 0](Step s, std::size_t& count) mutable {
             if (s != Step::Write) return 0;
             if (++n == 1) count /= 2;
             return n == 3 ? EIO : 0;
         },
         EIO, 0, 0},
        {"the flush fails", [](Step s, std::size_t&) { return s == Step::Sync ? EIO : 0; }, EIO, 0,
         0},
        {"the first rename fails",
         [](Step s, std::size_t&) { return s == Step::Rename ? EACCES : 0; }, EACCES, 0, 0},
        {"the third rename fails",
         [n = 0](Step s, std::size_t&) mutable {
             return s == Step::Rename && ++n == 3 ? EXDEV : 0;
         },
         EXDEV, 2, 2},
    };
    for (const ManyFault& f : faults) {
        TempDir dir;
        spit(dir / "a.cfg", kOld);
        spit(dir / "b.cfg", kOld);
        const std::vector<fileio::Replacement> files = {
            {dir / "a.cfg", kNew}, {dir / "b.cfg", kNew}, {dir / "c.cfg", kNew}};
        Error e;
        fileio::BatchResult result;
        {
            Hooked hooked(f.hook);
            EXPECT_FALSE(fileio::replaceFiles(files, e, result)) << f.name;
        }
        EXPECT_EQ(e.code, f.code) << f.name;
        EXPECT_EQ(e.path, files[f.failed].path) << f.name;
        EXPECT_EQ(result.failed, f.failed) << f.name;
        EXPECT_EQ(result.renamed, f.renamed) << f.name;
        EXPECT_EQ(slurp(dir / "a.cfg"), f.renamed > 0 ? kNew : kOld) << f.name;
        EXPECT_EQ(slurp(dir / "b.cfg"), f.renamed > 1 ? kNew : kOld) << f.name;
        std::vector<std::string> names = {"a.cfg", "b.cfg"};
        if (f.renamed > 2) names.push_back("c.cfg");
        EXPECT_EQ(dir.names(), names) << f.name;
    }
}

#ifndef _WIN32  // modes and umask are POSIX
// Every file replaced, each keeping its mode; a read-only one refuses the whole set before
// anything is written; links are followed.
TEST(ReplaceMany, ReplacesEveryFileKeepingModes) {
    TempDir dir;
    Umask usual(022);
    spit(dir / "a.cfg", kOld);
    ::chmod((dir / "a.cfg").c_str(), 0600);
    fs::create_directory(dir.path() / "sub");
    spit(dir / "sub/b.cfg", kOld);
    fs::create_symlink("sub/b.cfg", dir.path() / "link.cfg");
    const std::vector<fileio::Replacement> files = {
        {dir / "a.cfg", "A"}, {dir / "link.cfg", "B"}, {dir / "new.cfg", "C"}};
    Error e;
    fileio::BatchResult result;
    ASSERT_TRUE(fileio::replaceFiles(files, e, result)) << e.message();
    EXPECT_EQ(result.renamed, 3u);
    EXPECT_EQ(slurp(dir / "a.cfg"), "A");
    EXPECT_EQ(modeOf(dir / "a.cfg"), 0600u);
    EXPECT_EQ(slurp(dir / "sub/b.cfg"), "B");
    EXPECT_TRUE(fs::is_symlink(dir.path() / "link.cfg"));
    EXPECT_EQ(modeOf(dir / "new.cfg"), 0644u);
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"a.cfg", "link.cfg", "new.cfg", "sub"}));

    ::chmod((dir / "a.cfg").c_str(), 0444);
    const std::vector<fileio::Replacement> again = {{dir / "new.cfg", "D"}, {dir / "a.cfg", "E"}};
    EXPECT_FALSE(fileio::replaceFiles(again, e, result));
    EXPECT_EQ(e.kind, Kind::ReadOnly);
    EXPECT_EQ(result.failed, 1u);
    EXPECT_EQ(slurp(dir / "new.cfg"), "C");
    EXPECT_EQ(slurp(dir / "a.cfg"), "A");
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"a.cfg", "link.cfg", "new.cfg", "sub"}));
}

// The tool's import: a rename that fails halfway puts back every file it replaced and removes
// every file it made, so the folder is as it was.
TEST(ReplaceMany, ImportFailingHalfwayLeavesTheFolderAsItWas) {
    TempDir dir;
    spit(dir / "b.cfg", kOld);
    spit(dir / "d.cfg", kOld);
    ::chmod((dir / "d.cfg").c_str(), 0640);
    const std::string csv = "name,USERN\na,1\nb,2\nc,3\nd,4\ne,5\n";
    for (int failAt : {1, 2, 3, 5}) {
        Hooked hooked([n = 0, failAt](Step s, std::size_t&) mutable {
            return s == Step::Rename && ++n == failAt ? ENOSPC : 0;
        });
        const Result r = runCli({"import", "-", "-d", dir.path().string(), "--force"}, csv);
        EXPECT_EQ(r.code, 2) << failAt;
        EXPECT_NE(r.err.find(std::strerror(ENOSPC)), std::string::npos) << r.err;
        EXPECT_EQ(dir.names(), (std::vector<std::string>{"b.cfg", "d.cfg"})) << failAt;
        EXPECT_EQ(slurp(dir / "b.cfg"), kOld) << failAt;
        EXPECT_EQ(slurp(dir / "d.cfg"), kOld) << failAt;
        EXPECT_EQ(modeOf(dir / "d.cfg"), 0640u) << failAt;
    }
}
#endif

// A replace that expects its target as the caller read it: another writer's file, changed,
// made or removed between the read and the replace, stays as that writer left it; nothing is
// left behind, and the reason says so.
TEST(ReplaceExpected, AnotherWritersFileIsNeverReplaced) {
    using fileio::Expected;
    struct Case {
        const char* name;
        std::optional<std::string> before;  // the target when the replace starts; none: absent
        Expected expect;
        std::optional<std::string> meanwhile;  // written while the new file is flushed
        bool removeMeanwhile;
        bool replaced;
        int code;  // of Kind::Changed
    };
    const std::vector<Case> cases = {
        {"as read", kOld, Expected::holding(kOld), std::nullopt, false, true, 0},
        {"changed before", "other", Expected::holding(kOld), std::nullopt, false, false, EBUSY},
        {"longer before", kOld + "x", Expected::holding(kOld), std::nullopt, false, false, EBUSY},
        {"changed meanwhile", kOld, Expected::holding(kOld), "other", false, false, EBUSY},
        {"removed before", std::nullopt, Expected::holding(kOld), std::nullopt, false, false,
         ENOENT},
        {"removed meanwhile", kOld, Expected::holding(kOld), std::nullopt, true, false, ENOENT},
        {"new", std::nullopt, Expected::absent(), std::nullopt, false, true, 0},
        {"made before", "other", Expected::absent(), std::nullopt, false, false, EEXIST},
        {"made meanwhile", std::nullopt, Expected::absent(), "other", false, false, EEXIST},
        {"anything", "other", Expected{}, "more", false, true, 0},
    };
    for (const Case& c : cases) {
        TempDir dir;
        const std::string target = dir / "a.cfg";
        if (c.before) spit(target, *c.before);
        Hooked hooked([&](Step s, std::size_t&) {
            if (s != Step::Sync) return 0;
            if (c.meanwhile) spit(target, *c.meanwhile);
            if (c.removeMeanwhile) fs::remove(u8(target));
            return 0;
        });
        fileio::ReplaceOptions options;
        options.expect = c.expect;
        Error e;
        EXPECT_EQ(fileio::replaceFile(target, kNew, e, options), c.replaced) << c.name;
        std::vector<std::string> names;
        if (c.replaced) {
            EXPECT_EQ(slurp(target), kNew) << c.name;
            names = {"a.cfg"};
        } else {
            EXPECT_EQ(e.kind, Kind::Changed) << c.name;
            EXPECT_EQ(e.code, c.code) << c.name;
            EXPECT_EQ(e.path, target) << c.name;
            const std::optional<std::string> left = c.removeMeanwhile ? std::nullopt
                                                    : c.meanwhile     ? c.meanwhile
                                                                      : c.before;
            if (left) {
                EXPECT_EQ(slurp(target), *left) << c.name;
                names = {"a.cfg"};
            }
        }
        EXPECT_EQ(dir.names(), names) << c.name;  // no temporary file, nothing re-created
    }

    Error e;
    e.kind = Kind::Changed;
    e.path = "a.cfg";
    const std::vector<std::tuple<int, std::string, std::string>> words = {
        {EBUSY, "a.cfg: changed by another program since it was read",
         "файл изменён другой программой после чтения"},
        {EEXIST, "a.cfg: created by another program since it was read",
         "файл создан другой программой после чтения"},
        {ENOENT, "a.cfg: removed by another program since it was read",
         "файл удалён другой программой после чтения"},
    };
    for (const auto& [code, message, russian] : words) {
        TempDir dir;
        spit(dir / "a.cfg", "x");
        fileio::ReplaceOptions options;
        options.expect = code == EEXIST  ? Expected::absent()
                         : code == EBUSY ? Expected::holding("y")
                                         : Expected::holding("x");
        if (code == ENOENT) fs::remove(u8(dir / "a.cfg"));
        ASSERT_FALSE(fileio::replaceFile(dir / "a.cfg", "new", e, options));
        e.path = "a.cfg";
        EXPECT_EQ(e.message(), message);
        EXPECT_EQ(fileio::russianReason(e), russian);
    }
}

// The comparison waits for the edit lock: an in-place edit that holds it and replaces the file
// is seen, however late it writes.
TEST(ReplaceExpected, WaitsForTheEditLock) {
    TempDir dir;
    const std::string target = dir / "a.cfg";
    spit(target, kOld);
    Error e;
    auto held = fileio::Lock::acquire(target, e);
    ASSERT_TRUE(held) << e.message();
    std::atomic<bool> done = false;
    bool replaced = true;
    Error theirs;
    std::thread expecting([&] {
        fileio::ReplaceOptions options;
        options.expect = fileio::Expected::holding(kOld);
        replaced = fileio::replaceFile(target, kNew, theirs, options);
        done = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(done);  // waiting for the lock
    ASSERT_TRUE(fileio::replaceFile(target, "edited", e)) << e.message();
    held.reset();
    expecting.join();
    EXPECT_FALSE(replaced);
    EXPECT_EQ(theirs.kind, Kind::Changed);
    EXPECT_EQ(slurp(target), "edited");
    EXPECT_EQ(dir.names(), std::vector<std::string>{"a.cfg"});
}

// In a batch each file has its own expectation: one that does not hold fails the batch at that
// file, before its rename; the files before it are renamed (the caller puts them back), the
// others untouched, and no temporary file is left.
TEST(ReplaceExpected, BatchStopsAtTheFileNotAsExpected) {
    using fileio::Expected;
    struct Case {
        const char* name;
        bool makeC;          // c.cfg, expected absent, exists from the start
        int changeAtRename;  // the rename before which b.cfg is rewritten (1-based); 0: none
        std::size_t failed, renamed;
        int code;
    };
    const std::vector<Case> cases = {
        {"all as expected", false, 0, 0, 3, 0},
        {"a new file there from the start", true, 0, 2, 0, EEXIST},
        {"changed before its rename", false, 1, 1, 1, EBUSY},
        {"changed after its rename", false, 3, 0, 3, 0},
    };
    for (const Case& c : cases) {
        TempDir dir;
        spit(dir / "a.cfg", kOld);
        spit(dir / "b.cfg", "b");
        if (c.makeC) spit(dir / "c.cfg", "theirs");
        const std::vector<fileio::Replacement> files = {
            {dir / "a.cfg", "A", Expected{}},
            {dir / "b.cfg", "B", Expected::holding("b")},
            {dir / "c.cfg", "C", Expected::absent()}};
        Hooked hooked([&, n = 0](Step s, std::size_t&) mutable {
            if (s == Step::Rename && ++n == c.changeAtRename) spit(dir / "b.cfg", "theirs");
            return 0;
        });
        Error e;
        fileio::BatchResult result;
        const bool ok = fileio::replaceFiles(files, e, result);
        EXPECT_EQ(ok, c.code == 0) << c.name;
        EXPECT_EQ(result.renamed, c.renamed) << c.name;
        std::vector<std::string> names = {"a.cfg", "b.cfg"};
        if (c.makeC || c.renamed == 3) names.push_back("c.cfg");
        EXPECT_EQ(dir.names(), names) << c.name;
        EXPECT_EQ(slurp(dir / "a.cfg"), c.renamed > 0 ? "A" : kOld) << c.name;
        if (ok) continue;
        EXPECT_EQ(e.kind, Kind::Changed) << c.name;
        EXPECT_EQ(e.code, c.code) << c.name;
        EXPECT_EQ(result.failed, c.failed) << c.name;
        EXPECT_EQ(e.path, files[c.failed].path) << c.name;
        EXPECT_EQ(slurp(dir / "b.cfg"), c.changeAtRename ? "theirs" : "b") << c.name;
        if (c.makeC) {
            EXPECT_EQ(slurp(dir / "c.cfg"), "theirs") << c.name;
        }
    }
}

#ifndef _WIN32
// A file that appears at the name just before the rename of a new file keeps its place, in a
// single replace and in a batch.
TEST(ReplaceExpected, NewFileNeverTakesANameTakenMeanwhile) {
    TempDir dir;
    const std::string target = dir / "a.cfg";
    Hooked hooked([&](Step s, std::size_t&) {
        if (s == Step::Rename) spit(target, "theirs");
        return 0;
    });
    fileio::ReplaceOptions options;
    options.expect = fileio::Expected::absent();
    Error e;
    EXPECT_FALSE(fileio::replaceFile(target, kNew, e, options));
    EXPECT_EQ(e.kind, Kind::Changed);
    EXPECT_EQ(slurp(target), "theirs");
    EXPECT_EQ(dir.names(), std::vector<std::string>{"a.cfg"});

    fs::remove(u8(target));
    const std::vector<fileio::Replacement> files = {
        {dir / "b.cfg", "B", fileio::Expected::absent()},
        {target, "A", fileio::Expected::absent()}};
    fileio::BatchResult result;
    EXPECT_FALSE(fileio::replaceFiles(files, e, result));
    EXPECT_EQ(e.kind, Kind::Changed);
    EXPECT_EQ(result.failed, 1u);
    EXPECT_EQ(result.renamed, 1u);
    EXPECT_EQ(slurp(target), "theirs");
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"a.cfg", "b.cfg"}));
}
#endif

#ifndef _WIN32
namespace {
volatile std::sig_atomic_t g_caught = 0;
void catchSignal(int sig) {
    g_caught = sig;
}
}  // namespace

// With signals deferred, one that comes stops a batch that asks for it before its next file or
// rename, leaving no temporary file; it acts only when the scope ends. A batch that does not ask
// (a put-back) goes on to the end.
TEST(ReplaceMany, DeferredSignalStopsTheBatchBeforeItsNextRename) {
    struct sigaction action {
    }, previous{};
    action.sa_handler = catchSignal;
    sigemptyset(&action.sa_mask);
    ASSERT_EQ(::sigaction(SIGTERM, &action, &previous), 0);
    struct Case {
        Step step;
        int at;
        bool stop;
        std::size_t failed, renamed;
    };
    for (const Case& c : {Case{Step::Write, 2, true, 2, 0}, Case{Step::Rename, 2, true, 2, 2},
                          Case{Step::Rename, 1, false, 0, 3}}) {
        TempDir dir;
        const std::vector<fileio::Replacement> files = {
            {dir / "a.cfg", "A"}, {dir / "b.cfg", "B"}, {dir / "c.cfg", "C"}};
        g_caught = 0;
        Error e;
        fileio::BatchResult result;
        bool ok = false;
        {
            const fileio::DeferSignals deferred;
            Hooked hooked([&, n = 0](Step s, std::size_t&) mutable {
                if (s == c.step && ++n == c.at) ::raise(SIGTERM);
                return 0;
            });
            fileio::ReplaceOptions options;
            options.stopOnSignal = c.stop;
            ok = fileio::replaceFiles(files, e, result, options);
            EXPECT_EQ(g_caught, 0);  // held off
            EXPECT_EQ(fileio::DeferSignals::pending(), SIGTERM);
        }
        EXPECT_EQ(g_caught, SIGTERM);
        EXPECT_EQ(result.renamed, c.renamed);
        if (c.stop) {
            EXPECT_FALSE(ok);
            EXPECT_EQ(e.kind, Kind::Interrupted);
            EXPECT_EQ(result.failed, c.failed);
            EXPECT_EQ(e.path, files[c.failed].path);
            EXPECT_EQ(fileio::russianReason(e), "прервано сигналом");
        } else {
            EXPECT_TRUE(ok) << e.message();
        }
        std::vector<std::string> names = {"a.cfg", "b.cfg", "c.cfg"};
        names.resize(c.renamed);
        EXPECT_EQ(dir.names(), names);
    }
    ::sigaction(SIGTERM, &previous, nullptr);
}
#endif

// Whether -o names the file being read decides whether the edit takes the lock: a writer that
// replaces the file meanwhile must not make the same file look like two.
TEST(SameFile, HoldsWhileAnotherWriterReplacesTheFile) {
    TempDir dir;
    const std::string path = dir / "shared.cfg", spelled = dir / "./shared.cfg";
    spit(path, kOld);
    std::atomic<bool> stop = false;
    std::thread writer([&] {
        for (int i = 0; !stop; ++i) {
            const std::string next = dir / ("next" + std::to_string(i % 2));
            spit(next, kOld);
            std::error_code busy;  // Windows renames nothing over a file that is being looked at
            fs::rename(next, path, busy);
        }
    });
    int apart = 0;
    for (int i = 0; i < 3000; ++i) apart += !fileio::sameFile(path, spelled);
    stop = true;
    writer.join();
    EXPECT_EQ(apart, 0);
    EXPECT_FALSE(fileio::sameFile(path, dir / "other.cfg"));
    spit(dir / "other.cfg", kOld);
    EXPECT_FALSE(fileio::sameFile(path, dir / "other.cfg"));
    EXPECT_FALSE(fileio::sameFile(dir / "none.cfg", dir / "none.cfg"));
}

TEST(Read, InputIsBounded) {
    TempDir dir;
    spit(dir / "ten.cfg", "0123456789");
    Error e;
    EXPECT_EQ(fileio::readFile(dir / "ten.cfg", e, 10), "0123456789");
    EXPECT_FALSE(fileio::readFile(dir / "ten.cfg", e, 9));
    EXPECT_EQ(e.kind, Kind::TooLarge);
    EXPECT_EQ(e.message(),
              (dir / "ten.cfg") + " is larger than 16 MiB: not a terminal configuration");
    EXPECT_EQ(fileio::russianReason(e), "файл больше 16 МиБ: это не файл конфигурации терминала");

    Endless endless;
    std::istream forever(&endless);
    EXPECT_FALSE(fileio::readStream(forever, "(stdin)", e));
    EXPECT_EQ(e.kind, Kind::TooLarge);

    std::istringstream small("abc");
    EXPECT_EQ(fileio::readStream(small, "(stdin)", e), "abc");

#ifndef _WIN32
    // A device without end: no more than the limit and one byte is read.
    EXPECT_FALSE(fileio::readFile("/dev/zero", e));
    EXPECT_EQ(e.kind, Kind::TooLarge);
    Result r = runCli({"show", "/dev/zero"});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err, "orbcfg-cli: /dev/zero is larger than 16 MiB: not a terminal configuration\n");
#endif
    // Standard input too; the limit itself is accepted.
    const std::string limit(fileio::kInputLimit, '\n');
    EXPECT_EQ(runCli({"check", "-"}, limit).code, 0);
    const Result r2 = runCli({"check", "-"}, limit + "\n");
    EXPECT_EQ(r2.code, 2);
    EXPECT_EQ(r2.err, "orbcfg-cli: (stdin) is larger than 16 MiB: not a terminal configuration\n");
}

// A buffer that served a larger file holds only the next file's bytes; reads at the edges of
// its first room, past a megabyte (whose room is let go after) and past the bound.
TEST(Read, BufferServesFileAfterFile) {
    TempDir dir;
    const std::size_t sizes[] = {0, 1, 65535, 65536, 65537, 3 << 20, 10, 200000, 5};
    fileio::Buffer buffer;
    Error e;
    for (std::size_t n : sizes) {
        std::string bytes(n, '\0');
        for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<char>('a' + (i * 7 + n) % 26);
        spit(dir / "f.cfg", bytes);
        ASSERT_TRUE(fileio::readInto(dir / "f.cfg", buffer, e)) << n;
        EXPECT_EQ(buffer.bytes(), bytes) << n;
    }
    spit(dir / "ten.cfg", "0123456789");
    EXPECT_FALSE(fileio::readInto(dir / "ten.cfg", buffer, e, 9));
    EXPECT_EQ(e.kind, Kind::TooLarge);
    EXPECT_EQ(buffer.bytes(), "");
    EXPECT_TRUE(fileio::readInto(dir / "ten.cfg", buffer, e, 10));
    EXPECT_EQ(buffer.bytes(), "0123456789");
    EXPECT_FALSE(fileio::readInto(dir / "none.cfg", buffer, e));
    EXPECT_EQ(e.reason, "No such file or directory");
    EXPECT_FALSE(fileio::readInto(dir.path().string(), buffer, e));
    EXPECT_EQ(e.reason, "is a directory");
}

// Files read ahead come to the user in list order, each with its own bytes or its own failure,
// whether a thread reads them or the user's own calls do; many more files than buffers, and a
// user who stops early does not wait for the rest.
TEST(Read, ReadAheadKeepsOrderAndFailures) {
    TempDir dir;
    std::vector<std::string> paths;
    for (int i = 0; i < 200; ++i) {
        const std::string name = dir / ("f" + std::to_string(i) + ".cfg");
        paths.push_back(name);
        if (i % 37 == 5) continue;  // missing
        spit(name, std::string(static_cast<std::size_t>(i % 3 == 0 ? 70000 + i : i), 'x') +
                       std::to_string(i));
    }
    paths[17] = dir.path().string();  // a folder
    paths[40] = "-";                  // left to the user
    const auto pathOf = [&](std::size_t i, std::string& path) {
        if (paths[i] == "-") return false;
        path = paths[i];
        return true;
    };
    for (bool threaded : {false, true}) {
        SCOPED_TRACE(threaded);
        fileio::ReadAhead reader(paths.size(), pathOf, threaded);
        for (std::size_t i = 0; i < paths.size(); ++i) {
            const fileio::ReadAhead::File f = reader.next();
            if (i == 40) {
                EXPECT_TRUE(f.skipped);
                EXPECT_EQ(f.error, nullptr);
            } else if (i == 17 || i % 37 == 5) {
                ASSERT_NE(f.error, nullptr) << i;
                EXPECT_EQ(f.error->path, paths[i]);
                EXPECT_EQ(f.error->reason,
                          i == 17 ? "is a directory" : "No such file or directory");
            } else {
                ASSERT_EQ(f.error, nullptr) << i;
                EXPECT_FALSE(f.skipped);
                EXPECT_EQ(f.bytes, slurp(paths[i])) << i;
            }
        }
    }
    fileio::ReadAhead early(paths.size(), pathOf, true);
    EXPECT_EQ(early.next().bytes, slurp(paths[0]));
}

TEST(Read, RussianReasons) {
    Error e;
    e.kind = Kind::System;
    e.reason = "Some reason";
    const std::vector<std::pair<int, std::string>> known = {
        {ENOSPC, "нет места на диске"},  {EACCES, "нет прав доступа"},
        {EPERM, "нет прав доступа"},     {EROFS, "файловая система только для чтения"},
        {EFBIG, "файл слишком большой"}, {ENOTDIR, "нет такой папки"},
        {EINVAL, "Some reason"},
    };
    for (const auto& [code, text] : known) {
        e.code = code;
        EXPECT_EQ(fileio::russianReason(e), text) << code;
    }
    e.code = ENOENT;
    e.writing = true;
    EXPECT_EQ(fileio::russianReason(e), "нет такой папки");
    e.writing = false;
    EXPECT_EQ(fileio::russianReason(e), "нет такого файла");
}

#ifndef _WIN32
// A read of a folder's file takes a regular file only: a FIFO is refused at once, not waited
// for (no writer ever comes), and a device is refused before a byte of it is read. A read of
// what the command line names still takes a device.
TEST(Read, FolderReadsRefuseFifosAndDevicesWithoutWaiting) {
    TempDir dir;
    const std::string fifo = dir / "f.cfg";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    spit(dir / "a.cfg", "USERN='a'\r\n");
    std::atomic<bool> done{false};
    std::thread guard([&] {
        // Should the read wait after all, a writer ends it, and the test fails below.
        for (int i = 0; i < 100 && !done; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (done) return;
        const int fd = ::open(fifo.c_str(), O_WRONLY);
        if (fd >= 0) ::close(fd);
    });
    Error e;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(fileio::readFile(fifo, e, fileio::kInputLimit, fileio::Accept::Regular));
    EXPECT_EQ(e.kind, Kind::NotFile);
    EXPECT_EQ(e.reason, "not a regular file");
    const std::vector<std::string> paths{fifo, dir / "a.cfg", "/dev/zero"};
    for (bool threaded : {false, true}) {
        fileio::ReadAhead reader(
            paths.size(),
            [&](std::size_t i, std::string& path) {
                path = paths[i];
                return true;
            },
            threaded, fileio::Accept::Regular);
        const fileio::ReadAhead::File f = reader.next();
        ASSERT_NE(f.error, nullptr);
        EXPECT_EQ(f.error->reason, "not a regular file");
        EXPECT_EQ(reader.next().bytes, "USERN='a'\r\n");
        const fileio::ReadAhead::File zero = reader.next();
        ASSERT_NE(zero.error, nullptr);
        EXPECT_EQ(zero.error->reason, "not a regular file");
    }
    done = true;
    guard.join();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
    EXPECT_FALSE(fileio::readFile("/dev/zero", e));
    EXPECT_EQ(e.kind, Kind::TooLarge);
}
#endif

// The names of the temporary files a replace writes are the names lint reports as left over.
TEST(Replace, TemporaryFilesAreNamedAsLintFindsThem) {
    TempDir dir;
    const std::string target = dir / "a.cfg";
    spit(target, "old");
    std::vector<std::string> seen;
    fileio::seam::setHook([&](Step step, std::size_t&) {
        if (step == Step::Rename)
            for (const std::string& name : dir.names())
                if (name != "a.cfg") seen.push_back(name);
        return 0;
    });
    Error e;
    EXPECT_TRUE(fileio::replaceFile(target, "new", e));
    fileio::seam::setHook({});
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_TRUE(fileio::isTemporaryName(seen.front())) << seen.front();
    for (const char* other : {".orbcfg-", ".orbcfg-abc", ".orbcfg-abcd12345", ".orbcfg-ABCD1234",
                              "orbcfg-abcd1234", ".orbcfg-abcd123.", "a.cfg"})
        EXPECT_FALSE(fileio::isTemporaryName(other)) << other;
    EXPECT_TRUE(fileio::isTemporaryName(".orbcfg-0z9a8b7c"));
}
