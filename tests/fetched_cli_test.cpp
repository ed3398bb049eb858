// orbcfg-cli fetched over the logs of tests/data/tftplog (their golden outputs beside them),
// and over the log of a real dnsmasq that a real client fetched from.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <regex>
#include <sstream>
#include <thread>

#ifndef _WIN32
#include <unistd.h>
#endif

#include "tests/cli_support.h"
#include "tests/tftplog_support.h"

using namespace orbex;
using namespace orbex::testing;
namespace fs = std::filesystem;

namespace {

const fs::path kLogs = fs::path(ORBCFG_TEST_DATA) / "tftplog";

std::string log(std::string_view name) {
    return utf8Of(kLogs / name);
}

}  // namespace

TEST(Fetched, GoldenOutputs) {
    const LogClock clock;
    const std::string dir = log("tftp");
    struct Case {
        std::vector<std::string> logs;
        std::string format, expected;
    };
    const Case cases[] = {
        {{log("hpa.log.1.gz"), log("hpa.log")}, "text", "hpa.txt"},
        {{log("hpa.log.1.gz"), log("hpa.log")}, "json", "hpa.json"},
        {{log("dnsmasq.log"), log("dnsmasq-file.log")}, "text", "dnsmasq.txt"},
        {{log("dnsmasq.log"), log("dnsmasq-file.log")}, "json", "dnsmasq.json"},
        {{log("tftpd64.log")}, "text", "tftpd64.txt"},
        {{log("tftpd64.log")}, "csv", "tftpd64.csv"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args{"fetched"};
        args.insert(args.end(), c.logs.begin(), c.logs.end());
        args.insert(args.end(), {"-d", dir, "--format", c.format});
        const Result r = runCli(args);
        EXPECT_EQ(r.code, 1) << c.expected << "\n" << r.err;  // each has something flagged
        EXPECT_EQ(r.err, "") << c.expected;
        EXPECT_EQ(r.out, slurp(kLogs / c.expected)) << c.expected;
    }
}

TEST(Fetched, InputsAndExitCodes) {
    const LogClock clock;
    // Nothing flagged without a folder; the rotated log read as gzip by its bytes, whatever
    // its name, and a plain log named .gz read plain.
    TempDir tmp;
    fs::copy_file(kLogs / "hpa.log.1.gz", tmp.path() / "rotated.log");
    fs::copy_file(kLogs / "hpa.log", tmp.path() / "plain.gz");
    const Result both = runCli({"fetched", tmp / "rotated.log", tmp / "plain.gz"});
    EXPECT_EQ(both.code, 0) << both.err;
    EXPECT_EQ(both.out, runCli({"fetched", log("hpa.log.1.gz"), log("hpa.log")}).out);
    EXPECT_NE(both.out.find("3 times from 2026-12-08 06:00:02"), std::string::npos) << both.out;

    // Standard input, plain or compressed.
    const Result in = runCli({"fetched", "-"}, slurp(kLogs / "hpa.log"));
    EXPECT_EQ(in.code, 0);
    EXPECT_EQ(in.out, runCli({"fetched", log("hpa.log")}).out);
    EXPECT_EQ(runCli({"fetched", "-", log("hpa.log")}, slurp(kLogs / "hpa.log.1.gz")).out,
              both.out);

    // A log that cannot be read: one line, exit 2, nothing on standard output.
    const std::string gz = slurp(kLogs / "hpa.log.1.gz");
    spit(tmp / "cut.gz", gz.substr(0, gz.size() - 9));
    spit(tmp / "garbage.gz", gz + "garbage");
    spit(tmp / "flipped.gz", gz.substr(0, 20) + "\xff\xff\xff" + gz.substr(23));
    for (const auto& [file, reason] : std::vector<std::pair<std::string, std::string>>{
             {tmp / "missing.log", "No such file or directory"},
             {tmp / "cut.gz", "corrupt gzip data: unexpected end of the compressed data"},
             {tmp / "garbage.gz", "corrupt gzip data: data after the end of the compressed stream"},
             {tmp / "flipped.gz", "corrupt gzip data: "}}) {
        const Result r = runCli({"fetched", log("hpa.log"), file});
        EXPECT_EQ(r.code, 2) << file;
        EXPECT_EQ(r.out, "") << file;
        EXPECT_EQ(r.err.rfind("orbcfg-cli: cannot read '" + file + "': " + reason, 0), 0u) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    }
    // Zero bytes after the last member are padding.
    spit(tmp / "padded.gz", gz + std::string(512, '\0'));
    EXPECT_EQ(runCli({"fetched", tmp / "padded.gz"}).code, 0);

    // Bad command lines.
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"fetched"},
             {"fetched", "-", "-"},
             {"fetched", log("hpa.log"), "--format", "xml"},
             {"fetched", log("hpa.log"), "--since", "yesterday"},
             {"fetched", log("hpa.log"), "--format-of-log", "syslog"},
             {"fetched", log("hpa.log"), "-d", tmp / "no-such-folder"}}) {
        const Result r = runCli(args);
        EXPECT_EQ(r.code, 2) << args.back();
        EXPECT_EQ(r.out, "") << args.back();
    }
}

