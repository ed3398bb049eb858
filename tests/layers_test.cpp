// orbcfg-cli over a layered source: build, explain, init and lint. The source under
// tests/data/layers/source sets values at every level (default.cfg, three groups, the rows'
// own cells, an unset through a row, the value "-" and the empty text); the files it builds and
// the outputs of the commands stand beside it.
#include <filesystem>
#include <map>
#include <set>

#include "fileio/fileio.h"
#include "model/csv.h"
#include "model/fleet.h"
#include "model/fleet_disk.h"
#include "model/layers.h"
#include "model/text.h"
#include "model/writer.h"
#include "tests/cli_support.h"
#include "tests/fleet_gen.h"

#ifndef _WIN32
#include <unistd.h>
#endif

using namespace orbex;
using namespace orbex::testing;
namespace fs = std::filesystem;

namespace {

const fs::path kData = fs::path(ORBCFG_TEST_DATA) / "layers";

std::string golden(const fs::path& name) {
    return slurp(kData / name);
}

// Everything under the folder: each file's bytes and permissions, each link's target, each
// folder; what a refused build must leave as it was.
std::map<std::string, std::string> tree(const fs::path& root) {
    std::map<std::string, std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        const std::string rel = utf8Of(e.path().lexically_relative(root));
        const auto perms = std::to_string(static_cast<unsigned>(e.symlink_status().permissions()));
        if (e.is_symlink()) {
            out[rel] = "link " + utf8Of(fs::read_symlink(e.path()));
        } else if (e.is_directory()) {
            out[rel] = "folder " + perms;
        } else {
            out[rel] = perms + " " + slurp(e.path());
        }
    }
    return out;
}

// A copy of the golden source beside an empty TFTP folder.
struct Sandbox {
    TempDir dir;
    std::string src = dir / "src", tftp = dir / "tftp";
    Sandbox() {
        fs::copy(kData / "source", u8(src), fs::copy_options::recursive);
        fs::create_directory(u8(tftp));
    }
    Result build(std::vector<std::string> more = {}) const {
        std::vector<std::string> args{"build", src, "-d", tftp};
        args.insert(args.end(), more.begin(), more.end());
        return runCli(args);
    }
    std::string in(const std::string& name) const { return utf8Of(u8(tftp) / u8(name)); }
    // A file of the folder as the tool names it: DIR/FILE on every system.
    std::string shown(const std::string& name) const { return tftp + "/" + name; }
};

const std::vector<std::string> kBuilt = {"00^1A^2B^3C^4D^01.cfg", "00^1A^2B^3C^4D^02.cfg",
                                         "00^1A^2B^3C^4D^03.cfg", "00^1A^2B^3C^4D^04.cfg",
                                         "00^1A^2B^3C^4D^05.cfg", "default.cfg"};

}  // namespace

// Each layer in its place: a later group wins over an earlier one, a row's cell over its groups,
// "-" unsets what default.cfg and a group set, '- is the value "-" and '' the empty text. The
// files are what the editor saves; a second build finds them all the same and writes nothing.
TEST(Layers, GoldenSourceBuildsTheEditorsFiles) {
    Sandbox s;
    const Result dry = s.build({"--dry-run"});
    EXPECT_EQ(dry.code, 0) << dry.err;
    EXPECT_EQ(dry.out, golden("build-new.out"));
    EXPECT_TRUE(fs::is_empty(u8(s.tftp)));
    const Result r = s.build();
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "");
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(u8(s.tftp)))
        names.push_back(utf8Of(e.path().filename()));
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, kBuilt);
    for (const std::string& f : kBuilt) {
        EXPECT_EQ(slurp(s.in(f)), golden(fs::path("built") / f)) << f;
        EXPECT_EQ(normalizeConfig(slurp(s.in(f)), [](Id) {}), slurp(s.in(f))) << f;
    }
    // The manifest beside the source names the folder and every file's hash.
    const std::string manifest = slurp(s.src + "/.build/manifest");
    EXPECT_TRUE(manifest.starts_with(text::escapedName(utf8Of(fs::canonical(u8(s.tftp)))) + "\n"))
        << manifest;
    EXPECT_EQ(std::count(manifest.begin(), manifest.end(), '\n'), 7);
    const auto before = tree(s.dir.path());
    const Result again = s.build({"--dry-run"});
    EXPECT_EQ(again.code, 0);
    std::string same;
    for (const std::string& f : {kBuilt[5], kBuilt[0], kBuilt[1], kBuilt[2], kBuilt[3], kBuilt[4]})
        same += "same " + f + "\n";
    EXPECT_EQ(again.out, same);
    EXPECT_EQ(s.build().code, 0);
    EXPECT_EQ(tree(s.dir.path()), before);
}

