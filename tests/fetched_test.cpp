// The requests of a log folded by terminal, and the flags against the fleet's folder.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/fetched.h"

using namespace orbex::fetched;
using orbex::tftplog::Event;
using orbex::tftplog::parseRfc3339;

namespace {

// Events as a parser gives them, each on a line of its own.
class Log {
  public:
    explicit Log(std::optional<Time> since = std::nullopt) : collector_(since) {}
    Log& add(std::string_view when, std::string_view address, std::string_view file,
             Outcome outcome, Format format = Format::TftpdHpa, bool fullPath = false,
             std::string_view asked = {}) {
        Event e;
        EXPECT_GT(parseRfc3339(when, e.time), 0u) << when;
        e.line = ++line_;
        e.format = format;
        e.outcome = outcome;
        e.address = address;
        e.file = file;
        e.asked = asked;
        e.fullPath = fullPath;
        collector_.add(e);
        return *this;
    }
    Report report(const Folder* folder = nullptr) const { return collector_.report(folder); }

  private:
    Collector collector_;
    std::uint64_t line_ = 0;
};

const Terminal* terminal(const Report& r, std::string_view address) {
    for (const Terminal& t : r.terminals)
        if (t.address == address) return &t;
    return nullptr;
}

std::vector<std::string> flagsText(const Report& r) {
    std::vector<std::string> out;
    for (const Flag& f : r.flags) {
        std::string s(flagName(f.code));
        for (const std::string* p : {&f.address, &f.mac, &f.got, &f.shouldHave, &f.asked, &f.file})
            s += " [" + *p + "]";
        if (f.count) s += " " + std::to_string(f.count);
        out.push_back(s);
    }
    return out;
}

Folder fleetFolder() {
    Folder f;
    f.files = {"AA^BB^CC^00^00^01.cfg", "AA^BB^CC^00^00^02.cfg", "bad^name.cfg",
               "default.cfg",           "kassa01.cfg",           "never.cfg"};
    f.path = {"srv", "tftp"};
    f.findings = {{"kassa01.cfg", 2}, {"never.cfg", 1}};
    return f;
}

}  // namespace

TEST(FetchedReport, RepeatsFoldIntoOneRequest) {
    Log log;
    // A terminal that boots every day: what is kept is its few files, not its days.
    for (int day = 1; day <= 28; ++day) {
        const std::string d = (day < 10 ? "2026-12-0" : "2026-12-") + std::to_string(day);
        log.add(d + "T06:00:01Z", "10.0.0.1", "AA^BB^CC^00^00^09.cfg", Outcome::Missing)
            .add(d + "T06:00:01Z", "10.0.0.1", "kassa09.cfg", Outcome::Missing)
            .add(d + "T06:00:01Z", "10.0.0.1", "default.cfg", Outcome::Served)
            .add(d + "T06:00:02Z", "10.0.0.1", "pxelinux.0", Outcome::Served);
    }
    const Report r = log.report();
    ASSERT_EQ(r.terminals.size(), 1u);
    const Terminal& t = r.terminals[0];
    ASSERT_EQ(t.requests.size(), 3u);  // configuration files only
    // One second for all three: the order of the lines orders them.
    EXPECT_EQ(t.requests[0].file, "AA^BB^CC^00^00^09.cfg");
    EXPECT_EQ(t.requests[1].file, "kassa09.cfg");
    EXPECT_EQ(t.requests[2].file, "default.cfg");
    EXPECT_EQ(t.requests[2].count, 28u);
    EXPECT_EQ(t.requests[2].first.seconds + std::int64_t{27} * 86400, t.requests[2].last.seconds);
    ASSERT_TRUE(t.endsWith);
    EXPECT_EQ(*t.endsWith, 2u);
    EXPECT_EQ(t.mac, "AA^BB^CC^00^00^09");
    EXPECT_EQ(r.requests, 28u * 3);
    EXPECT_TRUE(r.flags.empty());  // no folder, no flags
}

TEST(FetchedReport, TheFileATerminalEndsWithIsItsLastServed) {
    Log log;
    log.add("2026-12-09T06:00:01Z", "10.0.0.2", "kassa02.cfg", Outcome::Served)
        .add("2026-12-10T06:00:01Z", "10.0.0.2", "default.cfg", Outcome::Served)
        .add("2026-12-11T06:00:01Z", "10.0.0.2", "kassa02.cfg", Outcome::Failed)
        .add("2026-12-08T06:00:01Z", "10.0.0.1", "a.cfg", Outcome::Missing)
        .add("2026-12-08T06:00:01Z", "fe80::1", "a.cfg", Outcome::Missing)
        .add("2026-12-08T06:00:01Z", "10.0.0.10", "a.cfg", Outcome::Missing);
    const Report r = log.report();
    // By address, IPv4 by number.
    ASSERT_EQ(r.terminals.size(), 4u);
    EXPECT_EQ(r.terminals[0].address, "10.0.0.1");
    EXPECT_EQ(r.terminals[1].address, "10.0.0.2");
    EXPECT_EQ(r.terminals[2].address, "10.0.0.10");
    EXPECT_EQ(r.terminals[3].address, "fe80::1");
    const Terminal& t = r.terminals[1];
    ASSERT_TRUE(t.endsWith);
    EXPECT_EQ(t.requests[*t.endsWith].file, "default.cfg");  // the failed fetch got nothing
    EXPECT_FALSE(r.terminals[0].endsWith);
}

