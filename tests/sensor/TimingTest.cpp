// Commands sent exactly as often as they may be, and the silence time of
// downloads and live sessions, shortened through the session so that the
// tests do not sit through the real one.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

#include "link_sim/SimulatedPlatform.h"
#include "protocol/CommandTable.h"
#include "sensor/MeasureConfig.h"
#include "sensor/SensorSession.h"
#include "support/Files.h"

namespace {

constexpr const char* kTimedName = "VRAX610-001";
constexpr const char* kTimedAddress = "00:1B:DC:61:00:01";
constexpr double kShortSilence = 1.5;

class TimingTest : public ::testing::Test {
  protected:
    void SetUp() override {
        BluetoothPlatform::setCurrent(&platform);
        dir = makeTempFolder("vrax-timing");
        sensor = platform.addDevice(kTimedName, kTimedAddress,
                                    std::make_shared<VirtualSensor>(VirtualModel::VRAX610));
    }
    void TearDown() override {
        BluetoothPlatform::setCurrent(nullptr);
        std::filesystem::remove_all(dir);
    }

    size_t framesWithCode(uint8_t code) const {
        size_t n = 0;
        for (const auto& f : sensor->receivedFrames()) n += f.size() > 1 && f[1] == code;
        return n;
    }

    // Downloads entry 1 with the short silence time; `seconds` is how long it took.
    session::Outcome download(session::DownloadReport& report, double& seconds) {
        session::SensorSession s(kTimedName, kTimedAddress);
        s.setSilenceTimeout(kShortSilence);
        session::DownloadRequest request;
        request.saveFolder = dir;
        request.startText = "2024/01/01 00:00:00.000";
        request.expectedRecords = int64_t(sensor->entries[0].recordCount());
        const auto started = std::chrono::steady_clock::now();
        const session::Outcome o = s.downloadEntry(request, {}, report);
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        return o;
    }

    SimulatedPlatform platform;
    VirtualSensor* sensor = nullptr;
    std::string dir;
};

// A start whose answer is lost is not sent again: the sensor may have
// started, and a second start would begin a second measurement.
TEST_F(TimingTest, AStartWithoutAnswerIsSentOnceAndFails) {
    measure::Config c;
    c[measure::Kind::ags] = {true, 10, 1, false};
    sensor->faults.unansweredCommands[commandCode("sens")] = 1;
    session::SensorSession s(kTimedName, kTimedAddress);
    const session::Outcome o = s.startRecording(c, {});
    EXPECT_EQ(o.result, session::Result::timedOut);
    EXPECT_EQ(o.setting, "start");
    EXPECT_EQ(framesWithCode(commandCode("sens")), 1u);
}

// The silence time counts from the last data: a transfer twice as long as
// it, with a pause of 250 ms between frames, completes; a sensor that goes
// quiet (before or during the transfer) times out after it.
TEST_F(TimingTest, DownloadSilenceCountsFromTheLastData) {
    EXPECT_EQ(session::SensorSession(kTimedName, kTimedAddress).silenceTimeout(),
              session::kSilenceTimeout);
    EXPECT_EQ(session::kSilenceTimeout, 10.0);

    struct Case {
        const char* name;
        uint32_t entryRecords;
        std::function<void(VirtualFaults&)> set;
        session::Result result;
        uint64_t kept;
    };
    const Case cases[] = {
        {"paced over two silence times", 12, [](VirtualFaults& f) { f.framesPerSecond = 4; },
         session::Result::done, 12},
        {"quiet after 500 frames", 2000, [](VirtualFaults& f) { f.silentAfterFrames = 500; },
         session::Result::timedOut, 500},
        {"never starts", 100,
         [](VirtualFaults& f) { f.unansweredCommands[commandCode("readmemdata")] = -1; },
         session::Result::timedOut, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sensor->entries = {VirtualEntry::generated(1, c.entryRecords, kKindsWithoutExt16ad)};
        sensor->faults = {};
        c.set(sensor->faults);
        for (const auto& e : std::filesystem::directory_iterator(dir))  // the last case's file
            std::filesystem::remove_all(e.path());
        session::DownloadReport report;
        double seconds = 0;
        const session::Outcome o = download(report, seconds);
        EXPECT_EQ(o.result, c.result);
        EXPECT_EQ(report.records, c.kept);
        if (c.result == session::Result::timedOut) {
            EXPECT_GE(seconds, kShortSilence);
        }
        if (c.kept == 0) {  // nothing arrived: no file at all
            EXPECT_TRUE(report.filePath.empty());
            EXPECT_FALSE(std::filesystem::exists(report.targetPath));
            EXPECT_FALSE(std::filesystem::exists(report.targetPath + ".part"));
        }
    }
}

// A live session ends with the stop command, whether its time ran out or
// the sensor went quiet.
TEST_F(TimingTest, LiveEndsWithStopAfterItsTimeAndAfterSilence) {
    measure::Config c;
    c[measure::Kind::ags] = {true, 10, 1, false};
    const uint8_t stop = commandCode("stop");
    for (const bool quiet : {false, true}) {
        SCOPED_TRACE(quiet ? "quiet" : "timed");
        sensor->faults = {};
        if (quiet) sensor->faults.silentAfterFrames = 20;
        session::SensorSession s(kTimedName, kTimedAddress);
        s.setSilenceTimeout(kShortSilence);
        session::LiveReport live;
        const size_t stopsBefore = framesWithCode(stop);
        const session::Outcome o = s.runLive(c, {dir, quiet ? 0.0 : 0.5, 0, false}, {}, live);
        EXPECT_EQ(o.result, quiet ? session::Result::timedOut : session::Result::done);
        ASSERT_FALSE(sensor->receivedFrames().empty());
        EXPECT_EQ(sensor->receivedFrames().back()[1], stop);
        EXPECT_GE(framesWithCode(stop), stopsBefore + 2);  // on connecting, and at the end
        if (!quiet) {
            EXPECT_FALSE(sensor->measuring());  // a quiet one does not answer it
        }
    }
}

}  // namespace