TEST(Layers, ExplainNamesTheLayerOfEveryParameter) {
    Sandbox s;
    const auto explain = [&](std::vector<std::string> more) {
        std::vector<std::string> args{"explain", s.src};
        args.insert(args.end(), more.begin(), more.end());
        return runCli(args);
    };
    // A MAC in any spelling, a file name, a computer name its row sets (in any case).
    for (const char* t :
         {"00-1a-2b-3c-4d-02", "001a2b3c4d02", "00^1a^2b^3c^4d^02.cfg", "KASSA02"}) {
        const Result r = explain({t});
        EXPECT_EQ(r.code, 0) << t << ": " << r.err;
        EXPECT_EQ(r.out, golden("explain-kassa02.txt")) << t;
    }
    const Result json = explain({"kassa03", "--format", "json"});
    EXPECT_EQ(json.code, 0) << json.err;
    EXPECT_EQ(json.out, golden("explain-kassa03.json"));
    // KEY... limits the lines, in review order; a key no layer touches is told so.
    const Result some = explain({"sklad01", "VOLUME", "USERN", "COLOR"});
    EXPECT_EQ(some.out,
              "USERN=''  device (overrides group sklad: 'sklad', default: 'guest')\n"
              "VOLUME='70'  group sklad (overrides default: '50')\n"
              "COLOR unset  (no layer sets it)\n");
    EXPECT_EQ(explain({"hall", "VOLUME", "--format", "json"}).out,
              "[\n{\"key\": \"VOLUME\", \"value\": null, \"layer\": \"device\", \"overrides\": "
              "[{\"layer\": \"default\", \"value\": \"50\"}]}\n]\n");
    const Result unknownKey = explain({"hall", "NOPE"});
    EXPECT_EQ(unknownKey.code, 2);
    EXPECT_EQ(unknownKey.out, "");
    const Result nobody = explain({"00:1a:2b:3c:4d:99"});
    EXPECT_EQ(nobody.code, 1);
    EXPECT_EQ(nobody.out, "");
    EXPECT_NE(nobody.err.find("no row of"), std::string::npos) << nobody.err;
    EXPECT_EQ(explain({"hall", "--format", "xml"}).code, 2);
}

// A file edited by hand since the build wrote it is drift: named with its lines, refused without
// --force. A file that still holds what the build wrote is merely outdated, and is written.
TEST(Layers, DriftIsRefusedAndOutdatedFilesAreWritten) {
    Sandbox s;
    ASSERT_EQ(s.build().code, 0);
    ASSERT_EQ(runCli({"set", s.in(kBuilt[0]), "IP=10.0.5.99", "-i"}).code, 0);
    spit(s.src + "/groups/kassa.cfg", "USERN='kassa'\r\nTSERV='10.0.5.2'\r\nRAZR='1280x1024'\r\n");
    const Result dry = s.build({"--dry-run"});
    EXPECT_EQ(dry.code, 1);
    EXPECT_EQ(dry.out, golden("build-drift.out"));
    const auto before = tree(s.dir.path());
    const Result refused = s.build();
    EXPECT_EQ(refused.code, 2);
    EXPECT_EQ(refused.out,
              "drift 00^1A^2B^3C^4D^01.cfg\n"
              "  -TSERV='10.0.5.1'\n  +TSERV='10.0.5.2'\n"
              "  -IP='10.0.5.99'\n  +IP='10.0.5.11'\n"
              "  -VOLUME='60'\n  +VOLUME='50'\n");
    EXPECT_EQ(refused.err,
              "orbcfg-cli: 1 file(s) of " + s.tftp +
                  " changed since the last build wrote them, or written by no build: nothing "
                  "written; --force overwrites them\n");
    EXPECT_EQ(tree(s.dir.path()), before);
    // Forced, every file is what the source builds; the manifest knows the new bytes.
    ASSERT_EQ(s.build({"--force"}).code, 0);
    const Result after = s.build({"--dry-run"});
    EXPECT_EQ(after.code, 0);
    EXPECT_EQ(after.out.find("drift"), std::string::npos) << after.out;
    EXPECT_EQ(slurp(s.in(kBuilt[0])).find("10.0.5.99"), std::string::npos);

    // The same bytes in another folder were written by no build there: refused, then forced.
    TempDir other;
    for (const std::string& f : kBuilt) spit(other / f, slurp(s.in(f)));
    spit(other / kBuilt[1], "USERN='mine'\r\n");
    const Result elsewhere = runCli({"build", s.src, "-d", other.path().string(), "--dry-run"});
    EXPECT_EQ(elsewhere.code, 1);
    EXPECT_NE(elsewhere.out.find("drift 00^1A^2B^3C^4D^02.cfg (written by no build)\n"
                                 "  -USERN='mine'\n  +USERN='kassa'\n"),
              std::string::npos)
        << elsewhere.out;
    EXPECT_NE(elsewhere.out.find("same 00^1A^2B^3C^4D^01.cfg"), std::string::npos);

    // More files that no build wrote than refusals are kept: still only --force is needed.
    TempDir many;
    std::string rows = "name,USERN\n";
    for (int i = 0; i < 30; ++i) {
        rows += "t" + std::to_string(i) + ",u" + std::to_string(i) + "\n";
        spit(many / ("t" + std::to_string(i) + ".cfg"), "USERN='hand'\r\n");
    }
    spit(s.src + "/devices.csv", rows);
    const auto before30 = tree(many.path());
    const Result dry30 = runCli({"build", s.src, "-d", many.path().string(), "--dry-run"});
    EXPECT_EQ(dry30.code, 1) << dry30.err;
    const Result refused30 = runCli({"build", s.src, "-d", many.path().string()});
    EXPECT_EQ(refused30.code, 2);
    EXPECT_NE(refused30.err.find("30 file(s)"), std::string::npos) << refused30.err;
    EXPECT_EQ(tree(many.path()), before30);
    EXPECT_EQ(runCli({"build", s.src, "-d", many.path().string(), "--force"}).code, 0);
}

