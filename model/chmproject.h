// The HTML Help project of orbex.chm, made from the same sections as the help book. Microsoft's
// HTML Help compiler makes the .chm from it on Windows:  hhc orbex.hhp
#pragma once

#include <string>
#include <vector>

namespace orbex {

struct HelpFile {
    std::string name;   // file name inside the project's folder
    std::string bytes;  // Windows-1251
};

// orbex.hhp (the project), orbex.hhc (contents), orbex.hhk (the index: one keyword per key,
// "MAIN" and "FSAVE") and one page per keyword. The compiler reads the project and the sitemap
// files in the project's code page and is not Unicode-aware, so every file is Windows-1251;
// a character outside it is an HTML character reference on the pages.
std::vector<HelpFile> chmProject();

}  // namespace orbex
