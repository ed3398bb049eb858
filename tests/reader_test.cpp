// Reading rules that the fixtures in tests/data cannot show: state carried between loads and
// between lines, and the store's state behind what the review table prints.
#include <gtest/gtest.h>

#include "model/lint.h"
#include "model/reader.h"
#include "model/store.h"
#include "model/writer.h"

using namespace orbex;

namespace {

MemoryStore load(std::string_view bytes) {
    MemoryStore s;
    readConfig(bytes, s);
    return s;
}
int chipsetItem(std::string_view value) {
    return *itemOf(param(idOf("CHIPSET")).table, value);
}
const Id kChipset = idOf("CHIPSET"), kKeymap = idOf("KEYMAP");

}  // namespace

TEST(Reading, XFlagIsClearedAtEveryLoad) {
    MemoryStore s;
    readConfig("X='on'\nCHIPSET='auto'\n", s);
    ASSERT_EQ(s.item(kChipset), chipsetItem("auto_x"));
    readConfig("CHIPSET='auto'\n", s);
    EXPECT_EQ(s.item(kChipset), chipsetItem("auto"));
    // An X line without a line break still counts.
    EXPECT_EQ(load("CHIPSET='auto'\nX='on'").item(kChipset), chipsetItem("auto_x"));
}

TEST(Reading, ChipsetLinesKeepTheirOrderWhateverTheFlag) {
    // A later value outside the table leaves the earlier one; the flag comes after both.
    EXPECT_EQ(load("CHIPSET='auto'\nCHIPSET='none'\nX='on'\n").item(kChipset),
              chipsetItem("auto_x"));
    EXPECT_EQ(load("CHIPSET='VESA'\nCHIPSET='ATI'\nX='off'\nX='on'\n").item(kChipset),
              chipsetItem("ATI"));
    // With the flag, a value without an "_x" row is ignored.
    EXPECT_EQ(load("CHIPSET='auto'\nCHIPSET='ATI'\nX='on'\n").item(kChipset),
              chipsetItem("auto_x"));
}

TEST(Reading, StartsFromAllUnset) {
    MemoryStore s;
    s.setText(idOf("PASSW"), "old");
    s.setCheck(idOf("DHCP"), Tri::Checked);
    s.setItem(idOf("COLOR"), 2);
    s.setText(kKeymap, "41D");
    readConfig("USERN='new'\n", s);
    MemoryStore expected;
    expected.setText(idOf("USERN"), "new");
    EXPECT_EQ(s, expected);
    // The unset marker set as a text is the unset state itself; KEYMAP's free text is only text.
    expected.setText(idOf("PASSW"), "x");
    expected.setText(idOf("PASSW"), kUnset);
    EXPECT_EQ(s, expected);
    EXPECT_EQ(expected.text(idOf("PASSW")), kUnset);
    expected.setText(kKeymap, kUnset);
    EXPECT_EQ(expected.item(kKeymap), -1);
    EXPECT_EQ(expected.text(kKeymap), kUnset);
}

TEST(Reading, KeymapItemOrFreeText) {
    EXPECT_EQ(load("KEYMAP='419'\n").item(kKeymap), 2);
    const MemoryStore free = load("KEYMAP='40c'\n");  // the table has 40C
    EXPECT_EQ(free.item(kKeymap), -1);
    EXPECT_EQ(free.text(kKeymap), "40c");
    // A free text after a row keeps the row; a row after a free text selects the row.
    EXPECT_EQ(load("KEYMAP='419'\nKEYMAP='41D'\n").item(kKeymap), 2);
    EXPECT_EQ(load("KEYMAP='41D'\nKEYMAP='422'\n").item(kKeymap), 3);
    EXPECT_EQ(load("KEYMAP=''\n").text(kKeymap), "");
    EXPECT_EQ(load("KEYMAP=''\n").item(kKeymap), -1);
}

