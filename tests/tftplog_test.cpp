// The logs of the TFTP servers: stamps, the lines of each server, the pending requests, lines
// cut across pieces.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "model/tftplog.h"
#include "tests/tftplog_support.h"

using namespace orbex::tftplog;
using orbex::testing::LogClock;

namespace {

struct Got {
    std::int64_t seconds = 0;
    std::uint64_t line = 0;
    Outcome outcome = Outcome::Served;
    std::string address, file, asked;
    bool fullPath = false;
    bool beforeEnd = false;  // told before the log ended
};

std::vector<Got> parse(std::string_view text, std::optional<Format> only = std::nullopt) {
    std::vector<Got> out;
    bool ended = false;
    ParserOptions options;
    options.today = {2026, 12};
    options.only = only;
    Parser parser(
        [&](const Event& e) {
            out.push_back({e.time.seconds, e.line, e.outcome, std::string(e.address),
                           std::string(e.file), std::string(e.asked), e.fullPath, !ended});
        },
        options);
    LineSplitter lines(parser);
    lines.feed(text);
    lines.finish();
    ended = true;
    parser.finish();
    return out;
}

// Seconds of a UTC moment.
std::int64_t utc(std::string_view rfc3339) {
    Time t;
    EXPECT_EQ(parseRfc3339(rfc3339, t), rfc3339.size()) << rfc3339;
    return t.seconds;
}

}  // namespace

TEST(TftpLog, YearOfAStampWithoutOne) {
    // A log rotated over New Year: December's lines read in January are of the year before.
    EXPECT_EQ(yearOfStamp(12, {2027, 1}), 2026);
    EXPECT_EQ(yearOfStamp(1, {2027, 1}), 2027);
    EXPECT_EQ(yearOfStamp(11, {2026, 12}), 2026);
    EXPECT_EQ(yearOfStamp(12, {2026, 12}), 2026);
    LogClock clock;
    LocalClock local;
    Time t;
    ASSERT_EQ(parseClassic("Dec 31 23:59:59 host", {2027, 1}, local, t), 15u);
    EXPECT_EQ(t.seconds, utc("2026-12-31T23:59:59Z"));
    ASSERT_EQ(parseClassic("Jan  1 00:00:01 host", {2027, 1}, local, t), 15u);
    EXPECT_EQ(t.seconds, utc("2027-01-01T00:00:01Z"));
}

TEST(TftpLog, StampsAndSince) {
    LogClock clock;
    Time t;
    ASSERT_EQ(parseRfc3339("2026-12-09T10:15:26.123+03:00 host", t), 29u);
    EXPECT_EQ(t.seconds, utc("2026-12-09T07:15:26Z"));
    EXPECT_EQ(t.micros, 123000);
    EXPECT_EQ(t.offset, 180);
    // Shown as the clock that wrote it showed it.
    EXPECT_EQ(timeText(t), "2026-12-09 10:15:26");
    EXPECT_EQ(timeText(t, true), "2026-12-09T10:15:26.123+03:00");
    ASSERT_EQ(parseRfc3339("2026-12-09T10:15:26-0130", t), 24u);  // journalctl -o short-iso
    EXPECT_EQ(timeText(t, true), "2026-12-09T10:15:26-01:30");
    EXPECT_EQ(t.seconds, utc("2026-12-09T11:45:26Z"));
    ASSERT_GT(parseRfc3339("2026-12-09T10:15:26.000001Z", t), 0u);
    EXPECT_EQ(timeText(t, true), "2026-12-09T10:15:26.000001+00:00");
    for (const char* bad : {"2026-12-09T10:15:26", "2026-02-30T10:15:26Z", "2026-12-09T24:00:00Z",
                            "2026-12-09 10:15Z", "Dec  9 10:15:26"}) {
        EXPECT_EQ(parseRfc3339(bad, t), 0u) << bad;
    }

    LocalClock local;
    ASSERT_EQ(parseClassic("Dec  9 10:15:26 host", {2026, 12}, local, t), 15u);
    EXPECT_EQ(t.seconds, utc("2026-12-09T10:15:26Z"));
    ASSERT_EQ(parseClassic("Dec 09 10:15:26 host", {2026, 12}, local, t), 15u);
    EXPECT_EQ(t.seconds, utc("2026-12-09T10:15:26Z"));
    for (const char* bad : {"Dex  9 10:15:26 h", "Feb 30 10:15:26 h", "Dec  9 10:15 host"})
        EXPECT_EQ(parseClassic(bad, {2026, 12}, local, t), 0u) << bad;

    EXPECT_EQ(parseSince("2026-12-09")->seconds, utc("2026-12-09T00:00:00Z"));
    EXPECT_EQ(parseSince("2026-12-09 10:15")->seconds, utc("2026-12-09T10:15:00Z"));
    EXPECT_EQ(parseSince("2026-12-09T10:15:26")->seconds, utc("2026-12-09T10:15:26Z"));
    EXPECT_EQ(parseSince("2026-12-09T10:15:26+01:00")->seconds, utc("2026-12-09T09:15:26Z"));
    for (const char* bad : {"", "2026-12-9", "yesterday", "2026-12-09 10", "2026-13-01"})
        EXPECT_FALSE(parseSince(bad)) << bad;
}

