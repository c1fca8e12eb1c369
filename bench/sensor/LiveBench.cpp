// The live path at 1,000 frames a second of mixed kinds: what a second of
// live data costs the host, without drawing.
//
// BM_LiveHostPath: 60 s of measurement frames, made by a virtual sensor on a
// clock of its own, go through the link's receive path, the parser, the
// decoders, the store and the streamed CSV file. Reports the CPU time per
// second of live data (goal: under 5 % of one core) and the store's memory
// per hour of live data.
//
// BM_LiveSession: a real live session of a few seconds against a virtual
// sensor over the socketpair channel. The process time includes the virtual
// sensor's own work, so it is an upper bound of the host's.
//
// BM_LiveMemoryOverAnHour: 60 minutes of a virtual sensor at 3,000 records/s,
// time-compressed, through the host path into the streamed file, the store
// keeping the records of the longest chart window (60 s) as a live session
// does. Reports the resident memory after the first minute, after the
// fifth (the window is full from the second on) and at the end (goal: within
// 50 MB of the first minute's).
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <QCoreApplication>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/ProcessUsage.h"
#include "bench/QtBenchMain.h"
#include "link_sim/SimulatedPlatform.h"
#include "protocol/Frame.h"
#include "sensor/SensorSession.h"

namespace {

using benchusage::residentMB;

double processCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

std::string tempFolder() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "vrax-live-XXXXXX").string();
    return mkdtemp(tmpl.data());
}

// 1,000 frames a second: ags 500, qags 200, geo 100, ext16ad 100, press 50, ext 50 (and batt 1).
const char* const kMixed = R"({
    "ags": {"enabled": true, "rate": 2, "average": 1, "record": false},
    "qags": {"enabled": true, "rate": 5, "average": 1, "record": false},
    "geo": {"enabled": true, "rate": 10, "average": 1, "record": false},
    "press": {"enabled": true, "rate": 20, "average": 1, "record": false},
    "batt": {"enabled": true, "record": false},
    "ext": {"enabled": true, "rate": 20, "average": 1, "record": false},
    "ext16ad": {"enabled": true, "rate": 10, "average": 1, "record": false},
    "ad16Gains": [1, 2, 4, 8]})";

measure::Config mixedConfig() {
    std::string error;
    return measure::parseConfig(kMixed, error).value_or(measure::Config{});
}

// Frames each command and hands it to the virtual sensor at time 0.
void sendCommands(VirtualSensor& d, const std::vector<std::vector<uint8_t>>& commands) {
    for (std::vector<uint8_t> m : commands) {
        uint8_t frame[32];
        const int n = buildSendPacket(m.data(), int(m.size()), frame);
        d.receive(frame, size_t(n), 0);
    }
}

// The bytes a virtual sensor streams in `seconds` of the mixed measurement,
// in the pieces it gives every 10 ms.
std::vector<std::vector<uint8_t>> streamedPieces(int seconds) {
    VirtualSensor d(VirtualModel::VRAX650);
    d.open();
    sendCommands(d, {{0x16, 2, 1, 0},
                     {0x55, 5, 1, 0},
                     {0x18, 10, 1, 0},
                     {0x1A, 20, 1, 0},
                     {0x1C, 1, 0},
                     {0x1E, 20, 1, 0, 0, 0},
                     {0x59, 10, 1, 0, 1, 2, 4, 8},
                     {0x13, 0, 0, 1, 1, 0, 0, 0, 0, 0, 1, 1, 0, 0, 0}});
    std::vector<std::vector<uint8_t>> pieces;
    std::vector<uint8_t> buffer(1 << 16);
    buffer.resize(d.pull(buffer.data(), buffer.size(), 0));  // the answers
    for (uint64_t t = 10; t <= uint64_t(seconds) * 1000; t += 10) {
        buffer.resize(1 << 16);
        buffer.resize(d.pull(buffer.data(), buffer.size(), t));
        pieces.push_back(buffer);
    }
    return pieces;
}

