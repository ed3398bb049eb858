// The HTML Help library, loaded by name and let go: one interface, a back end per platform
// (LoadLibraryA on Windows, the dynamic loader elsewhere, where a stand-in may sit on the
// library path).
#pragma once

#include <cstdint>
#include <memory>

class HelpLibrary {
  public:
#ifdef _WIN32
    using HtmlHelpProc = void*(__stdcall*)(void*, const char*, unsigned, std::uintptr_t);
#else
    using HtmlHelpProc = void* (*)(void*, const char*, unsigned, std::uintptr_t);
#endif
    HelpLibrary();
    ~HelpLibrary();
    HelpLibrary(const HelpLibrary&) = delete;
    HelpLibrary& operator=(const HelpLibrary&) = delete;

    // hhctrl.ocx loaded and its HtmlHelpA found; a failed load is tried again at the next call.
    bool load();
    HtmlHelpProc entry() const {
        return entry_;
    }

  private:
    struct Handle;
    std::unique_ptr<Handle> handle_;
    HtmlHelpProc entry_ = nullptr;
};
