// libFuzzer target: any bytes as a TFTP server's log (the first byte picks the format the
// parser is told, if any, and how the rest is cut into pieces). The lines become requests,
// folded by terminal and held against a folder; every request the report holds is whole: told
// at least once, its first no later than its last, each terminal's in order and the file it
// ended with one that was served.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "model/fetched.h"
#include "model/tftplog.h"

namespace {

using namespace orbex;

void require(bool ok) {
    if (!ok) __builtin_trap();
}

bool ordered(const fetched::Request& a, const fetched::Request& b) {
    return a.last < b.last || (a.last == b.last && a.lastLine <= b.lastLine);
}

void check(const fetched::Request& r) {
    require(r.count >= 1);
    require(!(r.last < r.first));
    require(r.firstLine <= r.lastLine || r.first < r.last);
    (void)tftplog::timeText(r.first, true);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::uint8_t options = data[0];
    const std::string_view log(reinterpret_cast<const char*>(data + 1), size - 1);
    tftplog::ParserOptions parsing;
    parsing.today = {2026, 1 + options % 12};
    if (options & 0x10) parsing.only = static_cast<tftplog::Format>((options >> 5) % 3);
    fetched::Collector collector;
    tftplog::Parser parser([&](const tftplog::Event& e) { collector.add(e); }, parsing);
    tftplog::LineSplitter lines(parser);
    const std::size_t piece = 1 + (options >> 2) % 7;
    for (std::size_t at = 0; at < log.size(); at += piece) lines.feed(log.substr(at, piece));
    lines.finish();
    parser.finish();

    fetched::Folder folder;
    folder.files = {"AA^BB^CC^DD^EE^FF.cfg", "default.cfg", "kassa.cfg"};
    folder.path = {"srv", "tftp"};
    folder.findings = {{"kassa.cfg", 1}};
    const fetched::Report report = collector.report(options & 0x80 ? &folder : nullptr);
    for (const fetched::Terminal& t : report.terminals) {
        require(!t.requests.empty());
        for (std::size_t i = 0; i < t.requests.size(); ++i) {
            check(t.requests[i]);
            if (i > 0) require(ordered(t.requests[i - 1], t.requests[i]));
        }
        if (t.endsWith) {
            require(*t.endsWith < t.requests.size());
            require(t.requests[*t.endsWith].outcome == tftplog::Outcome::Served);
        }
    }
    for (const fetched::Request& r : report.untied) check(r);
    (void)tftplog::parseSince(log.substr(0, 32));
    return 0;
}