// A .cfg that no row builds is an orphan: listed, removed only with --prune, and then only when
// it holds what a build wrote (--force removes the others too). default.cfg is never one.
TEST(Layers, OrphansAreListedAndPrunedOnlyWhenABuildWroteThem) {
    Sandbox s;
    spit(s.in("handmade.cfg"), "USERN='mine'\r\n");
    ASSERT_EQ(s.build().code, 0);
    // Rows 4 and 5 leave the list; row 5's file is edited by hand.
    std::string list = slurp(s.src + "/devices.csv");
    list = list.substr(0, list.find("001a2b3c4d04"));
    spit(s.src + "/devices.csv", list);
    spit(s.in(kBuilt[4]), "USERN='edited'\r\n");
    EXPECT_EQ(s.build({"--dry-run"}).out,
              "same default.cfg\nsame 00^1A^2B^3C^4D^01.cfg\nsame 00^1A^2B^3C^4D^02.cfg\n"
              "same 00^1A^2B^3C^4D^03.cfg\norphan 00^1A^2B^3C^4D^04.cfg\n"
              "orphan 00^1A^2B^3C^4D^05.cfg (changed since the last build wrote it)\n"
              "orphan handmade.cfg (written by no build)\n");
    const Result plain = s.build();
    EXPECT_EQ(plain.code, 0);
    EXPECT_TRUE(fs::exists(u8(s.in(kBuilt[3]))));
    const Result pruned = s.build({"--prune"});
    EXPECT_EQ(pruned.code, 0) << pruned.err;
    EXPECT_FALSE(fs::exists(u8(s.in(kBuilt[3]))));
    EXPECT_EQ(slurp(s.in(kBuilt[4])), "USERN='edited'\r\n");
    EXPECT_EQ(slurp(s.in("handmade.cfg")), "USERN='mine'\r\n");
    EXPECT_NE(pruned.err.find("kept " + s.shown(kBuilt[4]) + ": changed since the last build"),
              std::string::npos)
        << pruned.err;
    EXPECT_EQ(slurp(s.src + "/.build/manifest").find(kBuilt[3]), std::string::npos);
    EXPECT_EQ(s.build({"--prune", "--dry-run"}).out.find(kBuilt[3]), std::string::npos);
    ASSERT_EQ(s.build({"--prune", "--force"}).code, 0);
    EXPECT_FALSE(fs::exists(u8(s.in(kBuilt[4]))));
    EXPECT_FALSE(fs::exists(u8(s.in("handmade.cfg"))));
    EXPECT_TRUE(fs::exists(u8(s.in("default.cfg"))));
}