void BM_LiveHostPath(benchmark::State& state) {
    constexpr int kSeconds = 60;
    const std::vector<std::vector<uint8_t>> pieces = streamedPieces(kSeconds);
    const std::string dir = tempFolder();
    double cpu = 0;
    uint64_t records = 0;
    int runs = 0;
    for (auto _ : state) {
        VRAXSensor sensor;
        for (int port = 0; port < 4; ++port) sensor.setAd16Gain(1 << port, port);
        sensor.setSaveFilename(dir + "/live-" + std::to_string(runs) + ".csv");
        sensor.setSaveFlag();
        const double before = processCpuSeconds();
        for (const std::vector<uint8_t>& p : pieces)
            sensor.rfCommControl()->rfcommChannelData(p.data(), p.size());
        sensor.flashWriteBuffer();
        const SaveFileEnd end = sensor.getSensorDataObject().finishSaveFile(true);
        cpu += processCpuSeconds() - before;
        records = sensor.getSensorDataObject().count();
        if (end.kind != SaveFileEnd::complete) {
            state.SkipWithError("the live file was not finished");
            break;
        }
        ++runs;
    }
    std::filesystem::remove_all(dir);
    if (runs == 0) return;
    const double perLiveSecond = cpu / runs / kSeconds;
    state.counters["live_seconds"] = kSeconds;
    state.counters["records_per_live_s"] = double(records) / kSeconds;
    state.counters["cpu_percent_of_core"] = perLiveSecond * 100.0;
    state.counters["store_MB_per_hour"] =
        double(sizeof(SensorDataRecord)) * double(records) / kSeconds * 3600.0 / 1e6;
}
BENCHMARK(BM_LiveHostPath)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_LiveSession(benchmark::State& state) {
    const double seconds = double(state.range(0));
    SimulatedPlatform platform;
    BluetoothPlatform::setCurrent(&platform);
    platform.addDevice("VRAX650-BENCH-02", "00:1B:DC:65:00:98",
                       std::make_shared<VirtualSensor>(VirtualModel::VRAX650));
    const std::string dir = tempFolder();
    const measure::Config config = mixedConfig();
    double cpu = 0, live = 0;
    uint64_t records = 0;
    for (auto _ : state) {
        session::SensorSession s("VRAX650-BENCH-02", "00:1B:DC:65:00:98");
        session::LiveHooks hooks;
        double startedCpu = 0;
        double lastElapsed = 0;
        hooks.started = [&](const std::string&) { startedCpu = processCpuSeconds(); };
        hooks.tick = [&](const session::LiveProgress& p) { lastElapsed = p.elapsed; };
        session::LiveReport report;
        const session::Outcome o = s.runLive(config, {dir, seconds, 0, false}, hooks, report);
        cpu += processCpuSeconds() - startedCpu;
        live += lastElapsed;
        records += report.records;
        if (!o.ok()) {
            state.SkipWithError("the live session failed");
            break;
        }
    }
    BluetoothPlatform::setCurrent(nullptr);
    std::filesystem::remove_all(dir);
    if (live <= 0) return;
    state.counters["records_per_live_s"] = double(records) / live;
    state.counters["cpu_percent_of_core_with_sensor"] = cpu / live * 100.0;
}
BENCHMARK(BM_LiveSession)->Arg(5)->Unit(benchmark::kMillisecond)->Iterations(1);

void BM_LiveMemoryOverAnHour(benchmark::State& state) {
    const int minutes = int(state.range(0));
    constexpr double kKeepSeconds = 60;  // the longest chart window
    const std::string dir = tempFolder();
    double firstMinute = 0, fifthMinute = 0, atEnd = 0, peak = 0, peakAfter5 = 0;
    uint64_t records = 0, inFile = 0;
    for (auto _ : state) {
        VirtualSensor d(VirtualModel::VRAX650);
        d.open();
        // ags, qags and 16-bit AD every millisecond: 3,000 records a second.
        sendCommands(d, {{0x16, 1, 1, 0},
                         {0x55, 1, 1, 0},
                         {0x59, 1, 1, 0, 1, 2, 4, 8},
                         {0x13, 0, 0, 1, 1, 0, 0, 0, 0, 0, 1, 1, 0, 0, 0}});
        std::vector<uint8_t> buffer(1 << 20);
        d.pull(buffer.data(), buffer.size(), 0);  // the answers
        VRAXSensor sensor;
        VRAXSensorData& store = sensor.getSensorDataObject();
        const std::string file = dir + "/live.csv";
        sensor.setSaveFilename(file);
        sensor.setSaveFlag();
        store.noteTimePairs(session::kTimePairEveryMs);
        // Every 100 ms of sensor time, as the live session's tick.
        for (uint64_t t = 100; t <= uint64_t(minutes) * 60000; t += 100) {
            const size_t n = d.pull(buffer.data(), buffer.size(), t);
            sensor.rfCommControl()->rfcommChannelData(buffer.data(), n);
            sensor.flashWriteBuffer();
            store.takeTimePairs();
            store.keepLatest(uint64_t(3000 * (kKeepSeconds + 2.0) * 2.0) + 1000);
            if (t % 60000 == 0) {
                const double mb = residentMB();
                if (t == 60000) firstMinute = mb;
                if (t == 300000) fifthMinute = mb;
                peak = std::max(peak, mb);
                if (t >= 300000) peakAfter5 = std::max(peakAfter5, mb);
            }
        }
        atEnd = residentMB();
        records = store.count();
        inFile = store.writtenRecords();
        if (store.finishSaveFile(true).kind != SaveFileEnd::complete) {
            state.SkipWithError("the live file was not finished");
            break;
        }
        std::filesystem::remove(file);
    }
    std::filesystem::remove_all(dir);
    state.counters["minutes"] = minutes;
    state.counters["records"] = double(records);
    state.counters["records_in_file"] = double(inFile);
    state.counters["rss_MB_after_1_min"] = firstMinute;
    state.counters["rss_MB_at_end"] = atEnd;
    state.counters["rss_MB_growth_after_1_min"] = peak - firstMinute;
    // Once the 60 s window is full (minute 2 on), nothing grows.
    state.counters["rss_MB_after_5_min"] = fifthMinute;
    state.counters["rss_MB_growth_after_5_min"] = peakAfter5 - fifthMinute;
}
BENCHMARK(BM_LiveMemoryOverAnHour)->Arg(60)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
    return runBenchmarks<QCoreApplication>(argc, argv);
}
