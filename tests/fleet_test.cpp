// orbcfg-cli over a folder of terminal files: lint, which, diff, export, set and bulk edits.
// The fleet under tests/data/fleet/terminals plants each finding once; its golden outputs
// stand beside it.
#include <csignal>
#include <filesystem>
#include <map>
#include <random>

#include "fileio/fileio.h"
#include "model/catalogue.h"
#include "model/fleet.h"
#include "model/fleet_disk.h"
#include "model/lint.h"
#include "model/text.h"
#include "model/writer.h"
#include "tests/cli_support.h"
#include "tests/fleet_gen.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

using namespace orbex;
using namespace orbex::testing;
namespace fs = std::filesystem;

namespace {

const fs::path kData = fs::path(ORBCFG_TEST_DATA) / "fleet";

// The fixture fleet in a temporary folder, with a lower-case twin of one MAC file (kept out of
// the repository: it could not be checked out on a file system that ignores case).
void copyFleet(const TempDir& dir) {
    for (const auto& e : fs::directory_iterator(kData / "terminals"))
        fs::copy_file(e.path(), dir.path() / e.path().filename());
#ifndef _WIN32
    // Windows ignores case in names: the twin would overwrite the file it is a twin of.
    spit(dir / "aa^bb^cc^dd^ee^01.cfg", "USERN='twin'\r\n");
#endif
}

std::string golden(const char* name) {
    return slurp(kData / name);
}

// The golden lint of copyFleet's folder. On Windows that folder has no twin, and so one file
// less and no duplicate-mac finding; the rest is the same to the byte.
std::string lintGolden(const char* name) {
    std::string text = golden(name);
#ifdef _WIN32
    std::string kept;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        const std::string line = text.substr(start, end + 1 - start);
        // The twin's finding and its group go; the later groups come one place earlier.
        if (line.find("duplicate-mac") != std::string::npos ||
            line.find("\"aa^bb^cc^dd^ee^01.cfg\"") != std::string::npos)
            continue;
        std::string moved = line;
        for (const char* n : {"1", "2"}) {
            const std::string from = std::string("\"group\": ") + n + "}";
            if (const auto at = moved.find(from); at != std::string::npos)
                moved.replace(at, from.size(),
                              "\"group\": " + std::to_string(std::stoi(n) - 1) + "}");
        }
        kept += moved;
    }
    text = kept;
    const std::string ten = "\"files\": 10,";
    if (const auto at = text.find(ten); at != std::string::npos)
        text.replace(at, ten.size(), "\"files\": 9,");
#endif
    return text;
}

}  // namespace

TEST(Fleet, LintGolden) {
    TempDir dir;
    copyFleet(dir);
    Result r = runCli({"lint", dir.path().string(), "--format", "json"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out, lintGolden("lint.json"));
    r = runCli({"lint", dir.path().string()});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, lintGolden("lint.txt"));
    // Each code of the fixed set once at least.
    for (const char* code : {"ignored-line", "reset-value", "duplicate-mac", "duplicate-ip",
                             "duplicate-name", "bad-mac-name"})
        EXPECT_NE(golden("lint.json").find(std::string("\"code\": \"") + code), std::string::npos)
            << code;
}

TEST(Fleet, LintExitCodesAndFolders) {
    TempDir dir;
    Result r = runCli({"lint", dir.path().string(), "--format=json"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "{\"files\": 0, \"findings\": [], \"groups\": []}\n");
    spit(dir / "a.cfg", "USERN='a'\r\nIP='10.0.0.1'\r\n");
    spit(dir / "notes.txt", "IP='10.0.0.1'\n");  // not a configuration file
    fs::create_directory(dir / "sub");
    spit(dir / "sub/b.cfg", "IP='10.0.0.1'\n");
    EXPECT_EQ(runCli({"lint", dir.path().string()}).code, 0);
    // With -r the subfolder counts, by its relative path.
    r = runCli({"lint", "-r", dir.path().string()});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out,
              "a.cfg:2: duplicate-ip: IP: '10.0.0.1' is also set by sub/b.cfg\n"
              "sub/b.cfg:1: duplicate-ip: IP: '10.0.0.1' is also set by a.cfg\n");
    // Folders and dangling links by a file's name are no files. (Windows makes symbolic links
    // only with a privilege, MinGW's C++ library makes none, and Wine only pretends to: the
    // links are tested on Linux.)
    fs::create_directory(dir / "c.cfg");
#ifndef _WIN32
    fs::create_symlink(dir / "gone", dir / "d.cfg");
#endif
    r = runCli({"lint", "-r", dir.path().string()});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "");
}

