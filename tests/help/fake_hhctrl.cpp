// A stand-in for the HTML Help library: records every call in the file named by HHCTRL_LOG.
// The commands named in HHCTRL_NO_WINDOW (numbers, blank-separated) return no window, as a
// library without them does.
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "help/Cmsdnhelp/htmlhelp.h"

namespace {

[[gnu::format(printf, 1, 2)]] void record(const char* format, ...) {
    const char* path = std::getenv("HHCTRL_LOG");
    if (!path) return;
    if (std::FILE* f = std::fopen(path, "ab")) {
        std::va_list args;
        va_start(args, format);
        std::vfprintf(f, format, args);
        va_end(args);
        std::fclose(f);
    }
}

__attribute__((constructor)) void loaded() {
    record("load\n");
}
__attribute__((destructor)) void unloaded() {
    record("unload\n");
}

bool opensNoWindow(unsigned command) {
    const char* list = std::getenv("HHCTRL_NO_WINDOW");
    while (list && *list) {
        char* end = nullptr;
        const unsigned long n = std::strtoul(list, &end, 10);
        if (end == list) break;
        if (n == command) return true;
        list = end;
    }
    return false;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) void* HtmlHelpA(void* owner, const char* file,
                                                                  unsigned command,
                                                                  std::uintptr_t data) {
    if (command == htmlhelp::HH_KEYWORD_LOOKUP) {
        const auto* link = reinterpret_cast<const htmlhelp::HH_AKLINK*>(data);
        record("%s %u %s %s size=%d index=%d other=%d\n", owner ? "owned" : "free", command, file,
               link->pszKeywords, link->cbStruct, link->fIndexOnFail,
               link->fReserved || link->pszUrl || link->pszMsgText || link->pszMsgTitle ||
                   link->pszWindow);
    } else {
        record("%s %u %s data=%lu\n", owner ? "owned" : "free", command, file,
               static_cast<unsigned long>(data));
    }
    return opensNoWindow(command) ? nullptr : reinterpret_cast<void*>(1);
}
