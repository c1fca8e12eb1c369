// The sensor clock against virtual sensors: the getd answer of a drifting
// clock, link latency, the probe through real channels, set-then-probe, a
// sensor without getd, drift over shifted time, and the download's log line.
#include <gtest/gtest.h>

#include <cmath>

#include "protocol/DateTimeBytes.h"
#include "support/SimulatedSensors.h"

namespace {

constexpr uint8_t kGetd = 0x12;

// The sensor clock (ms since 2000) in a getd answer pulled at `nowMs`; -1 when none.
int64_t answeredClock(VirtualSensor& v, uint64_t nowMs) {
    uint8_t out[64];
    const size_t n = v.pull(out, sizeof out, nowMs);
    if (n != 11 || out[1] != 0x92) return -1;
    datetime::SensorDateTime t;
    if (!datetime::decodeDateTime(out + 2, t)) return -1;
    return datetime::msSinceEpoch(t) - VirtualSensor::epoch2000Ms();
}

TEST(VirtualSensorClock, GetdAnswersTheDriftingClockAfterTheLinkLatency) {
    const uint64_t t0 = 1000;
    const int64_t c0 = int64_t(9000) * 86400000;  // 2024-08-23
    const std::vector<uint8_t> getd = frameOf({kGetd, 0x00});
    {
        VirtualSensor v;
        v.open();
        v.faults.clockPpm = 200;
        v.setClock(c0, t0);
        v.receive(getd.data(), getd.size(), t0 + 60000);
        // 60 s at 200 ppm fast: 12 ms ahead.
        EXPECT_EQ(answeredClock(v, t0 + 60000), c0 + 60012);
    }
    {
        VirtualSensor v;
        v.open();
        v.faults.latencyMs = 20;
        v.setClock(c0, t0);
        v.receive(getd.data(), getd.size(), t0);
        EXPECT_EQ(v.nextDueMs(), t0 + 40);
        EXPECT_EQ(answeredClock(v, t0 + 39), -1);
        // Read when heard, 20 ms after the send.
        EXPECT_EQ(answeredClock(v, t0 + 40), c0 + 20);
    }
    // Jitter: a seeded sequence, the same for the same seed, within MS ± JITTER.
    auto dues = [&](uint64_t seed, bool independent) {
        VirtualSensor v;
        v.open();
        v.faults.latencyMs = 20;
        v.faults.jitterMs = 10;
        v.faults.jitterSeed = seed;
        v.faults.independentJitter = independent;
        std::vector<uint64_t> d;
        for (int i = 0; i < 50; ++i) {
            const uint64_t now = t0 + uint64_t(i) * 1000;
            v.receive(getd.data(), getd.size(), now);
            d.push_back(v.nextDueMs() - now);
            answeredClock(v, now + 1000);
        }
        return d;
    };
    const std::vector<uint64_t> a = dues(7, false);
    EXPECT_EQ(a, dues(7, false));
    EXPECT_NE(a, dues(8, false));
    for (uint64_t d : a) {
        EXPECT_EQ(d % 2, 0u) << "one draw serves both directions";
        EXPECT_GE(d, 20u);
        EXPECT_LE(d, 60u);
    }
    bool odd = false;
    for (uint64_t d : dues(7, true)) odd |= d % 2 == 1;
    EXPECT_TRUE(odd) << "independent directions";
}

class ClockTest : public SimulatedSensorTest {
  protected:
    void SetUp() override {
        SimulatedSensorTest::SetUp();
        sensor = add(VirtualModel::VRAX610);
    }
    // The host's clocks, moved forward by `shiftMs` (with the sensor's time).
    timebase::HostClock shiftedClock() {
        return [this] {
            timebase::HostTime t = timebase::realHostTime();
            t.monoMs += double(shiftMs);
            t.utcMs += double(shiftMs);
            return t;
        };
    }
    void shift(uint64_t ms) {
        shiftMs += ms;
        sensor->timeShiftMs += ms;
    }
    // Sets the virtual clock `offsetMs` ahead of the host's wall time.
    void setSensorAhead(int64_t offsetMs) {
        const timebase::HostTime now = shiftedClock()();
        sensor->setClock(
            int64_t(std::llround(now.utcMs)) + now.zoneMs + offsetMs - VirtualSensor::epoch2000Ms(),
            sensor->nowMs());
    }

