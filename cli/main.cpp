#include <iostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace {

// The command line arrives as UTF-16; the tool works in UTF-8 throughout, and file names are
// widened again where files are opened.
std::string narrow(const wchar_t* s) {
    const int n = WideCharToMultiByte(CP_UTF8, 0, s, -1, nullptr, 0, nullptr, nullptr);
    if (n <= 1) return {};
    std::string out(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, s, -1, out.data(), n, nullptr, nullptr);
    out.pop_back();  // the terminating zero
    return out;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    // Bytes in and out as they are: no CR LF translation, no end of input at Ctrl-Z.
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    std::vector<std::string> narrowed;
    narrowed.reserve(static_cast<std::size_t>(argc));
    for (int i = 1; i < argc; ++i) narrowed.push_back(narrow(argv[i]));
    const std::vector<std::string_view> args(narrowed.begin(), narrowed.end());
#else
int main(int argc, char** argv) {
    // Views of argv: the names of many files are held once.
    const std::vector<std::string_view> args(argv + 1, argv + argc);
#endif
    std::ios::sync_with_stdio(false);
    return orbex::cli::run(std::span<const std::string_view>(args), std::cin, std::cout, std::cerr);
}
