// orbcfg-cli.exe as Windows runs it: a process of its own with its standard streams on files
// and its command line in UTF-16. Output must be byte for byte what the tool writes elsewhere.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <thread>

#include "fileio/fileio.h"
#include "model/chmproject.h"
#include "model/writer.h"
#include "tests/cli_support.h"
#include "tests/fileio_support.h"

using namespace orbex;
using namespace orbex::testing;
namespace fs = std::filesystem;

namespace {

std::wstring widen(std::string_view utf8) {
    const int n =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring w(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), w.data(), n);
    return w;
}

// One argument as the C runtime splits the command line: quoted, with backslashes doubled
// before a quote.
std::wstring quoted(const std::wstring& arg) {
    std::wstring s = L"\"";
    std::size_t backslashes = 0;
    for (wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
        } else {
            if (c == L'"') s.append(backslashes + 1, L'\\');
            backslashes = 0;
        }
        s += c;
    }
    s.append(backslashes, L'\\');
    return s + L"\"";
}

HANDLE inheritable(const fs::path& p, bool write) {
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    return CreateFileW(p.c_str(), write ? GENERIC_WRITE : GENERIC_READ, FILE_SHARE_READ, &sa,
                       write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// orbcfg-cli.exe started, its streams on files of a folder of its own.
struct Running {
    fs::path streams;
    STARTUPINFOW si{};
    PROCESS_INFORMATION pi{};
    bool started = false;
};

// Starts orbcfg-cli.exe with the arguments (UTF-8) and the bytes on standard input.
Running startExe(const std::vector<std::string>& args, const std::string& input = "") {
    static int serial = 0;
    Running p;
    p.streams = fs::temp_directory_path() / ("orbcfg-exe-" + std::to_string(GetCurrentProcessId()) +
                                             "-" + std::to_string(++serial));
    fs::create_directories(p.streams);
    spit(p.streams / "in", input);
    std::wstring line = quoted(fs::path(ORBCFG_CLI_EXE).wstring());
    for (const std::string& a : args) line += L" " + quoted(widen(a));

    p.si.cb = sizeof p.si;
    p.si.dwFlags = STARTF_USESTDHANDLES;
    p.si.hStdInput = inheritable(p.streams / "in", false);
    p.si.hStdOutput = inheritable(p.streams / "out", true);
    p.si.hStdError = inheritable(p.streams / "err", true);
    p.started = CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                               &p.si, &p.pi);
    if (!p.started)
        ADD_FAILURE() << "cannot start " << ORBCFG_CLI_EXE << ": error " << GetLastError();
    return p;
}

// Waits for it to end: its exit code and what it wrote.
Result finish(Running& p) {
    Result r;
    if (p.started) {
        WaitForSingleObject(p.pi.hProcess, INFINITE);
        DWORD code = 0;
        GetExitCodeProcess(p.pi.hProcess, &code);
        r.code = static_cast<int>(code);
        CloseHandle(p.pi.hThread);
        CloseHandle(p.pi.hProcess);
    }
    for (HANDLE h : {p.si.hStdInput, p.si.hStdOutput, p.si.hStdError}) CloseHandle(h);
    r.out = slurp(p.streams / "out");
    r.err = slurp(p.streams / "err");
    std::error_code ec;
    fs::remove_all(p.streams, ec);
    return r;
}

Result runExe(const std::vector<std::string>& args, const std::string& input = "") {
    Running p = startExe(args, input);
    return finish(p);
}

std::vector<fs::path> fixtures() {
    std::vector<fs::path> v;
    for (const auto& e : fs::directory_iterator(ORBCFG_TEST_DATA))
        if (e.path().extension() == ".cfg") v.push_back(e.path());
    std::sort(v.begin(), v.end());
    return v;
}

}  // namespace