TEST(Reading, OddBytes) {
    const Id user = idOf("USERN");
    EXPECT_EQ(load("USERN='a\rb'\r\n").text(user), "ab");
    EXPECT_EQ(load("USERN='u\x1A'\n").text(user), kUnset);  // the file ends before the quote
    EXPECT_EQ(load("\xEF\xBB\xBF\nUSERN='u'\n").text(user), "u");
    EXPECT_EQ(load("\xEF\xBB\xBF\xEF\xBB\xBFUSERN='u'\n").text(user), kUnset);  // one mark only
    EXPECT_EQ(load("USERN='\xC0\x80'\n").text(user), "А\xD0\x82");  // an overlong form is no UTF-8
    EXPECT_EQ(load("USERN='\xED\xA0\x80'\n").text(user), "н\xC2\xA0\xD0\x82");  // nor a surrogate
    EXPECT_EQ(load("USERN=''\nIP=''\n").text(idOf("IP")), "");  // empty is set, not unset
}

// Unsetting each parameter of a full store one by one ends where a fresh store starts, and
// touches nothing but the one parameter.
TEST(Store, UnsetOneParameterAtATime) {
    MemoryStore s = load("USERN='u'\nAUTOSTART='on'\nCACH='max'\nKEYMAP='41D'\nTSON='1'\n");
    const MemoryStore full = s;
    unset(s, idOf("AUTOSTART"));
    EXPECT_EQ(s.check(idOf("AUTOSTART")), Tri::Grayed);
    EXPECT_EQ(s.text(idOf("USERN")), "u");
    EXPECT_EQ(s.item(idOf("CACH")), 3);
    for (Id id = 0; id < kKeyCount; ++id) unset(s, id);
    EXPECT_EQ(s, MemoryStore());
    MemoryStore reset = full;
    reset.Store::ResetAll();
    EXPECT_EQ(reset, MemoryStore());
}

// A line that is the byte-order mark alone is an empty line, with or without its line feed; the
// mark goes from the start of any line, and only there.
TEST(Reading, MarkAloneIsAnEmptyLine) {
    const std::string bom = "\xEF\xBB\xBF";
    for (const std::string& file :
         {bom, bom + "\n", "USERN='u'\n" + bom, "USERN='u'\r\n" + bom + "\r\n"})
        EXPECT_EQ(lintConfig(file).size(), 0u) << file;
    EXPECT_EQ(load(bom + "USERN='u'\n" + bom + "PASSW='p'").text(idOf("PASSW")), "p");
    EXPECT_EQ(lintConfig("USERN='u'" + bom + "\n").size(), 0u);
    EXPECT_EQ(load("USERN='u" + bom + "'\n").text(idOf("USERN")), "u" + bom);
    EXPECT_EQ(lintConfig(" " + bom + "USERN='u'\n").size(), 1u);
}

// What the editor lists as dropped by the save: comments and ignored lines in line order, with
// the check's reasons; values that the save resets are not dropped lines.
TEST(DroppedLines, CommentsAndIgnoredLinesInOrderWithoutResets) {
    const std::string file =
        "\xEF\xBB\xBF# terminal 12\r\n"
        "USERN='u'\r\n"
        "Usern='v'\r\n"
        "IP='300.1.1.1'\r\n"
        "junk\r\n"
        "  # indented, not a comment\r\n"
        "AUTOSTART='maybe'\r\n"
        "#last\r\n"
        "\x1A# after the end\r\n";
    std::vector<std::string> seen;
    for (const Finding& f : droppedLines(file))
        seen.push_back(std::to_string(f.line) + " " + f.key + ": " + message(f));
    EXPECT_EQ(seen, (std::vector<std::string>{
                        "1 : comment; dropped on save",
                        "3 : unknown key 'Usern' (keys are case-sensitive: USERN); ignored",
                        "5 : not a KEY='value' line; ignored",
                        "6 : not a KEY='value' line; ignored",
                        "7 AUTOSTART: 'maybe' is neither on nor off; the switch stays unset",
                        "8 : comment; dropped on save",
                        "9 : text after byte 1A (Ctrl-Z) is ignored",
                    }));
    EXPECT_TRUE(droppedLines("USERN='u'\nIP='10.0.0.1'\n").empty());
    // What the save writes, comments included, loses nothing when saved again; a comment of the
    // save's own form is still dropped when its parameter is not set.
    const std::string saved = normalizeConfig("NUMLOCK='on'\nUSERN='u'\n", [](Id) {});
    EXPECT_NE(saved.find("\n#"), std::string::npos);
    EXPECT_TRUE(droppedLines(saved).empty());
    std::string numlockComment;
    forEachLine<true>(saved, [&](const RawLine& raw) {
        if (raw.text.find("NumLock") != std::string_view::npos) numlockComment = raw.text;
        return numlockComment.empty();
    });
    EXPECT_EQ(droppedLines(numlockComment + "\nUSERN='u'\n").size(), 1u) << numlockComment;
}