TEST(Fetched, SinceFormatOfLogAndNotes) {
    const LogClock clock;
    const std::string dir = log("tftp");
    Result r = runCli({"fetched", log("hpa.log"), "--since", "2026-12-10"});
    EXPECT_EQ(r.out.find("2026-12-09"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("10.0.5.12"), std::string::npos);
    // Told the format, the tool takes no other server's lines.
    r = runCli({"fetched", log("hpa.log"), log("tftpd64.log"), "--format-of-log", "tftpd64"});
    EXPECT_EQ(r.out, runCli({"fetched", log("tftpd64.log")}).out);
    // tftpd-hpa without -vv logs no NAK: every request reads as served, and the tool says so.
    r = runCli({"fetched", "-"},
               "Dec  9 06:00:02 srv in.tftpd[1201]: RRQ from 10.0.5.11 filename a.cfg\n");
    EXPECT_EQ(r.code, 0);
    EXPECT_NE(r.err.find("logs a missing file only with -vv"), std::string::npos) << r.err;
    r = runCli({"fetched", "-"}, "Dec  9 06:00:02 srv CRON[1]: nothing\n");
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("no line of tftpd-hpa, dnsmasq or Tftpd64"), std::string::npos);
}

#ifndef _WIN32
namespace {

bool installed(const std::string& program) {
    return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

}  // namespace

// A real dnsmasq on the loopback, fetched from by curl as terminals would: its MAC file; a MAC
// file that is not there, then default.cfg. Its TFTP server listens on port 69 alone, which
// takes root (or the capability to bind it).
TEST(Fetched, RealDnsmasqLog) {
    if (!installed("dnsmasq") || !installed("curl"))
        GTEST_SKIP() << "dnsmasq (Debian's dnsmasq-base) and curl are needed";
    TempDir tmp;
    const fs::path root = tmp.path() / "tftp";
    fs::create_directories(root);
    spit(root / "AA^BB^CC^00^00^01.cfg", "\xEF\xBB\xBFMNAME='kassa01'\r\n");
    spit(root / "AA^BB^CC^00^00^02.cfg", "\xEF\xBB\xBFMNAME='kassa02'\r\n");
    spit(root / "default.cfg", "\xEF\xBB\xBFTSERV='10.0.0.2'\r\n");
    // dnsmasq running as root serves world-readable files only.
    fs::permissions(tmp.path(), fs::perms::owner_all | fs::perms::others_exec |
                                    fs::perms::group_exec | fs::perms::others_read);
    fs::permissions(root, fs::perms::owner_all | fs::perms::others_exec | fs::perms::others_read);
    for (const auto& e : fs::directory_iterator(root))
        fs::permissions(e.path(), fs::perms::owner_read | fs::perms::owner_write |
                                      fs::perms::others_read | fs::perms::group_read);
    const std::string logFile = tmp / "dnsmasq.log";
    const std::string pidFile = tmp / "dnsmasq.pid";
    const std::string start =
        "dnsmasq --port=0 --enable-tftp --tftp-root=" + utf8Of(root) +
        " --listen-address=127.0.0.1 --bind-interfaces --conf-file=/dev/null --user=" +
        (::geteuid() == 0 ? "root" : "\"$(id -un)\"") + " --log-facility=" + logFile +
        " --pid-file=" + pidFile + " 2>" + (tmp / "dnsmasq.err");
    if (std::system(start.c_str()) != 0)
        GTEST_SKIP() << "dnsmasq did not start (TFTP's port 69 takes root): "
                     << slurp(tmp / "dnsmasq.err");
    struct Stop {
        std::string pidFile;
        ~Stop() {
            if (std::system(("kill \"$(cat " + pidFile + ")\" 2>/dev/null").c_str()) != 0) {
            }
        }
    } stop{pidFile};
    for (int i = 0; i < 50 && slurp(logFile).find("TFTP root is") == std::string::npos; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    // Each terminal from an address of its own.
    const auto fetch = [&](const std::string& from, const std::string& file) {
        return std::system(("curl -s --max-time 10 --interface " + from + " 'tftp://127.0.0.1/" +
                            file + "' -o " + (tmp / "got"))
                               .c_str());
    };
    EXPECT_EQ(fetch("127.0.0.2", "AA^BB^CC^00^00^01.cfg"), 0);
    EXPECT_NE(fetch("127.0.0.3", "aa^bb^cc^00^00^02.cfg"), 0);
    EXPECT_EQ(fetch("127.0.0.3", "default.cfg"), 0);
    std::string text;
    for (int i = 0; i < 50; ++i) {
        text = slurp(logFile);
        if (text.find("sent " + utf8Of(root) + "/default.cfg") != std::string::npos) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    const Result r = runCli({"fetched", logFile, "-d", utf8Of(root)});
    EXPECT_EQ(r.code, 1) << r.err << text;
    EXPECT_EQ(r.err, "");
    const std::string stamp = "\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d";
    const auto lines = [](const std::string& s) {
        std::vector<std::string> out;
        std::istringstream in(s);
        for (std::string l; std::getline(in, l);) out.push_back(l);
        return out;
    };
    const std::vector<std::string> got = lines(r.out);
    const std::vector<std::string> want = {
        "127.0.0.2 (MAC AA^BB^CC^00^00^01)",
        "  TIME  served   AA^BB^CC^00^00^01.cfg",
        "  ends with AA^BB^CC^00^00^01.cfg at TIME",
        "",
        "127.0.0.3 (MAC AA^BB^CC^00^00^02)",
        "  TIME  missing  aa^bb^cc^00^00^02.cfg",
        "  TIME  served   default.cfg",
        "  ends with default.cfg at TIME",
        "",
        std::string("fell-back: 127.0.0.3 (MAC AA^BB^CC^00^00^02) ended with default.cfg, ") +
            "but the folder holds AA^BB^CC^00^00^02.cfg for its MAC (it asked for " +
            "aa^bb^cc^00^00^02.cfg)",
        // The terminal asked for its file under another spelling only.
        "never-fetched: AA^BB^CC^00^00^02.cfg was asked for by no terminal in the log",
    };
    ASSERT_EQ(got.size(), want.size()) << r.out << text;
    for (std::size_t i = 0; i < got.size(); ++i) {
        std::string line = got[i];
        // The times are now's: each stands as TIME.
        std::smatch m;
        while (std::regex_search(line, m, std::regex(stamp)))
            line.replace(m.position(), m.length(), "TIME");
        EXPECT_EQ(line, want[i]);
    }
}
#endif
