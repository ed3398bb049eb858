// What the writer does to values that no file can hand it (the store holds them when the
// window does), and the clean-up filter. Whole saved files are in tests/data/*.out.
#include <gtest/gtest.h>

#include <string>

#include "model/review.h"
#include "model/store.h"
#include "model/text.h"
#include "model/writer.h"

using namespace orbex;

namespace {

// The bytes written for one Text value, after the header.
std::string block(std::string_view key, std::string_view value) {
    MemoryStore s;
    s.setText(idOf(key), value);
    const std::string bytes = WriteConfig(BuildReviewTable(s, [](Id) {}));
    const std::string header = WriteConfig({});
    EXPECT_TRUE(bytes.starts_with(header));
    return bytes.substr(std::min(header.size(), bytes.size()));
}

std::string filtered(std::string_view line, int expectedResult) {
    std::string out;
    EXPECT_EQ(FilterConfigLine(line, out), expectedResult) << line;
    return out;
}

}  // namespace

TEST(Writing, QuotesAndEmptyTexts) {
    EXPECT_EQ(block("USERN", "it's"), "\r\n# Имя пользователя:: it's\r\nUSERN='it'\r\n");
    EXPECT_EQ(block("CMD", "'q'"), "\r\n# Удаленный шелл:: 'q'\r\nCMD=''\r\n");
    EXPECT_EQ(block("IP", ""), "\r\n# IP терминала::  \r\nIP=''\r\n");
}

TEST(Writing, ValuesCannotBreakTheirLine) {
    EXPECT_EQ(block("CMD",
                    "a\r\nb\nc\x1A"
                    "d\r"),
              "\r\n# Удаленный шелл:: a b c d\r\nCMD='a b c d'\r\n");
    EXPECT_EQ(block("USERN", "\nUSERN='x'"),
              "\r\n# Имя пользователя::  USERN='x'\r\nUSERN=' USERN='\r\n");
    const std::string bytes =
        WriteConfig({{"d\xEF\xBB\xBF", "CMD", "\xEF\xBB\xBF\r", "2", "\n", idOf("CMD")}});
    EXPECT_EQ(bytes.rfind("\xEF\xBB\xBF"), 0u);  // the one mark stands at the start
    for (std::size_t i = 0; i < bytes.size(); ++i)
        EXPECT_EQ(bytes[i] == '\n', i > 0 && bytes[i - 1] == '\r') << i;
}

TEST(Writing, ValuesPassThroughWindows1251) {
    EXPECT_EQ(block("DOMAIN", "Ёж №5 € «к» ї"),
              "\r\n# Домен:: Ёж №5 € «к» ї\r\nDOMAIN='Ёж №5 € «к» ї'\r\n");
    EXPECT_EQ(block("DOMAIN", "日本 é 😀x"), "\r\n# Домен:: ?? ? ?x\r\nDOMAIN='?? ? ?x'\r\n");
    EXPECT_EQ(block("DOMAIN",
                    "a\xFF"
                    "b"),
              "\r\n# Домен:: a?b\r\nDOMAIN='a?b'\r\n");
    for (int b = 0x80; b <= 0xFF; ++b) {
        if (b == 0x98) continue;  // unassigned
        const std::string utf8 = text::fromCp1251(std::string(1, static_cast<char>(b)));
        EXPECT_EQ(text::length(utf8), 1u) << b;
        EXPECT_EQ(text::throughCp1251(utf8), utf8) << b;
    }
    EXPECT_EQ(text::fromCp1251("\xA8\xB8\xB9\x88\xC0\xFF\xA0\x98"), "Ёё№€Ая\xC2\xA0\xEF\xBF\xBD");
}

TEST(FilterConfigLine, Rules) {
    EXPECT_EQ(filtered("# any ' text\n", 0), "# any ' text\n");
    EXPECT_EQ(filtered("#no line feed", 0), "#no line feed");
    EXPECT_EQ(filtered("##='x'\n", 0), "##='x'\n");  // a comment, whatever follows
    EXPECT_EQ(filtered("\n", 0), "\n");
    EXPECT_EQ(filtered("USERN='a'", 0), "USERN='a'\n");
    EXPECT_EQ(filtered("USERN='a'b'c' tail\n", 0), "USERN='a'\n");
    EXPECT_EQ(filtered("USERN=''\n", 0), "USERN=''\n");
    EXPECT_EQ(filtered("COM10='x'\n", 0), "COM10='x'\n");
    EXPECT_EQ(filtered("TSON='x'\n", 0), "TSON='x'\n");  // a known key without a control
    const std::string longLine = "CMD='" + std::string(700, 'c') + "'\n";
    EXPECT_EQ(filtered(longLine, 0), longLine);
    for (const char* dropped : {"USERN='abc\n", "USERN='\n", "usern='a'\n", " USERN='a'\n",
                                "USERN = 'a'\n", "NOKEY='a'\n", "   \n", "", "=''\n", "USERN"})
        EXPECT_EQ(filtered(dropped, 1), "") << dropped;
}
