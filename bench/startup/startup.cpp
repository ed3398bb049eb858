// Start-up to the first shown main window: `startup orbcfg` builds the program's windows as the
// program does, `startup whole` the same with every page's rows made before the window shows
// (what a start cost before pages were made at their first need), `startup bare` a plain window
// with eight empty tabs and a menu, `startup file FILE` the program's windows with FILE opened
// as `orbcfg FILE` opens it. Each prints the monotonic clock (in nanoseconds) at its first
// paint and exits at once, without taking its windows down: start-up ends at the first paint,
// and what an exit costs is not start-up. (A window showing a file watches it; the kernel
// takes the watch down at the exit and waits 5 to 20 ms for it, which would count against the
// file's start alone.)
#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QTabWidget>
#include <QWindow>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "forms/Conf/setup.h"
#include "forms/application.h"

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
    const char* mode = argc > 1 ? argv[1] : "orbcfg";
    orbex::Application app(argc, argv);
    std::unique_ptr<QWidget> window;
    if (std::strcmp(mode, "bare") == 0) {
        window = bareWindow();
    } else {
        auto setup = orbex::createWindows();
        if (std::strcmp(mode, "whole") == 0) setup->completePages();
        window = std::move(setup);
    }
    window->show();
    if (std::strcmp(mode, "file") == 0 && argc > 2)
        static_cast<TSetup*>(window.get())->openFile(QString::fromLocal8Bit(argv[2]));
    while (!window->windowHandle() || !window->windowHandle()->isExposed())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    QApplication::processEvents();  // the first paint
    const auto painted = std::chrono::steady_clock::now().time_since_epoch();
    std::printf("%lld\n",
                static_cast<long long>(
                    std::chrono::duration_cast<std::chrono::nanoseconds>(painted).count()));
    std::fflush(nullptr);
    std::_Exit(0);
}
