// The sensors overview's refresh of many virtual sensors in the real window
// (offscreen): when the rows of the sensors that answer are filled, against
// the refresh of one of them alone, and the longest time the event loop went
// without serving a 5 ms timer.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>

#include "app/MainWindow.h"
#include "app/SensorsOverview.h"
#include "bench/QtBenchMain.h"
#include "link_sim/SimulatedPlatform.h"
#include "support/Files.h"

namespace {

// Args: sensors; one of them answering (0), silent (1: connects, answers
// nothing) or out of range (2: a page of 5 s); that one's row first (0) or
// last (1).
void BM_OverviewRefresh(benchmark::State& state) {
    const int count = int(state.range(0));
    const bool withSilent = state.range(1) != 0;
    const bool outOfRange = state.range(1) == 2;
    const bool silentLast = state.range(2) != 0;
    SimulatedPlatform platform;
    BluetoothPlatform::setCurrent(&platform);
    const std::string folder = makeTempFolder("vrax-bench");
    const int silentIndex = withSilent ? (silentLast ? count - 1 : 0) : -1;
    for (int i = 0; i < count; ++i) {
        char name[32], address[32];
        std::snprintf(name, sizeof name, "VRAX610-%03d", i + 1);
        std::snprintf(address, sizeof address, "00:1B:DC:61:01:%02X", i + 1);
        auto s = std::make_shared<VirtualSensor>(VirtualModel::VRAX610);
        if (i == silentIndex && outOfRange) s->faults.connectDelayMs = 5000;
        if (i == silentIndex && !outOfRange)
            for (int code = 0; code < 256; ++code) s->faults.unansweredCommands[uint8_t(code)] = -1;
        platform.addDevice(name, address, s);
    }
    MainWindow window;
    window.controller()->setSaveFolder(QString::fromStdString(folder));
    window.show();
    SensorsOverview* overview = window.overview();
    overview->reloadSensors();
    // One answering sensor alone, for comparison.
    const int alone = silentIndex == 0 ? 1 : 0;
    if (alone < count) {
        overview->select({overview->model()->row(alone).address});
        QElapsedTimer one;
        one.start();
        overview->refresh();
        state.counters["one_sensor_ms"] = double(one.nsecsElapsed()) / 1e6;
        overview->select({});
    }
    double rowsMs = 0, allMs = 0, stallMs = 0;
    for (auto _ : state) {
        QElapsedTimer clock;
        double lastTick = 0, longest = 0, answered = 0;
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, [&] {
            const double now = double(clock.nsecsElapsed()) / 1e6;
            longest = std::max(longest, now - lastTick);
            lastTick = now;
        });
        const QDateTime began = QDateTime::currentDateTime();
        auto conn = QObject::connect(overview->model(), &QAbstractItemModel::dataChanged, [&] {
            int filled = 0;
            for (int i = 0; i < count; ++i) {
                const OverviewRow& r = overview->model()->row(i);
                if (i != silentIndex && r.lastRead >= began && !r.failed) ++filled;
            }
            if (filled == count - (withSilent ? 1 : 0) && answered == 0)
                answered = double(clock.nsecsElapsed()) / 1e6;
        });
        clock.start();
        tick.start(5);
        overview->refresh();
        allMs = double(clock.nsecsElapsed()) / 1e6;
        tick.stop();
        QObject::disconnect(conn);
        rowsMs = answered;
        stallMs = longest;
        state.SetIterationTime(allMs / 1000);
    }
    state.counters["rows_filled_ms"] = rowsMs;
    state.counters["all_done_ms"] = allMs;
    state.counters["max_stall_ms"] = stallMs;
    if (state.counters["one_sensor_ms"] > 0)
        state.counters["filled_vs_one"] = rowsMs / state.counters["one_sensor_ms"];
    BluetoothPlatform::setCurrent(nullptr);
}

BENCHMARK(BM_OverviewRefresh)
    ->Args({1, 0, 0})
    ->Args({10, 0, 0})
    ->Args({10, 1, 0})
    ->Args({10, 1, 1})
    ->Args({10, 2, 1})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    return runBenchmarks<QApplication>(argc, argv);
}