TEST(FetchedReport, FlagsAgainstTheFolder) {
    Log log;
    // Asks for its MAC file in lower case and falls back, while the folder has it in upper.
    log.add("2026-12-09T06:00:01Z", "10.0.0.1", "aa^bb^cc^00^00^01.cfg", Outcome::Missing)
        .add("2026-12-09T06:00:01Z", "10.0.0.1", "kassa11.cfg", Outcome::Missing)
        .add("2026-12-09T06:00:01Z", "10.0.0.1", "default.cfg", Outcome::Served)
        // Gets its MAC file, by the full path of a server without -s.
        .add("2026-12-09T06:00:02Z", "10.0.0.2", "srv/tftp/AA^BB^CC^00^00^01.cfg", Outcome::Served)
        // A name file that is not there is the terminal's fallback, no flag; one with findings.
        .add("2026-12-09T06:00:03Z", "10.0.0.3", "kassa03.cfg", Outcome::Missing)
        .add("2026-12-09T06:00:03Z", "10.0.0.3", "tftp/kassa01.cfg", Outcome::Served)
        // Files no terminal asks for: outside the folder, a MAC name broken, no computer name.
        .add("2026-12-09T06:00:04Z", "10.0.0.4", "other/kassa01.cfg", Outcome::Missing)
        .add("2026-12-09T06:00:04Z", "10.0.0.4", "AA^BB.cfg", Outcome::Missing)
        .add("2026-12-09T06:00:04Z", "10.0.0.4", " kassa.cfg", Outcome::Missing)
        .add("2026-12-09T06:00:05Z", "10.0.0.4", "AA^BB.cfg", Outcome::Failed);
    const Folder folder = fleetFolder();
    const Report r = log.report(&folder);
    EXPECT_EQ(flagsText(r),
              (std::vector<std::string>{
                  std::string("fell-back [10.0.0.1] [AA^BB^CC^00^00^01] ") +
                      "[default.cfg] [AA^BB^CC^00^00^01.cfg] " + "[aa^bb^cc^00^00^01.cfg] []",
                  "unknown-request [10.0.0.4] [] [] [] [] [other/kassa01.cfg]",
                  "unknown-request [10.0.0.4] [] [] [] [] [AA^BB.cfg]",
                  "unknown-request [10.0.0.4] [] [] [] [] [ kassa.cfg]",
                  "served-with-findings [] [] [] [] [] [kassa01.cfg] 2",
                  "never-fetched [] [] [] [] [] [AA^BB^CC^00^00^02.cfg]",
                  "never-fetched [] [] [] [] [] [never.cfg]",
              }));
    EXPECT_EQ(terminal(r, "10.0.0.2")->requests[0].file, "AA^BB^CC^00^00^01.cfg");

    // Each file of the folder as a window's row shows it.
    ASSERT_EQ(r.files.size(), folder.files.size());
    const FileUse& mac = r.files[0];
    EXPECT_EQ(mac.file, "AA^BB^CC^00^00^01.cfg");
    EXPECT_EQ(mac.lastAddress, "10.0.0.2");
    EXPECT_EQ(mac.lastOutcome, Outcome::Served);
    ASSERT_EQ(mac.fellBack.size(), 1u);
    EXPECT_EQ(mac.fellBack[0].address, "10.0.0.1");
    EXPECT_EQ(mac.fellBack[0].got, "default.cfg");
    EXPECT_TRUE(r.files[1].neverFetched);
    EXPECT_FALSE(r.files[1].lastAsked);
    const FileUse& kassa = r.files[4];
    EXPECT_EQ(kassa.file, "kassa01.cfg");
    EXPECT_EQ(kassa.findings, 2u);
    EXPECT_EQ(kassa.lastAddress, "10.0.0.3");  // not 10.0.0.4's: that one lies elsewhere
    EXPECT_TRUE(r.files[5].neverFetched);
    EXPECT_EQ(r.files[5].findings, 0u);  // lint's findings count for a file that was served
}

// A log that holds no request spans no time: no file is flagged as never fetched in it.
TEST(FetchedReport, ALogWithoutRequestsFlagsNothing) {
    const Folder folder = fleetFolder();
    const Report r = Log().report(&folder);
    EXPECT_TRUE(r.flags.empty());
    for (const FileUse& u : r.files) EXPECT_FALSE(u.neverFetched) << u.file;
}

