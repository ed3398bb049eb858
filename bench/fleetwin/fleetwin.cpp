// The fleet window over a generated folder, against the program without it, in one process
// each: `fleetwin bare DIR` shows the main window and reads DIR through the fleet layer alone
// (the same reading the window does), `fleetwin window DIR` shows the main window, then the
// fleet window over DIR (its rows by name at once, what the files hold once read), and
// filters, sorts and scrolls its rows. Times go to standard output; peak memory is
// measured from outside (bench/fleetwin/run).
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QScrollBar>
#include <QTableView>
#include <QWindow>
#include <cstdio>
#include <cstring>

#include "fileio/fileio.h"
#include "forms/Conf/setup.h"
#include "forms/Fleet/fleetwindow.h"
#include "forms/application.h"

namespace {

void waitShown(QWidget* w) {
    while (!w->windowHandle() || !w->windowHandle()->isExposed())
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    QApplication::processEvents();  // the first paint
}

double ms(const QElapsedTimer& t) {
    return static_cast<double>(t.nsecsElapsed()) / 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: fleetwin bare|window DIR\n", stderr);
        return 2;
    }
    const bool bare = std::strcmp(argv[1], "bare") == 0;
    const QString dir = QString::fromLocal8Bit(argv[2]);
    orbex::Application app(argc, argv);
    auto setup = orbex::createWindows();
    setup->show();
    waitShown(setup.get());

    QElapsedTimer t;
    t.start();
    if (bare) {
        orbex::fleet::Options options;
        options.settings = true;
        std::string error;
        const auto fleet = orbex::fleet::load(
            dir.toStdString(),
            [](const std::string& path, std::string& why) {
                orbex::fileio::Error e;
                auto bytes = orbex::fileio::readFile(path, e);
                if (!bytes) why = e.message();
                return bytes;
            },
            options, error);
        std::printf("layer load: %.1f ms, %zu files\n", ms(t), fleet ? fleet->records.size() : 0);
        return 0;
    }
    TFleet* fleet = setup->showFleet(dir);
    waitShown(fleet);
    std::printf("folder to shown table: %.1f ms, %d rows\n", ms(t), fleet->model()->rowCount());

    while (fleet->model()->loading()) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    QApplication::processEvents();
    std::printf("folder to complete table (findings, values): %.1f ms\n", ms(t));
    // The file watches are added a few hundred at a time between other events, then the files
    // are looked at again; the rest is measured after them.
    t.restart();
    while (!fleet->settled()) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    std::printf("file watches added, files looked at again: %.1f ms more\n", ms(t));

    auto* filter = fleet->findChild<QLineEdit*>("FleetFilter");
    QTableView* grid = fleet->grid();
    // Typing a filter a character at a time, each keystroke filtering all rows and repainting.
    double worst = 0;
    for (const char* text : {"1", "10", "10.", "10.1", "10.1.", "10.1.2"}) {
        t.restart();
        filter->setText(text);
        QApplication::processEvents();
        worst = std::max(worst, ms(t));
    }
    std::printf("filter keystroke, worst of 6: %.1f ms, %d rows left\n", worst,
                grid->model()->rowCount());
    t.restart();
    filter->clear();
    QApplication::processEvents();
    std::printf("filter cleared: %.1f ms\n", ms(t));
    t.restart();
    grid->sortByColumn(2, Qt::DescendingOrder);
    QApplication::processEvents();
    std::printf("sort by MAC: %.1f ms\n", ms(t));
    t.restart();
    for (int i = 0; i < 20; ++i) {
        grid->verticalScrollBar()->setValue(grid->verticalScrollBar()->maximum() * i / 19);
        QApplication::processEvents();
    }
    std::printf("scrolling, 20 pages: %.1f ms\n", ms(t));
    return 0;
}
