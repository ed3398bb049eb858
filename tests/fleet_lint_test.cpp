// lint over folders that are large or odd: many files sharing a value, a file of many bad
// lines, leftover temporary files, names that are not UTF-8, unreadable subfolders.
#include <filesystem>
#include <map>

#include "fileio/fileio.h"
#include "model/fleet.h"
#include "model/fleet_disk.h"
#include "model/text.h"
#include "model/writer.h"
#include "tests/cli_support.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace orbex;
using namespace orbex::testing;
namespace fs = std::filesystem;

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
