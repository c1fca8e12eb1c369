// vraxctl live of ten virtual sensors at once, 1,000 records a second each,
// for a minute (the sensors run in real time: no compression). Reports the
// CPU share of the whole run (parent and its ten children, which include
// the virtual sensors' own work: an upper bound of the host path), whether
// every file holds exactly the records its sensor reported, and the largest
// resident memory of any child.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>

#include "bench/QtBenchMain.h"

namespace {

constexpr int kSensors = 10;

uint64_t linesOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    uint64_t n = 0;
    for (std::string line; std::getline(in, line);) ++n;
    return n;
}

double cpuSecondsOfChildren() {
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

void BM_LiveTenSensors(benchmark::State& state) {
    const int seconds = int(state.range(0));
    std::string tmpl = (std::filesystem::temp_directory_path() / "vrax-live10-XXXXXX").string();
    const std::string dir = mkdtemp(tmpl.data());
    { std::ofstream(dir + "/c.json") << R"({"ags": {"enabled": true, "rate": 1, "average": 1}})"; }
    double cpu = 0, wall = 0;
    uint64_t files = 0, exact = 0, records = 0;
    for (auto _ : state) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("VRAXCTL_DEMO_FAULT"),
                   QStringLiteral("extra:%1:0").arg(kSensors));
        p.setProcessEnvironment(env);
        p.setStandardInputFile(QProcess::nullDevice());
        p.setStandardErrorFile(QProcess::nullDevice());
        QStringList args{QStringLiteral("live"), QStringLiteral("--demo")};
        for (int i = 1; i <= kSensors; ++i)
            args << QStringLiteral("VRAX650-EXTRA-%1").arg(i, 2, 10, QLatin1Char('0'));
        args << QStringLiteral("--config") << QString::fromStdString(dir + "/c.json")
             << QStringLiteral("--out") << QString::fromStdString(dir + "/out")
             << QStringLiteral("--seconds") << QString::number(seconds);
        const double before = cpuSecondsOfChildren();
        QElapsedTimer timer;
        timer.start();
        p.start(QStringLiteral(VRAXCTL_PATH), args);
        if (!p.waitForFinished(seconds * 1000 + 120000) || p.exitCode() != 0) {
            state.SkipWithError("the live run failed");
            break;
        }
        wall = double(timer.nsecsElapsed()) / 1e9;
        cpu = cpuSecondsOfChildren() - before;
        // Each child's "total N records" against its file's lines.
        const QString out = QString::fromUtf8(p.readAllStandardOutput());
        std::vector<uint64_t> totals;
        for (const QRegularExpressionMatch& m :
             QRegularExpression(QStringLiteral("^total +(\\d+) records$"),
                                QRegularExpression::MultilineOption)
                 .globalMatch(out))
            totals.push_back(m.captured(1).toULongLong());
        std::vector<uint64_t> lines;
        QDirIterator it(QString::fromStdString(dir + "/out"), {QStringLiteral("live_*.csv")},
                        QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) lines.push_back(linesOf(it.next().toStdString()));
        std::sort(totals.begin(), totals.end());
        std::sort(lines.begin(), lines.end());
        files = lines.size();
        exact = totals == lines ? 1 : 0;
        records = 0;
        for (uint64_t n : lines) records += n;
    }
    rusage u{};
    getrusage(RUSAGE_CHILDREN, &u);
    std::filesystem::remove_all(dir);
    state.counters["sensors"] = kSensors;
    state.counters["files"] = double(files);
    state.counters["records_exact"] = double(exact);
    state.counters["records_per_s_each"] = double(records) / kSensors / seconds;
    state.counters["cpu_percent_of_core_all"] = cpu / wall * 100.0;
    state.counters["cpu_percent_of_core_per_sensor"] = cpu / wall * 100.0 / kSensors;
    state.counters["max_child_rss_MB"] = double(u.ru_maxrss) / 1024.0;
}
BENCHMARK(BM_LiveTenSensors)->Arg(60)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    return runBenchmarks<QCoreApplication>(argc, argv);
}