TEST(TftpLog, TftpdHpaRequestsAndTheirNaks) {
    LogClock clock;
    const auto got = parse(
        "Dec  9 06:00:01 srv in.tftpd[5]: RRQ from 10.0.0.1 filename /a.cfg\n"
        // The process id comes again: its first request had no NAK, it was served.
        "Dec  9 06:00:02 srv in.tftpd[5]: RRQ from 10.0.0.1 filename b.cfg\n"
        "Dec  9 06:00:02 srv in.tftpd[5]: sending NAK (1, File not found) to 10.0.0.1\n"
        "Dec  9 06:00:03 srv in.tftpd[6]: RRQ from 10.0.0.2 filename c.cfg\n"
        // A NAK of another process leaves process 6's request alone.
        "Dec  9 06:00:03 srv in.tftpd[7]: sending NAK (1, File not found) to 10.0.0.3\n"
        "Dec  9 06:00:04 srv in.tftpd[8]: RRQ from ::ffff:10.0.0.4 filename D.CFG remapped to "
        "d.cfg#012\n"
        "Dec  9 06:00:04 srv in.tftpd[8]: sending NAK (2, Access violation) to 10.0.0.4\n"
        "Dec  9 06:00:05 srv in.tftpd[9]: RRQ from 10.0.0.5 filename e.cfg\n"
        "Dec  9 06:00:09 srv in.tftpd[9]: tftpd: read(ack): Connection refused\n"
        "Dec  9 06:00:09 srv intftpd[10]: RRQ from 10.0.0.6 filename f.cfg\n"
        "Dec  9 06:00:09 srv in.tftpd[11]: WRQ from 10.0.0.6 filename g.cfg\n");
    ASSERT_EQ(got.size(), 5u);
    EXPECT_EQ(got[0].file, "a.cfg");
    EXPECT_EQ(got[0].outcome, Outcome::Served);
    EXPECT_EQ(got[0].line, 1u);
    EXPECT_EQ(got[1].file, "b.cfg");
    EXPECT_EQ(got[1].outcome, Outcome::Missing);
    EXPECT_EQ(got[2].file, "d.cfg");  // what the server opened; the terminal asked for D.CFG
    EXPECT_EQ(got[2].asked, "D.CFG");
    EXPECT_EQ(got[2].address, "10.0.0.4");
    EXPECT_EQ(got[2].outcome, Outcome::Failed);
    EXPECT_EQ(got[3].file, "e.cfg");
    EXPECT_EQ(got[3].outcome, Outcome::Failed);
    EXPECT_EQ(got[3].seconds, utc("2026-12-09T06:00:05Z"));  // when it was asked for
    EXPECT_EQ(got[4].file, "c.cfg");                         // pending to the end: served
    EXPECT_EQ(got[4].outcome, Outcome::Served);
    EXPECT_FALSE(got[4].beforeEnd);
}

