#include "forms/Fleet/fleetlog.h"

#include <QDir>
#include <algorithm>

#include "fileio/fileio.h"
#include "forms/qtext.h"
#include "model/fetched_disk.h"
#include "model/text.h"

using namespace orbex;
namespace ft = orbex::fetched;

namespace {

// The most terminals the line above the table names; the others are counted.
constexpr std::size_t kNamedTerminals = 5;

// A name from the log as the window shows it: a byte that is no text, escaped.
QString shown(const std::string& name) {
    return qs(text::escapedName(name));
}

QString terminalText(const std::string& address, const std::string& mac) {
    // The MAC as its file names it: AA^BB^CC^DD^EE^FF.
    if (address.empty()) return "терминал с MAC " + qs(mac);
    return "терминал " + qs(text::printable(address)) +
           (mac.empty() ? QString() : " (MAC " + qs(mac) + ")");
}

}  // namespace

bool FleetLog::read(const QString& logPath, const QString& folder, QString& error) {
    std::string why;
    ft::Folder dir;
    if (!ft::loadFolder(folder.toStdString(), dir, fileio::russianReason, why)) {
        error = "Невозможно открыть папку!\n" + QDir::toNativeSeparators(folder) + "\n" + qs(why);
        return false;
    }
    tftplog::ParserOptions options;
    options.today = tftplog::today();
    ft::Collector collector;
    tftplog::Parser parser([&](const tftplog::Event& e) { collector.add(e); }, options);
    tftplog::LineSplitter lines(parser);
    if (!ft::readLog(logPath.toStdString(), nullptr, lines, fileio::russianReason, why)) {
        error =
            "Невозможно прочитать журнал!\n" + QDir::toNativeSeparators(logPath) + "\n" + qs(why);
        return false;
    }
    parser.finish();
    report_ = collector.report(&dir);
    const tftplog::Seen& seen = parser.seen();
    withoutNaks_ = seen.tftpdHpa > 0 && seen.naks == 0;
    path_ = logPath;
    read_ = true;
    return true;
}

const ft::FileUse* FleetLog::use(std::string_view file) const {
    const auto at =
        std::lower_bound(report_.files.begin(), report_.files.end(), file,
                         [](const ft::FileUse& u, std::string_view name) { return u.file < name; });
    return at != report_.files.end() && at->file == file ? &*at : nullptr;
}

QString FleetLog::summary() const {
    if (!read_) return {};
    QString text = "Журнал " + QDir::toNativeSeparators(path_) + ": ";
    if (report_.requests == 0) {
        text += "запросов файлов конфигурации нет.";
    } else {
        text +=
            QString("запросов файлов конфигурации: %1, терминалов: %2, с %3 по %4.")
                .arg(report_.requests)
                .arg(report_.terminals.size())
                .arg(qs(tftplog::timeText(*report_.first)), qs(tftplog::timeText(*report_.last)));
    }
    std::vector<const ft::Flag*> fellBack;
    for (const ft::Flag& f : report_.flags)
        if (f.code == ft::FlagCode::FellBack) fellBack.push_back(&f);
    if (!fellBack.empty()) text += QString("\nНе получили свой файл: %1.").arg(fellBack.size());
    for (std::size_t i = 0; i < std::min(fellBack.size(), kNamedTerminals); ++i)
        text += "\n" + fleettexts::flagText(*fellBack[i]);
    if (fellBack.size() > kNamedTerminals)
        text += QString("\nи ещё %1").arg(fellBack.size() - kNamedTerminals);
    if (withoutNaks_)
        text +=
            "\nin.tftpd не записал ни одного отказа (NAK): об отсутствующих файлах он пишет "
            "только с ключом -vv, поэтому каждый его запрос считается выполненным.";
    return text;
}

namespace fleettexts {

QString flagText(const ft::Flag& f) {
    const QString who = terminalText(f.address, f.mac);
    switch (f.code) {
        case ft::FlagCode::FellBack:
            return who +
                   (f.got.empty() ? " не получил ни одного файла" : " получил " + shown(f.got)) +
                   ", хотя его файл в папке — " + shown(f.shouldHave) + " (запрошен как " +
                   shown(f.asked) + ")";
        case ft::FlagCode::UnknownRequest:
            return who + " запросил " + shown(f.file) +
                   ": такого файла в папке нет, и это не файл терминала";
        case ft::FlagCode::ServedWithFindings:
            return shown(f.file) + QString(" отправлен с замечаниями проверки: %1").arg(f.count);
        case ft::FlagCode::NeverFetched:
            return shown(f.file) + " не запрашивал ни один терминал";
    }
    return {};
}

QString outcomeText(tftplog::Outcome outcome) {
    switch (outcome) {
        case tftplog::Outcome::Served:
            return "получен";
        case tftplog::Outcome::Missing:
            return "нет в папке";
        case tftplog::Outcome::Failed:
            return "не отправлен";
    }
    return {};
}

}  // namespace fleettexts
