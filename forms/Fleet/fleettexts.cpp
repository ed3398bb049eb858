#include "forms/Fleet/fleettexts.h"

#include "fileio/fileio.h"
#include "forms/qtext.h"
#include "model/catalogue.h"
#include "model/fleet_disk.h"

using namespace orbex;
namespace fl = orbex::fleet;

namespace fleettexts {

std::optional<std::string> readBounded(const std::string& path, std::string& error) {
    return fl::readFolderFile(path, error, fileio::russianReason);
}

QString kindText(const fl::Record& r) {
    switch (r.name.kind) {
        case fl::FileKind::Mac:
            return "MAC";
        case fl::FileKind::Common:
            return "общий";
        case fl::FileKind::Name:
            break;
    }
    return "имя";
}

QString codeText(std::string_view code) {
    if (code == fl::code::kIgnoredLine) return "строка не читается";
    if (code == fl::code::kResetValue) return "значение сбросится при сохранении";
    if (code == fl::code::kDuplicateMac) return "MAC-адрес назван дважды";
    if (code == fl::code::kDuplicateIp) return "IP-адрес задан и в другом файле";
    if (code == fl::code::kDuplicateName) return "имя компьютера задано и в другом файле";
    if (code == fl::code::kBadMacName) return "имя с ^, но не MAC-адрес";
    return qs(code);
}

QString findingText(const fl::Finding& f) {
    QString place = f.line > 0 ? QString("строка %1").arg(f.line) : QString("файл");
    if (!f.key.empty()) place += ", " + qs(f.key);
    return place + " — " + codeText(f.code) + " (" + qs(f.code) + "): " + qs(f.message);
}

QString diffLines(const std::string& before, const std::string& after) {
    const auto ignore = [](Id) {};  // the findings show what the review resets
    return qs(fl::diffText(fl::diff(fl::settingsOf(before, ignore), fl::settingsOf(after, ignore)),
                           "    "));
}

}  // namespace fleettexts