namespace {

struct Refused {
    const char* name;
    std::function<void(const Sandbox&)> make;  // what makes the build refuse
    std::vector<std::string> options;
    const char* says;     // part of the message
    bool planned = true;  // the plan refuses it (a dry run too), not the write
};

}  // namespace

// Whatever refuses a build leaves the TFTP folder byte for byte, mode for mode, as it was, and
// the source with its manifest too.
TEST(Layers, EveryRefusalLeavesTheTftpFolderAsItWas) {
    const auto rows = [](const std::string& text) {
        return [text](const Sandbox& s) { spit(s.src + "/devices.csv", text); };
    };
    std::vector<Refused> cases = {
        {"drift", [](const Sandbox& s) { spit(s.in(kBuilt[0]), "USERN='x'\r\n"); }, {}, "drift"},
        {"no devices.csv",
         [](const Sandbox& s) { fs::remove(u8(s.src + "/devices.csv")); },
         {},
         "holds no devices.csv"},
        {"an unknown group",
         rows("mac,groups\n00-1a-2b-3c-4d-01,kassa nope\n"),
         {},
         "row 2, column 2 (groups): there is no group 'nope'"},
        {"a group twice",
         rows("mac,groups\n00-1a-2b-3c-4d-01,kassa|kassa\n"),
         {},
         "group 'kassa' is named twice"},
        {"a group that is no file name",
         rows("mac,groups\n00-1a-2b-3c-4d-01,../x\n"),
         {},
         "'../x' is not a group name"},
        {"one MAC in two spellings",
         rows("mac\naa-bb-cc-dd-ee-ff\nAA:BB:CC:DD:EE:FF\n"),
         {},
         "row 3, column 1 (mac): AA^BB^CC^DD^EE^FF.cfg is the target of row 2 too"},
        {"one MAC in two file names",
         rows("file\naa^bb^cc^dd^ee^ff.cfg\nAA^BB^CC^DD^EE^FF.cfg\n"),
         {},
#ifdef _WIN32  // names that differ in case alone are one file there
         "AA^BB^CC^DD^EE^FF.cfg is the target of row 2 too"},
#else
         "AA^BB^CC^DD^EE^FF.cfg is the terminal of row 2 too (aa^bb^cc^dd^ee^ff.cfg)"},
#endif
        {"an empty target", rows("name,USERN\n,x\n"), {}, "no target: the cell is empty"},
        {"default.cfg as a target", rows("file\ndefault.cfg\n"), {}, "default.cfg is built from"},
        {"a target named like a group", rows("name\nkassa\n"), {}, "named like group 'kassa'"},
        {"two groups columns", rows("name,groups,Groups\nk1,,\n"), {}, "a second groups column"},
        {"a value set refuses",
         rows("name,AUTOSTART\nk1,maybe\n"),
         {},
         "AUTOSTART takes on or off"},
        {"a value the review resets",
         rows("name,IP\nk1,10.0.0.300\n"),
         {},
         "row 2, column 2 (IP): IP: '10.0.0.300' is not"},
        {"a group file that is a folder",
         [](const Sandbox& s) { fs::create_directory(u8(s.src + "/groups/dir.cfg")); },
         {},
         "cannot read groups/dir.cfg"},
        {"a garbage manifest",
         [](const Sandbox& s) { spit(s.src + "/.build/manifest", "\n"); },
         {},
         "is no manifest"},
        {"the TFTP folder inside the source",
         [](const Sandbox& s) { fs::create_directory(u8(s.src + "/tftp")); },
         {"-d", "SRC/tftp"},
         "overlap"},
    };
#ifndef _WIN32
    cases.push_back({"a link out of the folder",
                     [](const Sandbox& s) {
                         fs::remove(u8(s.in(kBuilt[2])));
                         fs::create_symlink("/etc/hostname", u8(s.in(kBuilt[2])));
                     },
                     {"--force"},
                     "is a symbolic link that leads out of the folder"});
    if (geteuid() != 0) {
        cases.push_back({"a read-only file",
                         [](const Sandbox& s) {
                             spit(s.src + "/groups/night.cfg", "VOLUME='21'\r\n");
                             fs::permissions(u8(s.in(kBuilt[2])), fs::perms::owner_read);
                         },
                         {},
                         "read-only file (--force replaces it)",
                         false});
        cases.push_back({"a folder that cannot be written",
                         [](const Sandbox& s) {
                             spit(s.src + "/groups/night.cfg", "VOLUME='21'\r\n");
                             fs::permissions(u8(s.tftp),
                                             fs::perms::owner_read | fs::perms::owner_exec);
                         },
                         {},
                         "Permission denied",
                         false});
    }
