// One open -> review -> save cycle of a configuration with every control set, as the editor
// and orbcfg-cli run it: in memory, and from a file on disk back to a file on disk.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>

#include "bench/sample.h"
#include "cli/files.h"
#include "model/writer.h"

namespace {

using namespace orbex;
namespace fs = std::filesystem;

std::string cycle(std::string_view bytes) {
    int warnings = 0;
    return normalizeConfig(bytes, [&](Id) { ++warnings; });
}

const std::string& input() {
    static const std::string bytes = [] {
        std::string b = bench::fullConfig(0);
        if (cycle(b) != b) std::abort();  // a saved file saves to itself
        return b;
    }();
    return bytes;
}

// A folder of its own under the system's temporary folder, removed at the end.
struct TempDir {
    fs::path path =
        fs::temp_directory_path() / ("orbcfg-bench-" + std::to_string(std::random_device{}()));
    TempDir() { fs::create_directories(path); }
    ~TempDir() { fs::remove_all(path); }
};

// On a shared machine the fastest of several repetitions is the figure that others disturb least.
double fastest(const std::vector<double>& v) {
    return *std::min_element(v.begin(), v.end());
}

void writeOrDie(const fs::path& path, std::string_view bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() || std::fclose(f) != 0)
        std::abort();
}

void BM_CycleInMemory(benchmark::State& state) {
    const std::string& bytes = input();
    for (auto _ : state) {
        std::string out = cycle(bytes);
        benchmark::DoNotOptimize(out);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_CycleInMemory)->Unit(benchmark::kMicrosecond)->ComputeStatistics("min", fastest);

// Read a file, write the result to another with `save`.
void cycleOnDisk(benchmark::State& state, void (*save)(const fs::path&, std::string_view)) {
    TempDir dir;
    const fs::path in = dir.path / "in.cfg", out = dir.path / "out.cfg";
    writeOrDie(in, input());
    std::string error;
    for (auto _ : state) {
        auto bytes = cli::readFile(in, error);
        if (!bytes) std::abort();
        save(out, cycle(*bytes));
    }
}

// Over the other file in place.
void BM_CycleDisk(benchmark::State& state) {
    cycleOnDisk(state, writeOrDie);
}
BENCHMARK(BM_CycleDisk)->Unit(benchmark::kMicrosecond)->ComputeStatistics("min", fastest);

// As orbcfg-cli normalize -o does it: a new file synced to disk and renamed over the old one.
void BM_CycleDiskReplace(benchmark::State& state) {
    cycleOnDisk(state, [](const fs::path& out, std::string_view bytes) {
        std::string error;
        if (!cli::replaceFile(out, bytes, error)) std::abort();
    });
}
BENCHMARK(BM_CycleDiskReplace)->Unit(benchmark::kMicrosecond)->ComputeStatistics("min", fastest);

}  // namespace

BENCHMARK_MAIN();