// Every fixture through the real program, from a file and from standard input: the same bytes
// as the tool gives in-process (and the fixtures' golden files hold), no CR LF, no stop at
// Ctrl-Z; warnings the same.
TEST(WindowsExe, StandardStreamsAreByteExact) {
    const auto files = fixtures();
    ASSERT_GE(files.size(), 20u);
    bool sawCtrlZ = false, sawLoneLf = false;
    for (const fs::path& cfg : files) {
        const std::string bytes = slurp(cfg);
        sawCtrlZ |= bytes.find('\x1A') != std::string::npos;
        for (const char* command : {"normalize", "show"}) {
            const Result expected = runCli({command, "-"}, bytes);
            const Result fromStdin = runExe({command, "-"}, bytes);
            EXPECT_EQ(fromStdin.code, expected.code) << cfg << " " << command;
            EXPECT_EQ(fromStdin.out, expected.out) << cfg << " " << command;
            EXPECT_EQ(fromStdin.err, expected.err) << cfg << " " << command;
            const Result fromFile = runExe({command, utf8Of(cfg)});
            EXPECT_EQ(fromFile.out, expected.out) << cfg << " " << command;
            if (std::string(command) == "show")
                sawLoneLf |= expected.out.find('\n') != std::string::npos;
        }
    }
    EXPECT_TRUE(sawCtrlZ) << "no fixture holds Ctrl-Z";
    EXPECT_TRUE(sawLoneLf);
    EXPECT_EQ(runExe({"doc"}).out, runCli({"doc"}).out);
}

TEST(WindowsExe, CyrillicNamesAndSpaces) {
    TempDir dir;
    const fs::path folder = dir.path() / u8("папка с пробелами");
    fs::create_directory(folder);
    const std::string input = utf8Of(folder / u8("Конфиг терминала №1.cfg"));
    const std::string output = utf8Of(folder / u8("выход файл.cfg"));
    spit(u8(input), "USERN='Пользователь'\r\nAUTOSTART='on'\r\n");
    const std::string expected = runCli({"normalize", "-"}, slurp(u8(input))).out;

    Result r = runExe({"normalize", input, "-o", output});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(slurp(u8(output)), expected);
    // Replacing an existing file, and the input as its own output.
    EXPECT_EQ(runExe({"normalize", input, "--output=" + output}).code, 0);
    EXPECT_EQ(runExe({"normalize", input, "-o", input}).code, 0);
    EXPECT_EQ(slurp(u8(input)), expected);
    EXPECT_EQ(runExe({"get", input, "USERN"}).out, "Пользователь\n");
    EXPECT_EQ(runExe({"set", input, "USERN=Иван Петров", "-o", output}).code, 0);
    EXPECT_EQ(runCli({"get", "-", "USERN"}, slurp(u8(output))).out, "Иван Петров\n");
    // Nothing else is left in the folder: no temporary file.
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.push_back(utf8Of(e.path()));
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{input, output}));
    // A missing file is named in UTF-8, as on any other system.
    const std::string missing = utf8Of(folder / u8("нет такого.cfg"));
    r = runExe({"show", missing});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err, "orbcfg-cli: cannot read '" + missing + "': No such file or directory\n");
}

TEST(WindowsExe, ExitCodesAndMessages) {
    TempDir dir;
    spit(dir / "bad.cfg", "IP='10.0..1'\nUSERN = 'x'\n");
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{},
                                               {"frobnicate"},
                                               {"show", "-x", "a"},
                                               {"normalize", dir / "bad.cfg", "-o"},
                                               {"check", dir / "bad.cfg"},
                                               {"check", dir / "none.cfg"},
                                               {"get", dir / "bad.cfg", "USERN"},
                                               {"get", dir / "bad.cfg", "NOPE"},
                                               {"--version"}}) {
        const Result expected = runCli(args);
        const Result r = runExe(args);
        EXPECT_EQ(r.code, expected.code) << ::testing::PrintToString(args);
        EXPECT_EQ(r.out, expected.out) << ::testing::PrintToString(args);
        EXPECT_EQ(r.err, expected.err) << ::testing::PrintToString(args);
    }
}