#endif
    for (const Refused& c : cases) {
        Sandbox s;
        ASSERT_EQ(s.build().code, 0) << c.name;
        c.make(s);
        const auto before = tree(s.dir.path());
        std::vector<std::string> options = c.options;
        for (std::string& o : options)
            if (o.starts_with("SRC")) o = s.src + o.substr(3);
        if (options.size() == 2 && options[0] == "-d") {
            std::vector<std::string> args{"build", s.src};
            args.insert(args.end(), options.begin(), options.end());
            const Result r = runCli(args);
            EXPECT_EQ(r.code, 2) << c.name;
            EXPECT_NE(r.err.find(c.says), std::string::npos) << c.name << ": " << r.err;
        } else {
            for (const bool dry : {true, false}) {
                if (dry && !c.planned) continue;
                auto more = options;
                if (dry) more.push_back("--dry-run");
                const Result r = s.build(more);
                EXPECT_EQ(r.code, dry && std::string(c.says) == "drift" ? 1 : 2)
                    << c.name << (dry ? " (dry run)" : "") << ": " << r.err;
                EXPECT_NE((r.out + r.err).find(c.says), std::string::npos)
                    << c.name << ": " << r.out << r.err;
            }
        }
        EXPECT_EQ(tree(s.dir.path()), before) << c.name;
        fs::permissions(u8(s.tftp), fs::perms::owner_all, fs::perm_options::add);
    }
}

namespace {

// A random folder of files as the editor saves them: default.cfg or not, MAC files and name
// files of every kind, values of every kind.
void randomFleet(FleetGen& gen, const std::string& dir, int count) {
    for (int i = 0; i < count; ++i)
        spit(dir + "/" + gen.name(i), normalizeConfig(gen.file(), [](Id) {}));
}

}  // namespace

// init then build over the same folder writes nothing, byte for byte, whatever the files hold.
TEST(Layers, InitThenBuildOfRandomFleetsWritesNothing) {
    for (std::uint32_t seed = 1; seed <= 40; ++seed) {
        FleetGen gen(seed);
        TempDir work;
        const std::string tftp = work / "tftp", src = work / "src";
        fs::create_directory(u8(tftp));
        randomFleet(gen, tftp, 1 + gen.upTo(15));
        const Result init = runCli({"init", src, "--from", tftp});
        ASSERT_EQ(init.code, 0) << "seed " << seed << ": " << init.err;
        EXPECT_EQ(init.err, "") << "seed " << seed;
        const auto before = tree(u8(tftp));
        const Result dry = runCli({"build", src, "-d", tftp, "--dry-run"});
        EXPECT_EQ(dry.code, 0) << "seed " << seed << ": " << dry.err;
        std::string same;
        for (const auto& [name, bytes] : before)
            if (name != "default.cfg") same += "same " + name + "\n";
        if (before.contains("default.cfg")) same = "same default.cfg\n" + same;
        EXPECT_EQ(dry.out, same) << "seed " << seed;
        const Result build = runCli({"build", src, "-d", tftp});
        EXPECT_EQ(build.code, 0) << "seed " << seed << ": " << build.err;
        EXPECT_EQ(tree(u8(tftp)), before) << "seed " << seed;
    }
}

