// Start-up to the first shown main window: `startup orbcfg` builds the program's windows,
// `startup bare` a plain window with eight empty tabs and a menu. Each exits once its window
// is on the screen.
#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QTabWidget>
#include <QWindow>
#include <cstring>
#include <memory>

#include "Conf/setup.h"
#include "application.h"

namespace {

std::unique_ptr<QWidget> bareWindow() {
    auto window = std::make_unique<QMainWindow>();
    auto* tabs = new QTabWidget;
    for (int i = 1; i <= 8; ++i) tabs->addTab(new QWidget, QString("Страница %1").arg(i));
    window->setCentralWidget(tabs);
    QMenu* menu = window->menuBar()->addMenu("Файл");
    menu->addAction("Открыть");
    menu->addAction("Выход");
    return window;
}

}  // namespace

int main(int argc, char** argv) {
    const bool bare = argc > 1 && std::strcmp(argv[1], "bare") == 0;
    orbex::Application app(argc, argv);
    std::unique_ptr<QWidget> window = bare ? bareWindow() : orbex::createWindows();
    window->show();
    while (!window->windowHandle() || !window->windowHandle()->isExposed())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    QApplication::processEvents();  // the first paint
    return 0;
}