// The HTML Help project as Windows writes it: every page a file of its own, even where the
// keyword is a device name of the system (COM1).
TEST(WindowsExe, ChmProjectInAFolderWithACyrillicName) {
    TempDir dir;
    const fs::path folder = dir.path() / u8("справка orbex");
    const Result r = runExe({"doc", "--chm-project", utf8Of(folder)});
    EXPECT_EQ(r.code, 0) << r.err;
    const std::vector<HelpFile> files = chmProject();
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()),
              static_cast<std::ptrdiff_t>(files.size()));
    for (const HelpFile& f : files) EXPECT_EQ(slurp(folder / f.name), f.bytes) << f.name;
}

// A read-only target is refused unless --force: exit 2, the file untouched, nothing left.
TEST(WindowsExe, ReadOnlyTargetRefused) {
    TempDir dir;
    const fs::path folder = dir.path() / u8("только чтение");
    fs::create_directory(folder);
    const std::string input = utf8Of(folder / u8("вход.cfg"));
    const std::string target = utf8Of(folder / u8("цель.cfg"));
    spit(u8(input), "USERN='x'\r\n");
    spit(u8(target), "old content");
    ASSERT_TRUE(SetFileAttributesW(u8(target).c_str(), FILE_ATTRIBUTE_READONLY));
    const Result r = runExe({"normalize", input, "-o", target});
    SetFileAttributesW(u8(target).c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_TRUE(r.err.starts_with("orbcfg-cli: cannot write '" + target + "': ")) << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1);
    EXPECT_EQ(slurp(u8(target)), "old content");
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 2);
}

// Many processes edit one file in place at the same time, each a key of its own: the lock
// serializes them, and every change arrives; nothing is left beside the file.
TEST(WindowsExe, ConcurrentInPlaceSetsLoseNothing) {
    TempDir dir;
    const fs::path folder = dir.path() / u8("общий");
    fs::create_directory(folder);
    const std::string file = utf8Of(folder / u8("терминал.cfg"));
    spit(u8(file), "USERN='start'\r\n");
    const std::vector<std::string> keys = {"USERN", "PASSW", "DOMAIN", "MNAME", "CMD", "DIR"};
    for (int round = 0; round < 3; ++round) {
        const std::string value = "r" + std::to_string(round);
        std::vector<Running> running;
        for (std::size_t i = 0; i < keys.size(); ++i) {
            const std::string change = keys[i] + "=" + value;
            running.push_back(i % 2 ? startExe({"set", file, change, "-i"})
                                    : startExe({"set", file, change, "-o", file}));
        }
        for (Running& p : running) {
            const Result r = finish(p);
            EXPECT_EQ(r.code, 0) << r.err;
        }
        const std::string saved = slurp(u8(file));
        for (const std::string& key : keys)
            EXPECT_NE(saved.find(key + "='" + value + "'"), std::string::npos)
                << key << " " << round << "\n"
                << saved;
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1);
}