// A folder's configuration files are the names with the extension ".cfg", in that case: not a
// name that is the extension alone, nor one that merely holds it.
TEST(Fleet, ListedFilesHaveTheCfgExtension) {
    TempDir dir;
    for (const char* name : {"a.cfg", ".cfg", "..cfg", "b.CFG", "c.cfg.bak", "d.cfgx", "e.x.cfg"})
        spit(dir / name, "");
    fs::create_directory(dir / "sub");
    spit(dir / "sub/f.cfg", "");
    spit(dir / "sub/.cfg", "");
    std::string error;
    EXPECT_EQ(fleet::listFiles(dir.path().string(), false, error),
              (std::vector<std::string>{"..cfg", "a.cfg", "e.x.cfg"}));
    EXPECT_EQ(fleet::listFiles(dir.path().string(), true, error),
              (std::vector<std::string>{"..cfg", "a.cfg", "e.x.cfg", "sub/f.cfg"}));
}

TEST(Fleet, LintOfUnreadableFileFailsButReportsTheRest) {
    TempDir dir;
    spit(dir / "a.cfg", "IP='10.0.0.1'\n");
    spit(dir / "b.cfg", "IP='10.0.0.1'\n");
    spit(dir / "c.cfg", "IP='10.0.0.1'\n");
    const fleet::ReadFile failing = [](const std::string& path, std::string& error) {
        if (path.ends_with("b.cfg")) {
            error = "Input/output error";
            return std::optional<std::string>();
        }
        return std::optional<std::string>(slurp(path));
    };
    std::string error;
    const auto f = fleet::load(dir.path().string(), failing, {}, error);
    ASSERT_TRUE(f);
    EXPECT_EQ(f->unreadable, 1u);
    EXPECT_EQ(f->records[1].error, "Input/output error");
    ASSERT_EQ(f->findings.size(), 2u);
    EXPECT_EQ(fleet::message(f->findings[0], f->records, f->groups),
              "'10.0.0.1' is also set by c.cfg");
}

// The tool reads a folder's files ahead of their check, many more than it holds at once: the
// findings come in file order as when the unreadable file is not there at all, and that file
// has its one line on standard error and the exit code 2.
TEST(Fleet, LintOfManyFilesReadAheadKeepsOrderAndFailures) {
    TempDir dir;
    for (int i = 0; i < 100; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "t%03d.cfg", i);
        spit(dir / name, "IP='10.0.0." + std::to_string(i % 40 + 1) + "'\r\nMNAME='t" +
                             std::to_string(i) + "'\r\n" + (i % 7 == 0 ? "usern='x'\r\n" : ""));
    }
    fs::resize_file(u8(dir / "t050.cfg"), fileio::kInputLimit + 1);  // sparse, too large
    const Result r = runCli({"lint", dir.path().string()});
    EXPECT_EQ(r.code, 2);
    // Named once, as every message of the tool names a file of the folder on either system.
    EXPECT_EQ(r.err, "orbcfg-cli: cannot read '" + dir.path().string() +
                         "/t050.cfg': larger than 16 MiB: not a terminal configuration\n");
    fs::remove(u8(dir / "t050.cfg"));
    const Result without = runCli({"lint", dir.path().string()});
    EXPECT_EQ(without.code, 1);
    EXPECT_EQ(r.out, without.out);
    EXPECT_NE(r.out.find("t099.cfg:1: duplicate-ip"), std::string::npos);
}

