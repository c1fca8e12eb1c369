// vraxctl export --hdf5 and --tidy of a binary dump of 4,000,000 records (a
// long recording): records per second, and the peak resident memory of the
// run, which should stay well below the size of the input (the records are
// streamed, never all held).
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <QCoreApplication>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/QtBenchMain.h"
#include "store/SensorDataRecord.h"

extern char** environ;

namespace {

constexpr uint64_t kRecords = 4000000;

// A dump of ags records 1 ms apart, with a battery record every 1000.
void writeDump(const std::string& path) {
    std::ofstream out(path, std::ios::binary);
    std::vector<SensorDataRecord> block(4096);
    uint64_t done = 0;
    while (done < kRecords) {
        const size_t n = size_t(std::min<uint64_t>(block.size(), kRecords - done));
        for (size_t i = 0; i < n; ++i) {
            SensorDataRecord& r = block[i];
            std::memset(&r, 0, sizeof r);
            const uint64_t k = done + i;
            r.dataType = k % 1000 == 0 ? batt : ags;
            r.msTime = 1000000 + k;
            makeTimeStr(r.msTime, r.timeStr);
            for (int v = 0; v < valueCount(r.dataType); ++v) r.values[v] = int32_t(k % 4096) - v;
        }
        out.write(reinterpret_cast<const char*>(block.data()),
                  std::streamsize(n * sizeof(block[0])));
        done += n;
    }
}

// Runs vraxctl with `args`; its peak resident memory in MB, negative when it failed.
double peakMegabytes(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    std::string program = VRAXCTL_PATH;
    argv.push_back(program.data());
    std::vector<std::string> copies = args;
    for (std::string& a : copies) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) return -1;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return -1;
    return double(usage.ru_maxrss) / 1024.0;  // ru_maxrss is in kB
}

// One export of the long dump per iteration, to HDF5 or to tidy CSV files:
// records per second (goal: 2,000,000 or more) and the peak memory.
void exportLong(benchmark::State& state, bool tidy) {
    std::string tmpl = (std::filesystem::temp_directory_path() / "vrax-export-XXXXXX").string();
    const std::string dir = mkdtemp(tmpl.data());
    writeDump(dir + "/long.bin");
    double peak = 0;
    for (auto _ : state) {
        std::filesystem::remove_all(dir + "/tables");
        std::filesystem::remove(dir + "/long.h5");
        peak = tidy ? peakMegabytes({"export", dir + "/long.bin", "--tidy", dir + "/tables"})
                    : peakMegabytes({"export", dir + "/long.bin", "--hdf5", dir + "/long.h5"});
        if (peak < 0) {
            state.SkipWithError("the export failed");
            break;
        }
    }
    std::filesystem::remove_all(dir);
    state.counters["records"] = double(kRecords);
    state.counters["records_per_s"] = benchmark::Counter(
        double(kRecords) * double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["input_MB"] = double(kRecords * sizeof(SensorDataRecord)) / 1048576.0;
    state.counters["peak_MB"] = peak;
}

void BM_ExportHdf5PeakMemory(benchmark::State& state) {
    exportLong(state, false);
}
BENCHMARK(BM_ExportHdf5PeakMemory)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

void BM_ExportTidyCsv(benchmark::State& state) {
    exportLong(state, true);
}
BENCHMARK(BM_ExportTidyCsv)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    return runBenchmarks<QCoreApplication>(argc, argv);
}
