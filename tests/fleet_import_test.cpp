// orbcfg-cli import: the files it writes, its plans, links, other writers, signals, failed
// writes and refusals, each leaving the folder as it was.
#include <csignal>
#include <filesystem>
#include <map>
#include <random>

#include "fileio/fileio.h"
#include "model/catalogue.h"
#include "model/fleet.h"
#include "model/fleet_disk.h"
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
