// Streamed download save (beside the same lines built with snprintf),
// whole-store save and CSV load, in records and bytes per second.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdlib>

#include <filesystem>
#include <string>
#include <vector>

#include "store/CsvFormat.h"
#include "store/VRAXSensorData.h"
#include "support/SnprintfLines.h"

namespace {

// A temporary folder for the benchmark's files, removed at exit.
const std::string& benchDir() {
    static const std::string* dir = [] {
        std::string tmpl = (std::filesystem::temp_directory_path() / "vrax-bench-XXXXXX").string();
        auto* made = new std::string(mkdtemp(tmpl.data()));
        std::atexit([] { std::filesystem::remove_all(benchDir()); });
        return made;
    }();
    return *dir;
}

std::string tempPath(const char* name) {
    return benchDir() + "/" + name;
}

void appendMixed(VRAXSensorData& store, int64_t n) {
    int32_t v[12] = {1, 2, 4, 8, 12345, -23456, 345, 4567, 11, 22, 33, 44};
    for (int64_t i = 0; i < n; ++i) {
        v[5] = int32_t(i * 37);
        store.appendSensorData(uint64_t(i) * 10, i % 8 == 7 ? ext16ad : int(i % 3), v);
    }
}

void BM_StreamedDownloadSave(benchmark::State& state) {
    const int64_t n = state.range(0);
    const std::string path = tempPath("stream.csv");
    for (auto _ : state) {
        VRAXSensorData store;
        store.setSaveFilename(path);
        store.setSaveFlag();
        appendMixed(store, n);
        benchmark::DoNotOptimize(store.flashWriteBuffer());
        store.finishSaveFile(true, safeout::Existing::replace);
    }
    state.counters["records/s"] =
        benchmark::Counter(double(n) * double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["bytes/s"] =
        benchmark::Counter(double(std::filesystem::file_size(path)) * double(state.iterations()),
                           benchmark::Counter::kIsRate);
}

// The same records' lines built with snprintf into a buffer of the same
// size, written in the same batches through the same output file: what the
// streamed save would cost with printf formatting (without the store).
void BM_StreamedDownloadSaveSnprintf(benchmark::State& state) {
    const int64_t n = state.range(0);
    const std::string path = tempPath("snprintf.csv");
    VRAXSensorData source;
    appendMixed(source, n);
    constexpr size_t kBatch = 1024;
    std::vector<char> buffer(kBatch * csv::kMaxLineLength);
    const char* eol = csv::lineEnd(1);
    for (auto _ : state) {
        safeout::OutputFile file;
        file.create(path);
        for (uint64_t done = 0; done < uint64_t(n); done += kBatch) {
            size_t used = 0;
            for (uint64_t i = done; i < std::min(uint64_t(n), done + kBatch); ++i)
                used += snprintfLine(*source.getDataByIndex(i), csv::LineStyle::streamed, false,
                                     eol, buffer.data() + used);
            file.write(buffer.data(), used);
        }
        file.publish(safeout::Existing::replace);
    }
    state.counters["records/s"] =
        benchmark::Counter(double(n) * double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["bytes/s"] =
        benchmark::Counter(double(std::filesystem::file_size(path)) * double(state.iterations()),
                           benchmark::Counter::kIsRate);
}

// The lines alone, into the same buffer, without the store or the file:
// the formatter beside snprintf.
void formatOnly(benchmark::State& state, bool useSnprintf) {
    const int64_t n = state.range(0);
    VRAXSensorData source;
    appendMixed(source, n);
    constexpr size_t kBatch = 1024;
    std::vector<char> buffer(kBatch * csv::kMaxLineLength);
    const char* eol = csv::lineEnd(1);
    for (auto _ : state) {
        for (uint64_t done = 0; done < uint64_t(n); done += kBatch) {
            size_t used = 0;
            for (uint64_t i = done; i < std::min(uint64_t(n), done + kBatch); ++i) {
                const SensorDataRecord& r = *source.getDataByIndex(i);
                char* at = buffer.data() + used;
                used += useSnprintf ? snprintfLine(r, csv::LineStyle::streamed, false, eol, at)
                                    : csv::formatLine(r, csv::LineStyle::streamed, false, eol, at);
            }
            benchmark::DoNotOptimize(buffer.data());
            benchmark::ClobberMemory();
        }
    }
    state.counters["records/s"] =
        benchmark::Counter(double(n) * double(state.iterations()), benchmark::Counter::kIsRate);
}
void BM_FormatLines(benchmark::State& state) {
    formatOnly(state, false);
}
void BM_FormatLinesSnprintf(benchmark::State& state) {
    formatOnly(state, true);
}

void BM_WholeStoreCsvSave(benchmark::State& state) {
    const int64_t n = state.range(0);
    VRAXSensorData store;
    appendMixed(store, n);
    for (auto _ : state) benchmark::DoNotOptimize(store.saveToFileByCSV(tempPath("whole"), 0, 1));
    state.counters["records/s"] =
        benchmark::Counter(double(n) * double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_CsvLoad(benchmark::State& state) {
    const int64_t n = state.range(0);
    const std::string path = tempPath("load.csv");
    {
        VRAXSensorData store;
        store.setSaveFilename(path);
        store.setSaveFlag();
        appendMixed(store, n);
        store.finishSaveFile(true, safeout::Existing::replace);
    }
    VRAXSensorData loaded;
    for (auto _ : state) benchmark::DoNotOptimize(loaded.loadFromFileByCSV(path));
    state.counters["records/s"] =
        benchmark::Counter(double(n) * double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["bytes/s"] =
        benchmark::Counter(double(std::filesystem::file_size(path)) * double(state.iterations()),
                           benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK(BM_StreamedDownloadSave)->Arg(10000)->Arg(180000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StreamedDownloadSaveSnprintf)->Arg(10000)->Arg(180000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FormatLines)->Arg(180000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FormatLinesSnprintf)->Arg(180000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WholeStoreCsvSave)->Arg(180000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CsvLoad)->Arg(180000)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
