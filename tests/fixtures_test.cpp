// Every tests/data/NAME.cfg is opened as the editor opens it. NAME.show holds the review table
// as `show` prints it, NAME.err the warnings (none when absent), NAME.out the saved bytes.
#include <cctype>
#include <filesystem>

#include <set>

#include "model/lint.h"
#include "model/reader.h"
#include "model/writer.h"
#include "tests/cli_support.h"

using namespace orbex;
using namespace orbex::testing;
namespace fs = std::filesystem;

namespace {

std::vector<fs::path> fixtures() {
    std::vector<fs::path> v;
    for (const auto& e : fs::directory_iterator(ORBCFG_TEST_DATA))
        if (e.path().extension() == ".cfg") v.push_back(e.path());
    std::sort(v.begin(), v.end());
    return v;
}

std::string withSiteHost(std::string bytes) {
    const std::string written = "http://orbex.example";
    if (auto at = bytes.find(written); at != std::string::npos)
        bytes.replace(at, written.size(), siteAddress());
    return bytes;
}

std::string sibling(const fs::path& cfg, const char* extension) {
    fs::path p = cfg;
    p.replace_extension(extension);
    return fs::exists(p) ? slurp(p) : std::string();
}

class Fixture : public ::testing::TestWithParam<fs::path> {};

// The comment lines of `bytes` that the save does not write again, each comment the save writes
// keeping one line of its text: the lines of the saved bytes looked up one by one.
std::vector<int> commentsNotWritten(const std::string& bytes) {
    std::multiset<std::string> written;
    forEachLine<true>(normalizeConfig(bytes, [](Id) {}), [&](const RawLine& raw) {
        if (parseLine(raw.text).type == Line::Type::Comment) written.emplace(raw.text);
        return true;
    });
    std::vector<int> lines;
    forEachLine<true>(bytes, [&](const RawLine& raw) {
        if (parseLine(raw.text).type != Line::Type::Comment) return true;
        if (const auto at = written.find(std::string(raw.text)); at != written.end()) {
            written.erase(at);
        } else {
            lines.push_back(raw.number);
        }
        return true;
    });
    return lines;
}

std::vector<int> droppedComments(const std::string& bytes) {
    std::vector<int> lines;
    for (const Finding& f : droppedLines(bytes))
        if (f.code == LintCode::DroppedComment) lines.push_back(f.line);
    return lines;
}

std::string reversedLines(const std::string& bytes) {
    std::vector<std::string> lines;
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t end = std::min(bytes.find('\n', at), bytes.size());
        lines.push_back(bytes.substr(at, end - at));
        at = end + 1;
    }
    std::string out;
    for (auto l = lines.rbegin(); l != lines.rend(); ++l) out += *l + "\n";
    return out;
}

}  // namespace

TEST(Fixtures, FolderHoldsFixtures) {
    EXPECT_GE(fixtures().size(), 20u);
}

TEST_P(Fixture, ShowAndNormalize) {
    const fs::path cfg = GetParam();
    ASSERT_TRUE(fs::exists(fs::path(cfg).replace_extension(".show"))) << cfg;
    const std::string bytes = slurp(cfg);

    const Result shown = runCli({"show", "-"}, bytes);
    EXPECT_EQ(shown.code, 0);
    EXPECT_EQ(shown.out, sibling(cfg, ".show"));
    EXPECT_EQ(shown.err, sibling(cfg, ".err"));

    const Result saved = runCli({"normalize", "-"}, bytes);
    EXPECT_EQ(saved.code, 0);
    if (fs::exists(fs::path(cfg).replace_extension(".out"))) {
        EXPECT_EQ(saved.out, withSiteHost(sibling(cfg, ".out")));
    }
    // Saving what was saved changes nothing and warns about nothing.
    const Result again = runCli({"normalize", "-"}, saved.out);
    EXPECT_EQ(again.out, saved.out);
    EXPECT_EQ(again.err, "");
}

// The comments that an open lists as dropped are those the save does not write again, however
// the file orders or repeats them.
TEST_P(Fixture, DroppedCommentsAreThoseTheSaveDoesNotWrite) {
    const std::string bytes = slurp(GetParam());
    const std::string saved = normalizeConfig(bytes, [](Id) {});
    EXPECT_EQ(droppedComments(saved), std::vector<int>{});
    for (const std::string& file : {bytes, reversedLines(bytes), saved, reversedLines(saved),
                                    saved + saved, reversedLines(saved) + saved}) {
        EXPECT_EQ(droppedComments(file), commentsNotWritten(file)) << file;
    }
}

INSTANTIATE_TEST_SUITE_P(Data, Fixture, ::testing::ValuesIn(fixtures()),
                         [](const ::testing::TestParamInfo<fs::path>& info) {
                             std::string name = info.param.stem().string();
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });
