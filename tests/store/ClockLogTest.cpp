#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>

#include "store/ClockLog.h"
#include "store/ClockReading.h"
#include "store/SafeAppend.h"
#include "store/TimeText.h"
#include "support/Files.h"

namespace {

namespace fs = std::filesystem;
using namespace timebase;

ProbeSample sample(double sendMono, double upMs, double downMs, double trueOffset,
                   double sendUtc = 1.8e12) {
    ProbeSample s;
    s.sent = HostTime{sendMono, sendUtc + sendMono, 3600000};
    s.answerMonoMs = sendMono + upMs + downMs;
    // The sensor read its clock `upMs` after the send, truncated to the ms.
    s.sensorMs = int64_t(std::floor(sendUtc + sendMono + upMs + 3600000 + trueOffset));
    return s;
}

TEST(ClockReading, ShortestRoundTripWinsAndTheBoundCoversTheError) {
    const double truth = 1500.4;
    const struct {
        const char* what;
        std::vector<std::pair<double, double>> upDown;
        double trip;  // of the exchange that wins
    } cases[] = {
        {"symmetric", {{20, 20}, {15, 15}, {25, 25}}, 30},
        {"asymmetric: the error is half the difference", {{30, 2}, {10, 40}}, 32},
        {"all up, nothing down", {{12, 0}}, 12},
        {"zero round trip", {{0, 0}, {5, 5}}, 0},
    };
    for (const auto& c : cases) {
        std::vector<ProbeSample> samples;
        double t = 1000;
        for (const auto& [up, down] : c.upDown) {
            samples.push_back(sample(t, up, down, truth));
            t += 100;
        }
        const ClockReading r = readingFrom(samples);
        ASSERT_TRUE(r.answered) << c.what;
        EXPECT_EQ(r.probes, int(c.upDown.size()));
        EXPECT_DOUBLE_EQ(r.roundTripMs, c.trip) << c.what;
        EXPECT_DOUBLE_EQ(r.boundMs, c.trip / 2 + kClockResolutionMs) << c.what;
        EXPECT_LE(std::fabs(r.offsetMs - truth), r.boundMs) << c.what;
        EXPECT_EQ(r.hostZoneMs, 3600000);
    }
    // Symmetric latency: the midpoint is right to the clock's resolution.
    const ClockReading sym = readingFrom({sample(0, 20, 20, truth)});
    EXPECT_NEAR(sym.offsetMs, truth, 1.0);
    // Asymmetric: 28 ms more up than down shows as 14 ms, inside the bound.
    const ClockReading asym = readingFrom({sample(0, 30, 2, truth)});
    EXPECT_NEAR(asym.offsetMs, truth + 14, 1.0);
    EXPECT_GE(asym.boundMs, 15);
    // No answer at all.
    const ClockReading none = readingFrom({});
    EXPECT_FALSE(none.answered);
    EXPECT_FALSE(none.failure.empty());
}

TEST(ClockLog, LinesRoundTripAndBadLinesAreSkipped) {
    ClockLogLine l;
    l.utcMs = *parseUtc("2026-12-08T00:27:22.123Z");
    l.sensor = "VRAX\t610\n";
    l.address = "00:1B:DC:61:00:01";
    l.event = event::download;
    l.offsetMs = -12.25;
    l.boundMs = 11.5;
    l.driftPpm = 201.04;
    l.entry = "2026/11/28 09:00:30.000";
    l.detail = "a\tb";
    const std::string text = formatClockLogLine(l);
    EXPECT_EQ(
        text,
        "2026-12-08T00:27:22.123Z\tVRAX 610 \t00:1B:DC:61:00:01\tdownload\t-12.250\t11.500\t201.04"
        "\t2026/11/28 09:00:30.000\ta b");
    const auto back = parseClockLogLine(text);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->utcMs, l.utcMs);
    EXPECT_EQ(back->event, "download");
    EXPECT_DOUBLE_EQ(*back->boundMs, 11.5);
    EXPECT_EQ(back->entry, l.entry);
    // No offset: empty fields, read back as none.
    ClockLogLine none = l;
    none.offsetMs.reset();
    none.boundMs.reset();
    none.driftPpm.reset();
    EXPECT_FALSE(parseClockLogLine(formatClockLogLine(none))->offsetMs);

    for (const char* bad : {kClockLogHeader, "", "2026-12-08T00:27:22.123Z\ta\tb",
                            "2026-13-08T00:27:22.123Z\ts\ta\tprobe\t1\t1",
                            "2026-12-08T00:27:22.123Z\ts\ta\tprobe\tx\t1",
                            "2026-12-08T00:27:22.123Z\ts\ta\tprobe\tnan\t1",
                            "2026-12-08 00:27:22.123\ts\ta\tprobe\t1\t1"})
        EXPECT_FALSE(parseClockLogLine(bad)) << bad;
    EXPECT_EQ(timetext::isoUtc(0), "1970-01-01T00:00:00.000Z");
    EXPECT_FALSE(parseUtc("1999-12-31T23:59:59.999Z"));
}

class ClockLogFiles : public ::testing::Test {
  protected:
    void SetUp() override { dir = makeTempFolder("vrax-clocklog"); }
    void TearDown() override { fs::remove_all(dir); }
    ClockLogLine line(int64_t utcMs, const char* event, std::optional<double> offset,
                      const char* address = "A") {
        ClockLogLine l;
        l.utcMs = utcMs;
        l.sensor = "S";
        l.address = address;
        l.event = event;
        l.offsetMs = offset;
        if (offset) l.boundMs = 2;
        return l;
    }
    fs::path dir;
};

TEST_F(ClockLogFiles, AppendsWholeLinesAndReadsOneSensorSinceItsLastSet) {
    std::string why;
    const int64_t t0 = 1800000000000;
    ASSERT_TRUE(appendClockLog(dir, line(t0, event::probe, 5), why)) << why;
    ASSERT_TRUE(appendClockLog(dir, line(t0 + 1000, event::set, 0.5), why));
    ASSERT_TRUE(appendClockLog(dir, line(t0 + 2000, event::probe, std::nullopt), why));
    ASSERT_TRUE(appendClockLog(dir, line(t0 + 3000, event::probe, 1.5, "B"), why));
    for (int i = 0; i < 100; ++i)
        ASSERT_TRUE(
            appendClockLog(dir, line(t0 + 60000 * (i + 1), event::probe, 0.5 + 12 * (i + 1)), why));
    const std::string text = readFile(clockLogPath(dir));
    EXPECT_EQ(text.rfind(std::string(kClockLogHeader) + "\n", 0), 0u);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 105);

    // Since the set, bounded: the set itself and the last 3.
    const std::vector<ClockLogLine> a = readClockLog(dir, "A", why, 4);
    EXPECT_TRUE(why.empty()) << why;
    ASSERT_EQ(a.size(), 4u);
    EXPECT_EQ(a[0].event, "set");
    EXPECT_EQ(a[3].utcMs, t0 + 6000000);
    const auto base = driftBase(a);
    ASSERT_TRUE(base);
    // 0.012 ms per minute: 200 ppm.
    EXPECT_NEAR(*driftPpm(*base, a[3]), 1200 / 5999000.0 * 1e6, 0.01);
    EXPECT_NEAR(*driftPpm(a[1], a[3]), 200, 0.01);
    EXPECT_NEAR(*driftBoundPpm(a[1], a[3]), 4.0 / 120000 * 1e6, 0.01);
    EXPECT_FALSE(driftPpm(a[3], a[1]));
    EXPECT_FALSE(driftPpm(line(t0, event::probe, std::nullopt), a[3]));
    EXPECT_EQ(readClockLog(dir, "B", why).size(), 1u);
    EXPECT_TRUE(readClockLog(dir, "C", why).empty());
    EXPECT_TRUE(readClockLog(dir / "none", "A", why).empty());
    EXPECT_TRUE(why.empty()) << why;
}

TEST_F(ClockLogFiles, HostileLogsAreRefusedOrRepaired) {
    std::string why;
    const ClockLogLine l = line(1800000000000, event::probe, 1);
    // A symbolic link to a file elsewhere: not written through.
    writeFile(dir / "target", "keep");
    fs::create_symlink(dir / "target", dir / kClockLogName);
    EXPECT_FALSE(appendClockLog(dir, l, why));
    EXPECT_NE(why.find("symbolic link"), std::string::npos) << why;
    EXPECT_EQ(readFile(dir / "target"), "keep");
    EXPECT_TRUE(readClockLog(dir, "A", why).empty());
    fs::remove(dir / kClockLogName);
    // A FIFO with no reader: refused at once, no hang.
    ASSERT_EQ(::mkfifo((dir / kClockLogName).c_str(), 0600), 0);
    why.clear();
    EXPECT_FALSE(appendClockLog(dir, l, why));
    EXPECT_FALSE(why.empty());
    why.clear();
    EXPECT_TRUE(readClockLog(dir, "A", why).empty());
    EXPECT_FALSE(why.empty());
    fs::remove(dir / kClockLogName);
    // A folder in its place.
    fs::create_directory(dir / kClockLogName);
    EXPECT_FALSE(appendClockLog(dir, l, why));
    fs::remove(dir / kClockLogName);
    // A log cut mid-line (foreign or damaged): the next line starts on its own
    // line; an overlong line and the cut one are skipped when reading.
    writeFile(dir / kClockLogName, std::string(kClockLogHeader) + "\n" + std::string(10000, 'x') +
                                       "\n" + formatClockLogLine(l).substr(0, 30));
    ASSERT_TRUE(appendClockLog(dir, l, why)) << why;
    const std::vector<ClockLogLine> lines = readClockLog(dir, "A", why);
    ASSERT_EQ(lines.size(), 1u) << readFile(dir / kClockLogName).substr(10000);
    EXPECT_DOUBLE_EQ(*lines[0].offsetMs, 1);
    // The append helper takes only whole lines.
    EXPECT_FALSE(safeout::appendWholeLine((dir / "x").string(), "no end", "", why));
    EXPECT_FALSE(fs::exists(dir / "x"));
}

}  // namespace
