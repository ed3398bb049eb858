// The logs of the TFTP servers that terminals fetch their files from, read a line at a time:
// tftpd-hpa (in.tftpd to syslog), dnsmasq's own TFTP server (to syslog or its --log-facility
// file) and Tftpd64 / Tftpd32 (its log file). Each request a server answered becomes one event:
// when, which address, which file, served or not.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace orbex::tftplog {

// A moment: seconds since 1970-01-01 00:00 UTC and microseconds, with the offset from UTC (in
// minutes) of the clock that wrote it, so that it can be shown as that clock showed it. Moments
// compare by the moment alone.
struct Time {
    std::int64_t seconds = 0;
    std::int32_t micros = 0;
    std::int16_t offset = 0;

    friend bool operator<(const Time& a, const Time& b) {
        return a.seconds != b.seconds ? a.seconds < b.seconds : a.micros < b.micros;
    }
    friend bool operator==(const Time& a, const Time& b) {
        return a.seconds == b.seconds && a.micros == b.micros;
    }
};

// The local date's year and month (1 to 12).
struct Today {
    int year = 1970;
    int month = 1;
};
// Of the local clock, or of the test seam.
Today today();
namespace seam {
void setToday(std::optional<Today> t);  // none: the local clock again
}  // namespace seam

// The year of a stamp that writes none (syslog's "Dec  9 10:15:26", Tftpd64's "09/12"): this
// year, but a month later than this month is of the year before, the way a log rotated over
// New Year holds December's lines in January.
int yearOfStamp(int month, const Today& today);

// Moments of the local clock (a stamp without an offset) as Time, asking the system for the
// offset once an hour of stamps: a log's lines are read far faster than the system converts.
class LocalClock {
  public:
    // nullopt for a date that does not exist (February 30).
    std::optional<Time> at(int year, int month, int day, int hour, int minute, int second,
                           int micros = 0);

  private:
    std::int64_t hourKey_ = -1;
    std::int64_t hourStart_ = 0;  // UTC seconds of the hour's start
    std::int16_t offset_ = 0;
};

// An RFC 3339 stamp at the start of `s` ("2026-12-09T10:15:26.123+00:00", Z, or an offset
// without its colon as journalctl -o short-iso writes it): how many bytes it takes, 0 when
// there is none.
std::size_t parseRfc3339(std::string_view s, Time& t);
// A classic syslog stamp at the start of `s` ("Dec  9 10:15:26", of the local clock): 15 bytes,
// or 0.
std::size_t parseClassic(std::string_view s, const Today& today, LocalClock& clock, Time& t);
// The moment --since names: RFC 3339, or "YYYY-MM-DD[ HH:MM[:SS]]" of the local clock (a "T"
// in place of the blank too).
std::optional<Time> parseSince(std::string_view s);
// "2026-12-09 10:15:26" as the clock that wrote it showed it; with `iso` RFC 3339 with its
// offset and its fraction where it has one ("2026-12-09T10:15:26.123+03:00").
std::string timeText(const Time& t, bool iso = false);

enum class Outcome : std::uint8_t {
    Served,   // the server sent the file
    Missing,  // the server has no such file
    Failed,   // the server did not send it for another reason (refused, transfer broke off)
};
std::string_view outcomeName(Outcome o);  // "served", "missing", "failed"

enum class Format : std::uint8_t { TftpdHpa, Dnsmasq, Tftpd64 };
std::string_view formatName(Format f);  // "tftpd-hpa", "dnsmasq", "tftpd64"
std::optional<Format> formatNamed(std::string_view name);

// One request as the server's log tells it. The views last while the handler runs.
struct Event {
    Time time;
    std::uint64_t line = 0;  // the line that tells it, counted over every line read, from 1
    Format format = Format::TftpdHpa;
    Outcome outcome = Outcome::Served;
    // Empty where the line names none: older dnsmasq logs no address for a missing file, and
    // none logs one for a file it cannot read.
    std::string_view address;
    // The file as the server opened it: backslashes as "/", leading slashes dropped, and
    // dnsmasq's TFTP root taken off where the log told it ("TFTP root is ...").
    std::string_view file;
    // The name the terminal asked for, where tftpd-hpa remapped it to `file`; else empty.
    std::string_view asked;
    // `file` is a full path of the server's (dnsmasq's, its root not told): the reader takes
    // the root off later (see fetched::Collector).
    bool fullPath = false;
};

struct ParserOptions {
    std::optional<Format> only;  // none: each line's format is told from the line itself
    Today today;                 // for stamps without a year
};

// What the lines showed, for the notes the tool gives.
struct Seen {
    std::uint64_t lines = 0;
    std::uint64_t tftpdHpa = 0, dnsmasq = 0, tftpd64 = 0;  // lines of each server taken
    std::uint64_t naks = 0;                                // tftpd-hpa's NAK lines (-vv)
};

// Turns lines into events, one handler for all of them. Lines of other programs are passed
// over. Some servers tell a request's outcome on a later line, or not at all: tftpd-hpa logs
// "RRQ from ..." and, with -vv, "sending NAK" under the same process id when the file is
// missing, nothing when it sent it; Tftpd64 logs the connection, the request and its end on
// separate lines. Such a request is pending until its outcome comes, or until it can come no
// more (tftpd-hpa: a new request of the same process, a quiet two minutes of log time, the
// end of the log; then it was served). The pending requests are bounded in number whatever the
// log's length.
class Parser {
  public:
    using Handler = std::function<void(const Event&)>;
    Parser(Handler handler, ParserOptions options);
    ~Parser();
    Parser(const Parser&) = delete;
    Parser& operator=(const Parser&) = delete;

    void line(std::string_view line);  // one line, without its line end
    void finish();                     // the end of the log: what is pending is told
    const Seen& seen() const;

    static constexpr std::size_t kMaxPending = 4096;
    static constexpr std::int64_t kQuietSeconds = 120;

  private:
    struct State;
    std::unique_ptr<State> s_;
};

// Cuts pieces of text into lines (LF or CR LF) for a parser. A line longer than kMaxLine is
// no server's: it is passed over whole, so that memory stays bounded on any input.
class LineSplitter {
  public:
    explicit LineSplitter(Parser& parser) : parser_(parser) {}
    void feed(std::string_view bytes);
    void finish();  // the last line, when the text does not end with a line end
    static constexpr std::size_t kMaxLine = std::size_t{64} * 1024;

  private:
    void take(std::string_view line);
    Parser& parser_;
    std::string partial_;
    bool skipping_ = false;
};

}  // namespace orbex::tftplog