TEST(Fleet, CommandLineErrors) {
    TempDir dir;
    spit(dir / "a.cfg", "USERN='a'\n");
    for (const auto& [args, message] :
         std::vector<std::pair<std::vector<std::string>, std::string>>{
             {{"lint"}, "lint takes one DIR"},
             {{"lint", dir.path().string(), "--format", "xml"},
              "unknown format 'xml': text or json"},
             {{"lint", dir / "none"},
              "cannot read folder '" + (dir / "none") + "': No such file or directory"},
             {{"lint", dir / "a.cfg"},
              "cannot read folder '" + (dir / "a.cfg") + "': not a folder"},
             {{"which", dir.path().string(), "--mac", "aa:bb"}, "'aa:bb' is not a MAC address"},
             {{"which", dir.path().string(), "--order", "mac,disk"},
              "unknown source 'disk' in --order: mac, name, default"},
             {{"which", dir.path().string(), "--order", "mac,mac"}, "'mac' given twice in --order"},
             {{"which", dir.path().string(), "--name", "a/b"}, "'a/b' is not a computer name"},
             {{"which", dir.path().string(), "--mac"}, "option '--mac' needs a value"},
             {{"diff", dir / "a.cfg"}, "diff takes two FILEs"},
             {{"diff", "-", "-"}, "only one FILE may be -"},
             {{"diff", dir / "a.cfg", dir / "b.cfg"},
              "cannot read '" + (dir / "b.cfg") + "': No such file or directory"},
             {{"export"}, "export takes one DIR"},
             {{"import", dir / "a.csv"}, "import needs -d DIR"},
             {{"import", "-d", dir.path().string()}, "import takes one CSV"},
             {{"import", dir / "a.csv", "-d", dir.path().string()},
              "cannot read '" + (dir / "a.csv") + "': No such file or directory"},
             {{"import", "-", "-d", dir / "none"},
              "cannot read folder '" + (dir / "none") + "': No such file or directory"},
             {{"import", "-", "-d", dir.path().string(), "--force", "--force"},
              "option '--force' given twice"},
         }) {
        const Result r = runCli(args);
        EXPECT_EQ(r.code, 2) << message;
        EXPECT_EQ(r.err.substr(0, r.err.find('\n')), "orbcfg-cli: " + message);
    }
}

TEST(Fleet, WhichFileATerminalLoads) {
    TempDir dir;
    const std::string d = dir.path().string();
    const auto which = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {"which", d});
        const Result r = runCli(args);
        EXPECT_EQ(r.err, "");
        return std::to_string(r.code) + " " + r.out;
    };
    EXPECT_EQ(which({"--mac", "aa:bb:cc:dd:ee:ff", "--name", "t1"}), "1 ");
    spit(dir / "default.cfg", "");
    EXPECT_EQ(which({"--mac", "aa:bb:cc:dd:ee:ff", "--name", "t1"}), "0 default.cfg\n");
    spit(dir / "t1.cfg", "");
    EXPECT_EQ(which({"--mac", "aa:bb:cc:dd:ee:ff", "--name", "t1"}), "0 t1.cfg\n");
    EXPECT_EQ(which({"--name", "T1"}), "0 default.cfg\n");  // a computer name's file is exact
    spit(dir / "aa^bb^cc^dd^ee^ff.cfg", "");
    EXPECT_EQ(which({"--mac", "AABB.CCDD.EEFF", "--name", "t1"}), "0 aa^bb^cc^dd^ee^ff.cfg\n");
    spit(dir / "AA^BB^CC^DD^EE^FF.cfg", "");  // the upper-case spelling comes first
#ifdef _WIN32
    // Windows ignores case in names: that was the lower-case file, written again, and it is the
    // one file of the MAC.
    EXPECT_EQ(dir.names().size(), 3u);
    EXPECT_EQ(which({"--mac", "aabbccddeeff"}), "0 aa^bb^cc^dd^ee^ff.cfg\n");
