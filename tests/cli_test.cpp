// The command-line tool on real files. What `show` and `normalize` print for each reading rule
// is held by the fixtures (fixtures_test.cpp); here: files, streams, options and exit codes.
#include <filesystem>

#include "model/catalogue.h"
#include "model/chmproject.h"
#include "model/reader.h"
#include "model/store.h"
#include "model/writer.h"
#include "tests/cli_support.h"

#ifndef _WIN32
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

using namespace orbex;
using namespace orbex::testing;
namespace fs = std::filesystem;

namespace {

const std::string kFile = "USERN='user1'\r\nAUTOSTART='on'\r\nIP='10.0..1'\r\n";
const std::string kWarning =
    "Внимание! Значение параметра IP неверно! Сброшено на значение по умолчанию\n";

std::string firstLine(const std::string& s) {
    return s.substr(0, s.find('\n'));
}

}  // namespace

TEST(Cli, ShowFromFileOrStandardInput) {
    TempDir dir;
    spit(dir / "a.cfg", kFile);
    const std::string table =
        "USERN\tuser1\tИмя пользователя:\tuser1\nAUTOSTART\ton\tАвтостарт\tда\n";
    Result r = runCli({"show", dir / "a.cfg"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, table);
    EXPECT_EQ(r.err, dir / "a.cfg" + ": " + kWarning);
    r = runCli({"show", "-"}, kFile);
    EXPECT_EQ(r.out, table);
    EXPECT_EQ(r.err, "(stdin): " + kWarning);
}

TEST(Cli, NormalizeToStandardOutputOrFile) {
    TempDir dir;
    spit(dir / "a.cfg", kFile);
    const std::string expected = runCli({"normalize", "-"}, kFile).out;
    ASSERT_TRUE(expected.ends_with("AUTOSTART='on'\r\n"));
    EXPECT_EQ(runCli({"normalize", dir / "a.cfg"}).out, expected);
    EXPECT_EQ(runCli({"normalize", dir / "a.cfg", "-o", "-"}).out, expected);
    Result r = runCli({"normalize", dir / "a.cfg", "-o", dir / "b.cfg"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(slurp(dir / "b.cfg"), expected);
    // An existing file is replaced and keeps its permissions; the input may be the output.
    spit(dir / "c.cfg", "old");
#ifndef _WIN32
    const auto perms = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    fs::permissions(dir / "c.cfg", perms);
#endif
    EXPECT_EQ(runCli({"normalize", "--output=" + (dir / "c.cfg"), dir / "a.cfg"}).code, 0);
    EXPECT_EQ(slurp(dir / "c.cfg"), expected);
#ifndef _WIN32  // Windows keeps no such bits: only the read-only attribute
    EXPECT_EQ(fs::status(dir / "c.cfg").permissions() & fs::perms::all, perms);
#endif
    EXPECT_EQ(runCli({"normalize", dir / "a.cfg", "-o", dir / "a.cfg"}).code, 0);
    EXPECT_EQ(slurp(dir / "a.cfg"), expected);
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"a.cfg", "b.cfg", "c.cfg"}));
}

TEST(Cli, EditInPlace) {
    TempDir dir;
    spit(dir / "a.cfg", kFile);
    Result r = runCli({"set", dir / "a.cfg", "USERN=petr", "-i"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "");
    const std::string saved = slurp(dir / "a.cfg");
    EXPECT_NE(saved.find("USERN='petr'\r\n"), std::string::npos);
    EXPECT_EQ(runCli({"normalize", dir / "a.cfg", "--in-place"}).code, 0);
    EXPECT_EQ(slurp(dir / "a.cfg"), saved);
    // Options between the operands: every operand still counts, in its order.
    spit(dir / "b.cfg", kFile);
    r = runCli({"set", dir / "b.cfg", "USERN=a", "-u", "PASSW", "DOMAIN=b", "-i", "USERN=c"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(slurp(dir / "b.cfg"),
              runCli({"set", dir / "a.cfg", "USERN=c", "DOMAIN=b", "-u", "PASSW"}).out);
    EXPECT_NE(slurp(dir / "b.cfg").find("USERN='c'\r\n"), std::string::npos);
#ifndef _WIN32  // links: see Fleet.LintExitCodesAndFolders
    // A file that a link names is edited where it is.
    fs::create_symlink("a.cfg", dir.path() / "link.cfg");
    EXPECT_EQ(runCli({"set", dir / "link.cfg", "-u", "USERN", "-i"}).code, 0);
    EXPECT_TRUE(fs::is_symlink(dir.path() / "link.cfg"));
    EXPECT_EQ(slurp(dir / "a.cfg").find("USERN="), std::string::npos);
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"a.cfg", "b.cfg", "link.cfg"}));
#else
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"a.cfg", "b.cfg"}));  // no lock, no temporary
#endif
}

