// libFuzzer target: any bytes go through opening, the review and saving, and what is saved
// must be a well-formed file that opens and saves to the same bytes again. Marks in the input
// stretch into long lines (stretch.h).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/hooks.h"
#include "fuzz/stretch.h"
#include "model/lint.h"
#include "model/ports.h"
#include "model/reader.h"
#include "model/review.h"
#include "model/store.h"
#include "model/writer.h"

namespace {

using namespace orbex;

void require(bool ok) {
    if (!ok) __builtin_trap();
}

// One mark at the very start, none elsewhere, and every line ends in CR LF.
void checkShape(std::string_view out) {
    require(out.starts_with(kBom));
    require(out.find(kBom, 1) == std::string_view::npos);
    require(out.ends_with("\r\n"));
    for (std::size_t i = 0; i < out.size(); ++i) {
        if (out[i] == '\n') require(i > 0 && out[i - 1] == '\r');
        if (out[i] == '\r') require(i + 1 < out.size() && out[i + 1] == '\n');
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input = orbex::fuzz::stretched({reinterpret_cast<const char*>(data), size});
    const std::string_view bytes = input;

    int warnings = 0;
    const std::string once = normalizeConfig(bytes, [&](Id) { ++warnings; });
    checkShape(once);

    // A saved file opens without warnings, saves to the same bytes and has nothing to report.
    int again = 0;
    require(normalizeConfig(once, [&](Id) { ++again; }) == once);
    require(again == 0);
    // One at a time: a vector of every finding would cost more than the check itself.
    std::size_t findings = 0;
    lintConfig(once, [&](const Finding&) { ++findings; });
    require(findings == 0);
    // The check of the input itself: its first lines (a stretched run of line ends would be
    // tens of thousands of findings, kept and sorted, which took most of the time).
    lintConfig(bytes.substr(0, 4096), [](const Finding&) {});

    // A port value is one line of a file: the first one (a whole file took most of the time).
    const PortSettings port =
        parsePortValue(bytes.substr(0, std::min(bytes.find('\n'), std::size_t{1024})));
    require(parsePortValue(composePortValue(port)) == port);
    return 0;
}
