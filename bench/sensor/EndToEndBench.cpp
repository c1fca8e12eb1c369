// A whole download without hardware: a virtual sensor replays an entry of
// mixed records through the socketpair channel, the parser, the store and
// the streamed CSV writer into a temporary folder.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QCoreApplication>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench/QtBenchMain.h"
#include "link_sim/SimulatedPlatform.h"
#include "sensor/SensorSession.h"

namespace {

// Resident memory figures of this process, in bytes ("VmRSS", "VmHWM").
uint64_t procStatusBytes(const char* key) {
    std::ifstream in("/proc/self/status");
    std::string word;
    while (in >> word)
        if (word == std::string(key) + ":") {
            uint64_t kb = 0;
            in >> kb;
            return kb * 1024;
        }
    return 0;
}

void BM_DownloadEndToEnd(benchmark::State& state) {
    const auto records = uint32_t(state.range(0));
    SimulatedPlatform platform;
    BluetoothPlatform::setCurrent(&platform);
    auto device = std::make_shared<VirtualSensor>(VirtualModel::VRAX650);
    device->entries.push_back(VirtualEntry::generated(42, records));
    device->entries.back().ad16Gain = {1, 2, 4, 8};
    platform.addDevice("VRAX650-BENCH-01", "00:1B:DC:65:00:99", device);

    std::string tmpl = (std::filesystem::temp_directory_path() / "vrax-e2e-XXXXXX").string();
    const std::string dir = mkdtemp(tmpl.data());
    double seconds = 0;
    double bytesPerRecord = 0;
    for (auto _ : state) {
        const uint64_t rssBefore = procStatusBytes("VmRSS");
        session::SensorSession s("VRAX650-BENCH-01", "00:1B:DC:65:00:99");
        session::DownloadRequest request;
        request.saveFolder = dir;
        request.startText = "2024/01/01 00:00:00.000";
        request.expectedRecords = records;
        session::DownloadHooks hooks;
        std::chrono::steady_clock::time_point started;
        hooks.transferStarted = [&] { started = std::chrono::steady_clock::now(); };
        session::DownloadReport report;
        const session::Outcome o = s.downloadEntry(request, hooks, report);
        const auto ended = std::chrono::steady_clock::now();
        if (!o.ok() || report.records != records) {
            state.SkipWithError("download failed");
            break;
        }
        seconds += std::chrono::duration<double>(ended - started).count();
        // The peak while the store held every record, above what was resident before.
        bytesPerRecord = double(procStatusBytes("VmHWM") - rssBefore) / records;
    }
    state.counters["records/s"] = double(records) * double(state.iterations()) / seconds;
    state.counters["peak bytes/record"] = bytesPerRecord;
    std::filesystem::remove_all(dir);
    BluetoothPlatform::setCurrent(nullptr);
}

}  // namespace

BENCHMARK(BM_DownloadEndToEnd)->Arg(1000000)->Iterations(1)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    return runBenchmarks<QCoreApplication>(argc, argv);
}
