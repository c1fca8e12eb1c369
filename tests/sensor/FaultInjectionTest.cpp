// Every misbehaviour the virtual sensor can show, through the sequences the
// front ends run: the right result, a bounded wait, and a file that holds
// exactly the records whose frames were accepted, in order.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>

#include <chrono>
#include <filesystem>

#include "protocol/CommandTable.h"
#include "support/SameText.h"
#include "support/SimulatedSensors.h"

namespace {

constexpr const char* kName = "VRAX650-FAULT-01";
constexpr const char* kAddress = "00:1B:DC:65:00:77";
constexpr uint32_t kRecords = 3000;
constexpr double kSilence = 2.0;  // the download's silence time, shortened

class FaultInjection : public SimulatedSensorTest {
  protected:
    void SetUp() override {
        SimulatedSensorTest::SetUp();
        sensor = add(VirtualModel::VRAX650, kName, kAddress);
        sensor->entries.push_back(VirtualEntry::generated(99, kRecords));
        sensor->entries.back().ad16Gain = {1, 2, 4, 8};
    }

    // The download file the store writes for the samples whose index passes `keep`.
    std::string expectedCsv(const std::function<bool(uint32_t)>& keep) {
        const std::string path = dir + "/expected.csv";
        VRAXSensorData store;
        store.setSaveFilename(path);
        store.setSaveFlag();
        const auto samples = sensor->entries[0].hostSamples();
        for (uint32_t i = 0; i < samples.size(); ++i)
            if (keep(i))
                store.appendSensorData(samples[i].time, samples[i].dataType, samples[i].values);
        store.finishSaveFile(true, safeout::Existing::replace);
        return readFile(path);
    }

    session::Outcome download(session::DownloadReport& report, double& seconds,
                              double silence = session::kSilenceTimeout) {
        const auto start = std::chrono::steady_clock::now();
        session::SensorSession s(kName, kAddress);
        s.setSilenceTimeout(silence);
        session::DownloadRequest request;
        request.saveFolder = dir;
        request.startText = "2024/01/01 00:00:00.000";
        request.expectedRecords = kRecords;
        const session::Outcome o = s.downloadEntry(request, {}, report);
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        return o;
    }

