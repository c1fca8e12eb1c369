// vraxctl run as a program against the demo's virtual sensors: output files
// and their layout, repeated runs, exit codes of failures, capture and
// replay, conversions. VRAXCTL_DEMO_FAULT=fast lets replays run unpaced.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

namespace fs = std::filesystem;

struct Result {
    int code = -1;
    std::string out;
    std::string err;
};

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

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
        std::string tmpl = (fs::temp_directory_path() / "vraxctl-XXXXXX").string();
        dir = mkdtemp(tmpl.data());
        std::time_t now = std::time(nullptr);
        std::tm t{};
        localtime_r(&now, &t);
        char day[32];
        std::strftime(day, sizeof day, "memdata_%Y%m%d", &t);
        dayFolder = day;
    }
    void TearDown() override { fs::remove_all(dir); }

    // Runs vraxctl in the test's folder, stdin closed (not a terminal).
    Result run(const QStringList& args, const QString& faults = QStringLiteral("fast")) {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("VRAXCTL_DEMO_FAULT"), faults);
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(QString::fromStdString(dir.string()));
        p.setStandardInputFile(QProcess::nullDevice());
        p.start(QStringLiteral(VRAXCTL_PATH), args);
        Result r;
        if (!p.waitForFinished(120000)) return r;
        r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
        r.out = p.readAllStandardOutput().toStdString();
        r.err = p.readAllStandardError().toStdString();
        return r;
    }

    fs::path day() const { return dir / "out" / dayFolder; }

    fs::path dir;
    std::string dayFolder;
};

const char* kEntry1 = "memdata_VRAX610-001_2026-11-28_090030.000.csv";
const char* kEntry2 = "memdata_VRAX610-001_2026-11-29_101530.250.csv";
const char* kEntry3 = "memdata_VRAX610-001_2026-11-30_113030.500.csv";