// init keeps default.cfg as it is and names every file that build would rewrite, because it is
// not as the editor saves it; the build then writes those without --force (the manifest knows
// them). A lower-case twin of a MAC file is left out; an existing source is kept unless --force.
TEST(Layers, InitNamesWhatBuildWouldRewriteAndKeepsSources) {
    TempDir work;
    const std::string tftp = work / "tftp", src = work / "src";
    fs::create_directory(u8(tftp));
    const std::string common = "USERN='guest'\nVOLUME='50'\n";
    const auto saved = [](std::string_view bytes) { return normalizeConfig(bytes, [](Id) {}); };
    spit(tftp + "/default.cfg", common);
    spit(tftp + "/kassa01.cfg", saved("USERN='-'\nMNAME='k1'\n"));
    spit(tftp + "/AA^BB^CC^DD^EE^01.cfg", saved("IP='10.0.0.5'\n"));
#ifndef _WIN32
    spit(tftp + "/aa^bb^cc^dd^ee^01.cfg", saved("IP='10.0.0.6'\n"));
#endif
    const Result init = runCli({"init", src, "--from", tftp});
    ASSERT_EQ(init.code, 0) << init.err;
    EXPECT_EQ(slurp(src + "/default.cfg"), common);
    std::string says = "orbcfg-cli: " + tftp +
                       "/default.cfg is not as the editor saves it: build will rewrite it\n";
#ifndef _WIN32
    says = "orbcfg-cli: " + tftp +
           "/aa^bb^cc^dd^ee^01.cfg is left out: aa^bb^cc^dd^ee^01.cfg is the terminal of row 2 "
           "too (AA^BB^CC^DD^EE^01.cfg)\n" +
           says;
#endif
    EXPECT_EQ(init.err, says);
    EXPECT_EQ(slurp(src + "/devices.csv"),
              "file,groups,USERN,MNAME,IP,VOLUME\r\n"
              "AA^BB^CC^DD^EE^01.cfg,,-,,10.0.0.5,-\r\n"
              "kassa01.cfg,,'-,k1,,-\r\n");
    EXPECT_TRUE(fs::is_directory(u8(src + "/groups")));
    const Result dry = runCli({"build", src, "-d", tftp, "--dry-run"});
    EXPECT_EQ(dry.code, 0) << dry.err;
    EXPECT_NE(dry.out.find("changed default.cfg\n"), std::string::npos) << dry.out;
    const Result again = runCli({"init", src, "--from", tftp});
    EXPECT_EQ(again.code, 2);
    EXPECT_NE(again.err.find("holds a source already; --force replaces it"), std::string::npos);
    EXPECT_EQ(runCli({"init", src, "--from", tftp, "--force"}).code, 0);
    const Result inside = runCli({"init", tftp + "/src", "--from", tftp});
    EXPECT_EQ(inside.code, 2);
    EXPECT_NE(inside.err.find("overlap"), std::string::npos) << inside.err;
    EXPECT_FALSE(fs::exists(u8(tftp + "/src")));
}

// lint SRC: the layers' own findings, every refusal of the device list with its row and column,
// and what the built files share (the row of each), in row order.
TEST(Layers, LintOfASourceGolden) {
    TempDir work;
    fs::copy(kData / "bad", work.path() / "bad", fs::copy_options::recursive);
    const std::string bad = work / "bad";
    const Result text = runCli({"lint", bad});
    EXPECT_EQ(text.code, 1) << text.err;
    EXPECT_EQ(text.out, golden("lint-bad.txt"));
    const Result json = runCli({"lint", bad, "--format", "json"});
    EXPECT_EQ(json.code, 1);
    EXPECT_EQ(json.out, golden("lint-bad.json"));
    EXPECT_EQ(runCli({"lint", bad, "-r"}).code, 2);
    // The golden source is clean.
    Sandbox s;
    const Result clean = runCli({"lint", s.src});
    EXPECT_EQ(clean.code, 0) << clean.out;
    EXPECT_EQ(clean.out, "");
    fs::create_directory(u8(s.src + "/groups/x.cfg"));
    const Result unreadable = runCli({"lint", s.src});
    EXPECT_EQ(unreadable.code, 2);
    EXPECT_TRUE(unreadable.out.starts_with("groups/x.cfg: unreadable: cannot read groups/x.cfg: "))
        << unreadable.out;
}

namespace {

// A value every check passes.
std::string validValue(FleetGen& gen, const Param& p) {
    if (p.kind == Kind::Switch) return gen.upTo(1) ? "on" : "off";
    if (p.kind == Kind::Choice)
        return std::string(
            p.table[static_cast<std::size_t>(gen.upTo(static_cast<int>(p.table.size()) - 1))]
                .value);
    if (p.check == Check::Number) return std::to_string(gen.upTo(999));
    if (p.check != Check::Any) return "10.0." + std::to_string(gen.upTo(255)) + ".1";
    return gen.text();
}

const Param& randomKey(FleetGen& gen) {
    const auto keys = controlOrder();
    return param(keys[static_cast<std::size_t>(gen.upTo(static_cast<int>(keys.size()) - 1))]);
}

std::string layerFile(FleetGen& gen, fleet::Settings& settings) {
    MemoryStore store;
    std::vector<Change> changes;
    for (int n = gen.upTo(12); n > 0; --n) {
        const Param& p = randomKey(gen);
        changes.push_back({lookup(p.key), validValue(gen, p)});
    }
    const Edit edit = applyChanges(store, changes);
    settings = fleet::settingsOf(store, [](Id) {});
    return WriteConfig(edit.table);
}

}  // namespace