TEST(Cli, FailedOutputLeavesNoTrace) {
    TempDir dir;
    spit(dir / "in.cfg", "USERN='u'\n");
    Result r = runCli({"normalize", dir / "in.cfg", "-o", dir / "missing/out.cfg"});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "orbcfg-cli: cannot write '" + (dir / "missing/out.cfg") +
                         "': No such file or directory\n");
    // A target that is a folder with something in it: the last step, the rename, fails.
    fs::create_directory(dir / "taken");
    spit(dir / "taken/keep", "kept");
    EXPECT_EQ(runCli({"normalize", dir / "in.cfg", "-o", dir / "taken"}).code, 2);
    EXPECT_EQ(runCli({"normalize", dir / "in.cfg", "-o", dir / "taken/"}).code, 2);
    EXPECT_EQ(slurp(dir / "taken/keep"), "kept");
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"in.cfg", "taken"}));
}

#ifndef _WIN32
// Runs the tool in a child process without the rights of root, who may write anywhere.
int runUnprivileged(const std::vector<std::string>& args) {
    if (::geteuid() != 0) return runCli(args).code;
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(99);
        ::_exit(runCli(args).code);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(Cli, FailedOutputInReadOnlyFolderKeepsOldFile) {
    TempDir dir;
    const auto readable = fs::perms::owner_read | fs::perms::others_read;
    const auto listable = readable | fs::perms::owner_exec | fs::perms::others_exec;
    fs::permissions(dir.path(), listable | fs::perms::owner_write);
    spit(dir / "in.cfg", kFile);
    fs::permissions(dir / "in.cfg", readable);
    fs::create_directory(dir / "ro");
    spit(dir / "ro/out.cfg", "old content");
    fs::permissions(dir / "ro", listable);
    const int code = runUnprivileged({"normalize", dir / "in.cfg", "-o", dir / "ro/out.cfg"});
    if (code == 99) GTEST_SKIP() << "cannot drop the rights of root";
    EXPECT_EQ(code, 2);
    EXPECT_EQ(slurp(dir / "ro/out.cfg"), "old content");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "ro"), fs::directory_iterator()), 1);
}
#endif

TEST(Cli, CheckReportsAndExitCodes) {
    TempDir dir;
    spit(dir / "good.cfg", "# comment\n\nUSERN='x'\nCHIPSET='auto'\nX='on'\nFB='on'\n");
    spit(dir / "bad.cfg",
         "USERN = 'x'\nusern='x'\nUSERN='abc\nAUTOSTART='yes'\nCACH='ON'\nTSON='1'\n"
         "X='maybe'\nCHIPSET='fbdev'\nIP='10.0..1'\nTSERV='1.1.1.1'\nTSERV='host'\n");
    Result r = runCli({"check", dir / "good.cfg"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "");
    r = runCli({"check", dir / "good.cfg", dir / "bad.cfg"});
    EXPECT_EQ(r.code, 1);
    const std::string b = dir / "bad.cfg";
    EXPECT_EQ(r.out, b + ":1: USERN: blanks before the key or around \"=\"; ignored\n" + b +
                         ":2: unknown key 'usern' (keys are case-sensitive: USERN); ignored\n" + b +
                         ":3: USERN: no closing quote; ignored\n" + b +
                         ":4: AUTOSTART: 'yes' is neither on nor off; the switch stays unset\n" +
                         b + ":5: CACH: 'ON' is not in the key's value table; ignored\n" + b +
                         ":6: TSON: not edited by the program; ignored, and dropped on save\n" + b +
                         ":7: X: 'maybe' is neither on nor off; ignored\n" + b +
                         ":8: CHIPSET: 'fbdev' is not in the key's value table; ignored\n" + b +
                         ":9: IP: '10.0..1' is not an IPv4 address; saving resets it to unset\n" +
                         b +
                         ":11: TSERV: 'host' is not a list of IPv4 addresses separated by blanks; "
                         "saving resets it to unset\n");
    EXPECT_EQ(runCli({"check", "-"}, "VOLUME=''\n").out,
              "(stdin):1: VOLUME: '' is not a whole number; saving resets it to unset\n");
    // A file that cannot be read outweighs findings.
    r = runCli({"check", dir / "bad.cfg", dir / "none.cfg"});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err,
              "orbcfg-cli: cannot read '" + (dir / "none.cfg") + "': No such file or directory\n");
}

