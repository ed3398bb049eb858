// Splitting a configuration file into lines and KEY='value' pairs: the one reading loop that
// reading into a store and the check share, each with a handler of its own.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "model/catalogue.h"

namespace orbex {

// One line as reading sees it: CR bytes dropped, the line feed taken off, a byte-order mark
// at its start removed; `number` counts from 1.
struct RawLine {
    std::string_view text;
    int number = 0;
    bool rebuilt = false;  // `text` is a copy without the line's CR bytes, valid for this call
};

// The bytes before the first 1A, and where it stands (npos when there is none).
struct FileText {
    std::string_view lines;
    std::size_t eof = std::string_view::npos;
};
inline FileText textOf(std::string_view bytes) {
    const std::size_t eof = bytes.find('\x1A');
    return {bytes.substr(0, eof), eof};
}

// The line feed that ends the line at `p` (`end` when there is none), noting in `firstCr` the
// first CR byte before it. One look at sixteen bytes at a time where the processor allows.
inline const char* lineEnd(const char* p, const char* end, const char*& firstCr) {
#ifdef __SSE2__
    const __m128i lf = _mm_set1_epi8('\n'), cr = _mm_set1_epi8('\r');
    while (end - p >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const unsigned l = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, lf)));
        unsigned c = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, cr)));
        if (l != 0) c &= (l & (0u - l)) - 1;  // only those before the line feed
        if (c != 0 && !firstCr) firstCr = p + __builtin_ctz(c);
        if (l != 0) return p + __builtin_ctz(l);
        p += 16;
    }
#endif
    for (; p < end; ++p) {
        if (*p == '\n') return p;
        if (*p == '\r' && !firstCr) firstCr = p;
    }
    return end;
}

// Calls `f` for every line of a file's bytes that is no comment, until it returns false.
// Reading is in text mode: every CR byte is dropped, LF ends a line, a byte 1A ends the file.
// A last line without a line break is a line like any other. A comment line (a "#" at its
// first byte) is passed over at that byte: nothing reads its text, whatever CR bytes it holds;
// with `kComments` comment lines are lines like the others.
template <bool kComments = false, typename F>
void forEachLine(FileText in, F&& f) {
    const std::string_view bytes = in.lines;
    const char* p = bytes.data();
    const char* const end = p + bytes.size();
    std::string scratch;
    RawLine line;
    while (p < end) {
        ++line.number;
        if (!kComments && *p == '#') {
            // Nothing reads a comment: only its line feed is looked for.
            const void* const lf = std::memchr(p, '\n', static_cast<std::size_t>(end - p));
            p = lf ? static_cast<const char*>(lf) + 1 : end;
            continue;
        }
        const char* firstCr = nullptr;
        const char* const eol = lineEnd(p, end, firstCr);
        const char* const next = eol < end ? eol + 1 : end;
        std::string_view text(p, static_cast<std::size_t>(eol - p));
        p = next;
        line.rebuilt = false;
        if (firstCr == eol - 1) {
            text.remove_suffix(1);  // the CR of a CR LF line
        } else if (firstCr) {
            while (!text.empty() && text.back() == '\r') text.remove_suffix(1);
            line.rebuilt = text.find('\r') != std::string_view::npos;
            if (line.rebuilt) {
                scratch.assign(text);
                std::erase(scratch, '\r');
                text = scratch;
            }
        }
        // A mark at the start of any line goes; a line of the mark alone is an empty line.
        if (text.size() >= 3 && text[0] == kBom[0] && text.starts_with(kBom))
            text.remove_prefix(kBom.size());
        line.text = text;
        if (!f(static_cast<const RawLine&>(line))) return;
    }
}
template <bool kComments = false, typename F>
void forEachLine(std::string_view bytes, F&& f) {
    forEachLine<kComments>(textOf(bytes), std::forward<F>(f));
}

struct Line {
    enum class Type : std::uint8_t { Blank, Comment, Param, Other };
    // Why a line of type Other is no parameter line.
    enum class Fault : std::uint8_t {
        None,
        NoKeyQuote,    // the text before the first "=" is not followed by "='"
        UnknownKey,    // it is, but the text is no key
        NoCloseQuote,  // a key and "='", but no closing quote
    };
    Type type = Type::Other;
    Fault fault = Fault::None;
    Id key = -1;             // Param and NoCloseQuote: the line's key
    std::string_view value;  // Param: the text between "='" and the next single quote
};

// KEY='value': the key at the first character, directly followed by "='", and a closing quote.
// Anything after the closing quote does not count. The line may still hold its line feed.
Line parseLine(std::string_view line);

// The value of a switch or of X: "on" true, "off" false, anything else neither.
std::optional<bool> onOff(std::string_view value);

// The reading loop: every line of `in` that is no comment, split by parseLine, goes to
// `handler(raw, line)`, which returns false to stop. The handler is a template parameter, so a
// line costs no call through a pointer.
template <typename Handler>
void parseLines(FileText in, Handler& handler) {
    forEachLine(in, [&handler](const RawLine& raw) { return handler(raw, parseLine(raw.text)); });
}

// The X flag of a whole file: the first X line that says "on" or "off" decides it, wherever it
// stands; until then, and in a file without one, it is off.
class XFlag {
  public:
    // An X line's value: whether it says on or off, noted when it is the first that does.
    std::optional<bool> see(std::string_view value) {
        const std::optional<bool> say = onOff(value);
        if (!decided_) decided_ = say;
        return say;
    }
    bool on() const { return decided_.value_or(false); }

  private:
    std::optional<bool> decided_;
};

// A CHIPSET line waits for the X flag, since a later X line may still decide it: the lines are
// held until the end of the file and then settled in file order with the flag of the whole
// file. A file has one CHIPSET line or none, held without storage of its own; more go to a
// vector after them.
template <typename Pending>
class WaitingChipsets {
  public:
    static bool isX(Id key) { return key == x(); }
    static bool isChipset(Id key) { return key == chipset(); }

    XFlag& flag() { return flag_; }
    void wait(Pending p) {
        if (count_ < some_.size()) {
            some_[count_++] = std::move(p);
        } else {
            more_.push_back(std::move(p));
        }
    }
    // Calls `settle(pending, xFlag)` for every waiting line, in file order.
    template <typename F>
    void settle(F&& settle) const {
        for (std::size_t i = 0; i < count_; ++i) settle(some_[i], flag_.on());
        for (const Pending& p : more_) settle(p, flag_.on());
    }

  private:
    static Id x() {
        static const Id id = idOf(keys::X);
        return id;
    }
    static Id chipset() {
        static const Id id = idOf(keys::CHIPSET);
        return id;
    }
    XFlag flag_;
    std::array<Pending, 2> some_{};
    std::size_t count_ = 0;
    std::vector<Pending> more_;
};

}  // namespace orbex