// The merge of random layers, against a plain model of it: per parameter the last layer that
// sets or unsets it wins. explain names that layer and value for every parameter of every
// device, and the layers it overrides.
TEST(Layers, MergeOfRandomLayersIsTheLastLayerPerParameter) {
    for (std::uint32_t seed = 1; seed <= 30; ++seed) {
        FleetGen gen(seed);
        std::map<Id, std::string> common;
        fleet::Settings settings;
        std::optional<layers::Layer> commonLayer =
            layers::layerOf("default.cfg", {}, layerFile(gen, settings));
        EXPECT_EQ(commonLayer->settings, settings);
        for (const auto& s : settings) common[s.id] = s.value;
        std::vector<layers::Layer> groups;
        std::vector<std::map<Id, std::string>> groupValues;
        for (int g = 0, n = 1 + gen.upTo(3); g < n; ++g) {
            const std::string name = "g" + std::to_string(g);
            groups.push_back(
                layers::layerOf("groups/" + name + ".cfg", name, layerFile(gen, settings)));
            groupValues.emplace_back();
            for (const auto& s : settings) groupValues.back()[s.id] = s.value;
        }
        // Rows of random groups and cells: a value, the empty text, or "-".
        std::vector<Id> columns;
        std::string csv = "name,groups";
        for (int k = gen.upTo(8); k > 0; --k) {
            const Id id = lookup(randomKey(gen).key);
            if (std::find(columns.begin(), columns.end(), id) != columns.end()) continue;
            columns.push_back(id);
            csv += "," + std::string(param(id).key);
        }
        csv += "\n";
        std::vector<std::map<Id, std::optional<std::string>>> expected;
        for (int row = 0, rows = 1 + gen.upTo(6); row < rows; ++row) {
            std::map<Id, std::optional<std::string>> values(common.begin(), common.end());
            std::string line = "t" + std::to_string(row) + ",";
            std::set<int> named;
            for (int k = gen.upTo(3); k > 0; --k) {
                const int g = gen.upTo(static_cast<int>(groups.size()) - 1);
                if (!named.insert(g).second) continue;
                line += (k % 2 ? " " : "|") + groups[static_cast<std::size_t>(g)].name;
                for (const auto& [id, v] : groupValues[static_cast<std::size_t>(g)]) values[id] = v;
            }
            for (Id id : columns) {
                line += ",";
                const int what = gen.upTo(3);
                if (what == 0) continue;  // inherits
                if (what == 1) {
                    line += "-";
                    values[id] = std::nullopt;
                    continue;
                }
                const std::string v = validValue(gen, param(id));
                if (v.empty()) {
                    line += "''";
                } else {
                    csv::appendMarkedField(line, v);
                }
                values[id] = v;
            }
            csv += line + "\n";
            expected.push_back(std::move(values));
        }
        const layers::Loaded loaded = layers::readDevices(csv, commonLayer, groups);
        ASSERT_TRUE(loaded.refusals.empty())
            << "seed " << seed << ": " << fleet::reasonText(loaded.refusals.front()) << "\n"
            << csv;
        ASSERT_EQ(loaded.source.devices.size(), expected.size());
        // The files a build makes many at a time are the ones made one by one.
        std::vector<std::string> many(expected.size());
        layers::forEachBuilt(loaded.source,
                             [&](std::size_t d, layers::BuiltFile& f) { many[d] = f.bytes; });
        for (std::size_t d = 0; d < expected.size(); ++d) {
            const layers::BuiltFile built = layers::buildDevice(loaded.source, d);
            ASSERT_FALSE(built.refusal) << "seed " << seed;
            EXPECT_TRUE(built.reset.empty()) << "seed " << seed;
            std::map<Id, std::string> got, want;
            for (const auto& s : built.settings) got[s.id] = s.value;
            for (const auto& [id, v] : expected[d])
                if (v) want[id] = *v;
            EXPECT_EQ(got, want) << "seed " << seed << ", row " << d + 2 << "\n" << csv;
            EXPECT_EQ(fleet::settingsOf(built.bytes, [](Id) {}), built.settings);
            EXPECT_EQ(many[d], built.bytes) << "seed " << seed << ", row " << d + 2;
            // explain: the same states, with and without the built file.
            for (const auto* withBuilt :
                 {&built.settings, static_cast<const fleet::Settings*>(nullptr)}) {
                std::map<Id, std::optional<std::string>> told;
                for (const layers::Explained& e : layers::explain(loaded.source, d, withBuilt))
                    told[e.id] = e.value;
                std::map<Id, std::optional<std::string>> all(expected[d].begin(),
                                                             expected[d].end());
                EXPECT_EQ(told, all) << "seed " << seed << ", row " << d + 2;
            }
        }
    }
}

