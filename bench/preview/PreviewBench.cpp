// Opening the preview of a 1,000,000-record download file: loading through
// the store's CSV loader, arranging the charts, decimating and drawing every
// chart once; and the redraw after a zoom. Offscreen platform.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QApplication>
#include <filesystem>
#include <memory>
#include <string>

#include "preview/Decimate.h"
#include "preview/PlotView.h"
#include "preview/PreviewWindow.h"
#include "sim/VirtualEntry.h"
#include "support/EntryFile.h"

namespace {

constexpr uint32_t kRecords = 1'000'000;

// A VRAX650 download of every record kind, written as the download writes it.
const std::string& downloadFile() {
    static const std::string path = [] {
        std::string tmpl =
            (std::filesystem::temp_directory_path() / "vrax-preview-XXXXXX").string();
        const std::string dir = mkdtemp(tmpl.data());
        const std::string file = dir + "/memdata_VRAX650-BENCH_2026-12-01_140500.000-FILT.csv";
        VirtualEntry entry = VirtualEntry::generated(650, kRecords, kAllKinds);
        entry.ad16Gain = {1, 2, 4, 8};
        writeEntryFile(entry, true, file);
        return file;
    }();
    return path;
}

void BM_OpenPreview(benchmark::State& state) {
    const QString path = QString::fromStdString(downloadFile());
    size_t charts = 0;
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
    }
    state.counters["records"] = kRecords;
    state.counters["charts"] = double(charts);
}
BENCHMARK(BM_OpenPreview)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

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
    std::unique_ptr<preview::PreviewWindow> w(
        preview::PreviewWindow::openFile(QString::fromStdString(downloadFile()), nullptr, why));
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
BENCHMARK(BM_ZoomRedraw)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    std::filesystem::remove_all(std::filesystem::path(downloadFile()).parent_path());
    return 0;
}