// The replace of many files has the single replace's sound behaviour: a target that another
// program holds open for a moment is waited for, and Ctrl+C in the middle removes every
// temporary file not yet renamed.
namespace {

using fileio::seam::Step;

// A reader that holds `path` open without sharing its deletion (as many programs open a file),
// for a moment: no file can be renamed over it until it lets go.
class BriefReader {
  public:
    explicit BriefReader(const std::string& path, std::chrono::milliseconds hold)
        : handle_(CreateFileW(u8(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)),
          thread_([this, hold] {
              std::this_thread::sleep_for(hold);
              CloseHandle(handle_);
          }) {}
    ~BriefReader() { thread_.join(); }
    BriefReader(const BriefReader&) = delete;
    BriefReader& operator=(const BriefReader&) = delete;
    bool opened() const { return handle_ != INVALID_HANDLE_VALUE; }

  private:
    HANDLE handle_;
    std::thread thread_;
};

}  // namespace

TEST(WindowsReplace, BatchWaitsForAReaderHoldingATargetOpen) {
    TempDir dir;
    spit(dir / "a.cfg", "old a");
    spit(dir / "b.cfg", "old b");
    const std::vector<fileio::Replacement> files = {{dir / "a.cfg", "new a"},
                                                    {dir / "b.cfg", "new b"}};
    std::optional<BriefReader> reader;
    Hooked hooked([&, n = 0](Step s, std::size_t&) mutable {
        if (s == Step::Rename && ++n == 2)
            reader.emplace(dir / "b.cfg", std::chrono::milliseconds(150));
        return 0;
    });
    fileio::Error e;
    fileio::BatchResult result;
    EXPECT_TRUE(fileio::replaceFiles(files, e, result)) << e.message();
    ASSERT_TRUE(reader && reader->opened());
    reader.reset();
    EXPECT_EQ(result.renamed, 2u);
    EXPECT_EQ(slurp(dir / "a.cfg"), "new a");
    EXPECT_EQ(slurp(dir / "b.cfg"), "new b");
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"a.cfg", "b.cfg"}));
}

// A death test's child runs the test again from its start, in a process of its own: it finds
// the parent's folder through the environment, and makes none of its own.
struct SharedFolder {
    std::optional<TempDir> own;
    fs::path path;
    SharedFolder() {
        if (const char* inherited = std::getenv("ORBCFG_TEST_FOLDER")) {
            path = u8(inherited);
            return;
        }
        own.emplace();
        path = own->path();
        _putenv_s("ORBCFG_TEST_FOLDER", utf8Of(path).c_str());
    }
    ~SharedFolder() {
        if (own) _putenv_s("ORBCFG_TEST_FOLDER", "");
    }
    SharedFolder(const SharedFolder&) = delete;
    SharedFolder& operator=(const SharedFolder&) = delete;
};

std::vector<std::string> namesIn(const fs::path& folder) {
    std::vector<std::string> v;
    for (const auto& e : fs::directory_iterator(folder)) v.push_back(utf8Of(e.path().filename()));
    std::sort(v.begin(), v.end());
    return v;
}

// Ctrl+C while the second of three files is written, or before its rename: the process ends
// by it, and neither its temporary file nor the third one's stays; the first file, renamed
// already, holds its new bytes (a caller that must put it back defers the signal instead).
TEST(WindowsReplace, CtrlCInABatchRemovesItsTemporaryFiles) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const SharedFolder shared;
    for (const Step step : {Step::Write, Step::Rename}) {
        const fs::path folder = shared.path / (step == Step::Write ? "write" : "rename");
        fs::create_directories(folder);
        std::vector<fileio::Replacement> files;
        for (const char* name : {"a.cfg", "b.cfg", "c.cfg"}) {
            spit(folder / name, "old");
            files.push_back({utf8Of(folder / name), "new"});
        }
        EXPECT_EXIT(
            {
                fileio::seam::setHook([step, n = 0](Step s, std::size_t&) mutable {
                    if (s == step && ++n == 2) std::raise(SIGINT);
                    return 0;
                });
                fileio::Error e;
                fileio::BatchResult result;
                fileio::replaceFiles(files, e, result);
                std::exit(0);
            },
            ::testing::ExitedWithCode(3), "");
        EXPECT_EQ(namesIn(folder), (std::vector<std::string>{"a.cfg", "b.cfg", "c.cfg"}));
        EXPECT_EQ(slurp(folder / "a.cfg"), step == Step::Rename ? "new" : "old");
        EXPECT_EQ(slurp(folder / "b.cfg"), "old");
        EXPECT_EQ(slurp(folder / "c.cfg"), "old");
    }
}
