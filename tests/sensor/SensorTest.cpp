// The sensor object and the shared sequences against virtual sensors over the
// simulated platform: real socketpair channels, the real parser and store.
#include <gtest/gtest.h>

#include "link/EventWait.h"
#include "protocol/CommandTable.h"
#include "support/EntryFile.h"
#include "support/SimulatedSensors.h"

namespace {

class SensorTest : public SimulatedSensorTest {
  protected:
    VirtualSensor* add610() { return add(VirtualModel::VRAX610); }
    VirtualSensor* add650() { return add(VirtualModel::VRAX650); }

    // Downloads entry `row` + 1 of the sensor at `address`, listing it first
    // for the start text and the record count as a front end does.
    session::Outcome download(const char* name, const char* address, int row, bool filtered,
                              session::DownloadReport& report, session::DownloadHooks hooks = {}) {
        session::MemoryListing listing;
        const session::Outcome o = session::SensorSession(name, address).listMemory(listing);
        if (!o.ok()) return o;
        session::DownloadRequest request = requestFor(dir, listing, row);
        request.filtered = filtered;
        request.year = 2026, request.month = 12, request.day = 7;
        return session::SensorSession(name, address).downloadEntry(request, hooks, report);
    }
    // The file the store writes for the samples a virtual entry replays.
    std::string expectedCsv(const VirtualEntry& entry, bool filtered) {
        writeEntryFile(entry, filtered, dir + "/expected.csv");
        return readFile(dir + "/expected.csv");
    }
};

TEST_F(SensorTest, SendersPutTheirBytesOnTheWire) {
    VirtualSensor* device = add610();
    VRAXSensor sensor;
    sensor.setAddress(k610);
    int32_t err = 0;
    ASSERT_EQ(sensor.connect(err), 0);
    EXPECT_EQ(sensor.sensorStatus(), 1);

    const int32_t ports[4] = {0, 3, 5, 7};
    struct Case {
        const char* what;
        std::function<int32_t()> send;
        std::vector<uint8_t> message;
    };
    const Case cases[] = {
        {"start",
         [&] { return sensor.sendSensStartCommand(err); },
         {0x13, 0, 0, 1, 1, 0, 0, 0, 0, 0, 1, 1, 0, 0, 0}},
        {"start at",
         [&] { return sensor.sendSensStartCommand(2015, 6, 7, 8, 9, 10, err); },
         {0x13, 1, 0x0F, 6, 7, 8, 9, 0x0A, 0, 0, 1, 1, 0, 0, 0}},
        {"stop", [&] { return sensor.sendStopAllCommand(err); }, {0x15, 0}},
        {"devinfo", [&] { return sensor.sendGetSensorInfoCommand(err); }, {0x10, 0}},
        {"date",
         [&] { return sensor.sendSetDateTimeCommand(err, 2026, 12, 7, 5, 6, 7, 999); },
         {0x11, 26, 12, 7, 5, 6, 7, 0xE7, 0x03}},
        {"overwrite 0", [&] { return sensor.sendSetMemOverwriteModeCommand(0, err); }, {0x2E, 1}},
        {"overwrite 1", [&] { return sensor.sendSetMemOverwriteModeCommand(1, err); }, {0x2E, 0}},
        {"acc range", [&] { return sensor.sendSetAccRangeCommand(3, err); }, {0x22, 3}},
        {"ports",
         [&] { return sensor.sendSetExtPortConfigCommand(ports, err); },
         {0x30, 0x00, 0x09, 0x0A, 0x00}},
        {"ags off", [&] { return sensor.sendSetAgsCommand(0, 5, 6, true, err); }, {0x16, 0, 0, 0}},
        {"ags on", [&] { return sensor.sendSetAgsCommand(1, 5, 6, false, err); }, {0x16, 5, 6, 0}},
        {"qags mem",
         [&] { return sensor.sendSetQagsCommand(1, 5, 6, true, err); },
         {0x55, 5, 6, 6}},
        {"batt", [&] { return sensor.sendSetBattCommand(1, true, err); }, {0x1C, 1, 1}},
        {"ext",
         [&] { return sensor.sendSetExtCommand(1, 2, 3, true, err); },
         {0x1E, 2, 3, 3, 0, 0}},
        {"ext16 on",
         [&] { return sensor.sendSetExt16ADCommand(1, 2, 3, false, 1, 2, 4, 8, err); },
         {0x59, 2, 3, 0, 1, 2, 4, 8}},
        {"ext16 off",
         [&] { return sensor.sendSetExt16ADCommand(0, 2, 3, true, 1, 2, 4, 8, err); },
         {0x59, 0, 0, 0, 0, 0, 0, 0}},
        {"i2c", [&] { return sensor.sendSetI2CDisableCommand(err); }, {0x20, 0, 0, 0}},
        {"beep", [&] { return sensor.sendBeep1Command(err); }, {0x34, 1}},
    };
    for (const Case& c : cases) {
        const size_t before = device->receivedFrames().size();
        EXPECT_EQ(c.send(), 0) << c.what;
        eventwait::runUntil([&] { return device->receivedFrames().size() > before; }, 1.0);
        ASSERT_EQ(device->receivedFrames().size(), before + 1) << c.what;
        EXPECT_EQ(device->receivedFrames().back(), frameOf(c.message)) << c.what;
    }

    // Out-of-range arguments send nothing.
    const size_t before = device->receivedFrames().size();
    EXPECT_EQ(sensor.sendSetAccRangeCommand(4, err), kBadArgument);
    EXPECT_EQ(sensor.sendSetGyrRangeCommand(-1, err), kBadArgument);
    eventwait::runFor(0.05);
    EXPECT_EQ(device->receivedFrames().size(), before);

    sensor.disconnect();
    EXPECT_EQ(sensor.sensorStatus(), 0);
    EXPECT_EQ(sensor.sendStopAllCommand(err), 5);
}

TEST_F(SensorTest, ListsTheEntriesOfBothModels) {
    VirtualSensor* a = add610();
    a->entries.push_back(VirtualEntry::generated(1, 1500, kKindsWithoutExt16ad));
    a->entries.back().setStart(2026, 11, 30, 9, 15, 0, 250);
    a->entries.push_back(VirtualEntry::generated(2, 24000, kKindsWithoutExt16ad));
    a->entries.back().setStart(2026, 12, 1, 23, 59, 59, 999);
    a->entries.push_back(VirtualEntry::generated(3, 7));
    VirtualSensor* b = add650();
    b->entries.push_back(VirtualEntry::generated(4, 60000));
    b->entries.back().ad16Gain = {1, 2, 4, 8};

    session::MemoryListing listing;
    session::SensorSession s("VRAX610-001", k610);
    ASSERT_TRUE(s.listMemory(listing).ok());
    ASSERT_EQ(listing.entries.size(), 3u);
    EXPECT_EQ(listing.status.entryCount, 3u);
    EXPECT_EQ(listing.status.freeEntryCount, uint32_t(a->maxEntries - 3));
    EXPECT_EQ(listing.status.freeRecordCount, a->memoryRecords - (1500 + 24000 + 7));
    EXPECT_EQ(listing.entries[0].startText, "2026/11/30 09:15:00.250");
    EXPECT_EQ(listing.entries[1].startText, "2026/12/01 23:59:59.999");
    EXPECT_EQ(listing.entries[1].records, 24000);
    EXPECT_EQ(listing.entries[2].records, 7);
    EXPECT_FALSE(listing.firmVersion.empty());

    session::MemoryListing listing650;
    session::SensorSession s650("VRAX650-LAB-0016", k650);
    ASSERT_TRUE(s650.listMemory(listing650, /*readBattery=*/true).ok());
    ASSERT_EQ(listing650.entries.size(), 1u);
    EXPECT_EQ(listing650.entries[0].records, 60000);
    EXPECT_NEAR(listing650.batteryVoltage, b->batteryVoltage, 0.01);
    // Every sequence ends disconnected.
    EXPECT_TRUE(eventwait::runUntil([&] { return platform.openLinks() == 0; }, 1.0));
}

TEST_F(SensorTest, DownloadOfEveryKindIsTheFileTheSamplesGive) {
    VirtualSensor* b = add650();
    b->entries.push_back(VirtualEntry::generated(7, 3000));
    b->entries.back().ad16Gain = {1, 2, 10, 15};
    b->entries.back().setStart(2026, 12, 6, 7, 8, 9, 45);
    b->faults.chunkSize = 61;  // frames cut across reads

    for (bool filtered : {false, true}) {
        session::DownloadReport report;
        uint64_t lastProgress = 0;
        int64_t expected = 0;
        session::DownloadHooks hooks;
        hooks.progress = [&](uint64_t n, int64_t total) {
            lastProgress = n;
            expected = total;
        };
        const session::Outcome o = download("VRAX650-LAB-0016", k650, 0, filtered, report, hooks);
        ASSERT_TRUE(o.ok()) << int(o.result) << " step " << int(o.step);
        EXPECT_TRUE(report.endSeen);
        EXPECT_TRUE(report.fileComplete);
        EXPECT_EQ(report.records, 3000u);
        EXPECT_EQ(expected, 3000);
        EXPECT_EQ(lastProgress, 3000u);  // the last report is the final count
        EXPECT_TRUE(report.complete);
        EXPECT_EQ(report.filePath,
                  dir + "/memdata_20261207/memdata_VRAX650-LAB-0016_2026-12-06_070809.045" +
                      (filtered ? "-FILT" : "") + ".csv");
        EXPECT_EQ(report.filePath, report.targetPath);
        const std::string got = readFile(report.filePath);
        EXPECT_NE(got.find("ead12AF,"), std::string::npos);
        EXPECT_TRUE(got == expectedCsv(b->entries[0], filtered)) << "filtered " << filtered;
    }
}

TEST_F(SensorTest, RefusedAndUnansweredCommandsEndWithTheirReason) {
    VirtualSensor* a = add610();
    a->entries.push_back(VirtualEntry::generated(1, 100, kKindsWithoutExt16ad));
    session::MemoryListing listing;

    a->faults.ngCommands[commandCode("stop")] = 1;
    session::Outcome o = session::SensorSession("VRAX610-001", k610).listMemory(listing);
    EXPECT_EQ(o.result, session::Result::refused);
    EXPECT_EQ(o.step, session::Step::stop);

    a->faults.commandDelayMs[commandCode("devinfo")] = 60000;  // never in time
    o = session::SensorSession("VRAX610-001", k610).listMemory(listing);
    EXPECT_EQ(o.result, session::Result::timedOut);
    EXPECT_EQ(o.step, session::Step::deviceInfo);
    a->faults.commandDelayMs.clear();

    // The erase must be answered itself: the OK of the device information
    // that came before it does not count.
    a->faults.commandDelayMs[commandCode("clearmem")] = 60000;
    o = session::SensorSession("VRAX610-001", k610).eraseMemory();
    EXPECT_EQ(o.result, session::Result::timedOut);
    EXPECT_EQ(o.step, session::Step::erase);
    a->faults.commandDelayMs.clear();
    EXPECT_TRUE(session::SensorSession("VRAX610-001", k610).eraseMemory().ok());
    EXPECT_TRUE(a->entries.empty());

    platform.addDevice("VRAX610-002", "00:1B:DC:61:00:02", std::make_shared<VirtualSensor>())
        ->faults.busy = true;
    o = session::SensorSession("VRAX610-002", "00:1B:DC:61:00:02").listMemory(listing);
    EXPECT_EQ(o.result, session::Result::connectFailed);
    EXPECT_EQ(uint32_t(o.platformStatus), 0xE00002C5u);
}

// How a transfer that ends short is named and told (the fault matrix covers
// which records each fault leaves in the file).
TEST_F(SensorTest, ADownloadCutShortKeepsWhatArrivedAndSaysWhy) {
    VirtualSensor* a = add610();
    a->entries.push_back(VirtualEntry::generated(5, 5000, kKindsWithoutExt16ad));
    const std::string finalName =
        dir + "/memdata_20261207/memdata_VRAX610-001_2024-01-01_000000.000.csv";

    // Dropped and corrupted frames: the end arrives, but fewer records than
    // the entry holds. Not complete, and said so.
    a->faults.dropFrames = {10, 11};
    a->faults.corruptFrames = {20};
    session::DownloadReport report;
    session::Outcome o = download("VRAX610-001", k610, 0, false, report);
    EXPECT_EQ(o.result, session::Result::missingRecords);
    EXPECT_TRUE(report.endSeen);
    EXPECT_EQ(report.records, 4997u);
    EXPECT_EQ(report.expected, 5000);
    EXPECT_EQ(report.targetPath, finalName);
    EXPECT_EQ(std::filesystem::path(report.filePath).filename().string(),
              "memdata_VRAX610-001_2024-01-01_000000.000-incomplete.csv");
    EXPECT_FALSE(report.complete);
    EXPECT_FALSE(std::filesystem::exists(finalName));
    EXPECT_FALSE(std::filesystem::exists(finalName + ".part"));

    // The user stops it: the next incomplete name, the final one still free.
    a->faults = {};
    session::DownloadHooks hooks;
    int polls = 0;
    hooks.cancelRequested = [&] { return ++polls > 1; };
    a->entries[0] = VirtualEntry::generated(5, 2000000, kKindsWithoutExt16ad);
    o = download("VRAX610-001", k610, 0, false, report, hooks);
    EXPECT_EQ(o.result, session::Result::cancelled);
    EXPECT_TRUE(report.fileComplete);
    EXPECT_NE(report.filePath.find("-incomplete-2.csv"), std::string::npos) << report.filePath;
    EXPECT_FALSE(std::filesystem::exists(finalName));
    EXPECT_TRUE(eventwait::runUntil([&] { return platform.openLinks() == 0; }, 1.0));
}

// One session downloads twice: the end of the first entry must not end the
// second before it began. Entries that start at the same time carry their
// number in the name: entry row + 1.
TEST_F(SensorTest, EachDownloadWaitsForItsOwnEndAndIsNamedByItsEntry) {
    VirtualSensor* a = add610();
    a->entries.push_back(VirtualEntry::generated(1, 3000, kKindsWithoutExt16ad));
    a->entries.push_back(VirtualEntry::generated(2, 2000, kKindsWithoutExt16ad));
    a->faults.framesPerSecond = 20000;  // paced: each replay takes longer than one poll
    session::MemoryListing listing;
    ASSERT_TRUE(session::SensorSession("VRAX610-001", k610).listMemory(listing).ok());
    ASSERT_EQ(listing.entries[0].startText, listing.entries[1].startText);

    session::SensorSession s("VRAX610-001", k610);
    for (int row : {0, 1}) {
        session::DownloadRequest request = requestFor(dir, listing, row);
        request.numberInName = true;
        session::DownloadReport report;
        const session::Outcome o = s.downloadEntry(request, {}, report);
        EXPECT_TRUE(o.ok()) << row << ": result " << int(o.result);
        EXPECT_EQ(report.records, row == 0 ? 3000u : 2000u);
        EXPECT_TRUE(report.complete);
        const std::string suffix = "-e" + std::to_string(row + 1) + ".csv";
        EXPECT_EQ(report.filePath.substr(report.filePath.size() - suffix.size()), suffix);
    }
}

TEST_F(SensorTest, ADownloadIntoAnUnwritablePlaceFailsBeforeAnythingIsRead) {
    VirtualSensor* a = add610();
    a->entries.push_back(VirtualEntry::generated(5, 100, kKindsWithoutExt16ad));
    writeFile(dir + "/file", "x");  // a file where the folder should be
    session::MemoryListing listing;
    ASSERT_TRUE(session::SensorSession("VRAX610-001", k610).listMemory(listing).ok());

    session::DownloadReport report;
    const session::Outcome o = session::SensorSession("VRAX610-001", k610)
                                   .downloadEntry(requestFor(dir + "/file", listing), {}, report);
    EXPECT_EQ(o.result, session::Result::fileError);
    EXPECT_EQ(o.step, session::Step::folder);
    EXPECT_EQ(a->replaysCompleted(), 0u);
}

}  // namespace