#else
    EXPECT_EQ(which({"--mac", "aabbccddeeff"}), "0 AA^BB^CC^DD^EE^FF.cfg\n");
#endif
    EXPECT_EQ(which({"--mac", "aabbccddeeff", "--name", "t1", "--order", "name,mac"}),
              "0 t1.cfg\n");
    EXPECT_EQ(which({"--mac", "aabbccddeeff", "--order", "default"}), "0 default.cfg\n");
    EXPECT_EQ(which({"--mac", "00:00:00:00:00:01", "--order", "mac,name"}), "1 ");
}

// A name that import refuses as a terminal's file name is no computer name to `which` either:
// a terminal never loads a file of that name.
TEST(Fleet, WhichRefusesTheComputerNamesThatImportRefuses) {
    TempDir dir;
    const std::string d = dir.path().string();
    spit(dir / "default.cfg", "");
    for (const std::string name : {"a:b", "a^b", "a/b", "a\\b", " a", "a ", "a\tb", "a\x1b"}) {
        const Result import = runCli({"import", "-", "-d", d}, "name,USERN\n\"" + name + "\",u\n");
        EXPECT_EQ(import.code, 2) << name;
        const Result which = runCli({"which", d, "--name", name});
        EXPECT_EQ(which.code, 2) << name;
        EXPECT_EQ(which.err.substr(0, which.err.find('\n')),
                  "orbcfg-cli: '" + text::printable(name) + "' is not a computer name")
            << name;
        EXPECT_EQ(which.out, "") << name;
    }
    EXPECT_EQ(dir.names().size(), 1u);  // default.cfg alone: nothing was written
    EXPECT_EQ(runCli({"which", d, "--name", "t-1.b"}).out, "default.cfg\n");
}

// A refusal's place and a diff's lines, told in the words and indent the caller gives, as the
// fleet window tells them in Russian.
TEST(Fleet, RefusalPlaceAndDiffLinesInTheCallersWords) {
    TempDir dir;
    const auto read = [](const std::string& path, std::string&) {
        return std::optional<std::string>(slurp(path));
    };
    const fleet::ImportPlan plan =
        fleet::planImport("name,IP\nt1,10.0.0.1\nt2,x\n", dir.path().string(), read, {});
    ASSERT_EQ(plan.refusals.size(), 1u);
    EXPECT_EQ(fleet::placeText(plan.refusals[0]), "row 3, column 2 (IP)");
    const fleet::PlaceWords russian{"строка ", ", столбец ", "файл"};
    EXPECT_EQ(fleet::placeText(plan.refusals[0], russian), "строка 3, столбец 2 (IP)");
    EXPECT_EQ(fleet::placeText(fleet::Refusal{}, russian), "файл");
    EXPECT_EQ(fleet::placeText(fleet::Refusal{}), "");
    fleet::Refusal row2;
    row2.row = 2;
    EXPECT_EQ(fleet::placeText(row2), "row 2");

    const auto none = [](Id) {};
    const auto differences = fleet::diff(fleet::settingsOf("USERN='a'\nIP='10.0.0.1'\n", none),
                                         fleet::settingsOf("USERN='b'\nDNS='10.0.0.2'\n", none));
    EXPECT_EQ(fleet::diffText(differences, "    "),
              "    -USERN='a'\n    +USERN='b'\n    -IP='10.0.0.1'\n    +DNS='10.0.0.2'\n");
    EXPECT_EQ(fleet::diffText({}), "");
}

TEST(Fleet, DiffGoldenAndExitCodes) {
    const std::string a = (kData / "terminals" / "AA^BB^CC^DD^EE^01.cfg").string();
    const std::string b = (kData / "terminals" / "AA^BB^CC^DD^EE^02.cfg").string();
    Result r = runCli({"diff", a, b});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, golden("diff.out"));
    // The same state in other bytes: no difference.
    r = runCli({"diff", a, "-"}, runCli({"normalize", a}).out);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "");
    // What the review resets is not kept, and is warned about.
    r = runCli({"diff", "-", a}, "IP='10.0..1'\nUSERN='kassa1'\n");
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out,
              "+MNAME='term01'\n+AUTOSTART='on'\n+TSERV='10.0.0.2'\n+IP='10.0.0.11'\n"
              "+RAZR='1280x1024'\n+CHIPSET='vesa_x'\n");
    EXPECT_EQ(r.err,
              "(stdin): Внимание! Значение параметра IP неверно! Сброшено на значение по "
              "умолчанию\n");
}

