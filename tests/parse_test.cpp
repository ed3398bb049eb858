// The reading loop and its handlers: what a handler is given, and that reading and the check
// decide the X flag and the waiting CHIPSET lines alike, for small files and for large ones.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "model/lint.h"
#include "model/parse.h"
#include "model/reader.h"
#include "model/store.h"

using namespace orbex;

namespace {

struct Seen {
    int number;
    std::string text;
    Line::Type type;
};

std::vector<Seen> seen(std::string_view bytes, int stopAfter = -1) {
    std::vector<Seen> out;
    auto handler = [&](const RawLine& raw, const Line& line) {
        out.push_back({raw.number, std::string(raw.text), line.type});
        return static_cast<int>(out.size()) != stopAfter;
    };
    parseLines(textOf(bytes), handler);
    return out;
}

std::vector<std::string> chipsetMessages(std::string_view bytes) {
    std::vector<std::string> out;
    for (const Finding& f : lintConfig(bytes))
        if (f.key == "CHIPSET") out.push_back(std::to_string(f.line) + " " + message(f));
    return out;
}

}  // namespace

// Comments are passed over but counted, CR bytes and a mark go, the file ends at byte 1A, and a
// handler that returns false sees no more lines.
TEST(ParseLines, HandlerSeesEveryLineThatIsNoComment) {
    const std::string file =
        "\xEF\xBB\xBFUSERN='a'\r\n# note\r\n\nVIDEO='b\r'\r\nnot a line\x1AUSERN='late'\n";
    const std::vector<Seen> all = seen(file);
    ASSERT_EQ(all.size(), 4u);
    EXPECT_EQ(all[0].number, 1);
    EXPECT_EQ(all[0].text, "USERN='a'");
    EXPECT_EQ(all[0].type, Line::Type::Param);
    EXPECT_EQ(all[1].number, 3);
    EXPECT_EQ(all[1].type, Line::Type::Blank);
    EXPECT_EQ(all[2].number, 4);
    EXPECT_EQ(all[2].text, "VIDEO='b'");
    EXPECT_EQ(all[3].number, 5);
    EXPECT_EQ(all[3].text, "not a line");
    EXPECT_EQ(all[3].type, Line::Type::Other);

    const std::vector<Seen> two = seen(file, 2);
    ASSERT_EQ(two.size(), 2u);
    EXPECT_EQ(two[1].number, 3);
}

// The first X line that says on or off decides; others, before or after, do not.
TEST(XFlagRule, FirstOnOrOffDecides) {
    XFlag flag;
    EXPECT_FALSE(flag.on());
    EXPECT_EQ(flag.see("maybe"), std::nullopt);
    EXPECT_FALSE(flag.on());
    EXPECT_EQ(flag.see("on"), true);
    EXPECT_TRUE(flag.on());
    EXPECT_EQ(flag.see("off"), false);
    EXPECT_TRUE(flag.on());
}

// Waiting lines, past the two held in place, come back in file order, all with the final flag.
TEST(XFlagRule, WaitingLinesSettleInOrderWithTheLastWord) {
    WaitingChipsets<int> waiting;
    for (int i = 1; i <= 5; ++i) {
        waiting.wait(i);
        if (i == 2) waiting.flag().see("on");
        if (i == 4) waiting.flag().see("off");
    }
    std::vector<std::pair<int, bool>> settled;
    waiting.settle([&](int line, bool x) { settled.emplace_back(line, x); });
    EXPECT_EQ(settled, (std::vector<std::pair<int, bool>>{
                           {1, true}, {2, true}, {3, true}, {4, true}, {5, true}}));
    EXPECT_TRUE(WaitingChipsets<int>::isX(idOf("X")));
    EXPECT_TRUE(WaitingChipsets<int>::isChipset(idOf("CHIPSET")));
    EXPECT_FALSE(WaitingChipsets<int>::isChipset(idOf("X")));
}

// Reading and the check take the same X flag: an X line after CHIPSET counts, an X line that is
// neither on nor off does not, and a file large enough to be read ahead decides as a small one.
TEST(XFlagRule, ReadingAndCheckAgreeWhereverXStands) {
    const std::string small = "CHIPSET='nope'\nX='yes'\nCHIPSET='auto'\nX='on'\nX='off'\n";
    MemoryStore store;
    EXPECT_TRUE(readConfig(small, store));
    const std::vector<std::string> expected = {
        "1 'nope_x' (the value with X='on') is not in the key's value table; ignored"};
    EXPECT_EQ(chipsetMessages(small), expected);

    std::string large = small;
    while (large.size() <= 70 * 1024) large += "# padding that the check reads past\n";
    EXPECT_TRUE(readConfig(large, store));
    EXPECT_EQ(chipsetMessages(large), expected);

    const std::string offFile = "CHIPSET='nope'\nX='off'\nX='on'\n";
    EXPECT_FALSE(readConfig(offFile, store));
    EXPECT_EQ(chipsetMessages(offFile),
              (std::vector<std::string>{"1 'nope' is not in the key's value table; ignored"}));
}
