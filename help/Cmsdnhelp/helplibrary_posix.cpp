#include <QLibrary>

#include "help/Cmsdnhelp/helplibrary.h"

struct HelpLibrary::Handle {
    QLibrary library{"hhctrl.ocx"};
};

HelpLibrary::HelpLibrary() : handle_(std::make_unique<Handle>()) {}

HelpLibrary::~HelpLibrary() {
    if (handle_->library.isLoaded()) handle_->library.unload();
}

bool HelpLibrary::load() {
    if (entry_) return true;
    if (!handle_->library.isLoaded() && !handle_->library.load()) return false;
    entry_ = reinterpret_cast<HtmlHelpProc>(handle_->library.resolve("HtmlHelpA"));
    return entry_ != nullptr;
}
