// The editor's own open -> review -> save of a configuration with every control set, through
// the real main window (offscreen): TSetup::openFile, the review table that the review dialog
// holds, WriteConfig and the save through the file library, as "Сохранить" runs them.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTabWidget>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdlib>

#include "bench/sample.h"
#include "forms/Cfgx/dial.h"
#include "forms/Conf/setup.h"
#include "forms/application.h"
#include "forms/prompts.h"
#include "model/writer.h"

namespace {

double fastest(const std::vector<double>& v) {
    return *std::min_element(v.begin(), v.end());
}

void spit(const QString& path, const std::string& bytes) {
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes.data(), static_cast<qint64>(bytes.size())) !=
                                             static_cast<qint64>(bytes.size()))
        std::abort();
}

// The files in memory (/dev/shm, where a sync costs nothing) or on the disk of the temporary
// folder, where the save's two syncs are most of the time.
QString folderOf(bool memory) {
    return (memory && QDir("/dev/shm").exists() ? QString("/dev/shm") : QDir::tempPath()) +
           "/orbcfg-window-XXXXXX";
}

struct Window {
    QTemporaryDir dir;
    QString path, other;
    std::unique_ptr<TSetup> setup = orbex::createWindows();
    prompts::Script script;  // the "saved" message recorded, not shown
    explicit Window(bool memory) : dir(folderOf(memory)) {
        path = dir.filePath("full.cfg");
        other = dir.filePath("other.cfg");
        spit(path, orbex::bench::fullConfig(0));
        spit(other, orbex::bench::fullConfig(1));
        setup->show();
    }
};

// The windows of the runs, made at their first use; they go before the application does.
std::unique_ptr<Window> windows[2];
Window& window(bool memory = true) {
    std::unique_ptr<Window>& w = windows[memory ? 0 : 1];
    if (!w) w = std::make_unique<Window>(memory);
    return *w;
}

// Open the file, then "Сохранить": the review table built, written, saved over the file.
void BM_WindowOpenReviewSave(benchmark::State& state) {
    Window& w = window();
    const std::string expected = orbex::bench::fullConfig(0);
    for (auto _ : state) {
        if (!w.setup->openFile(w.path)) std::abort();
        w.setup->Button1Click();
        w.script.messages.clear();
    }
    if (orbex::WriteConfig(w.setup->dial()->reviewTable()) != expected) std::abort();
}
BENCHMARK(BM_WindowOpenReviewSave)
    ->Unit(benchmark::kMicrosecond)
    ->ComputeStatistics("min", fastest);

// Two different files in turn: every control changes at each open.
void BM_WindowTwoFilesInTurn(benchmark::State& state) {
    Window& w = window();
    bool first = true;
    for (auto _ : state) {
        if (!w.setup->openFile(first ? w.path : w.other)) std::abort();
        w.setup->Button1Click();
        w.script.messages.clear();
        first = !first;
    }
}
BENCHMARK(BM_WindowTwoFilesInTurn)
    ->Unit(benchmark::kMicrosecond)
    ->ComputeStatistics("min", fastest);

// The same cycle with the file on disk.
void BM_WindowOpenReviewSaveDisk(benchmark::State& state) {
    Window& w = window(false);
    for (auto _ : state) {
        if (!w.setup->openFile(w.path)) std::abort();
        w.setup->Button1Click();
        w.script.messages.clear();
    }
}
BENCHMARK(BM_WindowOpenReviewSaveDisk)
    ->Unit(benchmark::kMicrosecond)
    ->ComputeStatistics("min", fastest);

// The parts on their own: the open; the review; the bytes written from the review table.
void BM_WindowOpen(benchmark::State& state) {
    Window& w = window();
    for (auto _ : state)
        if (!w.setup->openFile(w.path)) std::abort();
}
BENCHMARK(BM_WindowOpen)->Unit(benchmark::kMicrosecond)->ComputeStatistics("min", fastest);

void BM_WindowReview(benchmark::State& state) {
    Window& w = window();
    for (auto _ : state) w.setup->BuildReviewTable();
}
BENCHMARK(BM_WindowReview)->Unit(benchmark::kMicrosecond)->ComputeStatistics("min", fastest);

// What the first choice of another tab costs: every other page's rows made, laid out and the
// chosen page painted, in a window that shows its first page.
void BM_WindowFirstOtherPage(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        auto setup = orbex::createWindows();
        setup->show();
        QApplication::processEvents();
        state.ResumeTiming();
        setup->findChild<QTabWidget*>("PageControl1")->setCurrentIndex(1);
        setup->repaint();
        state.PauseTiming();
        setup.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_WindowFirstOtherPage)
    ->Unit(benchmark::kMillisecond)
    ->ComputeStatistics("min", fastest);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    orbex::Application app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (auto& w : windows) w.reset();
    return 0;
}
