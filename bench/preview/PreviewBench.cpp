// Opening the preview of a 1,000,000-record download file and of a
// 4,000,000-record one (a sensor's whole memory): loading, arranging the
// charts, decimating and drawing every chart once, with the process's peak
// memory; and the redraw of every chart after a zoom. Offscreen platform.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QApplication>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include "bench/QtBenchMain.h"
#include "preview/Decimate.h"
#include "preview/PlotView.h"
#include "preview/PreviewWindow.h"
#include "sim/VirtualEntry.h"
#include "support/EntryFile.h"

namespace {

constexpr uint32_t kRecords = 1'000'000;
constexpr uint32_t kFullMemory = 4'000'000;

const std::string& benchDir() {
    static const std::string dir = [] {
        std::string tmpl =
            (std::filesystem::temp_directory_path() / "vrax-preview-XXXXXX").string();
        return std::string(mkdtemp(tmpl.data()));
    }();
    return dir;
}

// A VRAX650 download of every record kind, written as the download writes it.
const std::string& downloadFile(uint32_t records = kRecords) {
    static std::map<uint32_t, std::string> files;
    std::string& path = files[records];
    if (path.empty()) {
        path = benchDir() + "/" + std::to_string(records) +
               "/memdata_VRAX650-BENCH_2026-12-01_140500.000-FILT.csv";
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        VirtualEntry entry = VirtualEntry::generated(650, records, kAllKinds);
        entry.ad16Gain = {1, 2, 4, 8};
        writeEntryFile(entry, true, path);
    }
    return path;
}

// The process's peak resident memory since the last reset, in MB.
double peakMB() {
    std::ifstream in("/proc/self/status");
    std::string word;
    while (in >> word)
        if (word == "VmHWM:") {
            double kb = 0;
            in >> kb;
            return kb / 1024;
        }
    return 0;
}
void resetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

void BM_OpenPreview(benchmark::State& state) {
    const auto records = uint32_t(state.range(0));
    const QString path = QString::fromStdString(downloadFile(records));
    size_t charts = 0;
    double peak = 0;
    QApplication::processEvents();
    resetPeak();
    for (auto _ : state) {
        QString why;
        std::unique_ptr<preview::PreviewWindow> w(
            preview::PreviewWindow::openFile(path, nullptr, why));
        if (!w) {
            state.SkipWithError(why.toStdString().c_str());
            return;
        }
        w->resize(1200, 900);
        w->show();
        QApplication::processEvents();
        w->redrawAll();
        benchmark::DoNotOptimize(w->grab());  // paints the charts in view
        charts = size_t(w->views().size());
        peak = std::max(peak, peakMB());
    }
    state.counters["records"] = records;
    state.counters["charts"] = double(charts);
    state.counters["peak_MB"] = peak;
}
BENCHMARK(BM_OpenPreview)
    ->Arg(kRecords)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);
// A sensor's whole memory.
void BM_OpenPreview4000000(benchmark::State& state) {
    BM_OpenPreview(state);
}
BENCHMARK(BM_OpenPreview4000000)
    ->Arg(kFullMemory)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(2);

void BM_LoadAndArrange(benchmark::State& state) {
    for (auto _ : state) {
        preview::PlotData data;
        std::string why;
        benchmark::DoNotOptimize(preview::loadPlotFile(downloadFile(), data, why));
    }
}
BENCHMARK(BM_LoadAndArrange)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

void BM_DecimateWholeTrack(benchmark::State& state) {
    preview::PlotData data;
    std::string why;
    preview::loadPlotFile(downloadFile(), data, why);
    const preview::Chart& acc = data.charts.front();
    size_t points = 0;
    for (auto _ : state) {
        const preview::Decimated d = preview::decimate(acc.t, acc.tracks[0].values, acc.gaps, 0,
                                                       data.duration, int(state.range(0)));
        points = d.points.size();
        benchmark::DoNotOptimize(points);
    }
    state.counters["samples"] = double(acc.t.size());
    state.counters["points"] = double(points);
}
BENCHMARK(BM_DecimateWholeTrack)->Arg(1000)->Unit(benchmark::kMillisecond);

// A zoom on a window already open: every chart follows and redraws.
void BM_ZoomRedraw(benchmark::State& state) {
    QString why;
    std::unique_ptr<preview::PreviewWindow> w(preview::PreviewWindow::openFile(
        QString::fromStdString(downloadFile(uint32_t(state.range(0)))), nullptr, why));
    w->resize(1200, 900);
    w->show();
    QApplication::processEvents();
    const double full = w->data().duration;
    int step = 0;
    for (auto _ : state) {
        const double from = full * (step % 10) / 20.0;
        w->views().first()->setTimeRange(from, from + full / 2);
        w->redrawAll();
        ++step;
    }
}
BENCHMARK(BM_ZoomRedraw)
    ->Arg(kRecords)
    ->Arg(kFullMemory)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    const int code = runBenchmarks<QApplication>(argc, argv);
    std::filesystem::remove_all(benchDir());
    return code;
}
