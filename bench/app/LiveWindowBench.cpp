// Ten virtual sensors live at once in the real window's Measure panel
// (offscreen), each at 1,000 records a second over six quantities (ags
// 500/s, qags 250/s, geo and press 100/s, ext 50/s, battery): the process's
// CPU while they stream (the virtual sensors run in this process too), the
// records that arrived, the resident memory after 5 s and at the end, and
// the longest time the event loop went without serving a 5 ms timer.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "app/LiveView.h"
#include "app/MainWindow.h"
#include "app/MeasurePanel.h"
#include "app/SensorsOverview.h"
#include "bench/ProcessUsage.h"
#include "bench/QtBenchMain.h"
#include "link_sim/SimulatedPlatform.h"
#include "support/Files.h"

namespace {

using benchusage::cpuSeconds;
using benchusage::residentMB;

void BM_TenSensorsLiveInTheWindow(benchmark::State& state) {
    const double seconds = double(state.range(0));
    constexpr int kSensors = 10;
    SimulatedPlatform platform;
    BluetoothPlatform::setCurrent(&platform);
    const std::string folder = makeTempFolder("vrax-bench");
    QStringList addresses;
    for (int i = 0; i < kSensors; ++i) {
        char name[32], address[32];
        std::snprintf(name, sizeof name, "VRAX610-%03d", i + 1);
        std::snprintf(address, sizeof address, "00:1B:DC:61:01:%02X", i + 1);
        platform.addDevice(name, address, std::make_shared<VirtualSensor>(VirtualModel::VRAX610));
        addresses << QString::fromLatin1(address);
    }
    double cpuPercent = 0, rss5 = 0, rssEnd = 0, stallMs = 0;
    uint64_t records = 0;
    {
        MainWindow window;
        window.controller()->setSaveFolder(QString::fromStdString(folder));
        window.show();
        SensorsOverview* overview = window.overview();
        overview->reloadSensors();
        overview->select(addresses);
        MeasurePanel* panel = window.controller()->measurePanel();
        panel->show();
        panel->resize(1240, 860);
        measure::Config config;
        config[measure::Kind::ags] = {true, 2, 1, false};
        config[measure::Kind::qags] = {true, 4, 1, false};
        config[measure::Kind::geo] = {true, 10, 1, false};
        config[measure::Kind::press] = {true, 10, 1, false};
        config[measure::Kind::ext] = {true, 20, 1, false};
        config[measure::Kind::batt] = {true, 0, 0, false};
        panel->setConfig(config);
        panel->setWindowSeconds(10);
        for (auto _ : state) {
            QElapsedTimer clock;
            double lastTick = 0, longest = 0, cpuAtStart = 0, liveAt = -1;
            bool stopped = false;
            QTimer tick;
            QObject::connect(&tick, &QTimer::timeout, [&] {
                const double now = double(clock.nsecsElapsed()) / 1e9;
                if (panel->isLive() && liveAt < 0) {
                    liveAt = now;
                    cpuAtStart = cpuSeconds();
                }
                if (liveAt >= 0) longest = std::max(longest, (now - lastTick) * 1000);
                lastTick = now;
                if (liveAt >= 0 && rss5 == 0 && now - liveAt >= 5) rss5 = residentMB();
                if (liveAt >= 0 && now - liveAt >= seconds && !stopped) {
                    stopped = true;
                    cpuPercent = (cpuSeconds() - cpuAtStart) / (now - liveAt) * 100;
                    rssEnd = residentMB();
                    panel->stopClicked();
                }
            });
            clock.start();
            tick.start(5);
            panel->liveClicked();
            tick.stop();
            stallMs = longest;
            records = panel->liveRecords();
        }
    }
    BluetoothPlatform::setCurrent(nullptr);
    std::filesystem::remove_all(folder);
    state.counters["cpu_percent_of_core_with_sensors"] = cpuPercent;
    state.counters["records"] = double(records);
    state.counters["records_per_sensor_s"] = double(records) / kSensors / seconds;
    state.counters["rss_after_5s_MB"] = rss5;
    state.counters["rss_end_MB"] = rssEnd;
    state.counters["max_stall_ms"] = stallMs;
}
BENCHMARK(BM_TenSensorsLiveInTheWindow)->Arg(30)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
    return runBenchmarks<QApplication>(argc, argv);
}
