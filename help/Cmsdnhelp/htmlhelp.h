// What the program uses of the HTML Help library's interface: the two commands and the record
// of a keyword lookup, laid out as the library declares them (BOOL is a 32-bit int).
#pragma once

namespace htmlhelp {

constexpr unsigned HH_DISPLAY_TOPIC = 0;
constexpr unsigned HH_KEYWORD_LOOKUP = 13;

struct HH_AKLINK {
    int cbStruct;
    int fReserved;
    const char* pszKeywords;
    const char* pszUrl;
    const char* pszMsgText;
    const char* pszMsgTitle;
    const char* pszWindow;
    int fIndexOnFail;
};

}  // namespace htmlhelp
