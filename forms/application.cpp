#include "application.h"

#include <QIcon>
#include <QMessageBox>
#include <exception>

#include "Conf/setup.h"
#include "product.h"
#include "qtext.h"

// The windows library is linked statically, so its resources are registered by hand.
static void initResources() {
    Q_INIT_RESOURCE(resources);
}

namespace orbex {
namespace {

void showException(const QString& message) {
    QMessageBox::critical(QApplication::activeWindow(), qs(kTitle), message);
}

}  // namespace

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(qs(kTitle));
    setApplicationDisplayName(qs(kTitle));
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
    auto setup = std::make_unique<TSetup>();
    setup->createDialogs();
    return setup;
}

int runProgram(int argc, char** argv) {
    Application app(argc, argv);
    try {
        auto setup = createWindows();
        setup->show();
        const QStringList args = QApplication::arguments();
        if (args.size() > 1) setup->openFile(args.at(1));
        QApplication::exec();
    } catch (const std::exception& e) {
        showException(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        showException(QString());
    }
    return 0;
}

}  // namespace orbex
