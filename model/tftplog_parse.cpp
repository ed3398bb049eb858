// The lines of tftpd-hpa, dnsmasq and Tftpd64 as events.
#include <cstdio>
#include <deque>
#include <unordered_map>
#include <utility>

#include "model/tftplog.h"

namespace orbex::tftplog {

namespace {

bool startsWith(std::string_view s, std::string_view p) {
    return s.substr(0, p.size()) == p;
}

// Where the text between `open` and `close` is (`close` searched from the end): the name a
// message quotes. Empty when the message is not so.
std::string_view between(std::string_view s, std::string_view open, std::string_view close) {
    if (!startsWith(s, open)) return {};
    const std::size_t end = s.rfind(close);
    if (end == std::string_view::npos || end < open.size()) return {};
    return s.substr(open.size(), end - open.size());
}

// An IPv4 address that a dual-stack socket reports as IPv6 ("::ffff:10.0.0.5") is the IPv4
// one, as the other servers write it.
std::string_view plainAddress(std::string_view a) {
    if (startsWith(a, "::ffff:") && a.find('.') != std::string_view::npos) a.remove_prefix(7);
    return a;
}

// The process id of "NAME[123]:", the ident of a syslog line; false when the token is not one.
bool identOf(std::string_view token, std::string_view& name, std::uint32_t& pid) {
    if (token.size() < 2 || token.back() != ':') return false;
    token.remove_suffix(1);
    pid = 0;
    if (token.back() == ']') {
        const std::size_t open = token.rfind('[');
        if (open == std::string_view::npos) return false;
        for (char c : token.substr(open + 1, token.size() - open - 2)) {
            if (c < '0' || c > '9') return false;
            pid = pid * 10 + static_cast<std::uint32_t>(c - '0');
        }
        token = token.substr(0, open);
    }
    name = token;
    return true;
}

std::string_view nextToken(std::string_view& rest) {
    while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
    const std::size_t end = std::min(rest.find(' '), rest.size());
    const std::string_view token = rest.substr(0, end);
    rest.remove_prefix(end);
    return token;
}

}  // namespace

struct Parser::State {
    Handler handler;
    ParserOptions options;
    Seen seen;
    LocalClock clock;
    std::string file, asked;  // the normalized names of the event being told

    // tftpd-hpa: the request of each process that has not had its NAK, and the order they came.
    struct Pending {
        std::uint64_t line = 0;
        Time time;
        std::string address, file, asked;
    };
    std::unordered_map<std::uint32_t, Pending> byPid;
    std::deque<std::pair<std::uint64_t, std::uint32_t>> order;  // (line, pid), oldest first

    // dnsmasq: the TFTP root it last told, without its leading "/", with a trailing one.
    std::string root;

    // Tftpd64: connections whose request is still to come, and requests whose end is.
    std::deque<std::string> connections;
    struct Transfer {
        std::uint64_t line = 0;
        Time time;
        std::string address, file;
    };
    std::deque<Transfer> transfers;

    bool takes(Format f) const { return !options.only || *options.only == f; }

