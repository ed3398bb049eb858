// The HTML Help project: its files refer to one another, its index holds every keyword, and its
// pages are the help book's sections.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <regex>
#include <set>

#include "model/chmproject.h"
#include "model/helpbook.h"
#include "model/helpfleet.h"
#include "model/text.h"

using namespace orbex;

namespace {

// A page per key, the main page, the save page and one per topic of the fleet.
std::size_t pageCount() {
    return catalogue().size() + 2 + fleetHelpKeywords().size();
}

std::map<std::string, std::string> projectFiles() {
    std::map<std::string, std::string> files;
    for (HelpFile& f : chmProject()) {
        EXPECT_FALSE(files.contains(f.name)) << f.name;
        files[f.name] = std::move(f.bytes);
    }
    return files;
}

// The values of `name="NAME" value="..."` params of a sitemap file, in order.
std::vector<std::string> params(const std::string& sitemap, const std::string& name) {
    std::vector<std::string> v;
    const std::regex re("<param name=\"" + name + "\" value=\"([^\"]*)\">");
    for (auto it = std::sregex_iterator(sitemap.begin(), sitemap.end(), re);
         it != std::sregex_iterator(); ++it)
        v.push_back((*it)[1]);
    return v;
}

std::string upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

}  // namespace

TEST(ChmProject, FilesAreWindows1251WithCrLf) {
    for (const auto& [name, bytes] : projectFiles()) {
        // No bare LF.
        for (std::size_t i = 0; i < bytes.size(); ++i) {
            if (bytes[i] == '\n') {
                ASSERT_TRUE(i > 0 && bytes[i - 1] == '\r') << name;
            }
        }
    }
    // Russian text in one byte a letter: not UTF-8.
    const auto files = projectFiles();
    for (const char* name : {"orbex.hhp", "orbex.hhc", "MAIN.htm", "RAZR.htm"})
        EXPECT_FALSE(text::isUtf8(files.at(name))) << name;
    EXPECT_NE(text::fromCp1251(files.at("orbex.hhp")).find("Title=Менеджер конфигураций ORBEX"),
              std::string::npos);
    EXPECT_NE(files.at("MAIN.htm").find("charset=windows-1251"), std::string::npos);
}

TEST(ChmProject, ProjectNamesItsFiles) {
    const auto files = projectFiles();
    const std::string hhp = files.at("orbex.hhp");
    for (const char* line :
         {"Compiled file=orbex.chm\r\n", "Contents file=orbex.hhc\r\n", "Index file=orbex.hhk\r\n",
          "Default topic=MAIN.htm\r\n", "Language=0x419 Russian\r\n"})
        EXPECT_NE(hhp.find(line), std::string::npos) << line;
    // [FILES] lists every page, and every listed file is there.
    const std::size_t at = hhp.find("[FILES]\r\n");
    ASSERT_NE(at, std::string::npos);
    std::set<std::string> listed;
    std::string rest = hhp.substr(at + 9);
    for (std::size_t end; (end = rest.find("\r\n")) != std::string::npos; rest.erase(0, end + 2))
        if (end > 0) listed.insert(rest.substr(0, end));
    std::set<std::string> pages;
    for (const auto& [name, bytes] : files)
        if (name.ends_with(".htm")) pages.insert(name);
    EXPECT_EQ(listed, pages);
    EXPECT_EQ(pages.size(), pageCount());
    // Page names stay apart where case does not count, and none holds "#".
    std::set<std::string> folded;
    for (const std::string& p : pages) {
        EXPECT_TRUE(folded.insert(upper(p)).second) << p;
        EXPECT_EQ(p.find_first_of("#%?&/\\ "), std::string::npos) << p;
        // Windows opens a device for these names, whatever the extension.
        const std::string stem = upper(p.substr(0, p.find('.')));
        const bool device =
            stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL" ||
            (stem.size() == 4 && (stem.starts_with("COM") || stem.starts_with("LPT")) &&
             std::isdigit(static_cast<unsigned char>(stem[3])));
        EXPECT_FALSE(device) << p;
    }
}