// A check of many files reports what checks of the files one at a time report, in the order
// of the command line, though the files are read ahead of their check: every finding, every
// file that cannot be read (with its line on standard error, in order) and standard input.
TEST(Cli, CheckOfManyFilesMatchesOneFileAtATime) {
    TempDir dir;
    const std::string kinds[] = {
        "USERN='x'\r\nIP='10.0.0.1'\r\n",
        "IP='10.0.0.300'\nusern='x'\nCHIPSET='vesa'\nX='on'\n",
        std::string(70000, '#') + "\nVOLUME='loud'\n",  // larger than a first read
        "",
        "CHIPSET='auto'\r\nAUTOSTART='yes'\r\x1a\r\nIP='1'",
    };
    std::vector<std::string> args = {"check"};
    std::string out, err;
    for (int i = 0; i < 120; ++i) {
        const std::string name = dir / ("t" + std::to_string(i) + ".cfg");
        if (i == 50) {
            args.push_back("-");
        } else if (i % 29 == 3) {
            args.push_back(name);  // missing
        } else {
            spit(name, kinds[i % 5]);
            args.push_back(name);
        }
        const Result one = runCli({"check", args.back()}, "X='no'\n");
        out += one.out;
        err += one.err;
    }
    const Result all = runCli(args, "X='no'\n");
    EXPECT_EQ(all.code, 2);
    EXPECT_EQ(all.out, out);
    EXPECT_EQ(all.err, err);
    EXPECT_NE(err, "");
    args.erase(std::remove_if(args.begin() + 1, args.end(),
                              [](const std::string& a) { return !fs::exists(u8(a)); }),
               args.end());
    EXPECT_EQ(runCli(args).code, 1);
}

TEST(Cli, CommandLineErrors) {
    TempDir dir;
    spit(dir / "a.cfg", kFile);
    const std::string none = dir / "none.cfg";
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{}, "no command given"},
        {{"frobnicate"}, "unknown command 'frobnicate'"},
        {{"show", "-x", dir / "a.cfg"}, "unknown option '-x'"},
        {{"check", "--verbose", dir / "a.cfg"}, "unknown option '--verbose'"},
        {{"show", "-o", "x", dir / "a.cfg"}, "unknown option '-o'"},
        {{"show", dir / "a.cfg", dir / "a.cfg"}, "show takes one FILE"},
        {{"normalize", dir / "a.cfg", "-o"}, "option '-o' needs a file name"},
        {{"normalize", dir / "a.cfg", "-o", "x", "-o", "y"}, "option '-o' given twice"},
        {{"check"}, "check takes at least one FILE"},
        {{"set", dir / "a.cfg", "USERN=x", "-i", "-o", "y"},
         "options '-i' and '-o' exclude each other"},
        {{"set", "-", "USERN=x", "-i"}, "option '-i' needs a FILE, not standard input"},
        {{"show", "--force", dir / "a.cfg"}, "unknown option '--force'"},
        {{"check", "-i", dir / "a.cfg"}, "unknown option '-i'"},
        {{"set", none, "USERN=x", "-i"}, "cannot read '" + none + "': No such file or directory"},
        {{"show", none}, "cannot read '" + none + "': No such file or directory"},
        {{"normalize", none}, "cannot read '" + none + "': No such file or directory"},
        {{"show", dir.path().string()},
         "cannot read '" + dir.path().string() + "': is a directory"},
    };
    for (const auto& [args, message] : cases) {
        const Result r = runCli(args);
        EXPECT_EQ(r.code, 2) << message;
        EXPECT_EQ(r.out, "") << message;
        EXPECT_EQ(firstLine(r.err), "orbcfg-cli: " + message);
    }
    EXPECT_EQ(dir.names(), std::vector<std::string>{"a.cfg"});
    EXPECT_EQ(runCli({"--version"}).out, "orbcfg-cli 1.6.8-28.2\n");
    EXPECT_TRUE(runCli({"--help"}).out.starts_with("Usage: orbcfg-cli COMMAND"));
}

#ifndef _WIN32
namespace {

// Starts the built tool with the arguments, its standard output and error to /dev/null.
pid_t spawnCli(const std::vector<std::string>& args) {
    const pid_t pid = ::fork();
    if (pid != 0) return pid;
    const int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, 1);
    ::dup2(null, 2);
    std::vector<char*> argv{const_cast<char*>(ORBCFG_CLI)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(ORBCFG_CLI, argv.data());
    ::_exit(127);
}

int waitFor(pid_t pid, struct rusage* usage = nullptr) {
    int status = 0;
    ::wait4(pid, &status, 0, usage);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

// Many tools edit one file in place at the same time, each a key of its own: every change
// arrives, whether asked for with -i or with -o naming the file itself.
TEST(Cli, ConcurrentInPlaceSetsLoseNothing) {
    std::vector<std::string> keys;
    for (Id id : controlOrder())
        if (param(id).kind == Kind::Text && param(id).check == Check::Any && keys.size() < 12)
            keys.emplace_back(param(id).key);
    ASSERT_EQ(keys.size(), 12u);
    TempDir dir;
    const std::string file = dir / "shared.cfg";
    spit(file, "USERN='start'\r\n");
    for (int round = 0; round < 8; ++round) {
        std::vector<pid_t> running;
        for (std::size_t i = 0; i < keys.size(); ++i) {
            const std::string change = keys[i] + "=r" + std::to_string(round);
            running.push_back(i % 2 ? spawnCli({"set", file, change, "-i"})
                                    : spawnCli({"set", file, change, "-o", file}));
        }
        for (pid_t pid : running) EXPECT_EQ(waitFor(pid), 0);
        MemoryStore store;
        readConfig(slurp(file), store);
        for (const std::string& key : keys)
            EXPECT_EQ(store.text(idOf(key)), "r" + std::to_string(round)) << key << " " << round;
    }
    EXPECT_EQ(dir.names(), std::vector<std::string>{"shared.cfg"});
}

// Two imports into one empty folder at the same time: never both succeed, and every file holds
// the values of the one that did; the other leaves nothing of its own.
TEST(Cli, ConcurrentImportsNeverMixTheirFiles) {
    constexpr int kRows = 300;
    TempDir dir;
    std::string csv[2];
    for (int k = 0; k < 2; ++k) {
        csv[k] = "name,USERN\n";
        for (int i = 0; i < kRows; ++i)
            csv[k] += "t" + std::to_string(i) + ",run" + std::to_string(k) + "\n";
        spit(dir / ("run" + std::to_string(k) + ".csv"), csv[k]);
    }
    for (int round = 0; round < 4; ++round) {
        TempDir fleet;
        const pid_t a = spawnCli({"import", dir / "run0.csv", "-d", fleet.path().string()});
        const pid_t b = spawnCli({"import", dir / "run1.csv", "-d", fleet.path().string()});
        const int codeA = waitFor(a), codeB = waitFor(b);
        EXPECT_EQ(std::min(codeA, codeB), 0) << round;
        EXPECT_EQ(std::max(codeA, codeB), 2) << round;
        const std::string winner = codeA == 0 ? "run0" : "run1";
        const std::vector<std::string> names = fleet.names();
        ASSERT_EQ(names.size(), static_cast<std::size_t>(kRows)) << round;
        for (const std::string& name : names)
            EXPECT_NE(slurp(fleet / name).find("USERN='" + winner + "'"), std::string::npos)
                << name << " " << round;
    }
}

// `check` and `lint` of bad.cfg in `dir`, of about `size` bytes, each peak within a small
// multiple of the file.
void expectMemoryNearTheFileSize(const TempDir& dir, std::size_t size) {
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"check", dir / "bad.cfg"}, {"lint", dir.path().string()}}) {
        struct rusage usage {};
        EXPECT_EQ(waitFor(spawnCli(args), &usage), 1) << args[0];
        const long maxKiB = usage.ru_maxrss;
        EXPECT_LT(maxKiB, static_cast<long>(8 * size / 1024 + 48 * 1024))
            << args[0] << ": " << maxKiB << " KiB";
    }
}

// `check` and `lint` of a file of nothing but bad lines need memory of the order of the file,
// not of its findings.
TEST(Cli, CheckMemoryStaysNearTheFileSize) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer holds freed memory back; measured in the plain build";
#endif
    TempDir dir;
    const std::size_t size = 4 << 20;
    std::string bad;
    bad.reserve(size);
    while (bad.size() < size) bad += "a\n";
    spit(dir / "bad.cfg", bad);
    expectMemoryNearTheFileSize(dir, size);
}

// The same when the file begins with lines whose findings depend on what follows (a checked
// key the review resets, a CHIPSET line waiting for the X flag): nothing is held back until
// the end, and the reset still comes in its line's place.
TEST(Cli, CheckMemoryStaysNearTheFileSizeAfterAWaitingLine) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer holds freed memory back; measured in the plain build";
#endif
    TempDir dir;
    const std::size_t size = 4 << 20;
    std::string bad = "IP='10.0.0.300'\nCHIPSET='radeonfb'\nDNS='x'\n";
    bad.reserve(size + 64);
    while (bad.size() < size) bad += "a\n";
    bad += "X='on'\n";
    spit(dir / "bad.cfg", bad);
    expectMemoryNearTheFileSize(dir, size);

    const Result r = runCli({"check", dir / "bad.cfg"});
    const std::string name = dir / "bad.cfg";
    ASSERT_GT(r.out.size(), 1000u);
    EXPECT_EQ(
        r.out.substr(0, r.out.find(":4:")),
        name + ":1: IP: '10.0.0.300' is not an IPv4 address; saving resets it to unset\n" + name +
            ":2: CHIPSET: 'radeonfb_x' (the value with X='on') is not in the key's value table; "
            "ignored\n" +
            name + ":3: DNS: 'x' is not an IPv4 address; saving resets it to unset\n" + name);
}
#endif

// A preset is applied as the menu applies it: the first five start anew, the last one adds to
// what the file holds; every name is listed by --help.
TEST(Cli, PresetAppliesATypicalConfiguration) {
    TempDir dir;
    spit(dir / "a.cfg", "USERN='u'\nCOLOR='32'\n");
    Result r = runCli({"preset", "comfort", dir / "a.cfg", "-o", dir / "b.cfg"});
    ASSERT_EQ(r.code, 0) << r.err;
    r = runCli({"show", dir / "b.cfg"});
    EXPECT_EQ(r.out.find("USERN"), std::string::npos);
    for (const char* line :
         {"COLOR\t24\t", "RAZR\t1280x1024\t", "COM\tser\t", "CACH\tmax\t", "PRINTER\tlpt\t",
          "SCARD\ton\t", "COMPRESS\ton\t", "CHIPSET\tauto\t", "X\toff\t"})
        EXPECT_NE(r.out.find(line), std::string::npos) << line;

    r = runCli({"preset", "windows2000", dir / "a.cfg"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("USERN='u'"), std::string::npos);
    for (const char* line : {"COLOR='8'", "SAMBA='on'", "COM='ser'"})
        EXPECT_NE(r.out.find(line), std::string::npos) << line;

    r = runCli({"preset", "weak", dir / "a.cfg"});
    EXPECT_NE(r.out.find("CHIPSET='autofb'"), std::string::npos);
    EXPECT_NE(r.out.find("FB='on'"), std::string::npos);
    EXPECT_EQ(runCli({"preset", "fast", dir / "a.cfg"}).out,
              runCli({"preset", "traffic", dir / "a.cfg"}).out);

    r = runCli({"preset", "Weak", dir / "a.cfg"});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(firstLine(r.err), "orbcfg-cli: unknown preset 'Weak'");
    EXPECT_EQ(firstLine(runCli({"preset", "weak"}).err), "orbcfg-cli: preset takes NAME and FILE");
    const std::string help = runCli({"--help"}).out;
    for (const Preset& p : presets()) EXPECT_NE(help.find(p.name), std::string::npos) << p.name;
}

TEST(Cli, DocWritesTheHtmlHelpProject) {
    TempDir dir;
    const std::string folder = dir / "help/chm";  // made with its parent
    Result r = runCli({"doc", "--chm-project", folder});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "");
    const std::vector<HelpFile> files = chmProject();
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()),
              static_cast<std::ptrdiff_t>(files.size()));
    for (const HelpFile& f : files) EXPECT_EQ(slurp(folder + "/" + f.name), f.bytes) << f.name;
    // Written again over itself, and with the option's other spelling.
    EXPECT_EQ(runCli({"doc", "--chm-project=" + folder}).code, 0);
    // A folder that cannot be made; options that do not go together.
    spit(dir / "file", "x");
    r = runCli({"doc", "--chm-project", dir / "file"});
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.err.starts_with("orbcfg-cli: cannot make the folder '" + (dir / "file") + "'"))
        << r.err;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1);
    EXPECT_EQ(firstLine(runCli({"doc", "--chm-project", folder, "-o", dir / "b"}).err),
              "orbcfg-cli: doc takes either -o or --chm-project");
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"doc", "--chm-project"}, {"doc", "--chm-project="}}) {
        r = runCli(args);
        EXPECT_EQ(r.code, 2);
        EXPECT_EQ(firstLine(r.err), "orbcfg-cli: option '--chm-project' needs a folder name");
    }
    EXPECT_EQ(slurp(dir / "file"), "x");
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"file", "help"}));
}

