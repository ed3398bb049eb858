// The program's own help, made from the catalogue: one section per key, plus "MAIN" for using
// the program and "FSAVE" for the save targets. The same sections make the help book (one HTML
// page, UTF-8, anchors are the keywords) and the pages of the HTML Help project (chmproject.h).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "model/catalogue.h"

namespace orbex {

// How sections refer to one another: anchors of the one book, or pages of their own.
enum class HelpLinks { Anchors, Pages };

// Every help keyword, in the help's order: "MAIN", "FSAVE", the fleet's topics (helpfleet.h),
// then the keys in catalogue order.
std::vector<std::string_view> helpKeywords();
// The section of a keyword of helpKeywords() (HTML, UTF-8).
std::string helpSection(std::string_view keyword, HelpLinks links);
std::string helpSection(const Param& p, HelpLinks links);
// The section's title (HTML-escaped): "KEY — description", or the topic's name.
std::string helpTitle(std::string_view keyword);
// Where a link to the keyword's section points: "#KEY", or the page's file name.
std::string helpTarget(std::string_view keyword, HelpLinks links);
// The file name of a keyword's page: the keyword with ".htm"; a character other than a Latin
// letter, a digit and "_" is spelled "-" and two hex digits, so that a name never holds "#";
// a name that Windows keeps for a device (COM1, LPT1, CON...) gets "_" before the ".htm".
std::string helpPageName(std::string_view keyword);

std::string helpBook();

}  // namespace orbex
