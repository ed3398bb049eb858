// Long lines from short inputs. An input stays a few hundred bytes most of the time, which
// keeps the fuzzer fast; the lines that matter for their length (the 300-byte line buffer, an
// edit box's 32,767 characters, a few kilobytes) come from a short mark in it that the target
// stretches: the bytes 00 7F, a length byte R, a byte L, then 1 to 3 bytes of a piece that is
// repeated to the length R chooses. Every other byte is taken as it is.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <string_view>

namespace orbex::fuzz {

inline constexpr char kMark[] = {'\x00', '\x7f'};
inline constexpr std::size_t kRuns[] = {297, 298, 299, 300, 301, 32766, 32767, 32768, 40000};
// What the marks of one input stretch to at most: one line at the longest run and a few
// shorter ones. A mark past it is taken as its bytes; without the bound a corpus grows inputs
// of many long lines, each costing milliseconds.
inline constexpr std::size_t kMaxStretched = 48 * 1024;

// The length that the byte R stands for: one of kRuns, or a multiple of 256 up to 7 KiB.
inline std::size_t runOf(unsigned char r) {
    const std::size_t k = r % 32;
    return k < std::size(kRuns) ? kRuns[k] : (k - std::size(kRuns) + 1) * 256;
}

// The input with every mark stretched.
inline std::string stretched(std::string_view in) {
    std::string out;
    out.reserve(in.size());
    std::size_t i = 0;
    while (i < in.size()) {
        const std::size_t at = in.find(std::string_view(kMark, 2), i);
        if (at == std::string_view::npos || at + 4 >= in.size()) {
            out.append(in.substr(i));
            break;
        }
        out.append(in.substr(i, at - i));
        const std::size_t run = runOf(static_cast<unsigned char>(in[at + 2]));
        if (out.size() + run > kMaxStretched) {
            out.append(kMark, 2);
            i = at + 2;
            continue;
        }
        const std::size_t pieceSize = std::min<std::size_t>(
            1 + static_cast<unsigned char>(in[at + 3]) % 3, in.size() - at - 4);
        const std::string_view piece = in.substr(at + 4, pieceSize);
        // The piece once, then doubled: a few copies, not one call a byte.
        const std::size_t begin = out.size();
        out.append(piece);
        while (out.size() - begin < run)
            out.append(out, begin, std::min(out.size() - begin, run - (out.size() - begin)));
        out.resize(begin + run);
        i = at + 4 + pieceSize;
    }
    return out;
}

// One mutation in eight puts a mark into the input (a piece of the input itself, or a
// Cyrillic letter); the others are libFuzzer's own.
template <typename Mutate>
std::size_t mutateWithMarks(std::uint8_t* data, std::size_t size, std::size_t maxSize,
                            unsigned int seed, Mutate mutate) {
    std::minstd_rand random(seed);
    if (random() % 8 != 0 || size + 7 > maxSize) return mutate(data, size, maxSize);
    std::uint8_t mark[7] = {0x00, 0x7f, static_cast<std::uint8_t>(random()), 0, 'x', 0, 0};
    std::size_t pieceSize = 1;
    if (size > 0 && random() % 4 != 0) {
        pieceSize = std::min<std::size_t>(1 + random() % 3, size);
        std::memcpy(mark + 4, data + random() % (size - pieceSize + 1), pieceSize);
    } else if (random() % 2) {
        mark[4] = 0xD0, mark[5] = 0xB6, pieceSize = 2;  // ж
    }
    mark[3] = static_cast<std::uint8_t>(pieceSize - 1);
    const std::size_t markSize = 4 + pieceSize;
    const std::size_t at = size == 0 ? 0 : random() % (size + 1);
    std::memmove(data + at + markSize, data + at, size - at);
    std::memcpy(data + at, mark, markSize);
    return size + markSize;
}

}  // namespace orbex::fuzz