    VirtualSensor* sensor = nullptr;
};

struct Fault {
    const char* name;
    std::function<void(VirtualFaults&)> set;
    session::Result result;
    session::Step step;
    std::function<bool(uint32_t)> accepted;  // samples that must be in the file
    double maxSeconds;  // a hang: several times what the sequence takes, whatever the load
    double silence = kSilence;
};

TEST_F(FaultInjection, EveryFaultEndsRightWithExactlyTheAcceptedRecords) {
    using R = session::Result;
    using S = session::Step;
    auto all = [](uint32_t) { return true; };
    auto none = [](uint32_t) { return false; };
    const Fault faults[] = {
        {"no fault", [](VirtualFaults&) {}, R::done, S::download, all, 15},
        {"every 97th check byte wrong", [](VirtualFaults& f) { f.corruptEveryNth = 97; },
         R::missingRecords, S::download, [](uint32_t i) { return (i + 1) % 97 != 0; }, 15},
        {"every 50th frame dropped", [](VirtualFaults& f) { f.dropEveryNth = 50; },
         R::missingRecords, S::download, [](uint32_t i) { return (i + 1) % 50 != 0; }, 15},
        {"frames split at every byte", [](VirtualFaults& f) { f.chunkSize = 1; }, R::done,
         S::download, all, 25},
        {"silent after 1000 frames", [](VirtualFaults& f) { f.silentAfterFrames = 1000; },
         R::timedOut, S::download, [](uint32_t i) { return i < 1000; }, 20},
        {"closed after 1000 frames", [](VirtualFaults& f) { f.closeAfterFrames = 1000; },
         R::channelClosed, S::download, [](uint32_t i) { return i < 1000; }, 15},
        {"stop answered NG", [](VirtualFaults& f) { f.ngCommands[commandCode("stop")] = -1; },
         R::refused, S::stop, none, 15},
        {"device busy", [](VirtualFaults& f) { f.busy = true; }, R::connectFailed, S::connect, none,
         15},
        // The answer waits (stop 2 s, device information 1 s), with answers
        // well inside and well beyond them.
        {"stop answered after 1 s",
         [](VirtualFaults& f) { f.commandDelayMs[commandCode("stop")] = 1000; }, R::done,
         S::download, all, 20},
        {"stop answered after 4 s",
         [](VirtualFaults& f) { f.commandDelayMs[commandCode("stop")] = 4000; }, R::timedOut,
         S::stop, none, 20},
        {"device info after 0.5 s",
         [](VirtualFaults& f) { f.commandDelayMs[commandCode("devinfo")] = 500; }, R::done,
         S::download, all, 20},
        {"device info after 2 s",
         [](VirtualFaults& f) { f.commandDelayMs[commandCode("devinfo")] = 2000; }, R::timedOut,
         S::deviceInfo, none, 20},
        // The real silence time: a replay may take most of it to begin.
        {"replay starts after 8 s",
         [](VirtualFaults& f) { f.commandDelayMs[commandCode("readmemdata")] = 8000; }, R::done,
         S::download, all, 40, session::kSilenceTimeout},
    };
    for (const Fault& fault : faults) {
        SCOPED_TRACE(fault.name);
        sensor->faults = {};
        fault.set(sensor->faults);
        session::DownloadReport report;
        double seconds = 0;
        const session::Outcome o = download(report, seconds, fault.silence);
        EXPECT_EQ(o.result, fault.result);
        EXPECT_EQ(o.step, fault.step);
        EXPECT_LT(seconds, fault.maxSeconds);
        std::printf("  %-30s -> result %d, step %d, %llu records, %.1f s\n", fault.name,
                    int(o.result), int(o.step), static_cast<unsigned long long>(report.records),
                    seconds);
        if (o.step != S::download) continue;  // no file was begun
        // Only a complete download has the final name; any other keeps what
        // arrived under a name that says so.
        EXPECT_TRUE(sameText(readFile(report.filePath), expectedCsv(fault.accepted)));
        EXPECT_TRUE(report.fileComplete);
        EXPECT_EQ(report.complete, o.result == R::done);
        EXPECT_EQ(report.filePath == report.targetPath, o.result == R::done) << report.filePath;
        EXPECT_EQ(report.filePath.find("-incomplete") != std::string::npos, o.result != R::done);
        EXPECT_EQ(report.endSeen, o.result == R::done || o.result == R::missingRecords);
        std::filesystem::remove(report.filePath);
    }
}

TEST_F(FaultInjection, ListAndEraseFailWithTheirStepAndNeverClaimSuccess) {
    session::MemoryListing listing;
    sensor->faults.unansweredCommands[commandCode("memcount")] = 1;  // only the resend is answered
    session::Outcome first = session::SensorSession(kName, kAddress).listMemory(listing);
    EXPECT_TRUE(first.ok()) << int(first.result) << " at step " << int(first.step);
    EXPECT_EQ(listing.entries.size(), 1u);

    sensor->faults = {};
    sensor->faults.unansweredCommands[commandCode("getmementry")] = -1;
    listing = {};
    session::Outcome o = session::SensorSession(kName, kAddress).listMemory(listing);
    EXPECT_EQ(o.result, session::Result::timedOut);
    EXPECT_EQ(o.step, session::Step::entryList);

    sensor->faults = {};
    sensor->faults.ngCommands[commandCode("clearmem")] = 1;  // the resend succeeds
    EXPECT_TRUE(session::SensorSession(kName, kAddress).eraseMemory().ok());
    EXPECT_TRUE(sensor->entries.empty());

    sensor->entries.push_back(VirtualEntry::generated(1, 10));
    sensor->faults = {};
    sensor->faults.ngCommands[commandCode("clearmem")] = 2;  // both refused
    o = session::SensorSession(kName, kAddress).eraseMemory();
    EXPECT_EQ(o.result, session::Result::refused);
    EXPECT_EQ(sensor->entries.size(), 1u);
}

TEST_F(FaultInjection, AFileSizeLimitKeepsEveryRecordAndAnIntactPrefix) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 40000;  // part of the way through the file
    setrlimit(RLIMIT_FSIZE, &small);
    session::DownloadReport report;
    double seconds = 0;
    const session::Outcome o = download(report, seconds);
    setrlimit(RLIMIT_FSIZE, &old);

    EXPECT_EQ(o.result, session::Result::fileError);
    EXPECT_EQ(report.records, kRecords);  // every record is still in the store
    EXPECT_FALSE(report.fileComplete);
    EXPECT_FALSE(report.complete);
    EXPECT_FALSE(report.fileError.empty());
    EXPECT_FALSE(std::filesystem::exists(report.targetPath));
    EXPECT_NE(report.filePath.find("-incomplete"), std::string::npos);
    const std::string written = readFile(report.filePath);
    const std::string whole = expectedCsv([](uint32_t) { return true; });
    EXPECT_LE(written.size(), 40000u);
    EXPECT_GT(written.size(), 30000u);
    EXPECT_EQ(whole.compare(0, written.size(), written), 0);  // whole lines, in order
    EXPECT_EQ(written.substr(written.size() - 2), "\r\n");
}

}  // namespace
