// Every tests/data/NAME.cfg is opened as the editor opens it. NAME.show holds the review table
// as `show` prints it, NAME.err the warnings (none when absent), NAME.out the saved bytes.
#include <cctype>
#include <filesystem>

#include "cli_support.h"
#include "writer.h"

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

INSTANTIATE_TEST_SUITE_P(Data, Fixture, ::testing::ValuesIn(fixtures()),
                         [](const ::testing::TestParamInfo<fs::path>& info) {
                             std::string name = info.param.stem().string();
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });
