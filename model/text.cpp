#include "model/text.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace orbex::text {
namespace {

// Code points of the bytes 80..FF of Windows-1251; 0 marks the one unassigned byte 98.
constexpr std::array<char16_t, 128> kHigh = {
    0x0402,
    0x0403,
    0x201A,
    0x0453,
    0x201E,
    0x2026,
    0x2020,
    0x2021,
    0x20AC,
    0x2030,
    0x0409,
    0x2039,
    0x040A,
    0x040C,
    0x040B,
    0x040F,
    0x0452,
    0x2018,
    0x2019,
    0x201C,
    0x201D,
    0x2022,
    0x2013,
    0x2014,
    0x0000,
    0x2122,
    0x0459,
    0x203A,
    0x045A,
    0x045C,
    0x045B,
    0x045F,
    0x00A0,
    0x040E,
    0x045E,
    0x0408,
    0x00A4,
    0x0490,
    0x00A6,
    0x00A7,
    0x0401,
    0x00A9,
    0x0404,
    0x00AB,
    0x00AC,
    0x00AD,
    0x00AE,
    0x0407,
    0x00B0,
    0x00B1,
    0x0406,
    0x0456,
    0x0491,
    0x00B5,
    0x00B6,
    0x00B7,
    0x0451,
    0x2116,
    0x0454,
    0x00BB,
    0x0458,
    0x0405,
    0x0455,
    0x0457,
    // C0..FF: А..я
    0x0410,
    0x0411,
    0x0412,
    0x0413,
    0x0414,
    0x0415,
    0x0416,
    0x0417,
    0x0418,
    0x0419,
    0x041A,
    0x041B,
    0x041C,
    0x041D,
    0x041E,
    0x041F,
    0x0420,
    0x0421,
    0x0422,
    0x0423,
    0x0424,
    0x0425,
    0x0426,
    0x0427,
    0x0428,
    0x0429,
    0x042A,
    0x042B,
    0x042C,
    0x042D,
    0x042E,
    0x042F,
    0x0430,
    0x0431,
    0x0432,
    0x0433,
    0x0434,
    0x0435,
    0x0436,
    0x0437,
    0x0438,
    0x0439,
    0x043A,
    0x043B,
    0x043C,
    0x043D,
    0x043E,
    0x043F,
    0x0440,
    0x0441,
    0x0442,
    0x0443,
    0x0444,
    0x0445,
    0x0446,
    0x0447,
    0x0448,
    0x0449,
    0x044A,
    0x044B,
    0x044C,
    0x044D,
    0x044E,
    0x044F,
};
static_assert(kHigh[0x3F] == 0x0457 && kHigh[0x40] == 0x0410 && kHigh[0x7F] == 0x044F);

bool inCp1251(char32_t c) {
    if (c < 0x80) return true;
    if (c >= 0x0410 && c <= 0x044F) return true;
    for (char16_t h : kHigh)
        if (h != 0 && h == c) return true;
    return false;
}

void append(std::string& out, char32_t c) {
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

// Decodes one UTF-8 sequence at s[i]; returns its length, or 0 when it is not valid UTF-8
// (overlong forms, surrogates and values past U+10FFFF included).
std::size_t next(std::string_view s, std::size_t i, char32_t& c) {
    const auto b = [&](std::size_t k) { return static_cast<unsigned char>(s[i + k]); };
    const unsigned char b0 = b(0);
    if (b0 < 0x80) {
        c = b0;
        return 1;
    }
    std::size_t n;
    char32_t min;
    if ((b0 & 0xE0) == 0xC0) {
        n = 2, c = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        n = 3, c = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        n = 4, c = b0 & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (i + n > s.size()) return 0;
    for (std::size_t k = 1; k < n; ++k) {
        if ((b(k) & 0xC0) != 0x80) return 0;
        c = (c << 6) | (b(k) & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
    return n;
}

}  // namespace

bool isUtf8(std::string_view s) {
    char32_t c;
    for (std::size_t i = 0; i < s.size();) {
        if (static_cast<unsigned char>(s[i]) < 0x80) {
            ++i;
            continue;
        }
        std::size_t n = next(s, i, c);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

std::string escapedName(std::string_view s) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    out.reserve(s.size());
    const auto escape = [&](unsigned char b) {
        out += "\\x";
        out += kHex[b >> 4];
        out += kHex[b & 15];
    };
    char32_t c;
    for (std::size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        if (b < 0x80) {
            if (b < 0x20 || b == 0x7f) {
                escape(b);
            } else {
                if (b == '\\') out += '\\';
                out += s[i];
            }
            ++i;
            continue;
        }
        const std::size_t n = next(s, i, c);
        if (n == 0) {
            escape(b);
            ++i;
        } else {
            out.append(s.substr(i, n));
            i += n;
        }
    }
    return out;
}

std::string fromCp1251(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() * 2);
    for (char ch : bytes) {
        auto b = static_cast<unsigned char>(ch);
        if (b < 0x80) {
            out += ch;
        } else {
            char16_t c = kHigh[b - 0x80];
            append(out, c != 0 ? c : 0xFFFD);
        }
    }
    return out;
}

void appendThroughCp1251(std::string& out, std::string_view s) {
    std::size_t kept = 0;  // s[kept, i) goes to the output unchanged
    char32_t c;
    for (std::size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        if (b >= 0x20 && b < 0x80) {
            ++i;
            continue;
        }
        // А..я, the bulk of every Russian text: D0 90..BF and D1 80..8F.
        if (i + 1 < s.size()) {
            const auto b1 = static_cast<unsigned char>(s[i + 1]);
            if ((b == 0xD0 && b1 >= 0x90 && b1 <= 0xBF) ||
                (b == 0xD1 && b1 >= 0x80 && b1 <= 0x8F)) {
                i += 2;
                continue;
            }
        }
        std::size_t n = next(s, i, c);
        std::string_view instead;
        if (n == 0) {
            n = 1, instead = "?";
        } else if (c == '\r') {
            instead = "";  // dropped
        } else if (c == '\n' || c == 0x1A) {
            instead = " ";
        } else if (inCp1251(c)) {
            i += n;
            continue;
        } else {
            instead = "?";
        }
        out.append(s, kept, i - kept);
        out += instead;
        i += n;
        kept = i;
    }
    out.append(s, kept);
}

std::string cp1251Html(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    char32_t c;
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t n = next(s, i, c);
        i += n != 0 ? n : 1;
        if (n == 0) {
            out += '?';
        } else if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c >= 0x0410 && c <= 0x044F) {
            out += static_cast<char>(0xC0 + (c - 0x0410));
        } else {
            std::size_t k = 0;
            while (k < kHigh.size() && (kHigh[k] == 0 || kHigh[k] != c)) ++k;
            if (k < kHigh.size())
                out += static_cast<char>(0x80 + k);
            else
                out += "&#" + std::to_string(static_cast<std::uint32_t>(c)) + ";";
        }
    }
    return out;
}

std::string throughCp1251(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    appendThroughCp1251(out, s);
    return out;
}

namespace {
// Bytes of the character at s[i]; an invalid byte is a character of its own.
std::size_t step(std::string_view s, std::size_t i) {
    if (static_cast<unsigned char>(s[i]) < 0x80) return 1;
    char32_t c;
    const std::size_t n = next(s, i, c);
    return n != 0 ? n : 1;
}
}  // namespace

std::size_t length(std::string_view s) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < s.size(); ++count) {
        if (static_cast<unsigned char>(s[i]) < 0x80) {
            ++i;
        } else {
            i += step(s, i);
        }
    }
    return count;
}

std::string_view cut(std::string_view s, std::size_t chars) {
    if (chars >= s.size()) return s;  // no character is shorter than a byte
    std::size_t i = 0;
    for (std::size_t k = 0; k < chars && i < s.size(); ++k) i += step(s, i);
    return s.substr(0, i);
}

namespace {
bool isControl(char c) {
    return static_cast<unsigned char>(c) < 0x20 || c == '\x7F';
}
}  // namespace

bool hasControl(std::string_view s, bool tabToo) {
    return std::any_of(s.begin(), s.end(),
                       [tabToo](char c) { return isControl(c) && (tabToo || c != '\t'); });
}

std::string printable(std::string_view s) {
    if (!hasControl(s)) return std::string(s);
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(s.size() + 8);
    for (char c : s) {
        if (!isControl(c)) {
            out += c;
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else {
            const auto u = static_cast<unsigned char>(c);
            out += "\\x";
            out += kHex[u >> 4];
            out += kHex[u & 15];
        }
    }
    return out;
}

}  // namespace orbex::text