TEST(ChmProject, IndexHoldsEveryKeyMainAndFsave) {
    const auto files = projectFiles();
    const std::string hhk = files.at("orbex.hhk");
    const std::vector<std::string> names = params(hhk, "Name");
    const std::vector<std::string> locals = params(hhk, "Local");
    ASSERT_EQ(names.size(), locals.size());
    std::set<std::string> expected{"MAIN",    "FSAVE", "FLEET",   "FIMPORT",
                                   "FEXPORT", "FCLI",  "FSOURCE", "FLOG"};
    for (const Param& p : catalogue()) expected.insert(std::string(p.key));
    EXPECT_EQ(expected.size(), pageCount());
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()), expected);
    EXPECT_EQ(names.size(), expected.size());  // each once
    for (const char* k : {"KEYMAP", "COM1", "CTIME1", "##", "reconfig"})
        EXPECT_TRUE(expected.contains(k)) << k;
    // Every keyword leads to its own section.
    for (std::size_t i = 0; i < names.size(); ++i) {
        ASSERT_TRUE(files.contains(locals[i])) << locals[i];
        EXPECT_NE(files.at(locals[i]).find("<h2 id=\"" + names[i] + "\">"), std::string::npos)
            << names[i];
    }
    // The contents: the topics, then every key under one folder.
    const std::vector<std::string> contents = params(files.at("orbex.hhc"), "Local");
    ASSERT_EQ(contents.size(), pageCount());
    EXPECT_EQ(contents[0], "MAIN.htm");
    EXPECT_EQ(contents[1], "FSAVE.htm");
    EXPECT_EQ(contents[2], "FLEET.htm");
    EXPECT_EQ(contents[5], "FCLI.htm");
    EXPECT_EQ(contents[6], "FSOURCE.htm");
    EXPECT_EQ(contents[7], "FLOG.htm");
    for (const std::string& local : contents) EXPECT_TRUE(files.contains(local)) << local;
}

TEST(ChmProject, PagesAreTheBooksSectionsAndLinkToPages) {
    const auto files = projectFiles();
    const std::string book = helpBook();
    for (std::string_view keyword : helpKeywords()) {
        const std::string& page = files.at(helpPageName(keyword));
        std::string section = helpSection(keyword, HelpLinks::Pages), lf;
        for (char c : text::cp1251Html(section)) {
            if (c == '\n') lf += '\r';
            lf += c;
        }
        EXPECT_NE(page.find(lf), std::string::npos) << keyword;
        EXPECT_NE(book.find(helpSection(keyword, HelpLinks::Anchors)), std::string::npos)
            << keyword;
    }
    // Links between sections point at pages of the project, not at anchors of the book.
    const std::regex href("href=\"([^\"]*)\"");
    int links = 0;
    for (const auto& [name, bytes] : files) {
        if (!name.ends_with(".htm")) continue;
        for (auto it = std::sregex_iterator(bytes.begin(), bytes.end(), href);
             it != std::sregex_iterator(); ++it, ++links)
            EXPECT_TRUE(files.contains((*it)[1])) << name << " -> " << (*it)[1];
    }
    EXPECT_GT(links, 10);
    EXPECT_EQ(helpTarget("FSAVE", HelpLinks::Anchors), "#FSAVE");
    EXPECT_EQ(helpPageName("##"), "-23-23.htm");
    EXPECT_EQ(helpPageName("COM1"), "COM1_.htm");
    EXPECT_EQ(helpPageName("COM10"), "COM10.htm");
}

TEST(Cp1251Html, CharactersOutsideBecomeReferences) {
    EXPECT_EQ(text::cp1251Html("aЯя—«»"), "a\xDF\xFF\x97\xAB\xBB");
    EXPECT_EQ(text::cp1251Html("−1 €"), "&#8722;1 \x88");
    EXPECT_EQ(text::cp1251Html("x\xFFy"), "x?y");
}
