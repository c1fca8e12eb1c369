// vraxctl run as a program against the demo's virtual sensors: output files
// and their layout, repeated runs, exit codes of failures, signals in the
// middle of a download, capture and replay, conversions, hostile inputs.
// VRAXCTL_DEMO_FAULT=fast lets replays run unpaced.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QThread>
#include <algorithm>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "support/Files.h"

namespace {

namespace fs = std::filesystem;

struct Result {
    int code = -1;
    std::string out;
    std::string err;
};

size_t countLines(const std::string& text) {
    return size_t(std::count(text.begin(), text.end(), '\n'));
}

size_t countOf(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

class VraxctlTest : public ::testing::Test {
  protected:
    void SetUp() override {
        dir = makeTempFolder("vraxctl");
        std::time_t now = std::time(nullptr);
        std::tm t{};
        localtime_r(&now, &t);
        char day[32];
        std::strftime(day, sizeof day, "memdata_%Y%m%d", &t);
        dayFolder = day;
    }
    void TearDown() override { fs::remove_all(dir); }

    // Starts vraxctl in the test's folder, stdin closed (not a terminal);
    // `fileLimit` bytes, when given, is the largest file it may write.
    void start(QProcess& p, const QStringList& args, const QString& faults,
               rlim_t fileLimit = RLIM_INFINITY) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("VRAXCTL_DEMO_FAULT"), faults);
        env.insert(QStringLiteral("HOME"), QString::fromStdString(dir.string()));
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(QString::fromStdString(dir.string()));
        p.setStandardInputFile(QProcess::nullDevice());
        if (fileLimit != RLIM_INFINITY)
            p.setChildProcessModifier([fileLimit] {
                signal(SIGXFSZ, SIG_IGN);
                rlimit limit{fileLimit, fileLimit};
                setrlimit(RLIMIT_FSIZE, &limit);
            });
        p.start(QStringLiteral(VRAXCTL_PATH), args);
    }
    Result finish(QProcess& p) {
        Result r;
        if (!p.waitForFinished(120000)) return r;
        r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
        r.out = p.readAllStandardOutput().toStdString();
        r.err = p.readAllStandardError().toStdString();
        return r;
    }
    Result run(const QStringList& args, const QString& faults = QStringLiteral("fast"),
               rlim_t fileLimit = RLIM_INFINITY) {
        QProcess p;
        start(p, args, faults, fileLimit);
        return finish(p);
    }
    // A shell script, for arguments that are not text (VRAXCTL names the program).
    Result shell(const std::string& script) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("VRAXCTL"), QStringLiteral(VRAXCTL_PATH));
        env.insert(QStringLiteral("VRAXCTL_DEMO_FAULT"), QStringLiteral("fast"));
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(QString::fromStdString(dir.string()));
        p.setStandardInputFile(QProcess::nullDevice());
        p.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QString::fromStdString(script)});
        return finish(p);
    }
    // Waits until the file exists and holds at least `bytes` bytes.
    static bool waitForSize(const fs::path& path, uintmax_t bytes) {
        for (int i = 0; i < 2000; ++i) {
            std::error_code ec;
            if (fs::file_size(path, ec) >= bytes && !ec) return true;
            QThread::msleep(10);
        }
        return false;
    }
    std::vector<std::string> filesIn(const fs::path& folder) const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path day() const { return dir / "out" / dayFolder; }

    fs::path dir;
    std::string dayFolder;
};

const char* kEntry1 = "memdata_VRAX610-001_2026-11-28_090030.000.csv";
const char* kEntry2 = "memdata_VRAX610-001_2026-11-29_101530.250.csv";
const char* kEntry3 = "memdata_VRAX610-001_2026-11-30_113030.500.csv";

