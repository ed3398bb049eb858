// The Windows-1251 table against an independent one: glibc's iconv, here in the test only.
#include <gtest/gtest.h>
#include <iconv.h>

#include <optional>
#include <string>

#include "model/text.h"

using namespace orbex;

namespace {

// `in` converted by iconv from one code to the other; nullopt when iconv refuses it.
std::optional<std::string> convert(const char* to, const char* from, const std::string& in) {
    const iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
    std::string source = in;
    char out[16];
    char* src = source.data();
    char* dst = out;
    std::size_t left = source.size(), room = sizeof out;
    const std::size_t done = iconv(cd, &src, &left, &dst, &room);
    iconv_close(cd);
    if (done == static_cast<std::size_t>(-1) || left != 0) return std::nullopt;
    return std::string(out, static_cast<std::size_t>(dst - out));
}

std::string utf8Of(char32_t c) {
    std::string s;
    if (c < 0x80) {
        s += static_cast<char>(c);
    } else if (c < 0x800) {
        s += static_cast<char>(0xC0 | (c >> 6));
        s += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        s += static_cast<char>(0xE0 | (c >> 12));
        s += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (c & 0x3F));
    }
    return s;
}

}  // namespace

// Every byte reads as the character iconv gives for it (the unassigned 98 as U+FFFD).
TEST(Windows1251, EveryByteReadsAsIconvReadsIt) {
    ASSERT_TRUE(convert("UTF-8", "CP1251", "\xC0")) << "iconv has no CP1251";
    for (int b = 0; b < 256; ++b) {
        const std::string byte(1, static_cast<char>(b));
        const auto want = convert("UTF-8", "CP1251", byte);
        EXPECT_EQ(text::fromCp1251(byte), want.value_or("\xEF\xBF\xBD")) << "byte " << b;
    }
}

// Every character of the BMP survives the code page exactly when iconv can write it in
// CP1251; any other becomes "?". CR, LF and 1A cannot stand inside a line and are left out.
TEST(Windows1251, ACharacterSurvivesExactlyWhenIconvCanWriteIt) {
    int kept = 0;
    for (char32_t c = 1; c < 0x10000; ++c) {
        if ((c >= 0xD800 && c < 0xE000) || c == '\r' || c == '\n' || c == 0x1A) continue;
        const std::string utf8 = utf8Of(c);
        const auto byte = convert("CP1251", "UTF-8", utf8);
        const bool inPage = byte && byte->size() == 1;
        kept += inPage;
        EXPECT_EQ(text::throughCp1251(utf8), inPage ? utf8 : "?") << "U+" << std::hex << +c;
    }
    EXPECT_EQ(kept, 251);  // the bytes 01 to FF, less the unassigned 98 and CR, LF, 1A
}