// What the fleet window does: a source in memory, one group's unsaved bytes put in its place,
// and the plan previewed: only that group's members change, nothing is written.
TEST(Layers, APlanOverAnEditedGroupPreviewsItsMembersOnly) {
    Sandbox s;
    ASSERT_EQ(s.build().code, 0);
    const auto read = [](const std::string& path, std::string& error) {
        return fleet::readFolderFile(path, error, fleet::englishReason);
    };
    layers::Loaded loaded = layers::loadSource(s.src, read);
    ASSERT_TRUE(loaded.refusals.empty());
    layers::Source& source = loaded.source;
    ASSERT_EQ(source.groups.size(), 3u);
    ASSERT_EQ(source.groups[2].name, "sklad");  // by name: kassa, night, sklad
    source.groups[2] = layers::layerOf("groups/sklad.cfg", "sklad", "USERN='store'\r\n");
    std::string error;
    const auto manifest = layers::readManifest(s.src, read, error);
    ASSERT_TRUE(manifest) << error;
    const auto before = tree(s.dir.path());
    const layers::BuildPlan plan = layers::planBuild(source, s.tftp, *manifest, read, {});
    EXPECT_TRUE(plan.write.refusals.empty());
    ASSERT_EQ(plan.write.targets.size(), 6u);
    for (std::size_t k = 0; k < plan.write.targets.size(); ++k) {
        const bool member = plan.write.targets[k].file == "00^1A^2B^3C^4D^04.cfg";
        EXPECT_EQ(plan.built[k].status, member ? layers::Status::Changed : layers::Status::Same)
            << plan.write.targets[k].file;
    }
    EXPECT_EQ(tree(s.dir.path()), before);
    // The explanation of every device is there without building any.
    for (std::size_t d = 0; d < source.devices.size(); ++d)
        EXPECT_FALSE(layers::explain(source, d).empty());
    const auto sklad = layers::explain(source, 3);
    EXPECT_EQ(sklad[0].id, lookup("USERN"));
    ASSERT_EQ(sklad[0].overrides.size(), 2u);
    EXPECT_EQ(sklad[0].overrides[0].value, "store");
}

// The manifest's text and its refusals; a failed batch leaves the manifest as it was and puts
// back what it renamed.
TEST(Layers, ManifestAndAFailedWrite) {
    layers::Manifest m;
    m.folder = "/srv/tftp";
    m.hashes["b.cfg"] = std::string(64, 'b');
    m.hashes["a b.cfg"] = std::string(64, 'a');
    const std::string text = layers::manifestText(m);
    EXPECT_EQ(text, "/srv/tftp\n" + std::string(64, 'a') + "  a b.cfg\n" + std::string(64, 'b') +
                        "  b.cfg\n");
    const auto back = layers::parseManifest(text);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->folder, m.folder);
    EXPECT_EQ(back->hashes, m.hashes);
    const std::vector<std::string> bad = {"", "\n", "/x\nzz  a.cfg\n",
                                          "/x\n" + std::string(64, 'A') + "  a.cfg",
                                          "/x\n" + std::string(64, 'a') + " a.cfg"};
    for (const std::string& b : bad) EXPECT_FALSE(layers::parseManifest(b)) << b;

    Sandbox s;
    ASSERT_EQ(s.build().code, 0);
    spit(s.src + "/groups/kassa.cfg", "USERN='k'\r\n");
    const auto before = tree(s.dir.path());
    int renames = 0;
    fileio::seam::setHook([&](fileio::seam::Step step, std::size_t&) {
        return step == fileio::seam::Step::Rename && ++renames == 2 ? 28 : 0;  // ENOSPC
    });
    const Result r = s.build();
    fileio::seam::setHook({});
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("cannot write"), std::string::npos) << r.err;
    EXPECT_EQ(tree(s.dir.path()), before);
}