TEST_F(VraxctlTest, DownloadLayoutAndExistingFiles) {
    Result r = run({"download", "--demo", "VRAX610-001", "--all", "--out", "out"});
    ASSERT_EQ(r.code, 0) << r.err;
    // Files named and placed as the window does, one CSV line per record.
    EXPECT_EQ(filesIn(dir / "out"), std::vector<std::string>{dayFolder});
    EXPECT_EQ(filesIn(day()), (std::vector<std::string>{kEntry1, kEntry2, kEntry3}));
    EXPECT_EQ(countLines(readFile(day() / kEntry1)), 1500u);
    EXPECT_EQ(countLines(readFile(day() / kEntry2)), 24000u);
    EXPECT_EQ(countLines(readFile(day() / kEntry3)), 180000u);
    EXPECT_EQ(countOf(r.out, " records -> "), 3u);
    EXPECT_NE(r.err.find("VRAX610-001 entry 2: 24000/24000 records (100%)"), std::string::npos)
        << r.err;
    const std::string whole1 = readFile(day() / kEntry1);

    // Again without an option: refused before anything is downloaded.
    std::ofstream(day() / kEntry1, std::ios::binary) << whole1.substr(0, whole1.size() / 2);
    const std::string half1 = readFile(day() / kEntry1);
    r = run({"download", "--demo", "VRAX610-001", "1", "2", "--out", "out"});
    EXPECT_EQ(r.code, 6);
    EXPECT_NE(r.err.find(std::string(kEntry1) + " exists already"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("--skip-existing"), std::string::npos);
    EXPECT_NE(r.err.find("--overwrite"), std::string::npos);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(readFile(day() / kEntry1), half1);

    // --skip-existing: complete files (also in another day folder) are
    // skipped, one cut short is downloaded again and replaced.
    fs::create_directories(dir / "out" / "memdata_20000101");
    fs::rename(day() / kEntry2, dir / "out" / "memdata_20000101" / kEntry2);
    r = run({"download", "--demo", "VRAX610-001", "--all", "--out", "out", "--skip-existing"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("entry 1: 1500 records -> "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("entry 2: skipped"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("entry 3: skipped"), std::string::npos) << r.out;
    EXPECT_EQ(readFile(day() / kEntry1), whole1);
    EXPECT_FALSE(fs::exists(day() / kEntry2));
    r = run({"download", "--demo", "VRAX610-001", "--all", "--out", "out", "--skip-existing"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(countOf(r.out, "skipped, already downloaded"), 3u) << r.out;

    // --overwrite replaces a file once the new download is complete.
    std::ofstream(day() / kEntry1, std::ios::binary) << "mine\r\n";
    r = run({"download", "--demo", "VRAX610-001", "1", "--out", "out", "--overwrite"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(readFile(day() / kEntry1), whole1);
    EXPECT_EQ(filesIn(day()), (std::vector<std::string>{kEntry1, kEntry3}));

    // A link planted at a target name in a shared folder is not written through.
    std::ofstream(dir / "victim") << "precious";
    fs::remove(day() / kEntry1);
    fs::create_symlink(dir / "victim", day() / kEntry1);
    r = run({"download", "--demo", "VRAX610-001", "1", "--out", "out", "--overwrite"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(readFile(dir / "victim"), "precious");
    EXPECT_FALSE(fs::is_symlink(day() / kEntry1));
    EXPECT_EQ(readFile(day() / kEntry1), whole1);
}

TEST_F(VraxctlTest, ExitCodesOfFailures) {
    Result r = run({"entries", "--demo", "NO-SUCH-SENSOR"});
    EXPECT_EQ(r.code, 3);
    EXPECT_NE(r.err.find("NO-SUCH-SENSOR"), std::string::npos);
    EXPECT_EQ(run({"entries", "--demo", "Lab Headset"}).code, 3);  // paired, not a sensor
    r = run({"entries", "--demo", "\x1b]0;pwned\x07"});
    EXPECT_EQ(r.code, 3);
    EXPECT_EQ(r.err.find('\x1b'), std::string::npos) << r.err;  // escaped, not sent to the terminal
    EXPECT_NE(r.err.find("\\x1b]0;pwned\\x07"), std::string::npos) << r.err;

    r = run({"download", "--demo", "VRAX610-002", "--all", "--out", "out"});
    EXPECT_EQ(r.code, 4);
    EXPECT_NE(r.err.find("VRAX610-002: could not connect"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("QSocketNotifier"), std::string::npos);
    EXPECT_EQ(countLines(r.err), 1u) << r.err;

    // Silent after 500 frames: the download times out; what arrived is kept
    // under a name that says so, and the final name stays free.
    const std::string incomplete2 = "memdata_VRAX610-001_2026-11-29_101530.250-incomplete.csv";
    r = run({"download", "--demo", "VRAX610-001", "2", "--out", "out"},
            "fast,silent:VRAX610-001:500");
    EXPECT_EQ(r.code, 7);
    EXPECT_NE(r.err.find("went silent"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("500 of 24000 records -> "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(incomplete2), std::string::npos) << r.err;
    EXPECT_EQ(filesIn(day()), std::vector<std::string>{incomplete2});
    EXPECT_EQ(countLines(readFile(day() / incomplete2)), 500u);
    r = run({"download", "--demo", "VRAX610-001", "1", "--out", "out"},
            "fast,close:VRAX610-001:100");
    EXPECT_EQ(r.code, 7);
    EXPECT_NE(r.err.find("connection was lost"), std::string::npos) << r.err;

    // Dropped frames: the end arrives, the count does not match.
    r = run({"download", "--demo", "VRAX610-001", "1", "--out", "out"}, "fast,drop:VRAX610-001:50");
    EXPECT_EQ(r.code, 7);
    EXPECT_NE(r.err.find("1470 of 1500 records -> "), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(day() / kEntry1));

    // A full disk: said at once, exit 6, the whole lines that fit are kept.
    r = run({"download", "--demo", "VRAX610-001", "2", "--out", "full"}, QString(), 20000);
    EXPECT_EQ(r.code, 6) << r.err;
    EXPECT_NE(r.err.find("writing the file fails ("), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("File too large"), std::string::npos) << r.err;
    EXPECT_LT(r.err.find("writing the file fails"), r.err.find("24000/24000"));  // while it ran
    const fs::path fullDay = dir / "full" / dayFolder;
    const std::string kept = readFile(fullDay / incomplete2);
    EXPECT_GT(kept.size(), 10000u);
    EXPECT_EQ(kept.substr(kept.size() - 2), "\r\n");
    EXPECT_EQ(filesIn(fullDay).size(), 1u);

    // Usage errors, also empty paths (never the current folder or "/").
    EXPECT_EQ(run({"download", "--demo", "VRAX610-001", "--out", "out"}).code, 2);
    EXPECT_EQ(run({"download", "--demo", "VRAX610-001", "9", "--out", "out"}).code, 2);
    EXPECT_EQ(run({"download", "--demo", "VRAX610-001", "x"}).code, 2);
    EXPECT_EQ(run({"download", "--demo", "VRAX610-001", "1", "--out", ""}).code, 2);
    EXPECT_EQ(run({"download", "--demo", "VRAX610-001", "1", "--capture", ""}).code, 2);
    EXPECT_EQ(
        run({"download", "--demo", "VRAX610-001", "1", "--skip-existing", "--overwrite"}).code, 2);
    EXPECT_EQ(run({"convert", "", "--to", "bin"}).code, 2);
    EXPECT_EQ(run({"plot", "x.csv", "--png", ""}).code, 2);
    EXPECT_EQ(run({"replay", "x.cap", "--out="}).code, 2);
    EXPECT_EQ(run({"frobnicate"}).code, 2);
    EXPECT_EQ(run({"list", "--bogus"}).code, 2);
    EXPECT_EQ(run({}).code, 2);

    // Erase refuses without --yes when nobody can be asked.
    r = run({"erase", "--demo", "VRAX610-001"});
    EXPECT_EQ(r.code, 9);
    EXPECT_NE(r.err.find("--yes"), std::string::npos);
    r = run({"erase", "--demo", "VRAX610-001", "--yes"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("VRAX610-001: memory erased"), std::string::npos);
}

// Ctrl-C and SIGTERM end the whole run: the download in progress is kept as
// incomplete, an existing complete file is untouched, nothing new starts.
// After SIGKILL the working file remains, and the next run clears it.
TEST_F(VraxctlTest, SignalsInTheMiddleOfADownload) {
    ASSERT_EQ(run({"download", "--demo", "VRAX610-001", "3", "--out", "out"}).code, 0);
    const std::string whole3 = readFile(day() / kEntry3);
    const fs::path working = day() / (std::string(kEntry3) + ".part");
    const std::string incomplete3 = "memdata_VRAX610-001_2026-11-30_113030.500-incomplete";

    int n = 0;
    for (int sig : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(sig);
        QProcess p;
        start(p, {"download", "--demo", "VRAX610-001", "3", "--out", "out", "--overwrite"},
              QString());  // paced: about 12 s for the whole entry
        ASSERT_TRUE(waitForSize(working, 20000));
        ::kill(pid_t(p.processId()), sig);
        const Result r = finish(p);
        EXPECT_EQ(r.code, 7) << r.err;
        EXPECT_NE(r.err.find("interrupted"), std::string::npos) << r.err;
        const std::string name = incomplete3 + (n++ ? "-2.csv" : ".csv");
        const std::string part = readFile(day() / name);
        EXPECT_GT(part.size(), 20000u);
        EXPECT_EQ(whole3.compare(0, part.size(), part), 0);  // whole lines, in order
        EXPECT_EQ(part.substr(part.size() - 2), "\r\n");
        EXPECT_EQ(readFile(day() / kEntry3), whole3);
        EXPECT_FALSE(fs::exists(working));
    }

    // Under --all-sensors, nothing starts after the interruption.
    {
        QProcess p;
        start(p, {"download", "--demo", "--all-sensors", "--out", "all"}, QString());
        ASSERT_TRUE(waitForSize(dir / "all" / dayFolder / (std::string(kEntry2) + ".part"), 20000));
        ::kill(pid_t(p.processId()), SIGINT);
        const Result r = finish(p);
        EXPECT_EQ(r.code, 7) << r.err;
        EXPECT_NE(r.out.find("VRAX650-LAB-0016: not started (interrupted)"), std::string::npos)
            << r.out;
        EXPECT_EQ(filesIn(dir / "all" / dayFolder),
                  (std::vector<std::string>{
                      kEntry1, "memdata_VRAX610-001_2026-11-29_101530.250-incomplete.csv"}));
    }

    // SIGKILL: the working file stays; the next download removes it.
    {
        QProcess p;
        start(p, {"download", "--demo", "VRAX610-001", "3", "--out", "out", "--overwrite"},
              QString());
        ASSERT_TRUE(waitForSize(working, 20000));
        ::kill(pid_t(p.processId()), SIGKILL);
        p.waitForFinished();
    }
    EXPECT_TRUE(fs::exists(working));
    EXPECT_EQ(readFile(day() / kEntry3), whole3);
    const Result r = run({"download", "--demo", "VRAX610-001", "3", "--out", "out", "--overwrite"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_FALSE(fs::exists(working));
    EXPECT_EQ(readFile(day() / kEntry3), whole3);
}

// What vraxctl says in each Bluetooth state, and a connect that takes as
// long as a real page time-out ends at once on Ctrl-C.
TEST_F(VraxctlTest, BluetoothStatesAndSlowConnects) {
    Result r = run({"list", "--demo"}, "bluetooth:off");
    EXPECT_EQ(r.code, 0);
    EXPECT_NE(r.err.find("Bluetooth is off (the adapter is powered off): paired sensors are "
                         "listed but cannot be reached"),
              std::string::npos)
        << r.err;
    r = run({"entries", "--demo", "VRAX610-001"}, "bluetooth:blocked");
    EXPECT_EQ(r.code, 4);
    EXPECT_NE(r.err.find("VRAX610-001: could not connect: Bluetooth is off (the adapter is "
                         "blocked by rfkill)"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(r.err.find("in range"), std::string::npos);  // the sensor is not blamed
    for (const auto& [state, text] : std::vector<std::pair<QString, std::string>>{
             {"nobluez", "BlueZ is not running"}, {"nobus", "there is no system D-Bus"}}) {
        r = run({"list", "--demo"}, "bluetooth:" + state);
        EXPECT_EQ(r.code, 1);
        EXPECT_NE(r.err.find("no list of paired Bluetooth devices: " + text), std::string::npos)
            << r.err;
    }

    QProcess p;
    start(p, {"download", "--demo", "VRAX610-001", "1", "--out", "out"},
          "fast,slowconnect:VRAX610-001:30000");
    ASSERT_TRUE(p.waitForStarted());
    QThread::msleep(1500);  // in the middle of the connect
    QElapsedTimer asked;
    asked.start();
    ::kill(pid_t(p.processId()), SIGINT);
    r = finish(p);
    EXPECT_LT(asked.elapsed(), 3000);
    EXPECT_EQ(r.code, 7) << r.err;
    EXPECT_NE(r.err.find("interrupted while connecting"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir / "out" / dayFolder / kEntry1));
}

TEST_F(VraxctlTest, AllSensorsGoesOnAfterAFailure) {
    const Result r = run({"download", "--demo", "--all-sensors", "--out", "out", "--filter"});
    EXPECT_EQ(r.code, 8) << r.err;
    EXPECT_NE(r.out.find("VRAX610-001: ok, 3 downloaded, 0 skipped"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("VRAX650-LAB-0016: ok, 1 downloaded"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("VRAX610-002: failed (exit code 4)"), std::string::npos) << r.out;
    EXPECT_EQ(
        countLines(readFile(day() / "memdata_VRAX650-LAB-0016_2026-12-01_140500.000-FILT.csv")),
        60000u);
}

TEST_F(VraxctlTest, ReplayRebuildsTheDownloadAndFollowsItsRules) {
    Result r = run({"download", "--demo", "VRAX650-LAB-0016", "--all", "--out", "out", "--filter",
                    "--capture", "c.cap"});
    ASSERT_EQ(r.code, 0) << r.err;
    r = run({"download", "--demo", "VRAX610-001", "2", "--out", "out", "--capture", "d.cap"},
            "fast,silent:VRAX610-001:3000");
    ASSERT_EQ(r.code, 7);
    // A capture never replaces a file.
    r = run({"entries", "--demo", "VRAX610-001", "--capture", "c.cap"});
    EXPECT_EQ(r.code, 6);
    EXPECT_NE(r.err.find("exists already"), std::string::npos) << r.err;

    const std::string f650 = "memdata_VRAX650-LAB-0016_2026-12-01_140500.000-FILT.csv";
    const fs::path replayed = dir / "replayed" / dayFolder;
    r = run({"replay", "c.cap", "--out", "replayed"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(readFile(replayed / f650), readFile(day() / f650));
    // A download that ended early comes out as it was, under its incomplete name.
    const std::string incomplete2 = "memdata_VRAX610-001_2026-11-29_101530.250-incomplete.csv";
    r = run({"replay", "d.cap", "--out", "replayed"});
    EXPECT_EQ(r.code, 7) << r.err;
    EXPECT_NE(r.out.find("3000 of 24000 records"), std::string::npos) << r.out;
    EXPECT_EQ(readFile(replayed / incomplete2), readFile(day() / incomplete2));
    EXPECT_FALSE(fs::exists(replayed / kEntry2));

    // The download's rules in the output folder.
    std::ofstream(replayed / f650, std::ios::binary) << "mine";
    r = run({"replay", "c.cap", "--out", "replayed"});
    EXPECT_EQ(r.code, 6);
    EXPECT_NE(r.err.find("exists already"), std::string::npos) << r.err;
    EXPECT_EQ(readFile(replayed / f650), "mine");
    r = run({"replay", "c.cap", "--out", "replayed", "--skip-existing"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(readFile(replayed / f650), readFile(day() / f650));  // not complete: replaced
    r = run({"replay", "c.cap", "--out", "replayed", "--skip-existing"});
    EXPECT_NE(r.out.find("skipped"), std::string::npos) << r.out;

    // A capture cut short (a run that was killed) replays up to its last
    // whole record, with a warning; the download in it is incomplete.
    const std::string cap = readFile(dir / "c.cap");
    std::ofstream(dir / "cut.cap", std::ios::binary) << cap.substr(0, cap.size() * 2 / 3);
    r = run({"replay", "cut.cap", "--out", "cut"});
    EXPECT_EQ(r.code, 7) << r.err;
    EXPECT_NE(r.err.find("cut short"), std::string::npos) << r.err;
    const std::string part =
        readFile(dir / "cut" / dayFolder /
                 "memdata_VRAX650-LAB-0016_2026-12-01_140500.000-FILT-incomplete.csv");
    const std::string whole = readFile(day() / f650);
    EXPECT_GT(part.size(), 1000u);
    EXPECT_EQ(whole.compare(0, part.size(), part), 0);

    // A capture of a download killed in the middle is readable at once.
    {
        QProcess p;
        start(p,
              {"download", "--demo", "VRAX610-001", "3", "--out", "killed", "--capture", "k.cap"},
              QString());
        ASSERT_TRUE(
            waitForSize(dir / "killed" / dayFolder / (std::string(kEntry3) + ".part"), 20000));
        ::kill(pid_t(p.processId()), SIGKILL);
        p.waitForFinished();
    }
    r = run({"entries", "--demo", "VRAX610-001", "--capture", "k.cap"});
    EXPECT_EQ(r.code, 6);  // the stopped run's capture is not taken for a leftover
    EXPECT_NE(r.err.find("k.cap.part is the capture of a run that was stopped"), std::string::npos)
        << r.err;
    r = run({"replay", "k.cap.part", "--out", "fromkilled"});
    EXPECT_EQ(r.code, 7) << r.err;
    EXPECT_NE(r.err.find("cut short"), std::string::npos) << r.err;
    const std::string killedPart =
        readFile(dir / "fromkilled" / dayFolder /
                 "memdata_VRAX610-001_2026-11-30_113030.500-incomplete.csv");
    EXPECT_GE(killedPart.size(), 20000u);

    // Refused at once: foreign, another version, damaged, not a file.
    std::ofstream(dir / "foreign.cap", std::ios::binary) << "id,time,value\n1,2,3\n";
    std::string newer = cap;
    newer[8] = 2;
    std::ofstream(dir / "newer.cap", std::ios::binary) << newer;
    std::string badDay = cap;
    const size_t at = badDay.find("day=");
    ASSERT_NE(at, std::string::npos);
    badDay.replace(at + 4, 8, "2026aa07");
    std::ofstream(dir / "badday.cap", std::ios::binary) << badDay;
    fs::create_directory(dir / "folder.cap");
    fs::create_symlink("/dev/zero", dir / "zero.cap");
    ASSERT_EQ(mkfifo((dir / "fifo.cap").c_str(), 0600), 0);
    for (const char* bad : {"foreign.cap", "newer.cap", "badday.cap", "folder.cap", "zero.cap",
                            "fifo.cap", "missing.cap"}) {
        r = run({"replay", bad, "--out", "bad"});
        EXPECT_EQ(r.code, 6) << bad << r.err;
        EXPECT_NE(r.err.find(bad), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(dir / "bad" / dayFolder / f650)) << bad;
    }
    EXPECT_NE(run({"replay", "badday.cap", "--out", "bad"}).err.find("damaged"), std::string::npos);
    // Damage found only after the downloads: those are whole, the run fails.
    std::ofstream(dir / "trailing.cap", std::ios::binary) << cap + "x";
    r = run({"replay", "trailing.cap", "--out", "trailing"});
    EXPECT_EQ(r.code, 6);
    EXPECT_NE(r.err.find("data after its end record"), std::string::npos) << r.err;
    EXPECT_EQ(readFile(dir / "trailing" / dayFolder / f650), whole);
}

TEST_F(VraxctlTest, ConvertIsLosslessAndWritesNothingItShouldNot) {
    ASSERT_EQ(run({"download", "--demo", "VRAX650-LAB-0016", "1", "--out", "out", "--filter"}).code,
              0);
    const fs::path download = day() / "memdata_VRAX650-LAB-0016_2026-12-01_140500.000-FILT.csv";
    fs::copy_file(download, dir / "a.csv");
    const std::string original = readFile(dir / "a.csv");

    // CSV -> CSV and CSV -> bin -> CSV give the download's lines back, every kind.
    Result r = run({"convert", "a.csv", "--to", "csv", "--output", "b.csv"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "60000 lines -> b.csv\n");
    EXPECT_EQ(readFile(dir / "b.csv"), original);
    r = run({"convert", "a.csv", "--to", "bin"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "60000 records -> a.bin\n");
    EXPECT_EQ(fs::file_size(dir / "a.bin"), 60000u * 96u);
    ASSERT_EQ(run({"convert", "a.bin", "--to", "csv", "--output", "c"}).code, 0);
    EXPECT_EQ(readFile(dir / "c.csv"), original);
    ASSERT_EQ(run({"convert", "c.csv", "--to", "bin", "--output", "d"}).code, 0);
    ASSERT_EQ(run({"convert", "d.bin", "--to", "csv", "--output", "e"}).code, 0);
    EXPECT_EQ(readFile(dir / "e.csv"), original);

    // The whole-store format only when asked, saying what it leaves out.
    r = run({"convert", "a.csv", "--to", "csv", "--whole-store", "--output", "w"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.err.find("left out"), std::string::npos) << r.err;
    const size_t wholeLines = countLines(readFile(dir / "w.csv"));
    EXPECT_LT(wholeLines, 60000u);
    EXPECT_NE(r.out.find(std::to_string(wholeLines) + " lines -> w.csv"), std::string::npos);

    // Split output: every part is checked before anything is written.
    std::ofstream(dir / "s-1.csv") << "mine";
    r = run({"convert", "a.csv", "--to", "csv", "--lines", "25000", "--output", "s"});
    EXPECT_EQ(r.code, 6);
    EXPECT_NE(r.err.find("s-1.csv exists already"), std::string::npos) << r.err;
    EXPECT_EQ(filesIn(dir), (std::vector<std::string>{"a.bin", "a.csv", "b.csv", "c.csv", "d.bin",
                                                      "e.csv", "out", "s-1.csv", "w.csv"}));
    r = run({"convert", "a.csv", "--to", "csv", "--lines", "25000", "--output", "s", "--force"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "60000 lines -> s-0.csv ... s-2.csv (3 files)\n");
    EXPECT_EQ(readFile(dir / "s-0.csv") + readFile(dir / "s-1.csv") + readFile(dir / "s-2.csv"),
              original);

    // Its own input, also through another name, only with --force.
    EXPECT_EQ(run({"convert", "a.csv", "--to", "csv"}).code, 2);
    fs::create_symlink(dir / "a.csv", dir / "link.csv");
    EXPECT_EQ(run({"convert", "a.csv", "--to", "csv", "--output", "link.csv"}).code, 2);
    EXPECT_EQ(readFile(dir / "a.csv"), original);
    // "~" is the home folder wherever the path is given.
    r = run({"convert", "a.csv", "--to", "bin", "--output=~/a.bin"});
    EXPECT_EQ(r.code, 6);  // the home folder is the test folder: a.bin exists
    r = run({"convert", "a.csv", "--to", "bin", "--output=~/h.bin"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_TRUE(fs::exists(dir / "h.bin"));

    // A failed convert leaves no file behind.
    r = run({"convert", "a.csv", "--to", "csv", "--lines", "25000", "--output", "f"}, "fast",
            1000000);
    EXPECT_EQ(r.code, 6) << r.err;
    for (const auto& e : fs::directory_iterator(dir))
        EXPECT_NE(e.path().filename().string().substr(0, 2), "f-") << e.path();

    // Inputs that are not what they say.
    std::ofstream(dir / "bom.csv", std::ios::binary)
        << "\xEF\xBB\xBF"
           "ags,1,1,2,3,4,5,6\r\nnot a line\r\nags,2,1,2,3,4,5,6\r\n";
    r = run({"convert", "bom.csv", "--to", "bin"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "2 records -> bom.bin\n");
    EXPECT_NE(r.err.find("1 lines were not understood"), std::string::npos) << r.err;
    fs::create_symlink("/dev/zero", dir / "zero.bin");
    r = run({"convert", "zero.bin", "--to", "csv"});
    EXPECT_EQ(r.code, 6);
    EXPECT_NE(r.err.find("not a regular file"), std::string::npos) << r.err;
    fs::create_directory(dir / "dir.csv");
    EXPECT_EQ(run({"convert", "dir.csv", "--to", "bin"}).code, 6);
    EXPECT_EQ(run({"convert", "missing.bin", "--to", "csv"}).code, 6);
    EXPECT_EQ(run({"convert", "a.txt", "--to", "csv"}).code, 2);

    // Any name the shell can give, also one that is not UTF-8.
    r = shell(
        "cp a.bin \"$(printf 'x\\377')\".bin && "
        "\"$VRAXCTL\" convert \"$(printf 'x\\377')\".bin --to csv && "
        "cmp -s \"$(printf 'x\\377')\".csv a.csv");
    EXPECT_EQ(r.code, 0) << r.out << r.err;
}

TEST_F(VraxctlTest, PlotDrawsADownloadIntoAPicture) {
    ASSERT_EQ(run({"download", "--demo", "VRAX650-LAB-0016", "1", "--out", "out", "--filter"}).code,
              0);
    const std::string csv =
        (day() / "memdata_VRAX650-LAB-0016_2026-12-01_140500.000-FILT.csv").string();
    Result r = run({"plot", QString::fromStdString(csv), "--png", "p.png", "--width", "900"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("13 charts, 60000 records, 0 missing stretches -> p.png"),
              std::string::npos)
        << r.out;
    const std::string png = readFile(dir / "p.png");
    ASSERT_GT(png.size(), 1000u);
    EXPECT_EQ(png.substr(1, 3), "PNG");
    // Width from the PNG header (big-endian, bytes 16..19).
    const auto byte = [&](size_t i) { return uint32_t(uint8_t(png[i])); };
    EXPECT_EQ(byte(16) << 24 | byte(17) << 16 | byte(18) << 8 | byte(19), 900u);

    std::ofstream(dir / "other.csv") << "time,value\n1,2\n";
    r = run({"plot", "other.csv", "--png", "q.png"});
    EXPECT_EQ(r.code, 6);
    EXPECT_NE(r.err.find("no samples"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir / "q.png"));
    EXPECT_EQ(run({"plot", QString::fromStdString(csv)}).code, 2);  // no --png
    EXPECT_EQ(run({"plot", QString::fromStdString(csv), "--png", "nodir/p.png"}).code, 6);

    // Never over its input or another file without --force.
    const std::string before = readFile(csv);
    EXPECT_EQ(run({"plot", QString::fromStdString(csv), "--png", QString::fromStdString(csv)}).code,
              2);
    EXPECT_EQ(readFile(csv), before);
    r = run({"plot", QString::fromStdString(csv), "--png", "p.png", "--width", "600"});
    EXPECT_EQ(r.code, 6);
    EXPECT_NE(r.err.find("--force"), std::string::npos) << r.err;
    EXPECT_EQ(readFile(dir / "p.png"), png);
    EXPECT_EQ(
        run({"plot", QString::fromStdString(csv), "--png", "p.png", "--width", "600", "--force"})
            .code,
        0);
    EXPECT_NE(readFile(dir / "p.png"), png);
}

TEST_F(VraxctlTest, JsonAndHelp) {
    Result r = run({"list", "--demo", "--json"});
    ASSERT_EQ(r.code, 0);
    const QJsonArray list = QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).array();
    ASSERT_EQ(list.size(), 3);  // the headset is left out
    EXPECT_EQ(list[1].toObject()[QStringLiteral("model")].toString(), QStringLiteral("VRAX650"));

    r = run({"entries", "--demo", "00:1b:dc:61:00:01", "--json"});  // by address, any case
    ASSERT_EQ(r.code, 0) << r.err;
    const QJsonObject doc = QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).object();
    const QJsonArray entries = doc[QStringLiteral("entries")].toArray();
    ASSERT_EQ(entries.size(), 3);
    EXPECT_EQ(entries[2].toObject()[QStringLiteral("records")].toInt(), 180000);
    EXPECT_EQ(entries[1].toObject()[QStringLiteral("start")].toString(),
              QStringLiteral("2026/11/29 10:15:30.250"));
    EXPECT_EQ(doc[QStringLiteral("freeEntries")].toInt(), 61);

    r = run({"info", "--demo", "VRAX650-LAB-0016"});
    EXPECT_EQ(r.code, 0);
    EXPECT_NE(r.out.find("battery: 3.71 V"), std::string::npos) << r.out;
    EXPECT_EQ(run({"set-clock", "--demo", "VRAX610-001"}).code, 0);

    for (const char* c : {"list", "entries", "download", "info", "set-clock", "erase", "replay",
                          "convert", "plot"}) {
        r = run({c, "--help"});
        EXPECT_EQ(r.code, 0) << c;
        EXPECT_NE(r.out.find(std::string("Usage: vraxctl ") + c), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("7  incomplete download"), std::string::npos) << c;
    }
}

}  // namespace
