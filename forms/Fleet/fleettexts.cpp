#include "forms/Fleet/fleettexts.h"

#include "fileio/fileio.h"
#include "forms/findingtexts.h"
#include "forms/qtext.h"
#include "model/catalogue.h"
#include "model/fleet_disk.h"
#include "model/layers.h"

using namespace orbex;
namespace fl = orbex::fleet;

namespace fleettexts {

std::optional<std::string> readBounded(const std::string& path, std::string& error) {
    return fl::readFolderFile(path, error, fileio::russianReason);
}

bool replaceAsPlanned(std::span<const fl::FileBytes> files, fl::BatchFailure& failure) {
    return fl::replacePlanned(files, failure, fileio::russianReason);
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

QString shortName(std::string_view code) {
    if (code == fl::code::kIgnoredLine) return "строка пропущена";
    if (code == fl::code::kResetValue) return "значение сброшено";
    if (code == fl::code::kDuplicateMac) return "дубль MAC";
    if (code == fl::code::kDuplicateIp) return "дубль IP";
    if (code == fl::code::kDuplicateName) return "дубль имени";
    if (code == fl::code::kBadMacName) return "имя с ^";
    if (code == fl::code::kTemporaryFile) return "временный файл";
    return qs(code);
}

QString findingMessage(const fl::Finding& f, const QString& others) {
    if (f.code == fl::code::kIgnoredLine || f.code == fl::code::kResetValue)
        return findingtexts::lintText(f.check, f.key, f.value, f.hint, f.xFlag);
    if (f.code == fl::code::kDuplicateMac)
        return "MAC " + qs(f.value) + " назван также в " + others;
    if (f.code == fl::code::kDuplicateIp || f.code == fl::code::kDuplicateName)
        return "'" + qs(f.value) + "' задан также в " + others;
    if (f.code == fl::code::kBadMacName)
        return "в имени есть ^, но это не имя файла по MAC-адресу (AA^BB^CC^DD^EE^FF.cfg): "
               "терминал загрузит его, только если так написано его имя компьютера";
    if (f.code == fl::code::kTemporaryFile)
        return "временный файл незавершенной замены (программа была остановлена): файл, "
               "который он заменял, цел, а этот можно удалить";
    return qs(f.code);
}

QString findingText(const fl::Finding& f, const QString& others) {
    QString place = f.line > 0 ? QString("строка %1").arg(f.line) : QString("файл");
    if (!f.key.empty()) place += ", " + qs(f.key);
    return place + " — " + codeText(f.code) + " (" + qs(f.code) + "): " + findingMessage(f, others);
}

namespace {

// The refusals that name nothing but what they are.
QString plainRefusal(fl::RefusalCode code) {
    using C = fl::RefusalCode;
    switch (code) {
        case C::UnclosedQuote:
            return "поле в кавычках не закрыто";
        case C::TextAfterQuote:
            return "текст после закрывающей кавычки";
        case C::NoHeader:
            return "нет строки заголовка";
        case C::SecondTarget:
            return "второй столбец файла: нужен ровно один из file, mac, name";
        case C::EmptyHeader:
            return "пустой заголовок столбца";
        case C::NoTargetColumn:
            return "нет столбца файла: нужен один из file, mac, name";
        case C::BeyondLastColumn:
            return "ячейка правее последнего столбца";
        case C::EmptyTarget:
            return "не указан файл: ячейка пуста";
        case C::CommonByName:
            return "default.cfg — общий файл: укажите его в столбце file";
        case C::SecondGroups:
            return "второй столбец groups";
        case C::CommonTarget:
            return "default.cfg собирается из default.cfg источника, а не из строки";
        default:
            return {};
    }
}

// The refusals of a layered source and of its build.
QString layerRefusal(const fl::Refusal& r, const QString& q) {
    using C = fl::RefusalCode;
    const QString subject = qs(r.subject), detail = qs(r.detail);
    switch (r.code) {
        case C::NotGroupName:
            return q + " — не имя группы (имя компьютера без пробелов и |)" +
                   (detail.isEmpty() ? QString() : ": " + detail);
        case C::UnknownGroup:
            return "нет группы " + q + " (нет файла groups/" + subject + ".cfg)";
        case C::GroupTwice:
            return "группа " + q + " названа дважды";
        case C::GroupTarget:
            return subject + " называется так же, как группа '" + detail + "'";
        case C::SameTerminal:
            return subject + QString(" — терминал и строки %1 (%2)").arg(r.number).arg(detail);
        case C::NoDeviceList:
            return q + ": в папке нет devices.csv — это не источник";
        case C::Drift:
            return subject + " изменён вручную после последней сборки";
        case C::NotBuilt:
            return subject + " уже есть, отличается и записан не сборкой";
        default:
            return plainRefusal(r.code);
    }
}

}  // namespace

QString refusalText(const fl::Refusal& r) {
    using C = fl::RefusalCode;
    const QString subject = qs(r.subject), detail = qs(r.detail), q = "'" + subject + "'";
    switch (r.code) {
        case C::NotAKey:
            return q + " — не ключ параметра";
        case C::SameKey:
            return QString("тот же ключ, что в столбце %1").arg(r.number);
        case C::CannotList:
            return "невозможно прочитать папку " + q + ": " + detail;
        case C::TargetBlanks:
            return q + " начинается или кончается пробелом";
        case C::NotMac:
            return q + " — не MAC-адрес";
        case C::NotComputerName:
            return q + " — не имя компьютера";
        case C::NotCfgName:
            return q + " — не имя файла с расширением .cfg";
        case C::LinkOut:
            return subject + " — символическая ссылка за пределы папки";
        case C::SameTarget:
            return subject + QString(" — файл и строки %1").arg(r.number);
        case C::SameFile:
            return subject + " — тот же файл, что " + detail +
                   QString(" (файл строки %1)").arg(r.number);
        case C::BadValue: {
            const auto id = orbex::find(r.key);
            const QString why =
                id ? findingtexts::keyRefusalText(orbex::param(*id), r.value) : qs(r.key);
            return subject.isEmpty() ? why : subject + ": " + why;
        }
        case C::SameMac:
            return "в папке уже есть " + detail + " для того же MAC-адреса";
        case C::CannotRead:
            return "невозможно прочитать " + subject + ": " + detail;
        case C::WouldChange:
            return subject + " уже есть и изменится";
        case C::NotAFile:
            return subject + " уже есть и это не файл";
        default:
            return layerRefusal(r, q);
    }
}

QString diffLines(const std::string& before, const std::string& after) {
    const auto ignore = [](Id) {};  // the findings show what the review resets
    return qs(fl::diffText(fl::diff(fl::settingsOf(before, ignore), fl::settingsOf(after, ignore)),
                           "    "));
}

QString sourceRefusals(const std::vector<fl::Refusal>& refusals, std::size_t more) {
    QString text;
    for (const fl::Refusal& r : refusals) {
        if (r.row > 0)
            text += qs(layers::kDeviceList) + ", " + qs(fl::placeText(r, kRussianPlace)) + ": ";
        text += refusalText(r) + "\n";
    }
    if (more > 0) text += QString("и ещё отказов: %1\n").arg(more);
    return text;
}

QString statusText(layers::Status status) {
    switch (status) {
        case layers::Status::New:
            return "новый";
        case layers::Status::Changed:
            return "изменится";
        case layers::Status::Same:
            return "без изменений";
        case layers::Status::Drift:
            return "изменён вручную";
        case layers::Status::Orphan:
            break;
    }
    return "лишний";
}

}  // namespace fleettexts