TEST(TftpLog, PendingRequestsStayBounded) {
    LogClock clock;
    // Many requests at once, none answered: the oldest beyond the bound are told as served
    // while the log is read, not held to its end.
    std::string text;
    const std::size_t many = Parser::kMaxPending * 3;
    for (std::size_t i = 0; i < many; ++i)
        text += "Dec  9 06:00:01 srv in.tftpd[" + std::to_string(1000 + i) +
                "]: RRQ from 10.0.0.1 filename f" + std::to_string(i) + ".cfg\n";
    auto got = parse(text);
    ASSERT_EQ(got.size(), many);
    std::size_t early = 0;
    for (const Got& g : got) early += g.beforeEnd;
    EXPECT_EQ(early, many - Parser::kMaxPending);
    EXPECT_EQ(got.front().file, "f0.cfg");  // the oldest first

    // A quiet while of the log closes a request too.
    got = parse(
        "Dec  9 06:00:01 srv in.tftpd[5]: RRQ from 10.0.0.1 filename a.cfg\n"
        "Dec  9 06:03:00 srv in.tftpd[6]: RRQ from 10.0.0.2 filename b.cfg\n");
    ASSERT_EQ(got.size(), 2u);
    EXPECT_TRUE(got[0].beforeEnd);
    EXPECT_FALSE(got[1].beforeEnd);

    // Tftpd64's requests whose end never comes are bounded alike, told as failed.
    text.clear();
    for (std::size_t i = 0; i < many; ++i)
        text += "Read request for file <f" + std::to_string(i) +
                ".cfg>. Mode octet [09/12 10:15:26.124]\r\n";
    got = parse(text);
    ASSERT_EQ(got.size(), many);
    early = 0;
    for (const Got& g : got) early += g.beforeEnd && g.outcome == Outcome::Failed;
    EXPECT_EQ(early, many - Parser::kMaxPending);
}

TEST(TftpLog, DnsmasqLines) {
    LogClock clock;
    const auto got = parse(
        "2026-12-09T07:10:01+03:00 gw dnsmasq-tftp[800]: sent /srv/tftp/a b.cfg to 10.0.6.1\n"
        "2026-12-09T07:10:01+03:00 gw dnsmasq-tftp[800]: file /srv/tftp/c.cfg not found\n"
        "2026-12-09T07:10:01+03:00 gw dnsmasq-dhcp[800]: sent size: 1 option: 53 to 10.0.6.9\n"
        "Dec  9 07:10:02 dnsmasq-tftp[801]: TFTP root is /var/lib/tftp/  secure mode\n"
        "Dec  9 07:10:02 dnsmasq-tftp[801]: file /var/lib/tftp/d.cfg not found for 10.0.6.2\n"
        "Dec  9 07:10:02 dnsmasq-tftp[801]: failed sending /var/lib/tftp/e.cfg to 10.0.6.3\n"
        "Dec  9 07:10:02 dnsmasq-tftp[801]: timeout sending /var/lib/tftp/f.cfg to 10.0.6.4\n"
        "Dec  9 07:10:02 dnsmasq-tftp[801]: cannot access /var/lib/tftp/g.cfg: Permission "
        "denied\n"
        "Dec  9 07:10:02 dnsmasq-tftp[801]: sent /elsewhere/h.cfg to 10.0.6.5\n");
    ASSERT_EQ(got.size(), 7u);
    EXPECT_EQ(got[0].file, "srv/tftp/a b.cfg");
    EXPECT_TRUE(got[0].fullPath);  // the root is not told: the collector finds it
    EXPECT_EQ(got[0].address, "10.0.6.1");
    EXPECT_EQ(got[1].file, "srv/tftp/c.cfg");
    EXPECT_EQ(got[1].outcome, Outcome::Missing);
    EXPECT_EQ(got[1].address, "");
    EXPECT_EQ(got[2].file, "d.cfg");  // the root told, then taken off
    EXPECT_FALSE(got[2].fullPath);
    EXPECT_EQ(got[2].address, "10.0.6.2");
    EXPECT_EQ(got[2].outcome, Outcome::Missing);
    EXPECT_EQ(got[3].outcome, Outcome::Failed);
    EXPECT_EQ(got[4].outcome, Outcome::Failed);
    EXPECT_EQ(got[4].address, "10.0.6.4");
    EXPECT_EQ(got[5].file, "g.cfg");
    EXPECT_EQ(got[5].address, "");
    EXPECT_EQ(got[5].outcome, Outcome::Failed);
    EXPECT_EQ(got[6].file, "elsewhere/h.cfg");
    EXPECT_TRUE(got[6].fullPath);
}

