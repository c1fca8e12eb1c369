// Three virtual sensors paced like a Bluetooth serial link (15,000 frames a
// second each), downloaded by vraxctl: each alone, one after another, and
// all at once with --parallel 3. Several serial links at once should take
// about as long as the slowest of them alone.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <algorithm>
#include <filesystem>
#include <string>
#include "bench/QtBenchMain.h"

namespace {

constexpr int kRecords = 30000;  // two seconds of a paced link

// Seconds a vraxctl download took; negative when it failed.
double timedDownload(const QStringList& args, const std::string& dir) {
    std::filesystem::remove_all(dir);
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("VRAXCTL_DEMO_FAULT"), QStringLiteral("extra:3:%1").arg(kRecords));
    p.setProcessEnvironment(env);
    p.setStandardInputFile(QProcess::nullDevice());
    p.setStandardOutputFile(QProcess::nullDevice());
    p.setStandardErrorFile(QProcess::nullDevice());
    QElapsedTimer timer;
    timer.start();
    p.start(
        QStringLiteral(VRAXCTL_PATH),
        QStringList{QStringLiteral("download"), QStringLiteral("--demo"), QStringLiteral("--all"),
                    QStringLiteral("--out"), QString::fromStdString(dir)} +
            args);
    if (!p.waitForFinished(300000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return -1;
    return double(timer.nsecsElapsed()) / 1e9;
}

void BM_ParallelDownload3Sensors(benchmark::State& state) {
    std::string tmpl = (std::filesystem::temp_directory_path() / "vrax-parallel-XXXXXX").string();
    const std::string dir = mkdtemp(tmpl.data());
    const QStringList three{QStringLiteral("VRAX650-EXTRA-01"), QStringLiteral("VRAX650-EXTRA-02"),
                            QStringLiteral("VRAX650-EXTRA-03")};
    double slowest = 0, sequential = 0, parallel = 0;
    for (auto _ : state) {
        slowest = 0;
        for (const QString& sensor : three)
            slowest = std::max(slowest, timedDownload({sensor}, dir + "/single"));
        sequential =
            timedDownload(QStringList{QStringLiteral("--parallel"), QStringLiteral("1")} + three,
                          dir + "/sequential");
        parallel =
            timedDownload(QStringList{QStringLiteral("--parallel"), QStringLiteral("3")} + three,
                          dir + "/parallel");
        if (slowest <= 0 || sequential <= 0 || parallel <= 0) {
            state.SkipWithError("a download failed");
            break;
        }
    }
    std::filesystem::remove_all(dir);
    state.counters["slowest_single_s"] = slowest;
    state.counters["one_after_another_s"] = sequential;
    state.counters["parallel_s"] = parallel;
    state.counters["parallel_vs_slowest"] = parallel / slowest;
    state.counters["one_after_another_vs_slowest"] = sequential / slowest;
}
BENCHMARK(BM_ParallelDownload3Sensors)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    return runBenchmarks<QCoreApplication>(argc, argv);
}