TEST(FetchedReport, RequestsWithoutAnAddressAreTiedByTheirMac) {
    Log log;
    // Older dnsmasq names no address for a missing file.
    log.add("2026-12-09T06:00:01Z", "", "00^1a^2b^3c^4d^01.cfg", Outcome::Missing, Format::Dnsmasq)
        .add("2026-12-10T06:00:01Z", "10.0.0.1", "00^1A^2B^3C^4D^01.cfg", Outcome::Served,
             Format::Dnsmasq)
        // Two terminals of one MAC: the request is neither's.
        .add("2026-12-09T06:00:02Z", "", "00^1A^2B^3C^4D^02.cfg", Outcome::Missing, Format::Dnsmasq)
        .add("2026-12-10T06:00:02Z", "10.0.0.2", "00^1A^2B^3C^4D^02.cfg", Outcome::Served,
             Format::Dnsmasq)
        .add("2026-12-10T06:00:03Z", "10.0.0.3", "00^1A^2B^3C^4D^02.cfg", Outcome::Served,
             Format::Dnsmasq)
        // A MAC the folder holds, of no terminal with an address.
        .add("2026-12-09T06:00:04Z", "", "aa^bb^cc^00^00^02.cfg", Outcome::Missing, Format::Dnsmasq)
        // A name file ties to nobody.
        .add("2026-12-09T06:00:05Z", "", "kassa05.cfg", Outcome::Missing, Format::Dnsmasq);
    const Folder folder = fleetFolder();
    const Report r = log.report(&folder);
    ASSERT_EQ(r.terminals.size(), 5u);
    const Terminal* one = terminal(r, "10.0.0.1");
    ASSERT_EQ(one->requests.size(), 2u);
    EXPECT_EQ(one->requests[0].file, "00^1a^2b^3c^4d^01.cfg");
    EXPECT_EQ(terminal(r, "10.0.0.2")->requests.size(), 1u);
    EXPECT_EQ(r.terminals[3].address, "");
    EXPECT_EQ(r.terminals[3].mac, "00^1A^2B^3C^4D^02");
    EXPECT_EQ(r.terminals[4].mac, "AA^BB^CC^00^00^02");
    ASSERT_EQ(r.untied.size(), 1u);
    EXPECT_EQ(r.untied[0].file, "kassa05.cfg");
    ASSERT_FALSE(r.flags.empty());
    const Flag& f = r.flags[0];
    EXPECT_EQ(f.code, FlagCode::FellBack);
    EXPECT_TRUE(f.noAddress);
    EXPECT_EQ(f.shouldHave, "AA^BB^CC^00^00^02.cfg");
    EXPECT_EQ(f.got, "");
}

TEST(FetchedReport, TheServersRootIsTakenOffItsPaths) {
    Log log;
    log.add("2026-12-09T06:00:01Z", "10.0.0.1", "srv/tftp/a.cfg", Outcome::Served, Format::Dnsmasq,
            true)
        .add("2026-12-09T06:00:02Z", "10.0.0.1", "srv/tftp/conf/b.cfg", Outcome::Served,
             Format::Dnsmasq, true)
        .add("2026-12-09T06:00:03Z", "10.0.0.1", "srv/c.cfg", Outcome::Missing, Format::TftpdHpa);
    Report r = log.report();
    ASSERT_EQ(r.terminals[0].requests.size(), 3u);
    EXPECT_EQ(r.terminals[0].requests[0].file, "a.cfg");
    EXPECT_EQ(r.terminals[0].requests[1].file, "conf/b.cfg");
    EXPECT_EQ(r.terminals[0].requests[2].file, "srv/c.cfg");  // not a full path of dnsmasq's

    // The folder's own path places a full path where the common root would not.
    Folder folder;
    folder.files = {"b.cfg"};
    folder.path = {"srv", "tftp", "conf"};
    r = log.report(&folder);
    EXPECT_EQ(r.terminals[0].requests[1].file, "b.cfg");
    EXPECT_EQ(r.terminals[0].requests[1].inFolder, "b.cfg");
    EXPECT_FALSE(r.terminals[0].requests[0].inFolder);
}

TEST(FetchedReport, WindowsServersFindFilesInAnyCase) {
    Log log;
    log.add("2026-12-09T06:00:01Z", "10.0.0.1", "KASSA01.cfg", Outcome::Served, Format::Tftpd64)
        .add("2026-12-09T06:00:01Z", "10.0.0.2", "KASSA01.cfg", Outcome::Missing, Format::TftpdHpa);
    const Folder folder = fleetFolder();
    const Report r = log.report(&folder);
    EXPECT_EQ(r.terminals[0].requests[0].inFolder, "kassa01.cfg");
    EXPECT_FALSE(r.terminals[1].requests[0].inFolder);
}

TEST(FetchedReport, SinceLeavesOutWhatCameBefore) {
    Time since;
    ASSERT_GT(parseRfc3339("2026-12-10T00:00:00Z", since), 0u);
    Log log(since);
    log.add("2026-12-09T23:59:59Z", "10.0.0.1", "kassa01.cfg", Outcome::Served)
        .add("2026-12-10T00:00:00Z", "10.0.0.2", "kassa01.cfg", Outcome::Served);
    const Folder folder = fleetFolder();
    const Report r = log.report(&folder);
    ASSERT_EQ(r.terminals.size(), 1u);
    EXPECT_EQ(r.terminals[0].address, "10.0.0.2");
    EXPECT_EQ(r.requests, 1u);
}
