// The live view of 10 sensors at 1,000 records a second each (six
// quantities: ags, qags, geo, press, ext and battery) on the shared charts:
// - the redraw of the default 10 s window and of the longest, 60 s;
// - a time-compressed 10-minute run: every 100 ms of sensor time each
//   sensor's records arrive, its store is held to what the longest window
//   shows (as the window's live run holds it) and the charts are redrawn;
//   the CPU this takes per second of sensor time, and the resident memory
//   after the first minute, after the third (the stores hold their bound
//   from about the second on) and at the end.
// Offscreen platform.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

#include "bench/ProcessUsage.h"
#include "bench/QtBenchMain.h"
#include "preview/SharedLiveCharts.h"
#include "store/VRAXSensorData.h"

namespace {

using benchusage::cpuSeconds;
using benchusage::residentMB;

constexpr size_t kSensors = 10;
constexpr uint64_t kRecordsPerSecond = 1000;
constexpr double kLongestWindowSeconds = 60;
constexpr int64_t kStartUtc = 1'800'000'000'000;

// Per 10 records: five ags, two qags, one geo, one press, one ext; a
// battery record every 0.5 s.
void append(VRAXSensorData& store, uint64_t fromRecord, uint64_t records, size_t sensor) {
    static constexpr int kindOf[10] = {0, 0, 0, 0, 0, 5, 5, 1, 2, 4};
    int32_t v[14] = {};
    for (uint64_t i = fromRecord; i < fromRecord + records; ++i) {
        const uint64_t ms = i * 1000 / kRecordsPerSecond;
        const double phase = double(i) * 0.01 + double(sensor);
        for (int k = 0; k < 14; ++k) v[k] = int32_t(1000 * std::sin(phase + k) + 50 * (i % 7));
        store.appendSensorData(ms, kindOf[i % 10], v);
        if (i % 500 == 0) {
            v[0] = 390;
            store.appendSensorData(ms, 3, v);
        }
    }
}

// Each sensor's clock a little apart from the others on host time.
TimePair mapOf(size_t sensor) {
    return TimePair{0, kStartUtc + int64_t(sensor) * 7};
}

// Ten sensors' stores and the charts' view of them.
struct TenSensors {
    std::vector<std::unique_ptr<VRAXSensorData>> stores;
    std::vector<preview::LiveSource> sources;
    TenSensors() {
        for (size_t s = 0; s < kSensors; ++s) {
            stores.push_back(std::make_unique<VRAXSensorData>());
            sources.push_back({stores.back().get(), mapOf(s)});
        }
    }
};

// The charts on screen, a session of ten sensors started.
void startShown(preview::SharedLiveCharts& charts) {
    charts.resize(1200, 1000);
    charts.show();
    QApplication::processEvents();
    charts.start(kSensors);
}

// One redraw (records found, reduced, painted) of a full window.
void BM_SharedRedraw10Sensors(benchmark::State& state) {
    const uint64_t windowMs = uint64_t(state.range(0)) * 1000;
    const uint64_t seconds = windowMs / 1000 + 1;
    TenSensors sensors;
    for (size_t s = 0; s < kSensors; ++s)
        append(*sensors.stores[s], 0, seconds * kRecordsPerSecond, s);
    preview::SharedLiveCharts charts;
    startShown(charts);
    const int64_t end = kStartUtc + int64_t(seconds * 1000);
    const bool paint = state.range(1) != 0;
    charts.setComponent(int(state.range(2)));
    for (auto _ : state) {
        charts.showWindow(sensors.sources, end, windowMs);
        if (paint) charts.repaint();
    }
    state.counters["records"] = double(charts.recordsShown());
    state.counters["charts"] = charts.chartCount();
    state.counters["points"] = double(charts.pointCount());
}
// Args: window (s), painted (1) or only found and reduced (0), the
// component shown (-1: all).
BENCHMARK(BM_SharedRedraw10Sensors)
    ->Args({10, 1, -1})
    ->Args({10, 0, -1})
    ->Args({10, 1, 0})
    ->Args({60, 1, 0})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Ten minutes of sensor time, compressed: ticks of 100 ms as fast as they go.
void BM_SharedLiveTenMinutes(benchmark::State& state) {
    const uint64_t windowMs = uint64_t(state.range(0)) * 1000;
    constexpr int kTicks = 10 * 60 * 10;
    constexpr uint64_t kPerTick = kRecordsPerSecond / 10;
    double cpu = 0, firstMinuteMB = 0, thirdMinuteMB = 0, endMB = 0, slowestMs = 0;
    for (auto _ : state) {
        TenSensors sensors;
        auto& stores = sensors.stores;
        preview::SharedLiveCharts charts;
        startShown(charts);
        charts.setComponent(int(state.range(1)));
        const double cpuBefore = cpuSeconds();
        for (int tick = 1; tick <= kTicks; ++tick) {
            for (size_t s = 0; s < kSensors; ++s) {
                append(*stores[s], uint64_t(tick - 1) * kPerTick, kPerTick, s);
                // As the window's run holds it: twice the longest window and 2 s
                // at the rate seen (the battery's two records a second included).
                stores[s]->keepLatest(
                    uint64_t(double(kRecordsPerSecond + 2) * (kLongestWindowSeconds + 2) * 2) +
                    1000);
            }
            const double drawBefore = cpuSeconds();
            charts.showWindow(sensors.sources, kStartUtc + int64_t(tick) * 100, windowMs);
            charts.repaint();
            slowestMs = std::max(slowestMs, (cpuSeconds() - drawBefore) * 1000);
            if (tick == 600) firstMinuteMB = residentMB();
            // The stores hold their bound from about the second minute on.
            if (tick == 1800) thirdMinuteMB = residentMB();
        }
        cpu = cpuSeconds() - cpuBefore;
        endMB = residentMB();
    }
    state.counters["cpu_percent_of_core"] = cpu / 600.0 * 100.0;
    state.counters["rss_after_1min_MB"] = firstMinuteMB;
    state.counters["rss_after_3min_MB"] = thirdMinuteMB;
    state.counters["rss_after_10min_MB"] = endMB;
    state.counters["slowest_redraw_cpu_ms"] = slowestMs;
}
BENCHMARK(BM_SharedLiveTenMinutes)->Args({10, 0})->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
    return runBenchmarks<QApplication>(argc, argv);
}
