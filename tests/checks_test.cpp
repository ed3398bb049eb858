#include <gtest/gtest.h>

#include <string>

#include "model/catalogue.h"
#include "model/checks.h"
#include "model/edit.h"
#include "model/text.h"

using namespace orbex;

TEST(IsValidIpAddress, Accepts) {
    for (const char* s : {"", "1.2.3.4", "1.0.0.0", "255.255.255.255", "192.168.001.010",
                          "001.002.003.004", "10.0.0.1"})
        EXPECT_TRUE(IsValidIpAddress(s)) << '"' << s << '"';
}

TEST(IsValidIpAddress, Rejects) {
    for (const char* s : {
             "0.1.2.3",    // first group 0
             "000.1.2.3",  //
             "256.1.1.1",  // a group above 255
             "1.2.3.256",
             "1.256.3.4",
             "1.2.999.4",
             "1.2.3",             // too short
             "1.2.3.4.5",         // a fourth dot
             "1.2.3.4.",          //
             "111.222.111.2221",  // too long (16)
             "10.0.0.1 ",         // a blank is no digit
             " 10.0.0.1",
             "10.0.0.a",
             "10,0.0.1",
             "1.2.3.-4",
             "+1.2.3.4",
             "10.0..1",  // groups without digits
             "1.2.3.",
             ".1.2.3.4",
             "10.0.0..",
             "1..2.3",
             "...1111",
         })
        EXPECT_FALSE(IsValidIpAddress(s)) << '"' << s << '"';
}

TEST(IsValidIpList, SplitsAtBlanks) {
    EXPECT_TRUE(IsValidIpList(""));
    EXPECT_TRUE(IsValidIpList("10.0.0.1"));
    EXPECT_TRUE(IsValidIpList("10.0.0.1 "));  // fails as one address, passes as a list
    EXPECT_FALSE(IsValidIpAddress("10.0.0.1 "));
    EXPECT_TRUE(IsValidIpList("  10.0.0.1     10.0.0.2  "));
    EXPECT_FALSE(IsValidIpList(" "));  // no entries: checked as one address
    EXPECT_FALSE(IsValidIpList("        "));
    EXPECT_FALSE(IsValidIpList("10.0.0.1 server"));
    EXPECT_FALSE(IsValidIpList("server 10.0.0.1"));
    EXPECT_FALSE(IsValidIpList("10.0.0.1\t10.0.0.2"));  // only blanks separate
    EXPECT_FALSE(IsValidIpList("10.0.0.1 0.0.0.1"));
}

TEST(IsValidIpList, LongListCheckedEntryByEntry) {
    std::string list;
    for (int i = 1; i <= 40; ++i) list += "192.168.100." + std::to_string(i) + " ";
    ASSERT_GT(list.size(), 254u);
    EXPECT_TRUE(IsValidIpList(list));
    EXPECT_FALSE(IsValidIpList(list + "192.168.100.256"));
    EXPECT_FALSE(IsValidIpList(list + "host"));
    EXPECT_TRUE(IsValidIpList(list + "10.1.1.1"));
}

TEST(IsWholeNumber, Decimal) {
    for (const char* s :
         {"0", "7", "-5", "+5", "   42", "007", "2147483647", "-2147483648", "+2147483647", "-0"})
        EXPECT_TRUE(IsWholeNumber(s)) << '"' << s << '"';
    for (const char* s :
         {"", " ", "+", "-", "12 ", "1 2", "- 5", "--5", "+-5", "1e3", "1.0", "2147483648",
          "-2147483649", "99999999999999999999", "abc", "12a", "\t12"})
        EXPECT_FALSE(IsWholeNumber(s)) << '"' << s << '"';
}

TEST(IsWholeNumber, Hexadecimal) {
    for (const char* s : {"$10", "$ff", "$FF", "x1F", "X1f", "0x1F", "0XAbC", "-$10", " 0x10",
                          "$7FFFFFFF", "-$80000000", "0x7fffffff", "$0"})
        EXPECT_TRUE(IsWholeNumber(s)) << '"' << s << '"';
    for (const char* s : {"$", "x", "0x", "$g", "0x1G", "ff", "1F", "$80000000", "0x100000000",
                          "$ 1", "0x-1", "$$1", "0xx1"})
        EXPECT_FALSE(IsWholeNumber(s)) << '"' << s << '"';
}

TEST(Text, ControlCharactersAreRefusedAndEscaped) {
    EXPECT_EQ(text::printable("a\r\nb\tc\x1b[0m\x7F"), "a\\r\\nb\\tc\\x1B[0m\\x7F");
    EXPECT_EQ(text::printable(std::string("\0Ж", 3)), "\\x00Ж");
    EXPECT_TRUE(text::hasControl("a\tb"));
    EXPECT_FALSE(text::hasControl("a\tb", false));
    EXPECT_FALSE(text::hasControl("Жё €"));
    // What set and import refuse: a value that no line of the file could hold as it is.
    const Param& usern = param(idOf("USERN"));
    const Param& keymap = param(idOf("KEYMAP"));
    EXPECT_EQ(refusal(usern, "a\tb"), "");
    EXPECT_EQ(refusal(usern, std::string("a\0b", 3)), "cannot hold a control character (\\x00)");
    EXPECT_EQ(refusal(usern, "a\x1b[2J"), "cannot hold a control character (\\x1B)");
    EXPECT_EQ(refusal(usern, "a\x1A"), "cannot hold a control character (\\x1A)");
    EXPECT_EQ(refusal(usern, "a\nb"), "cannot hold a single quote or a line break");
    // A list that takes typed text takes no more than a text does.
    EXPECT_EQ(refusal(keymap, "my map"), "");
    EXPECT_EQ(refusal(keymap, "a\nKEYMAP='b"), "cannot hold a single quote or a line break");
    EXPECT_EQ(refusal(keymap, "a\x01"), "cannot hold a control character (\\x01)");
}