TEST(Fleet, ExportGolden) {
    TempDir dir;
    for (const auto& e : fs::directory_iterator(kData / "terminals"))
        fs::copy_file(e.path(), dir.path() / e.path().filename());
    Result r = runCli({"export", dir.path().string()});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, golden("export.csv"));
    // The file is named as DIR "/" FILE on every system, Windows taking "/" too.
    EXPECT_EQ(r.err, dir.path().string() + "/term06.cfg" +
                         ": Внимание! Значение параметра VOLUME неверно! Сброшено на значение по "
                         "умолчанию\n");
    r = runCli({"export", dir.path().string(), "-o", dir / "fleet.csv"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(slurp(dir / "fleet.csv"), golden("export.csv"));
}

TEST(Fleet, SetRefusesWhatTheEditorWouldNotKeep) {
    TempDir dir;
    spit(dir / "a.cfg", "USERN='u'\r\n");
    const std::string a = dir / "a.cfg";
    const auto before = slurp(dir / "a.cfg");
    for (const auto& [change, message] : std::vector<std::pair<std::string, std::string>>{
             {"AUTOSTART=yes", "AUTOSTART takes on or off"},
             {"X=on",
              "X is written from CHIPSET; set CHIPSET to a value ending in _x or holding fb"},
             {"TSON=1", "TSON is not edited by the program"},
             {"USERN=it's", "USERN cannot hold a single quote or a line break"},
             {"IP=10.0..1", "IP: '10.0..1' is not an IPv4 address"},
             {"RAZR=1x1",
              "RAZR takes one of: 1024x768 640x480 720x540 800x600 848x480 960x720 "
              "1072x600 1152x864 1280x720 1280x1024 1360x768 1600x1200 1800x1012 "
              "1920x1080 1920x1440 2048x1152"},
         }) {
        const Result r = runCli({"set", a, change, "-o", a});
        EXPECT_EQ(r.code, 2) << change;
        EXPECT_EQ(r.err, "orbcfg-cli: " + message + "\n");
        EXPECT_EQ(slurp(dir / "a.cfg"), before);
    }
    EXPECT_EQ(runCli({"set", a, "-u", "TSON"}).err.substr(0, 35),
              "orbcfg-cli: unknown key 'TSON'\nTry ");
    // The value the review would reset is refused; one the file held already is only warned.
    spit(dir / "b.cfg", "IP='10.0..1'\r\n");
    Result r = runCli({"set", dir / "b.cfg", "CHIPSET=auto_x", "-u", "USERN"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, runCli({"normalize", "-"}, "CHIPSET='auto'\nX='on'\n").out);
    EXPECT_EQ(r.err, dir / "b.cfg" +
                         ": Внимание! Значение параметра IP неверно! Сброшено на значение по "
                         "умолчанию\n");
}

TEST(Fleet, LargeFleetIsReadAndWrittenByManyThreadsAlike) {
    TempDir from, to;
    FleetGen gen(2024);
    const int count = 700;
    for (int i = 0; i < count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "t%04d.cfg", i);
        // Every tenth shares its address with the next file.
        spit(from / name, gen.file() + "IP='10.1." + std::to_string(i / 250) + "." +
                              std::to_string((i % 250) - (i % 10 == 1 ? 1 : 0)) + "'\r\n");
    }
    std::string error;
    const auto read = [](const std::string& path, std::string&) {
        return std::optional<std::string>(slurp(path));
    };
    const auto fleet = fleet::load(from.path().string(), read, {}, error);
    ASSERT_TRUE(fleet);
    ASSERT_EQ(fleet->records.size(), static_cast<std::size_t>(count));
    std::size_t duplicates = 0;
    for (std::size_t i = 0; i < fleet->records.size(); ++i) {
        EXPECT_EQ(fleet->records[i].file, from.names()[i]);
        EXPECT_EQ(fleet->records[i].findings.size(),
                  lintConfig(slurp(from / fleet->records[i].file)).size());
    }
    for (const fleet::Finding& f : fleet->findings) duplicates += f.code == "duplicate-ip";
    EXPECT_EQ(duplicates, 2u * 70);
    const Result exported = runCli({"export", from.path().string(), "-o", from / "all.csv.txt"});
    ASSERT_EQ(exported.code, 0);
    ASSERT_EQ(runCli({"import", from / "all.csv.txt", "-d", to.path().string()}).code, 0);
    std::vector<std::string> names = from.names();
    std::erase(names, "all.csv.txt");
    ASSERT_EQ(to.names(), names);
    for (const std::string& n : names)
        ASSERT_EQ(slurp(to / n), normalizeConfig(slurp(from / n), [](Id) {})) << n;
}

TEST(Fleet, BulkEditPlansEveryFileAndWritesOnlyWhatChanges) {
    TempDir dir;
    spit(dir / "a.cfg", "USERN='a'\r\nIP='10.0.0.1'\r\n");
    spit(dir / "b.cfg", runCli({"normalize", "-"}, "TSERV='10.0.0.9'\nUSERN='b'").out);
    const auto read = [](const std::string& path, std::string& error) {
        if (!fs::exists(path)) {
            error = "No such file or directory";
            return std::optional<std::string>();
        }
        return std::optional<std::string>(slurp(path));
    };
    const std::vector<Change> changes = {{idOf("TSERV"), "10.0.0.9"}, {idOf("IP"), std::nullopt}};
    const std::vector<std::string> files = {"a.cfg", "b.cfg"};
    fleet::ImportPlan plan = fleet::planEdit(dir.path().string(), files, changes, read);
    ASSERT_TRUE(plan.refusals.empty());
    ASSERT_EQ(plan.targets.size(), 2u);
    EXPECT_EQ(plan.targets[0].status, fleet::Status::Changed);
    EXPECT_EQ(plan.targets[1].status, fleet::Status::Same);
    EXPECT_EQ(plan.targets[0].bytes, runCli({"normalize", "-"}, "USERN='a'\nTSERV='10.0.0.9'").out);
    const auto before = snapshot(dir);
    std::string error;
    int writes = 0;
    ASSERT_TRUE(fleet::writeImport(
        plan, dir.path().string(),
        [&](const std::string& path, std::string_view bytes, std::string&) {
            ++writes;  // one target: no other thread
            spit(path, bytes);
            return true;
        },
        error));
    EXPECT_EQ(writes, 1);
    EXPECT_EQ(slurp(dir / "a.cfg"), plan.targets[0].bytes);
    EXPECT_EQ(slurp(dir / "b.cfg"), before.at("b.cfg"));

    // A value the review would reset, or a file that is missing: refused, by place.
    plan = fleet::planEdit(dir.path().string(), std::vector<std::string>{"a.cfg", "c.cfg"},
                           std::vector<Change>{{idOf("IP"), "10.0..1"}}, read);
    ASSERT_EQ(plan.refusals.size(), 2u);
    EXPECT_EQ(plan.refusals[0].row, 1);
    EXPECT_EQ(reasonText(plan.refusals[0]), "a.cfg: IP: '10.0..1' is not an IPv4 address");
    EXPECT_EQ(reasonText(plan.refusals[1]), "cannot read c.cfg: No such file or directory");
    EXPECT_FALSE(fleet::writeImport(plan, dir.path().string(), nullptr, error));
}

TEST(Fleet, EveryCommandDocumentsItselfInHelp) {
    for (const char* command : {"lint", "which", "diff", "export", "import"}) {
        const Result r = runCli({command, "--help"});
        EXPECT_EQ(r.code, 0) << command;
        EXPECT_NE(r.out.find(std::string("  ") + command + " "), std::string::npos) << command;
    }
    // After "--" it is an operand.
    EXPECT_EQ(runCli({"diff", "--", "--help", "x"}).code, 2);
    EXPECT_EQ(runCli({"--"}).code, 2);
}

// The window reads one changed file again, and writes a bulk edit one file after another.
TEST(Fleet, OneRecordAndWritesInOrder) {
    TempDir dir;
    copyFleet(dir);
    const auto read = [](const std::string& path, std::string& error) {
        if (!fs::exists(path)) {
            error = "gone";
            return std::optional<std::string>();
        }
        return std::optional<std::string>(slurp(path));
    };
    fleet::Options options;
    options.settings = true;
    std::string error;
    const auto whole = fleet::load(dir.path().string(), read, options, error);
    ASSERT_TRUE(whole);
    // Each record alone is the record of the whole load, findings of its own included.
    for (const fleet::Record& r : whole->records) {
        const fleet::Record one = fleet::loadRecord(dir.path().string(), r.file, read, options);
        EXPECT_EQ(one.settings, r.settings) << r.file;
        EXPECT_EQ(one.findings.size(), r.findings.size()) << r.file;
        EXPECT_EQ(one.ip, r.ip) << r.file;
        EXPECT_EQ(one.mname, r.mname) << r.file;
    }
    EXPECT_EQ(fleet::loadRecord(dir.path().string(), "none.cfg", read, options).error, "gone");
    const fleet::Record kassa = fleet::loadRecord(dir.path().string(), "kassa.cfg", read, options);
    ASSERT_NE(fleet::valueOf(kassa.settings, idOf("MNAME")), nullptr);
    EXPECT_EQ(*fleet::valueOf(kassa.settings, idOf("MNAME")), "kassa");
    EXPECT_EQ(fleet::valueOf(kassa.settings, idOf("WKEY")), nullptr);

    // Three files to change, the second cannot be written: the first stays written, the third
    // is not tried, and the error names the second.
    const std::vector<std::string> files{"kassa.cfg", "term03.cfg", "term06.cfg"};
    const fleet::ImportPlan plan = fleet::planEdit(
        dir.path().string(), files, std::vector<Change>{{idOf("USERN"), "bulk"}}, read);
    ASSERT_TRUE(plan.refusals.empty());
    const auto before = snapshot(dir);
    std::vector<std::string> tried;
    const auto replace = [&](const std::string& path, std::string_view bytes,
                             const std::optional<std::string>& old, std::string& why) {
        tried.push_back(std::filesystem::path(path).filename().string());
        EXPECT_TRUE(old.has_value());  // every file of an edit exists
        if (path.ends_with("term03.cfg")) {
            why = "No space left on device";
            return fleet::Replaced::Failed;
        }
        spit(path, bytes);
        return fleet::Replaced::Yes;
    };
    fleet::WrittenInOrder done;
    EXPECT_FALSE(fleet::writeInOrder(plan, dir.path().string(), replace, done, error));
    EXPECT_EQ(error, "cannot write term03.cfg: No space left on device");
    EXPECT_EQ(done.written, std::vector<std::string>{"kassa.cfg"});
    EXPECT_EQ(tried, (std::vector<std::string>{"kassa.cfg", "term03.cfg"}));
    EXPECT_EQ(slurp(dir / "kassa.cfg"), plan.targets[0].bytes);
    EXPECT_EQ(slurp(dir / "term06.cfg"), before.at("term06.cfg"));
    // A file no longer as the plan saw it is skipped and named; the others go on.
    tried.clear();
    spit(dir / "kassa.cfg", before.at("kassa.cfg"));
    const auto guarded = [&](const std::string& path, std::string_view bytes,
                             const std::optional<std::string>& old, std::string&) {
        tried.push_back(std::filesystem::path(path).filename().string());
        if (slurp(path) != *old) return fleet::Replaced::NotAsPlanned;
        spit(path, bytes);
        return fleet::Replaced::Yes;
    };
    spit(dir / "term03.cfg", "USERN='theirs'\r\n");
    EXPECT_TRUE(fleet::writeInOrder(plan, dir.path().string(), guarded, done, error));
    EXPECT_EQ(done.written, (std::vector<std::string>{"kassa.cfg", "term06.cfg"}));
    EXPECT_EQ(done.skipped, std::vector<std::string>{"term03.cfg"});
    EXPECT_EQ(slurp(dir / "term03.cfg"), "USERN='theirs'\r\n");
    // A plan with refusals writes nothing.
    fleet::ImportPlan refused = plan;
    refused.refusals.emplace_back().row = 1;
    tried.clear();
    EXPECT_FALSE(fleet::writeInOrder(refused, dir.path().string(), replace, done, error));
    EXPECT_TRUE(tried.empty());
}

// The plan's files replaced as the tool and the window replace them: a new file never takes the
// name of one another program made, a changed one only while it holds what the plan read; the
// failure names the file in the caller's words, and the other writer's bytes stay.
TEST(FleetDisk, ReplacePlannedKeepsAnotherWritersFilesAndWordsTheReason) {
    TempDir dir;
    spit(dir / "new.cfg", "theirs");
    spit(dir / "old.cfg", "read");
    const std::vector<fleet::FileBytes> asNew{{dir / "new.cfg", "ours", fleet::Status::New}};
    fleet::BatchFailure failure;
    EXPECT_FALSE(fleet::replacePlanned(asNew, failure, fileio::russianReason));
    EXPECT_EQ(failure.failed, 0u);
    EXPECT_EQ(failure.renamed, 0u);
    EXPECT_EQ(failure.reason, "файл создан другой программой после чтения");
    EXPECT_EQ(slurp(dir / "new.cfg"), "theirs");

    const std::vector<fleet::FileBytes> changed{
        {dir / "fresh.cfg", "a", fleet::Status::New},
        {dir / "old.cfg", "b", fleet::Status::Changed, "not what it holds"}};
    EXPECT_FALSE(fleet::replacePlanned(changed, failure, fleet::englishReason));
    EXPECT_EQ(failure.failed, 1u);
    EXPECT_FALSE(failure.reason.empty());
    EXPECT_EQ(failure.reason.find("файл"), std::string::npos) << failure.reason;
    EXPECT_EQ(failure.renamed, 1u);  // fresh.cfg, for the caller to put back
    EXPECT_EQ(slurp(dir / "old.cfg"), "read");
    fs::remove(dir.path() / "fresh.cfg");

    const std::vector<fleet::FileBytes> asRead{
        {dir / "fresh.cfg", "a", fleet::Status::New},
        {dir / "old.cfg", "b", fleet::Status::Changed, "read"}};
    EXPECT_TRUE(fleet::replacePlanned(asRead, failure, fileio::russianReason));
    EXPECT_EQ(slurp(dir / "fresh.cfg"), "a");
    EXPECT_EQ(slurp(dir / "old.cfg"), "b");
}

// A folder's file is read only when it is a regular file; the reason is in the caller's words.
TEST(FleetDisk, ReadFolderFileRefusesAFolderInTheCallersWords) {
    TempDir dir;
    fs::create_directory(dir.path() / "sub.cfg");
    spit(dir / "a.cfg", "A='1'\r\n");
    std::string error;
    EXPECT_EQ(fleet::readFolderFile(dir / "a.cfg", error, fileio::russianReason), "A='1'\r\n");
    EXPECT_FALSE(fleet::readFolderFile(dir / "sub.cfg", error, fileio::russianReason));
    EXPECT_EQ(error, "это папка, а не файл");
    EXPECT_FALSE(fleet::readFolderFile(dir / "sub.cfg", error, fleet::englishReason));
    EXPECT_EQ(error.find("папка"), std::string::npos) << error;
}
