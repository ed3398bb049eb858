#include "forms/application.h"

#include <QIcon>
#include <QLibraryInfo>
#include <QTranslator>
#include <cstdio>
#include <exception>

#include "forms/Conf/setup.h"
#include "forms/Fleet/fleetwindow.h"
#include "forms/prompts.h"
#include "forms/qtext.h"
#include "model/product.h"

// The windows library is linked statically, so its resources are registered by hand.
static void initResources() {
    Q_INIT_RESOURCE(resources);
#ifdef ORBCFG_QT_TRANSLATIONS_BUILT_IN
    Q_INIT_RESOURCE(translations);
#endif
}

namespace orbex {
namespace {

void showException(const QString& message) {
    prompts::message(QApplication::activeWindow(), prompts::Icon::Critical, qs(kTitle), message);
}

constexpr auto kUsage =
    "Использование: orbcfg [--fleet ПАПКА] [ФАЙЛ]\n"
    "Менеджер конфигураций терминалов ORBEX: открывает ФАЙЛ (*.cfg), если он задан.\n"
    "\n"
    "  --fleet ПАПКА  показать парк терминалов: все файлы конфигурации ПАПКИ\n"
    "  --help      показать эту справку и выйти\n"
    "  --version   показать версию и выйти\n"
    "\n"
    "Проверка и изменение файлов из сценариев: orbcfg-cli --help.\n";

}  // namespace

bool installTranslations(QCoreApplication& app) {
    // Qt's own texts (file dialogs, standard buttons) in Russian: from Qt's translations
    // folder, from "translations" beside the program where Qt is shipped with it, or from
    // the program itself (the Windows build holds them).
    auto* qt = new QTranslator(&app);
    for (const QString& dir :
         {QLibraryInfo::path(QLibraryInfo::TranslationsPath),
          QCoreApplication::applicationDirPath() + "/translations", QString(":/translations")}) {
        if (qt->load("qtbase_ru", dir)) return QCoreApplication::installTranslator(qt);
    }
    delete qt;
    return false;
}

CommandLine parseCommandLine(const QStringList& args) {
    CommandLine c;
    bool options = true;
    for (qsizetype i = 1; i < args.size(); ++i) {
        const QString& a = args.at(i);
        if (options && a == "--") {
            options = false;
        } else if (options && (a == "--help" || a == "-h")) {
            c.output = kUsage;
            return c;
        } else if (options && a == "--version") {
            c.output = QString("orbcfg %1\n").arg(qs(kVersion));
            return c;
        } else if (options && (a == "--fleet" || a.startsWith("--fleet="))) {
            if (a == "--fleet" && i + 1 < args.size()) {
                c.fleet = args.at(++i);
            } else if (a != "--fleet") {
                c.fleet = a.mid(8);
            }
            if (c.fleet.isEmpty()) {
                c.error = "orbcfg: --fleet требует папку\nПодробнее: orbcfg --help\n";
                c.exitCode = 2;
                return c;
            }
        } else if (options && a.size() > 1 && a.startsWith('-')) {
            c.error =
                QString("orbcfg: неизвестный параметр '%1'\nПодробнее: orbcfg --help\n").arg(a);
            c.exitCode = 2;
            return c;
        } else if (c.file.isEmpty()) {
            c.file = a;
        } else {
            c.error = QString("orbcfg: лишний аргумент '%1'\nПодробнее: orbcfg --help\n").arg(a);
            c.exitCode = 2;
            return c;
        }
    }
    return c;
}

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(qs(kTitle));
    setApplicationDisplayName(qs(kTitle));
    installTranslations(*this);
    initResources();
    setWindowIcon(QIcon(":/orbcfg/icon.png"));
    setApplicationVersion(qs(orbex::kVersion));
}

bool Application::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        showException(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        showException(QString());
    }
    return false;
}

std::unique_ptr<TSetup> createWindows() {
    return std::make_unique<TSetup>();
}

int runProgram(int argc, char** argv) {
    // --help and --version answer without a display.
    QStringList raw;
    for (int i = 0; i < argc; ++i) raw << QString::fromLocal8Bit(argv[i]);
    if (CommandLine early = parseCommandLine(raw); !early.output.isEmpty()) {
        std::fputs(early.output.toLocal8Bit().constData(), stdout);
        return 0;
    }
    Application app(argc, argv);
    // Qt's own options (-platform, -style...) are gone from the arguments by now.
    const CommandLine command = parseCommandLine(QApplication::arguments());
    if (!command.error.isEmpty()) {
        std::fputs(command.error.toLocal8Bit().constData(), stderr);
        return command.exitCode;
    }
    try {
        auto setup = createWindows();
        setup->show();
        if (!command.file.isEmpty()) setup->openFile(command.file);
        if (!command.fleet.isEmpty()) setup->showFleet(command.fleet);
        QApplication::exec();
    } catch (const std::exception& e) {
        showException(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        showException(QString());
    }
    return 0;
}

}  // namespace orbex