    VirtualSensor* sensor = nullptr;
    uint64_t shiftMs = 0;
};

TEST_F(ClockTest, ProbeAndSetThenProbeWithLinkLatency) {
    sensor->faults.latencyMs = 20;
    sensor->faults.jitterMs = 10;
    sensor->faults.jitterSeed = 3;
    setSensorAhead(1500);
    session::SensorSession s("VRAX610-001", k610);
    timebase::ClockReading r;
    ASSERT_TRUE(s.readClock(r).ok());
    ASSERT_TRUE(r.answered) << r.failure;
    EXPECT_EQ(r.probes, timebase::kDefaultProbes);
    EXPECT_GE(r.roundTripMs, 19.0);
    // The bound holds whatever the machine's load; the ±3 ms accuracy of
    // a quiet machine is the clock benchmark's.
    EXPECT_GE(r.boundMs, std::fabs(r.offsetMs - 1500));
    EXPECT_DOUBLE_EQ(r.boundMs, r.roundTripMs / 2 + 1);

    // Set: the clock takes the host's time at sending plus half a round
    // trip measured first, so the 1.5 s are gone and what is left is of the
    // order of the link's jitter.
    timebase::ClockReading achieved;
    session::ClockTime setTo;
    ASSERT_TRUE(s.setClock(achieved, &setTo).ok());
    ASSERT_TRUE(achieved.answered);
    EXPECT_LT(std::fabs(achieved.offsetMs), 100);
    EXPECT_GE(setTo.year, 2026);
    const std::vector<uint8_t> codes = sensor->receivedCodes();
    EXPECT_NE(std::find(codes.begin(), codes.end(), 0x11), codes.end());
}

TEST_F(ClockTest, ASensorWithoutGetdSaysSoAndTheRestWorks) {
    session::SensorSession s("VRAX610-001", k610);
    s.setClockAnswerWait(0.05);
    sensor->faults.unansweredCommands[kGetd] = -1;
    timebase::ClockReading r;
    ASSERT_TRUE(s.readClock(r).ok());
    EXPECT_FALSE(r.answered);
    EXPECT_NE(r.failure.find("did not answer"), std::string::npos) << r.failure;
    EXPECT_EQ(timebase::describeOffset(r), r.failure);
    // Set still sets; only the offset is not known.
    ASSERT_TRUE(s.setClock(r).ok());
    EXPECT_FALSE(r.answered);

    sensor->faults.unansweredCommands.clear();
    sensor->faults.ngCommands[kGetd] = -1;
    ASSERT_TRUE(s.readClock(r).ok());
    EXPECT_FALSE(r.answered);
    EXPECT_NE(r.failure.find("refused"), std::string::npos) << r.failure;
    session::MemoryListing listing;
    EXPECT_TRUE(s.listMemory(listing).ok());
}

TEST_F(ClockTest, DriftOfTwoProbesAMinuteApartInShiftedTime) {
    sensor->faults.clockPpm = 200;
    setSensorAhead(250);
    session::SensorSession s("VRAX610-001", k610);
    s.setHostClock(shiftedClock());
    timebase::ClockReading first, second;
    ASSERT_TRUE(s.readClock(first).ok());
    shift(60000);
    ASSERT_TRUE(s.readClock(second).ok());
    ASSERT_TRUE(first.answered && second.answered);
    const timebase::ClockLogLine a = timebase::logLineFor(first, "S", k610, timebase::event::probe);
    const timebase::ClockLogLine b =
        timebase::logLineFor(second, "S", k610, timebase::event::probe);
    const double drift = *timebase::driftPpm(a, b);
    EXPECT_NEAR(drift, 200, *timebase::driftBoundPpm(a, b));
    EXPECT_NEAR(second.offsetMs - first.offsetMs, 12, first.boundMs + second.boundMs);
}

TEST_F(ClockTest, DownloadNotesTheClockInTheLogAndNeverFailsForIt) {
    VirtualEntry e = VirtualEntry::generated(1, 300, kKindsWithoutExt16ad);
    e.setStart(2026, 11, 28, 9, 0, 30, 0);
    sensor->entries.push_back(e);
    setSensorAhead(-40);
    auto download = [&](session::DownloadReport& report) {
        session::SensorSession s("VRAX610-001", k610);
        s.setClockAnswerWait(0.05);
        session::DownloadRequest request;
        request.saveFolder = dir;
        request.startText = "2026/11/28 09:00:30.000";
        request.expectedRecords = 300;
        request.existing = safeout::Existing::replace;
        return s.downloadEntry(request, {}, report);
    };
    session::DownloadReport report;
    ASSERT_TRUE(download(report).ok());
    EXPECT_TRUE(report.complete);
    ASSERT_TRUE(report.clock.answered);
    EXPECT_NEAR(report.clock.offsetMs, -40, 3);

    sensor->faults.unansweredCommands[kGetd] = -1;
    session::DownloadReport second;
    ASSERT_TRUE(download(second).ok());
    EXPECT_TRUE(second.complete);
    EXPECT_FALSE(second.clock.answered);
    EXPECT_TRUE(second.clockLogError.empty()) << second.clockLogError;

    std::string why;
    const std::vector<timebase::ClockLogLine> lines = timebase::readClockLog(dir, k610, why);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].event, "download");
    EXPECT_EQ(lines[0].sensor, "VRAX610-001");
    EXPECT_EQ(lines[0].entry, "2026/11/28 09:00:30.000");
    EXPECT_NEAR(*lines[0].offsetMs, -40, 3);
    EXPECT_FALSE(lines[1].offsetMs);
    EXPECT_NE(lines[1].detail.find("did not answer"), std::string::npos);
}

}  // namespace
