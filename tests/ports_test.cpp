#include <gtest/gtest.h>

#include "model/ports.h"

using namespace orbex;

namespace {
constexpr const char* kDefaults = "9600 NONE 8DATABITS 1STOPBIT -XONXOFF -RTSCTS -LOCAL";

// Parsing and composing again, as opening the port dialog and pressing "Сохранить" does.
std::string resave(std::string_view value) {
    return composePortValue(parsePortValue(value));
}
}  // namespace

TEST(PortValue, DefaultsForTextsWithoutKnownWords) {
    EXPECT_EQ(composePortValue({}), kDefaults);
    for (const char* s : {"", "   ", "\t\n", "По умолчанию", "9600,NONE none -xonxoff 57600bps",
                          "xonxoff Local RTS"})
        EXPECT_EQ(parsePortValue(s), PortSettings{}) << '"' << s << '"';
}

TEST(PortValue, FullValueSurvivesUnchanged) {
    const char* full = "19200 EVEN 7DATABITS 2STOPBITS XONXOFF RTSCTS LOCAL";
    const PortSettings s = parsePortValue(full);
    EXPECT_EQ(s, (PortSettings{5, 1, 1, 1, true, true, true}));
    EXPECT_EQ(composePortValue(s), full);
    EXPECT_EQ(resave(kDefaults), kDefaults);
    EXPECT_EQ(resave("115200 ODD 8DATABITS 1STOPBIT -XONXOFF RTSCTS -LOCAL"),
              "115200 ODD 8DATABITS 1STOPBIT -XONXOFF RTSCTS -LOCAL");
}

TEST(PortValue, OrderDoesNotMatterAndLaterWordWins) {
    EXPECT_EQ(resave("LOCAL 115200"), "115200 NONE 8DATABITS 1STOPBIT -XONXOFF -RTSCTS LOCAL");
    EXPECT_EQ(parsePortValue("9600 19200").speed, 5);
    EXPECT_EQ(parsePortValue("19200 9600").speed, 0);
    EXPECT_FALSE(parsePortValue("XONXOFF -XONXOFF").xonxoff);
    EXPECT_TRUE(parsePortValue("-RTSCTS RTSCTS").rtscts);
    EXPECT_EQ(resave("2STOPBITS ODD 300 7DATABITS"),
              "300 ODD 7DATABITS 2STOPBITS -XONXOFF -RTSCTS -LOCAL");
}

TEST(PortValue, UnknownWordsAreDropped) {
    EXPECT_EQ(resave("38400 fast EVEN --LOCAL LOCAL- XONXOFF"),
              "38400 EVEN 8DATABITS 1STOPBIT XONXOFF -RTSCTS -LOCAL");
}

TEST(PortValue, WhiteSpace) {
    EXPECT_EQ(resave("   19200    EVEN   LOCAL   "),
              "19200 EVEN 8DATABITS 1STOPBIT -XONXOFF -RTSCTS LOCAL");
    // A tab right after a word stays inside it: "9600\tNONE" is one word that matches nothing.
    EXPECT_EQ(parsePortValue("9600\tNONE EVEN"), (PortSettings{0, 1, 0, 0}));
    EXPECT_EQ(parsePortValue("19200\tEVEN").speed, 0);
    // A tab after a blank belongs to the run of white space and is dropped.
    EXPECT_EQ(parsePortValue("19200 \tEVEN"), (PortSettings{5, 1, 0, 0}));
    // A run keeps its first character: a tab first, then blanks, leaves the tab in the word.
    EXPECT_EQ(parsePortValue("19200\t  EVEN"), PortSettings{});
    EXPECT_EQ(parsePortValue("19200 \r\n EVEN"), (PortSettings{5, 1, 0, 0}));
    EXPECT_EQ(parsePortValue("19200 EVEN\n"), (PortSettings{5, 0, 0, 0}));  // "EVEN\n" is one word
}