TEST(TftpLog, Tftpd64Lines) {
    LogClock clock;
    const std::string text =
        "Connection received from 192.168.1.31 on port 2070 [09/12 10:15:26.123]\r\n"
        "Connection received from 192.168.1.32 on port 2071 [09/12 10:15:26.124]\r\n"
        "Read request for file <a.cfg>. Mode octet [09/12 10:15:26.125]\r\n"
        "Read request for file <\\b\\c.cfg>. Mode netascii [09/12 10:15:26.126]\r\n"
        "File <\\b\\c.cfg> : error 2 in system call CreateFile The system cannot find the file "
        "specified. [09/12 10:15:26.200]\r\n"
        "<a.cfg>: sent 2 blks, 800 bytes in 0 s. 0 blk resent [09/12 10:15:26.300]\r\n"
        "Connection received from 192.168.1.33 on port 2072 [09/12 10:15:27.000]\r\n"
        "Read request for file <d.cfg>. Mode octet [09/12 10:15:27.001]\r\n"
        "File <d.cfg> : error 5 in system call CreateFile Access is denied. [09/12 "
        "10:15:27.002]\r\n"
        "<e.cfg>: sent 1 blk, 80 bytes in 0 s. 0 blk resent [09/12 10:15:28.000]\r\n"
        "Read request for file <f.cfg>. Mode octet\r\n"
        "Read request for file <g.cfg>. Mode octet [09/12 10:15:29.000]\r\n";
    auto got = parse(text);
    ASSERT_EQ(got.size(), 5u);
    EXPECT_EQ(got[0].file, "b/c.cfg");  // backslashes as folders, the leading one dropped
    EXPECT_EQ(got[0].address, "192.168.1.32");
    EXPECT_EQ(got[0].outcome, Outcome::Missing);
    EXPECT_EQ(got[1].file, "a.cfg");
    EXPECT_EQ(got[1].address, "192.168.1.31");
    EXPECT_EQ(got[1].outcome, Outcome::Served);
    EXPECT_EQ(got[1].seconds, utc("2026-12-09T10:15:26Z"));  // the request's time
    EXPECT_EQ(got[2].outcome, Outcome::Failed);              // error 5: refused, not missing
    EXPECT_EQ(got[3].file, "e.cfg");                         // its request is not in the log
    EXPECT_EQ(got[3].address, "");
    EXPECT_EQ(got[4].file, "g.cfg");  // no end logged; a line without its stamp is no line of it
    EXPECT_EQ(got[4].outcome, Outcome::Failed);
    EXPECT_FALSE(got[4].beforeEnd);

    // Told the format, the parser takes that server's lines alone.
    const std::string mixed =
        text + "Dec  9 06:00:01 srv in.tftpd[5]: RRQ from 10.0.0.1 filename h.cfg\n";
    EXPECT_EQ(parse(mixed, Format::Tftpd64).size(), 5u);
    got = parse(mixed, Format::TftpdHpa);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].file, "h.cfg");
    EXPECT_TRUE(parse(mixed, Format::Dnsmasq).empty());
}

TEST(TftpLog, LinesCutAcrossPieces) {
    LogClock clock;
    const std::string text =
        "Dec  9 06:00:01 srv in.tftpd[5]: RRQ from 10.0.0.1 filename a.cfg\r\n" +
        std::string(LineSplitter::kMaxLine * 2, 'x') +
        "\nDec  9 06:00:02 srv in.tftpd[6]: RRQ from 10.0.0.1 filename b.cfg";
    for (const std::size_t piece : {std::size_t{1}, std::size_t{7}, text.size()}) {
        std::vector<std::string> files;
        std::vector<std::uint64_t> lines;
        ParserOptions options;
        options.today = {2026, 12};
        Parser parser(
            [&](const Event& e) {
                files.emplace_back(e.file);
                lines.push_back(e.line);
            },
            options);
        LineSplitter splitter(parser);
        for (std::size_t at = 0; at < text.size(); at += piece)
            splitter.feed(std::string_view(text).substr(at, piece));
        splitter.finish();  // the last line has no line end
        parser.finish();
        EXPECT_EQ(files, (std::vector<std::string>{"a.cfg", "b.cfg"})) << piece;
        // The line too long for any server counts as a line all the same.
        EXPECT_EQ(lines, (std::vector<std::uint64_t>{1, 3})) << piece;
        EXPECT_EQ(parser.seen().lines, 3u);
    }
}
