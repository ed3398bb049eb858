// libFuzzer target: any bytes go through opening, the review and saving, and what is saved
// must be a well-formed file that opens and saves to the same bytes again.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <string_view>

#include "lint.h"
#include "ports.h"
#include "reader.h"
#include "review.h"
#include "store.h"
#include "writer.h"

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
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    int warnings = 0;
    const std::string once = normalizeConfig(bytes, [&](Id) { ++warnings; });
    checkShape(once);

    // A saved file opens without warnings, saves to the same bytes and has nothing to report.
    int again = 0;
    require(normalizeConfig(once, [&](Id) { ++again; }) == once);
    require(again == 0);
    require(lintConfig(once).empty());

    lintConfig(bytes);

    const PortSettings port = parsePortValue(bytes);
    require(parsePortValue(composePortValue(port)) == port);
    return 0;
}

extern "C" std::size_t LLVMFuzzerMutate(std::uint8_t* data, std::size_t size, std::size_t maxSize);

// Most mutations are libFuzzer's own; one in eight stretches a line of a small input: a run of
// one to three bytes of the input (or of a Cyrillic letter) repeated to a length at the edges
// that matter (the 300-byte line buffer, an edit box's 32,767 characters) or to a few
// kilobytes. Large inputs are left to the other mutations, so that the corpus stays small.
extern "C" std::size_t LLVMFuzzerCustomMutator(std::uint8_t* data, std::size_t size,
                                               std::size_t maxSize, unsigned int seed) {
    std::minstd_rand random(seed);
    if (random() % 8 != 0 || size >= 8192 || size >= maxSize)
        return LLVMFuzzerMutate(data, size, maxSize);
    static constexpr std::size_t kRuns[] = {297, 298, 299, 300, 301, 32766, 32767, 32768, 40000};
    std::size_t run = random() % 2 ? kRuns[random() % std::size(kRuns)] : 1 + random() % 4096;
    std::uint8_t piece[3] = {'x', 0, 0};
    std::size_t pieceSize = 1;
    if (size > 0 && random() % 4 != 0) {
        pieceSize = 1 + random() % 3;
        const std::size_t from = random() % size;
        pieceSize = std::min(pieceSize, size - from);
        std::memcpy(piece, data + from, pieceSize);
    } else if (random() % 2) {
        piece[0] = 0xD0, piece[1] = 0xB6, pieceSize = 2;  // ж
    }
    run = std::min(run, maxSize - size);
    const std::size_t at = size == 0 ? 0 : random() % (size + 1);
    std::memmove(data + at + run, data + at, size - at);
    for (std::size_t i = 0; i < run; ++i) data[at + i] = piece[i % pieceSize];
    return size + run;
}