// CHIPSET lines wait for the X flag of the whole file, however many there are, and their
// findings come in line order among the others.
TEST(Checking, ManyChipsetLinesWaitForTheFlag) {
    std::string file;
    for (int i = 0; i < 5; ++i) file += i % 2 ? "CHIPSET='nope'\nUSERN='x\n" : "CHIPSET='auto'\n";
    file += "X='on'\n";
    std::vector<int> lines;
    for (const Finding& f : lintConfig(file)) lines.push_back(f.line);
    EXPECT_EQ(lines, (std::vector<int>{2, 3, 5, 6}));
    EXPECT_EQ(message(lintConfig(file)[0]),
              "'nope_x' (the value with X='on') is not in the key's value table; ignored");
}

// Each finding names its kind by a code, with what its words need: the check's English is
// made from them, and so is any other language's.
TEST(Checking, FindingsCarryTheirCodeAndParameters) {
    const std::string file =
        "Usern='v'\n"        // 1
        "IP = '10.0.0.1'\n"  // 2
        "IP\n"               // 3
        "IP=10.0.0.1\n"      // 4
        "RAZR='huge'\n"      // 5
        "AUTOSTART='yes'\n"  // 6
        "X='maybe'\n"        // 7
        "VIDEO='vesa'\n"     // 8
        "VOLUME='loud'\n"    // 9
        "USERN='open\n"      // 10
        "junk\n";            // 11
    struct Expected {
        int line;
        LintCode code;
        std::string value, hint;
    };
    const std::vector<Expected> expected{
        {1, LintCode::UnknownKey, "Usern", "USERN"},
        {2, LintCode::Blanks, "", ""},
        {3, LintCode::NoEquals, "", ""},
        {4, LintCode::NoQuotes, "", ""},
        {5, LintCode::NotInTable, "huge", ""},
        {6, LintCode::SwitchNotOnOff, "yes", ""},
        {7, LintCode::XNotOnOff, "maybe", ""},
        {8, LintCode::NotEdited, "vesa", ""},
        {9, LintCode::Reset, "loud", ""},
        {10, LintCode::NoCloseQuote, "", ""},
        {11, LintCode::NotParamLine, "", ""},
    };
    const std::vector<Finding> found = lintConfig(file);
    ASSERT_EQ(found.size(), expected.size());
    for (std::size_t i = 0; i < found.size(); ++i) {
        EXPECT_EQ(found[i].line, expected[i].line);
        EXPECT_EQ(found[i].code, expected[i].code) << found[i].line;
        EXPECT_EQ(found[i].value, expected[i].value) << found[i].line;
        EXPECT_EQ(found[i].hint, expected[i].hint) << found[i].line;
        EXPECT_EQ(found[i].resets(), found[i].code == LintCode::Reset);
    }
    EXPECT_EQ(message(found[8]), "'loud' is not a whole number; saving resets it to unset");
    EXPECT_EQ(message(found[4]), "'huge' is not in the key's value table; ignored");
    const Finding chipset = lintConfig("X='on'\nCHIPSET='nope'\n").at(0);
    EXPECT_EQ(chipset.value, "nope_x");
    EXPECT_TRUE(chipset.xFlag);
    EXPECT_EQ(droppedLines("# note\n").at(0).code, LintCode::DroppedComment);
}
