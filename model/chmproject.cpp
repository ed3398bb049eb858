#include "model/chmproject.h"

#include <algorithm>

#include "model/helpbook.h"
#include "model/helpfleet.h"
#include "model/text.h"

namespace orbex {
namespace {

constexpr std::string_view kBookTitle = "Менеджер конфигураций ORBEX — справка";

char upper(char c) {
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Windows files: CR LF line ends.
std::string crlf(std::string_view s) {
    std::string out;
    out.reserve(s.size() + s.size() / 16);
    for (char c : s) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

std::string page(std::string_view keyword) {
    return "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01//EN\">\n<html lang=\"ru\">\n<head>\n"
           "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1251\">\n"
           "<title>" +
           helpTitle(keyword) +
           "</title>\n"
           "<style>body{font-family:sans-serif}table{border-collapse:collapse}"
           "td,th{border:1px solid #aaa;padding:2px 8px}</style>\n</head>\n<body>\n" +
           helpSection(keyword, HelpLinks::Pages) + "</body>\n</html>\n";
}

// One entry of a sitemap file (contents or index); `local` empty for a folder.
std::string entry(std::string_view name, std::string_view local) {
    std::string s = "<LI> <OBJECT type=\"text/sitemap\">\n\t<param name=\"Name\" value=\"";
    s += name;
    s += "\">\n";
    if (!local.empty()) {
        s += "\t<param name=\"Local\" value=\"";
        s += local;
        s += "\">\n";
    }
    return s + "\t</OBJECT>\n";
}

constexpr std::string_view kSitemapHead =
    "<!DOCTYPE HTML PUBLIC \"-//IETF//DTD HTML//EN\">\n<HTML>\n<HEAD>\n"
    "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1251\">\n"
    "</HEAD>\n<BODY>\n";

std::string contents() {
    std::string s(kSitemapHead);
    s += "<UL>\n";
    s += entry(helpTitle("MAIN"), helpPageName("MAIN"));
    s += entry(helpTitle("FSAVE"), helpPageName("FSAVE"));
    for (std::string_view k : fleetHelpKeywords()) s += entry(helpTitle(k), helpPageName(k));
    s += entry("Параметры", "");
    s += "<UL>\n";
    for (const Param& p : catalogue()) s += entry(helpTitle(p.key), helpPageName(p.key));
    return s + "</UL>\n</UL>\n</BODY>\n</HTML>\n";
}

// Keywords in alphabetical order, as the index shows them.
std::string index() {
    std::vector<std::string_view> keywords = helpKeywords();
    std::sort(keywords.begin(), keywords.end(), [](std::string_view a, std::string_view b) {
        return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                            [](char x, char y) { return upper(x) < upper(y); });
    });
    std::string s(kSitemapHead);
    s += "<UL>\n";
    for (std::string_view keyword : keywords) s += entry(keyword, helpPageName(keyword));
    return s + "</UL>\n</BODY>\n</HTML>\n";
}

std::string project() {
    std::string s =
        "[OPTIONS]\n"
        "Compatibility=1.1 or later\n"
        "Compiled file=orbex.chm\n"
        "Contents file=orbex.hhc\n"
        "Index file=orbex.hhk\n"
        "Default topic=" +
        helpPageName("MAIN") +
        "\n"
        "Display compile progress=No\n"
        "Full-text search=Yes\n"
        "Language=0x419 Russian\n"
        "Title=" +
        std::string(kBookTitle) + "\n\n[FILES]\n";
    for (std::string_view keyword : helpKeywords()) s += helpPageName(keyword) + "\n";
    return s;
}

}  // namespace

std::vector<HelpFile> chmProject() {
    std::vector<HelpFile> files;
    files.push_back({"orbex.hhp", crlf(text::cp1251Html(project()))});
    files.push_back({"orbex.hhc", crlf(text::cp1251Html(contents()))});
    files.push_back({"orbex.hhk", crlf(text::cp1251Html(index()))});
    for (std::string_view keyword : helpKeywords())
        files.push_back({helpPageName(keyword), crlf(text::cp1251Html(page(keyword)))});
    return files;
}

}  // namespace orbex
