#include <windows.h>

#include "help/Cmsdnhelp/helplibrary.h"

struct HelpLibrary::Handle {
    HMODULE module = nullptr;
};

HelpLibrary::HelpLibrary() : handle_(std::make_unique<Handle>()) {}

HelpLibrary::~HelpLibrary() {
    if (handle_->module) FreeLibrary(handle_->module);
}

bool HelpLibrary::load() {
    if (entry_) return true;
    if (!handle_->module) handle_->module = LoadLibraryA("hhctrl.ocx");
    if (!handle_->module) return false;
    // GetProcAddress gives a generic entry point; HtmlHelpA's own type is known here.
    entry_ = reinterpret_cast<HtmlHelpProc>(
        reinterpret_cast<void*>(GetProcAddress(handle_->module, "HtmlHelpA")));
    return entry_ != nullptr;
}
