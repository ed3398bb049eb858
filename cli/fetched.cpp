#include "cli/fetched.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <ostream>

#include "fileio/fileio.h"
#include "model/csv.h"
#include "model/fetched.h"
#include "model/fetched_disk.h"
#include "model/fleet.h"
#include "model/fleet_common.h"
#include "model/fleet_disk.h"
#include "model/text.h"
#include "model/tftplog.h"

namespace orbex::cli {
namespace {

using fetched::Flag;
using fetched::FlagCode;
using fetched::Report;
using fetched::Request;
using fetched::Terminal;
using tftplog::timeText;

// Every log, one after another through one parser: a request at the end of one rotated log
// may have its answer at the start of the next. False after the message of one that cannot be
// read.
bool readLogs(Context& c, std::span<const std::string_view> logs, tftplog::Parser& parser) {
    tftplog::LineSplitter lines(parser);
    for (const std::string_view log : logs) {
        const std::string path(log);
        std::string error;
        if (!fetched::readLog(path, path == "-" ? &c.in : nullptr, lines, fleet::englishReason,
                              error))
            return c.fail("cannot read '" + std::string(c.nameOf(path)) + "': " + error), false;
    }
    parser.finish();
    return true;
}

// The folder; false after the message when it cannot be read.
bool loadFolder(Context& c, const std::string& dir, fetched::Folder& folder) {
    std::string error;
    if (!fetched::loadFolder(dir, folder, fleet::englishReason, error))
        return c.fail("cannot read folder '" + dir + "': " + error), false;
    return true;
}

std::string shown(std::string_view name) {
    return text::escapedName(name);
}

// What a flag says, in the words of orbcfg-cli.
std::string flagText(const Flag& f) {
    const std::string who = f.address.empty() ? "a terminal whose address the log does not name"
                                              : text::printable(f.address);
    switch (f.code) {
        case FlagCode::FellBack: {
            std::string s = f.noAddress ? "the terminal of MAC " + f.mac +
                                              " (the log names no "
                                              "address)"
                                        : who + " (MAC " + f.mac + ")";
            s += f.noAddress     ? " did not get its MAC file"
                 : f.got.empty() ? " ended with no file"
                                 : " ended with " + shown(f.got);
            s += ", but the folder holds " + shown(f.shouldHave) + " for its MAC";
            if (!f.asked.empty() && f.asked != f.shouldHave)
                s += " (it asked for " + shown(f.asked) + ")";
            return s;
        }
        case FlagCode::UnknownRequest:
            return who + " asked for " + shown(f.file) +
                   ", which the folder does not hold and which is no MAC file or computer "
                   "name's file of it";
        case FlagCode::ServedWithFindings:
            return shown(f.file) + " was served, and lint reports " + std::to_string(f.count) +
                   " finding(s) in it";
        case FlagCode::NeverFetched:
            return shown(f.file) + " was asked for by no terminal in the log";
    }
    return {};
}

std::string requestLine(const Request& r) {
    // The outcomes in one column: "missing" is the longest.
    const std::string_view outcome = tftplog::outcomeName(r.outcome);
    std::string line = "  " + timeText(r.last) + "  " + std::string(outcome);
    line.append(9 - outcome.size(), ' ');
    line += shown(r.file);
    if (!r.asked.empty()) line += " (asked for as " + shown(r.asked) + ")";
    if (r.count > 1) line += ", " + std::to_string(r.count) + " times from " + timeText(r.first);
    return line + '\n';
}

std::string textOf(const Report& r) {
    std::string out;
    for (const Terminal& t : r.terminals) {
        out += t.address.empty() ? "(no address logged)" : text::printable(t.address);
        if (!t.mac.empty()) out += " (MAC " + t.mac + ")";
        out += '\n';
        for (const Request& q : t.requests) out += requestLine(q);
        if (t.endsWith) {
            const Request& e = t.requests[*t.endsWith];
            out += "  ends with " + shown(e.file) + " at " + timeText(e.last) + "\n\n";
        } else {
            out += t.address.empty() ? "  ends with a file the log does not tie to it\n\n"
                                     : "  ends with no file\n\n";
        }
    }
    if (!r.untied.empty()) {
        out += "(requests the log ties to no terminal: it names no address for them)\n";
        for (const Request& q : r.untied) out += requestLine(q);
        out += '\n';
    }
    for (const Flag& f : r.flags)
        out += std::string(fetched::flagName(f.code)) + ": " + flagText(f) + '\n';
    return out;
}

// ---- JSON ----

// File names come escaped (UTF-8 on one line), addresses printable: only quotes and
// backslashes are left to escape.
void appendString(std::string& out, std::string_view s) {
    out += '"';
    for (char ch : s) {
        if (ch == '"' || ch == '\\') out += '\\';
        out += ch;
    }
    out += '"';
}

void appendRequestJson(std::string& out, const Request& q) {
    out += "{\"time\": ";
    appendString(out, timeText(q.last, true));
    out += ", \"first\": ";
    appendString(out, timeText(q.first, true));
    out += ", \"count\": " + std::to_string(q.count) + ", \"outcome\": ";
    appendString(out, tftplog::outcomeName(q.outcome));
    out += ", \"file\": ";
    appendString(out, shown(q.file));
    out += ", \"asked\": ";
    if (q.asked.empty()) {
        out += "null";
    } else {
        appendString(out, shown(q.asked));
    }
    out += '}';
}

void appendTerminalJson(std::string& out, const Terminal& t) {
    out += "{\"address\": ";
    if (t.address.empty()) {
        out += "null";
    } else {
        appendString(out, text::printable(t.address));
    }
    out += ", \"mac\": ";
    if (t.mac.empty()) {
        out += "null";
    } else {
        appendString(out, t.mac);
    }
    out += ", \"requests\": [";
    for (std::size_t i = 0; i < t.requests.size(); ++i) {
        out += i == 0 ? "\n  " : ",\n  ";
        appendRequestJson(out, t.requests[i]);
    }
    out += "], \"ends_with\": ";
    if (t.endsWith) {
        out += "{\"file\": ";
        appendString(out, shown(t.requests[*t.endsWith].file));
        out += ", \"time\": ";
        appendString(out, timeText(t.requests[*t.endsWith].last, true));
        out += '}';
    } else {
        out += "null";
    }
    out += '}';
}

void appendFlagJson(std::string& out, const Flag& f) {
    out += "{\"code\": ";
    appendString(out, fetched::flagName(f.code));
    const auto field = [&](std::string_view key, const std::string& value, bool name) {
        out += ", \"";
        out += key;
        out += "\": ";
        if (value.empty()) {
            out += "null";
        } else {
            appendString(out, name ? shown(value) : text::printable(value));
        }
    };
    if (f.code == FlagCode::FellBack || f.code == FlagCode::UnknownRequest)
        field("address", f.address, false);
    if (f.code == FlagCode::FellBack) {
        field("mac", f.mac, false);
        field("got", f.got, true);
        field("should_have", f.shouldHave, true);
        field("asked", f.asked, true);
    } else {
        field("file", f.file, true);
    }
    if (f.code == FlagCode::ServedWithFindings) out += ", \"count\": " + std::to_string(f.count);
    out += ", \"message\": ";
    appendString(out, flagText(f));
    out += '}';
}

std::string jsonOf(const Report& r) {
    std::string out = "{\"terminals\": [";
    for (std::size_t i = 0; i < r.terminals.size(); ++i) {
        out += i == 0 ? "\n" : ",\n";
        appendTerminalJson(out, r.terminals[i]);
    }
    out += r.terminals.empty() ? "],\n\"untied\": [" : "\n],\n\"untied\": [";
    for (std::size_t i = 0; i < r.untied.size(); ++i) {
        out += i == 0 ? "\n" : ",\n";
        appendRequestJson(out, r.untied[i]);
    }
    out += r.untied.empty() ? "],\n\"flags\": [" : "\n],\n\"flags\": [";
    for (std::size_t i = 0; i < r.flags.size(); ++i) {
        out += i == 0 ? "\n" : ",\n";
        appendFlagJson(out, r.flags[i]);
    }
    out += r.flags.empty() ? "]}\n" : "\n]}\n";
    return out;
}

// ---- CSV ----

// The flags of one row: those about the request's file from its terminal, the fell-back of
// the request the terminal ended with.
std::string rowFlags(const Report& r, const Terminal* t, const Request& q, bool endsWith) {
    std::string codes;
    const auto add = [&](FlagCode code) {
        if (!codes.empty()) codes += ' ';
        codes += fetched::flagName(code);
    };
    for (const Flag& f : r.flags) {
        const std::string address = t ? t->address : std::string();
        if ((f.code == FlagCode::FellBack && t && endsWith && f.address == address &&
             f.mac == t->mac) ||
            (f.code == FlagCode::UnknownRequest && f.address == address && f.file == q.file) ||
            (f.code == FlagCode::ServedWithFindings && q.outcome == tftplog::Outcome::Served &&
             q.inFolder && f.file == *q.inFolder))
            add(f.code);
    }
    return codes;
}

void appendCsvRow(std::string& out, std::initializer_list<std::string> cells) {
    bool first = true;
    for (const std::string& cell : cells) {
        if (!first) out += ',';
        first = false;
        csv::appendMarkedField(out, cell);
    }
    out += "\r\n";
}

std::string csvOf(const Report& r) {
    std::string out;
    appendCsvRow(out,
                 {"address", "mac", "time", "first", "count", "outcome", "file", "asked", "flags"});
    const auto row = [&](const Terminal* t, const Request& q, bool endsWith) {
        appendCsvRow(out, {t ? text::printable(t->address) : "", t ? t->mac : "",
                           timeText(q.last, true), timeText(q.first, true), std::to_string(q.count),
                           std::string(tftplog::outcomeName(q.outcome)), shown(q.file),
                           q.asked.empty() ? "" : shown(q.asked), rowFlags(r, t, q, endsWith)});
    };
    for (const Terminal& t : r.terminals) {
        // A terminal that ended with no file carries its fell-back on its last row.
        const std::size_t flagged = t.endsWith ? *t.endsWith : t.requests.size() - 1;
        for (std::size_t i = 0; i < t.requests.size(); ++i) row(&t, t.requests[i], i == flagged);
    }
    for (const Request& q : r.untied) row(nullptr, q, false);
    for (const Flag& f : r.flags)
        if (f.code == FlagCode::NeverFetched)
            appendCsvRow(out, {"", "", "", "", "0", "", shown(f.file), "", "never-fetched"});
    return out;
}

}  // namespace

int fetched(Context& c, Args args) {
    static constexpr Option kOptions[] = {{"--dir", "-d", true, "a folder name"},
                                          {"--since", "", true, "a time"},
                                          {"--format", "", true},
                                          {"--format-of-log", "", true}};
    auto ops = operands(c, args, false, false, kOptions);
    if (!ops) return kUsageError;
    if (ops->files.empty()) return c.usage("fetched takes at least one LOG");
    if (std::count(ops->files.begin(), ops->files.end(), "-") > 1)
        return c.usage("only one LOG may be -");
    const std::string format = ops->has("--format") ? ops->options["--format"] : "text";
    if (format != "text" && format != "json" && format != "csv")
        return c.usage("unknown format '" + format + "': text, json or csv");
    tftplog::ParserOptions parsing;
    parsing.today = tftplog::today();
    if (ops->has("--format-of-log")) {
        parsing.only = tftplog::formatNamed(ops->options["--format-of-log"]);
        if (!parsing.only)
            return c.usage("unknown log format '" + ops->options["--format-of-log"] +
                           "': tftpd-hpa, dnsmasq or tftpd64");
    }
    std::optional<tftplog::Time> since;
    if (ops->has("--since")) {
        since = tftplog::parseSince(ops->options["--since"]);
        if (!since)
            return c.usage("'" + ops->options["--since"] +
                           "' is no time: YYYY-MM-DD[ HH:MM[:SS]] or RFC 3339");
    }
    std::optional<fetched::Folder> folder;
    if (ops->has("--dir") && !loadFolder(c, ops->options["--dir"], folder.emplace()))
        return kUsageError;

    fetched::Collector collector(since);
    tftplog::Parser parser([&](const tftplog::Event& e) { collector.add(e); }, parsing);
    if (!readLogs(c, ops->files, parser)) return kUsageError;
    const Report report = collector.report(folder ? &*folder : nullptr);
    c.out << (format == "json" ? jsonOf(report) : format == "csv" ? csvOf(report) : textOf(report));
    c.out.flush();
    if (!c.out) return c.fail("cannot write standard output");

    const tftplog::Seen& seen = parser.seen();
    if (seen.tftpdHpa + seen.dnsmasq + seen.tftpd64 == 0)
        c.err << "orbcfg-cli: note: no line of tftpd-hpa, dnsmasq or Tftpd64 in the log\n";
    else if (seen.tftpdHpa > 0 && seen.naks == 0)
        c.err << "orbcfg-cli: note: in.tftpd logged no NAK: it logs a missing file only with "
                 "-vv, so each of its requests reads as served\n";
    return report.flags.empty() ? 0 : 1;
}

}  // namespace orbex::cli