    void emit(const Time& t, std::uint64_t line, Format format, Outcome outcome,
              std::string_view address, std::string_view name, std::string_view asked,
              bool fullPath);
    void syslogLine(const Time& t, std::string_view rest);
    // tftpd-hpa
    void hpa(const Time& t, std::uint32_t pid, std::string_view msg);
    void request(const Time& t, std::uint32_t pid, std::string_view msg);
    void close(std::uint32_t pid, Outcome outcome);
    void expire(const Time& now);
    // dnsmasq
    void dnsmasq(const Time& t, std::string_view msg);
    void dnsmasqFile(const Time& t, Outcome o, std::string_view path, std::string_view address);
    // Tftpd64
    void tftpd64(std::string_view line);
    void tftpd64Message(const Time& t, std::string_view msg);
    void tftpd64End(const Time& t, std::string_view name, Outcome outcome);
    void endTransfer(std::deque<Transfer>::iterator it, Outcome outcome);
};

void Parser::State::emit(const Time& t, std::uint64_t line, Format format, Outcome outcome,
                         std::string_view address, std::string_view name,
                         std::string_view askedName, bool fullPath) {
    const auto normal = [format](std::string& out, std::string_view n) {
        out.assign(n);
        if (format == Format::Tftpd64)
            for (char& c : out)
                if (c == '\\') c = '/';
        const std::size_t first = out.find_first_not_of('/');
        out.erase(0, first == std::string::npos ? out.size() : first);
    };
    normal(file, name);
    normal(asked, askedName);
    Event e;
    e.time = t;
    e.line = line;
    e.format = format;
    e.outcome = outcome;
    e.address = plainAddress(address);
    e.file = file;
    e.asked = asked == file ? std::string_view() : std::string_view(asked);
    e.fullPath = fullPath;
    handler(e);
}

void Parser::State::syslogLine(const Time& t, std::string_view rest) {
    // "HOST IDENT[PID]: message", or "IDENT[PID]: message" in dnsmasq's own log file.
    std::string_view token = nextToken(rest), name;
    std::uint32_t pid = 0;
    if (!identOf(token, name, pid) && !identOf(nextToken(rest), name, pid)) return;
    if (!rest.empty()) rest.remove_prefix(1);
    // rsyslog writes the line end that tftpd-hpa gives its messages as "#012".
    if (rest.ends_with("#012")) rest.remove_suffix(4);
    if (name == "in.tftpd" && takes(Format::TftpdHpa)) {
        ++seen.tftpdHpa;
        hpa(t, pid, rest);
    } else if (name == "dnsmasq-tftp" && takes(Format::Dnsmasq)) {
        ++seen.dnsmasq;
        dnsmasq(t, rest);
    }
}

// ---- tftpd-hpa ----

void Parser::State::hpa(const Time& t, std::uint32_t pid, std::string_view msg) {
    if (startsWith(msg, "RRQ from ")) {
        request(t, pid, msg.substr(9));
    } else if (startsWith(msg, "sending NAK (")) {
        ++seen.naks;
        // "(1, File not found)": the TFTP error code 1 is a missing file.
        const bool missing = startsWith(msg.substr(13), "1,");
        close(pid, missing ? Outcome::Missing : Outcome::Failed);
    } else if (startsWith(msg, "tftpd: ") || startsWith(msg, "tftp: client does not accept") ||
               startsWith(msg, "nak: ")) {
        // The transfer broke off: no answer from the client, a refused option, a failed send.
        close(pid, Outcome::Failed);
    }
    expire(t);
}

void Parser::State::request(const Time& t, std::uint32_t pid, std::string_view msg) {
    // "ADDR filename NAME", or "ADDR filename NAME remapped to NEW".
    const std::size_t at = msg.find(" filename ");
    if (at == std::string_view::npos) return;
    std::string_view name = msg.substr(at + 10), remapped;
    if (const std::size_t r = name.find(" remapped to "); r != std::string_view::npos) {
        remapped = name.substr(r + 13);
        name = name.substr(0, r);
    }
    // A process id used again: the old request had no NAK, it was served.
    close(pid, Outcome::Served);
    Pending& p = byPid[pid];
    p.line = seen.lines;
    p.time = t;
    p.address.assign(plainAddress(msg.substr(0, at)));
    p.file.assign(remapped.empty() ? name : remapped);
    p.asked.assign(remapped.empty() ? std::string_view() : name);
    order.emplace_back(p.line, pid);
}

void Parser::State::close(std::uint32_t pid, Outcome outcome) {
    const auto it = byPid.find(pid);
    if (it == byPid.end()) return;
    const Pending p = std::move(it->second);
    byPid.erase(it);
    emit(p.time, p.line, Format::TftpdHpa, outcome, p.address, p.file,
         p.asked.empty() ? p.file : p.asked, false);
}

void Parser::State::expire(const Time& now) {
    while (!order.empty()) {
        const auto [line, pid] = order.front();
        const auto it = byPid.find(pid);
        if (it == byPid.end() || it->second.line != line) {
            order.pop_front();  // answered, or its process took a new request
            continue;
        }
        const bool quiet = it->second.time.seconds + kQuietSeconds < now.seconds;
        if (!quiet && byPid.size() <= kMaxPending) break;
        order.pop_front();
        close(pid, Outcome::Served);
    }
    // Answered requests leave their place in `order` until it comes up: keep it near the size
    // of what is pending.
    if (order.size() > 2 * kMaxPending + 16) {
        std::deque<std::pair<std::uint64_t, std::uint32_t>> live;
        for (const auto& [line, pid] : order) {
            const auto it = byPid.find(pid);
            if (it != byPid.end() && it->second.line == line) live.emplace_back(line, pid);
        }
        order = std::move(live);
    }
}

// ---- dnsmasq ----

void Parser::State::dnsmasqFile(const Time& t, Outcome o, std::string_view path,
                                std::string_view address) {
    while (!path.empty() && path.front() == '/') path.remove_prefix(1);
    bool full = true;
    if (!root.empty() && startsWith(path, root)) {
        path.remove_prefix(root.size());
        full = false;
    }
    emit(t, seen.lines, Format::Dnsmasq, o, address, path, path, full);
}

void Parser::State::dnsmasq(const Time& t, std::string_view msg) {
    std::string_view path;
    const auto split = [&](std::string_view after, std::string_view sep) {
        const std::size_t at = msg.rfind(sep);
        if (at == std::string_view::npos || at < after.size()) return std::string_view();
        path = msg.substr(after.size(), at - after.size());
        return msg.substr(at + sep.size());
    };
    if (startsWith(msg, "sent ")) {
        const std::string_view a = split("sent ", " to ");
        if (!path.empty()) dnsmasqFile(t, Outcome::Served, path, a);
    } else if (startsWith(msg, "file ") && msg.find(" not found for ") != std::string_view::npos) {
        const std::string_view a = split("file ", " not found for ");
        if (!path.empty()) dnsmasqFile(t, Outcome::Missing, path, a);
    } else if (startsWith(msg, "file ") && msg.ends_with(" not found")) {
        dnsmasqFile(t, Outcome::Missing, msg.substr(5, msg.size() - 15), {});
    } else if (startsWith(msg, "failed sending ") || startsWith(msg, "timeout sending ")) {
        const std::string_view a = split(msg.substr(0, msg.find(' ') + 9), " to ");
        if (!path.empty()) dnsmasqFile(t, Outcome::Failed, path, a);
    } else if (startsWith(msg, "cannot access ") || startsWith(msg, "cannot read ")) {
        split(msg.substr(0, msg.find(' ', 7) + 1), ": ");
        if (!path.empty()) dnsmasqFile(t, Outcome::Failed, path, {});
    } else if (startsWith(msg, "TFTP root is ")) {
        std::string_view r = msg.substr(13);
        r = r.substr(0, std::min(r.find(' '), r.size()));
        while (!r.empty() && r.front() == '/') r.remove_prefix(1);
        root.assign(r);
        if (!root.empty() && root.back() != '/') root += '/';
    }
}

// ---- Tftpd64 ----

void Parser::State::tftpd64(std::string_view l) {
    // "message [DD/MM HH:MM:SS.mmm]": the local clock, without the year.
    constexpr std::size_t kStamp = 21;
    if (!takes(Format::Tftpd64) || l.size() <= kStamp || l.back() != ']' ||
        l[l.size() - kStamp] != ' ' || l[l.size() - kStamp + 1] != '[')
        return;
    const std::string_view s = l.substr(l.size() - kStamp + 2, kStamp - 3);
    // The fields of "DD/MM HH:MM:SS.mmm", each after its separator.
    static constexpr std::string_view kShape = "00/00 00:00:00.000";
    int f[6] = {0, 0, 0, 0, 0, 0};
    for (std::size_t i = 0, field = 0; i < kShape.size(); ++i) {
        if (kShape[i] != '0') {
            if (s[i] != kShape[i]) return;
            ++field;
        } else if (s[i] < '0' || s[i] > '9') {
            return;
        } else {
            f[field] = f[field] * 10 + (s[i] - '0');
        }
    }
    const auto t =
        clock.at(yearOfStamp(f[1], options.today), f[1], f[0], f[2], f[3], f[4], f[5] * 1000);
    if (t) tftpd64Message(*t, l.substr(0, l.size() - kStamp));
}

void Parser::State::tftpd64Message(const Time& t, std::string_view msg) {
    std::string_view name;
    if (startsWith(msg, "Connection received from ")) {
        const std::size_t port = msg.rfind(" on port ");
        if (port == std::string_view::npos || port < 25) return;
        ++seen.tftpd64;
        connections.emplace_back(msg.substr(25, port - 25));
        if (connections.size() > kMaxPending) connections.pop_front();
    } else if (!(name = between(msg, "Read request for file <", ">. Mode ")).empty()) {
        ++seen.tftpd64;
        // The oldest connection without its request: the server logs each connection, then
        // its worker the request.
        std::string address;
        if (!connections.empty()) {
            address = std::move(connections.front());
            connections.pop_front();
        }
        transfers.push_back({seen.lines, t, std::move(address), std::string(name)});
        if (transfers.size() > kMaxPending) endTransfer(transfers.begin(), Outcome::Failed);
    } else if (startsWith(msg, "Write request for file <")) {
        ++seen.tftpd64;
        if (!connections.empty()) connections.pop_front();
    } else if (msg.front() == '<' && (name = between(msg, "<", ">: sent ")).data()) {
        tftpd64End(t, name, Outcome::Served);
    } else if (!(name = between(msg, "File <", "> : error ")).empty()) {
        // Windows' errors 2 and 3: no such file, no such folder.
        const std::string_view code = msg.substr(name.size() + 16);
        const bool missing = startsWith(code, "2 in system call CreateFile") ||
                             startsWith(code, "3 in system call CreateFile");
        tftpd64End(t, name, missing ? Outcome::Missing : Outcome::Failed);
    } else if (!(name = between(msg, "Error EACCESS on file ", ". Ext error")).empty()) {
        tftpd64End(t, name, Outcome::Failed);
    } else if (!(name = between(msg, "MAX RETRIES while waiting for Ack block ", ">")).empty()) {
        const std::size_t open = name.find('<');
        if (open != std::string_view::npos) tftpd64End(t, name.substr(open + 1), Outcome::Failed);
    } else if ((startsWith(msg, "Peer returns ERROR <") ||
                startsWith(msg, "TIMEOUT waiting for Ack block")) &&
               transfers.size() == 1) {
        // The message names no file: it is the one transfer under way's, if only one is.
        tftpd64End(t, transfers.front().file, Outcome::Failed);
    }
}

void Parser::State::endTransfer(std::deque<Transfer>::iterator it, Outcome outcome) {
    const Transfer done = std::move(*it);
    transfers.erase(it);
    emit(done.time, done.line, Format::Tftpd64, outcome, done.address, done.file, done.file, false);
}

void Parser::State::tftpd64End(const Time& t, std::string_view name, Outcome outcome) {
    ++seen.tftpd64;
    for (auto it = transfers.begin(); it != transfers.end(); ++it)
        if (it->file == name) return endTransfer(it, outcome);
    // The end of a request that the log does not hold (it began before the log did).
    emit(t, seen.lines, Format::Tftpd64, outcome, {}, name, name, false);
}

// ---- Parser ----

Parser::Parser(Handler handler, ParserOptions options) : s_(std::make_unique<State>()) {
    s_->handler = std::move(handler);
    s_->options = options;
}

Parser::~Parser() = default;

const Seen& Parser::seen() const {
    return s_->seen;
}

void Parser::line(std::string_view l) {
    State& s = *s_;
    ++s.seen.lines;
    if (!l.empty() && l.back() == '\r') l.remove_suffix(1);
    if (l.empty()) return;
    Time t;
    std::size_t n = 0;
    if (l[0] >= '0' && l[0] <= '9') {
        n = parseRfc3339(l, t);
    } else if (l[0] >= 'A' && l[0] <= 'S') {
        n = parseClassic(l, s.options.today, s.clock, t);
    }
    if (n > 0) {
        if (!s.options.only || *s.options.only != Format::Tftpd64) s.syslogLine(t, l.substr(n));
        return;
    }
    s.tftpd64(l);
}

void Parser::finish() {
    State& s = *s_;
    // What had no NAK when the log ended was served, in the order it came.
    while (!s.order.empty()) {
        const std::uint32_t pid = s.order.front().second;
        const auto it = s.byPid.find(pid);
        if (it != s.byPid.end() && it->second.line == s.order.front().first)
            s.close(pid, Outcome::Served);
        s.order.pop_front();
    }
    // A Tftpd64 request whose end was not logged did not end well.
    while (!s.transfers.empty()) s.endTransfer(s.transfers.begin(), Outcome::Failed);
    s.connections.clear();
}

// ---- LineSplitter ----

void LineSplitter::take(std::string_view line) {
    if (skipping_) {
        skipping_ = false;
        parser_.line({});  // the long line counts as a line all the same
        return;
    }
    parser_.line(line);
}

void LineSplitter::feed(std::string_view bytes) {
    while (!bytes.empty()) {
        const std::size_t end = bytes.find('\n');
        if (end == std::string_view::npos) {
            if (!skipping_) partial_.append(bytes);
            if (partial_.size() > kMaxLine) {
                partial_.clear();
                skipping_ = true;
            }
            return;
        }
        if (partial_.empty()) {
            take(bytes.substr(0, end));
        } else {
            if (!skipping_) partial_.append(bytes.substr(0, end));
            take(partial_.size() > kMaxLine ? std::string_view() : std::string_view(partial_));
            partial_.clear();
        }
        bytes.remove_prefix(end + 1);
    }
}

void LineSplitter::finish() {
    if (!partial_.empty() || skipping_) take(partial_);
    partial_.clear();
    skipping_ = false;
}

}  // namespace orbex::tftplog