#ifndef _WIN32
namespace {

unsigned modeOf(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 0777 : 0;
}

// The umask of the test process for one test, put back after it.
struct Umask {
    explicit Umask(mode_t m) : old(::umask(m)) {}
    ~Umask() { ::umask(old); }
    mode_t old;
};

}  // namespace

TEST(Cli, NewOutputIsNoMoreOpenThanItsSource) {
    const Umask umask(022);
    TempDir dir;
    spit(dir / "private.cfg", "USERN='u'\r\nPASSW='p'\r\n");
    spit(dir / "group.cfg", "USERN='u'\r\n");
    ::chmod((dir / "private.cfg").c_str(), 0600);
    ::chmod((dir / "group.cfg").c_str(), 0640);
    for (const std::string source : {"private.cfg", "group.cfg"}) {
        const unsigned mode = source == "private.cfg" ? 0600 : 0640;
        const std::vector<std::vector<std::string>> commands = {
            {"set", dir / source, "USERN=v", "-o", dir / ("set-" + source)},
            {"normalize", dir / source, "-o", dir / ("normalize-" + source)},
            {"preset", "fast", dir / source, "-o", dir / ("preset-" + source)},
        };
        for (const auto& args : commands) {
            const Result r = runCli(args);
            ASSERT_EQ(r.code, 0) << args[0] << ": " << r.err;
            EXPECT_EQ(modeOf(args.back()), mode) << args[0] << " " << source;
        }
    }
    // An existing output keeps its own mode; one made from standard input the process's own.
    spit(dir / "open.cfg", "");
    ::chmod((dir / "open.cfg").c_str(), 0644);
    ASSERT_EQ(runCli({"normalize", dir / "private.cfg", "-o", dir / "open.cfg"}).code, 0);
    EXPECT_EQ(modeOf(dir / "open.cfg"), 0644u);
    ASSERT_EQ(runCli({"normalize", "-", "-o", dir / "stdin.cfg"}, "USERN='u'\n").code, 0);
    EXPECT_EQ(modeOf(dir / "stdin.cfg"), 0644u);
    // The umask narrows what the source allows.
    const Umask narrower(077);
    ASSERT_EQ(runCli({"normalize", dir / "group.cfg", "-o", dir / "umask.cfg"}).code, 0);
    EXPECT_EQ(modeOf(dir / "umask.cfg"), 0600u);
}
#endif

#ifndef _WIN32
namespace {

// The exit code of the built tool with its standard output to `out` (closed when it is empty).
int exitWithOutput(const std::vector<std::string>& args, const char* out) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 2);
        if (*out) {
            ::dup2(::open(out, O_WRONLY), 1);
        } else {
            ::close(1);
        }
        std::vector<char*> argv{const_cast<char*>(ORBCFG_CLI)};
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(ORBCFG_CLI, argv.data());
        ::_exit(127);
    }
    return waitFor(pid);
}

}  // namespace

// The help and the version are output like any other: one that cannot be written fails.
TEST(Cli, PagesThatCannotBeWrittenFail) {
    for (const char* out : {"/dev/full", ""}) {
        for (const std::vector<std::string>& args :
             std::vector<std::vector<std::string>>{{"--help"}, {"--version"}, {"show", "--help"}})
            EXPECT_EQ(exitWithOutput(args, out), 2) << args.front() << " " << out;
    }
    EXPECT_EQ(exitWithOutput({"--version"}, "/dev/null"), 0);
    std::istringstream in;
    std::ostringstream err;
    std::ostream broken(nullptr);
    EXPECT_EQ(cli::run(std::vector<std::string>{"--help"}, in, broken, err), 2);
    EXPECT_EQ(err.str(), "orbcfg-cli: cannot write standard output\n");
}

#endif
