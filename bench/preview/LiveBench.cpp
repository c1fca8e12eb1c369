// Redrawing every live chart of a 60 s window at 1,000 frames/s of mixed
// kinds: finding the window's records in the store, reducing each track to
// min/max per pixel column and painting. Offscreen platform.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <cmath>

#include "bench/QtBenchMain.h"
#include "preview/LiveCharts.h"
#include "store/VRAXSensorData.h"

namespace {

constexpr uint64_t kFramesPerSecond = 1000;
constexpr uint64_t kWindowMs = 60'000;

// 60 s (plus the second before it) of live records: per 10 frames five ags,
// two qags, one geo, one press and one ext; a battery record every 0.5 s.
void fill(VRAXSensorData& store, uint64_t seconds) {
    const uint64_t frames = seconds * kFramesPerSecond;
    static constexpr int kindOf[10] = {0, 0, 0, 0, 0, 5, 5, 1, 2, 4};
    int32_t v[14] = {};
    for (uint64_t i = 0; i < frames; ++i) {
        const uint64_t ms = i * 1000 / kFramesPerSecond;
        const double phase = double(i) * 0.01;
        for (int k = 0; k < 14; ++k) v[k] = int32_t(1000 * std::sin(phase + k) + 50 * (i % 7));
        store.appendSensorData(ms, kindOf[i % 10], v);
        if (i % 500 == 0) store.appendSensorData(ms, 3, v);
    }
}

void BM_LiveRedraw60sWindow(benchmark::State& state) {
    VRAXSensorData store;
    fill(store, kWindowMs / 1000 + 1);
    preview::LiveCharts charts;
    charts.resize(1200, 1300);
    charts.show();
    QApplication::processEvents();
    const uint64_t end = store.getPassedMSTimeLastSample();
    uint64_t cursor = 0;
    for (auto _ : state) {
        uint64_t from = 0, last = 0;
        store.getDataByTheMSTime(end - kWindowMs, cursor, from, false);
        store.getDataByTheMSTime(end, from, last, true);
        charts.showRange(store, from, last, end, kWindowMs);
        charts.repaint();
    }
    state.counters["records"] = double(charts.recordsShown());
    state.counters["charts"] = charts.chartCount();
    state.counters["points"] = double(charts.pointCount());
}
BENCHMARK(BM_LiveRedraw60sWindow)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same without painting: finding the records and reducing the tracks.
void BM_LiveRedrawDataOnly60sWindow(benchmark::State& state) {
    VRAXSensorData store;
    fill(store, kWindowMs / 1000 + 1);
    preview::LiveCharts charts;
    charts.resize(1200, 1300);
    const uint64_t end = store.getPassedMSTimeLastSample();
    for (auto _ : state) {
        uint64_t from = 0, last = 0;
        store.getDataByTheMSTime(end - kWindowMs, 0, from, false);
        store.getDataByTheMSTime(end, from, last, true);
        charts.showRange(store, from, last, end, kWindowMs);
    }
}
BENCHMARK(BM_LiveRedrawDataOnly60sWindow)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    return runBenchmarks<QApplication>(argc, argv);
}