TEST_F(VraxctlTest, DownloadLayoutAndSkipExisting) {
    Result r = run({"download", "--demo", "VRAX610-001", "--all", "--out", "out"});
    ASSERT_EQ(r.code, 0) << r.err;
    // Files named and placed as the window does, one CSV line per record.
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir / "out")) names.push_back(e.path().filename());
    EXPECT_EQ(names, std::vector<std::string>{dayFolder});
    EXPECT_EQ(countLines(readFile(day() / kEntry1)), 1500u);
    EXPECT_EQ(countLines(readFile(day() / kEntry2)), 24000u);
    EXPECT_EQ(countLines(readFile(day() / kEntry3)), 180000u);
    EXPECT_EQ(countOf(r.out, " records -> "), 3u);
    EXPECT_NE(r.err.find("VRAX610-001 entry 2: 24000/24000 records (100%)"), std::string::npos)
        << r.err;

    // A second run downloads nothing.
    r = run({"download", "--demo", "VRAX610-001", "--all", "--out", "out", "--skip-existing"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(countOf(r.out, "skipped, already downloaded"), 3u) << r.out;
    EXPECT_EQ(countOf(r.out, " records -> "), 0u);

    // A file cut short, or one in another day folder, is judged by its records.
    const std::string whole = readFile(day() / kEntry1);
    std::ofstream(day() / kEntry1, std::ios::binary) << whole.substr(0, whole.size() / 2);
    fs::create_directories(dir / "out" / "memdata_20000101");
    fs::rename(day() / kEntry2, dir / "out" / "memdata_20000101" / kEntry2);
    r = run({"download", "--demo", "VRAX610-001", "1", "2", "--out", "out", "--skip-existing"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("entry 1: 1500 records -> "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("entry 2: skipped"), std::string::npos) << r.out;
    EXPECT_EQ(readFile(day() / kEntry1), whole);
    EXPECT_FALSE(fs::exists(day() / kEntry2));
}

TEST_F(VraxctlTest, ExitCodesOfFailures) {
    Result r = run({"entries", "--demo", "NO-SUCH-SENSOR"});
    EXPECT_EQ(r.code, 3);
    EXPECT_NE(r.err.find("NO-SUCH-SENSOR"), std::string::npos);
    EXPECT_EQ(run({"entries", "--demo", "Lab Headset"}).code, 3);  // paired, not a sensor

    r = run({"download", "--demo", "VRAX610-002", "--all", "--out", "out"});
    EXPECT_EQ(r.code, 4);
    EXPECT_NE(r.err.find("VRAX610-002: could not connect"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("QSocketNotifier"), std::string::npos);
    EXPECT_EQ(countLines(r.err), 1u) << r.err;

    // Silent after 500 frames: the download times out; what arrived stays.
    r = run({"download", "--demo", "VRAX610-001", "2", "--out", "out"},
            "fast,silent:VRAX610-001:500");
    EXPECT_EQ(r.code, 7);
    EXPECT_NE(r.err.find("went silent"), std::string::npos) << r.err;
    EXPECT_EQ(countLines(readFile(day() / kEntry2)), 500u);
    r = run({"download", "--demo", "VRAX610-001", "1", "--out", "out"},
            "fast,close:VRAX610-001:100");
    EXPECT_EQ(r.code, 7);
    EXPECT_NE(r.err.find("connection was lost"), std::string::npos) << r.err;

    // Usage errors.
    EXPECT_EQ(run({"download", "--demo", "VRAX610-001", "--out", "out"}).code, 2);
    EXPECT_EQ(run({"download", "--demo", "VRAX610-001", "9", "--out", "out"}).code, 2);
    EXPECT_EQ(run({"download", "--demo", "VRAX610-001", "x"}).code, 2);
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

TEST_F(VraxctlTest, ReplayRebuildsTheDownloadAndRejectsBadCaptures) {
    Result r = run({"download", "--demo", "VRAX650-LAB-0016", "--all", "--out", "out", "--filter",
                    "--capture", "c.cap"});
    ASSERT_EQ(r.code, 0) << r.err;
    r = run({"download", "--demo", "VRAX610-001", "2", "--out", "out", "--capture", "d.cap"},
            "fast,silent:VRAX610-001:3000");
    ASSERT_EQ(r.code, 7);

    const std::string f650 = "memdata_VRAX650-LAB-0016_2026-12-01_140500.000-FILT.csv";
    r = run({"replay", "c.cap", "--out", "replayed"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(readFile(dir / "replayed" / dayFolder / f650), readFile(day() / f650));
    // Also a download that ended early comes out as it was.
    r = run({"replay", "d.cap", "--out", "replayed"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("3000 records"), std::string::npos) << r.out;
    EXPECT_EQ(readFile(dir / "replayed" / dayFolder / kEntry2), readFile(day() / kEntry2));

    // Strict loading: cut short, foreign, or a newer format.
    const std::string cap = readFile(dir / "c.cap");
    std::ofstream(dir / "cut.cap", std::ios::binary) << cap.substr(0, cap.size() - 1);
    std::ofstream(dir / "half.cap", std::ios::binary) << cap.substr(0, cap.size() / 2);
    std::ofstream(dir / "foreign.cap", std::ios::binary) << "id,time,value\n1,2,3\n";
    std::string newer = cap;
    newer[8] = 2;
    std::ofstream(dir / "newer.cap", std::ios::binary) << newer;
    for (const char* bad : {"cut.cap", "half.cap", "foreign.cap", "newer.cap", "missing.cap"}) {
        r = run({"replay", bad, "--out", "bad"});
        EXPECT_EQ(r.code, 6) << bad;
        EXPECT_NE(r.err.find(bad), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(dir / "bad")) << bad;
    }
}

TEST_F(VraxctlTest, ConvertRoundTrips) {
    ASSERT_EQ(run({"download", "--demo", "VRAX610-001", "1", "--out", "out"}).code, 0);
    const std::string csv = (day() / kEntry1).string();
    Result r = run({"convert", QString::fromStdString(csv), "--to", "bin", "--output", "a.bin"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "1500 records -> a.bin\n");
    EXPECT_EQ(fs::file_size(dir / "a.bin"), 1500u * 96u);

    // bin -> csv -> bin -> csv: the whole-store files reproduce each other.
    ASSERT_EQ(run({"convert", "a.bin", "--to", "csv"}).code, 0);
    ASSERT_EQ(run({"convert", "a.csv", "--to", "bin", "--output", "b"}).code, 0);
    ASSERT_EQ(run({"convert", "b.bin", "--to", "csv"}).code, 0);
    EXPECT_EQ(readFile(dir / "a.csv"), readFile(dir / "b.csv"));
    ASSERT_EQ(run({"convert", "b.csv", "--to", "bin", "--output", "c"}).code, 0);
    EXPECT_EQ(readFile(dir / "b.bin"), readFile(dir / "c.bin"));

    // Split output, and no silent overwrite.
    ASSERT_EQ(run({"convert", "b.bin", "--to", "csv", "--lines", "1000", "--output", "s"}).code, 0);
    const size_t lines = countLines(readFile(dir / "b.csv"));
    EXPECT_EQ(countLines(readFile(dir / "s-0.csv")), 1000u);
    EXPECT_EQ(countLines(readFile(dir / "s-1.csv")), lines - 1000);
    EXPECT_EQ(run({"convert", "a.bin", "--to", "csv"}).code, 6);
    EXPECT_EQ(run({"convert", "a.bin", "--to", "csv", "--force"}).code, 0);
    EXPECT_EQ(run({"convert", "a.csv", "--to", "csv"}).code, 2);
    EXPECT_EQ(run({"convert", "a.txt", "--to", "csv"}).code, 2);
    EXPECT_EQ(run({"convert", "missing.bin", "--to", "csv"}).code, 6);
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
