// Putting a sensor to work, against virtual sensors over the simulated
// platform: the configuration file, the setting bytes a configuration sends,
// refused and unanswered settings, a scheduled start on the sensor's clock,
// recording and the live session with its CSV files.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <array>
#include <filesystem>
#include <optional>
#include <sstream>

#include "link/EventWait.h"
#include "store/SensorLabels.h"
#include "store/Sidecar.h"
#include "store/TimeText.h"
#include "store/TsvSidecar.h"
#include "store/VRAXSensorData.h"
#include "support/SimulatedSensors.h"

namespace {

namespace fs = std::filesystem;
using measure::Kind;
using session::Result;

size_t lineCount(const std::string& text) {
    return size_t(std::count(text.begin(), text.end(), '\n'));
}

QJsonObject jsonOf(const std::string& path) {
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(readFile(path)));
    EXPECT_TRUE(doc.isObject()) << path;
    return doc.object();
}

measure::Config parsed(const std::string& json) {
    std::string error;
    std::optional<measure::Config> c = measure::parseConfig(json, error);
    EXPECT_TRUE(c) << error;
    return c.value_or(measure::Config{});
}

using MeasureTest = SimulatedSensorTest;

// A kind is numbered as the store numbers its records; a configuration
// file lists the kinds in the sensor's settings order.
TEST(MeasureConfigTest, KindsCarryTheStoreCodesAndKeepTheSettingsOrder) {
    const std::pair<int, const char*> kinds[] = {
        {SensorDataType::ags, "ags"},        {SensorDataType::geo, "geo"},
        {SensorDataType::press, "press"},    {SensorDataType::batt, "batt"},
        {SensorDataType::ext, "ext"},        {SensorDataType::qags, "qags"},
        {SensorDataType::ext16ad, "ext16ad"}};
    for (const auto& [type, key] : kinds) {
        const std::optional<Kind> kind = measure::kindOfDataType(type);
        ASSERT_TRUE(kind) << key;
        EXPECT_STREQ(measure::kindKey(*kind), key);
        EXPECT_EQ(measure::kindOfKey(key), kind);
    }
    EXPECT_FALSE(measure::kindOfDataType(SensorDataType::unknown));
    EXPECT_FALSE(measure::kindOfDataType(-1));

    const std::string json = measure::toJson(measure::Config{});
    size_t last = 0;
    for (const char* key : {"ags", "qags", "geo", "press", "batt", "ext", "ext16ad"}) {
        const size_t at = json.find('"' + std::string(key) + '"');
        ASSERT_NE(at, std::string::npos) << key;
        EXPECT_GT(at, last) << key;
        last = at;
    }
}

TEST(MeasureConfigTest, FileRoundTripAndItsErrors) {
    std::string error;
    const measure::Config c = parsed(
        R"({"ags": {"enabled": true, "rate": 10, "average": 1, "record": true}, "accRange": 2})");
    EXPECT_TRUE(c[Kind::ags].enabled && c[Kind::ags].record);
    EXPECT_EQ(c[Kind::ags].rate, 10);
    EXPECT_FALSE(c[Kind::geo].enabled);  // missing kinds are off
    EXPECT_EQ(c.accRange, 2);
    EXPECT_FALSE(c.gyroRange);

    measure::Config full = c;
    full[Kind::ext16ad] = {true, 5, 3, true};
    full[Kind::batt] = {true, 0, 0, true};
    full.extPorts = std::array<int, 4>{0, 1, 3, 5};
    full.ad16Gains = {1, 2, 4, 8};
    full.buzzerVolume = 200;
    full.overwriteMode = 1;
    EXPECT_EQ(parsed(measure::toJson(full)), full);
    EXPECT_EQ(measure::toJson(parsed(measure::toJson(full))), measure::toJson(full));

    // Each error names what is wrong.
    for (const auto& [json, says] : std::vector<std::pair<std::string, std::string>>{
             {R"({"agss": {}, "speed": 1})", R"(unknown keys "agss", "speed")"},
             {R"({"geo": {"enabled": true, "rat": 1}})", R"(unknown key "rat" in "geo")"},
             {R"({"batt": {"rate": 1}})", R"(unknown key "rate" in "batt")"},
             {R"({"ags": {"enabled": 1}})", R"("ags.enabled" must be true or false)"},
             {R"({"ags": {"rate": 256}})", R"("ags.rate": 256 is not accepted (0 to 255))"},
             {R"({"ags": {"average": 1.5}})", R"("ags.average" must be a whole number)"},
             {R"({"accRange": 4})", R"("accRange": 4 is not accepted (0 to 3))"},
             {R"({"extPorts": [0, 1, 6, 0]})", R"("extPorts[2]": 6 is not accepted (0 to 5))"},
             {R"({"ad16Gains": [1, 2]})", R"("ad16Gains" must be a list of four)"},
             {R"({"ad16Gains": [1, 2, 16, 0]})", R"(16 is not accepted (0 to 15))"},
             {R"({"overwriteMode": 2})", R"("overwriteMode": 2 is not accepted (0 to 1))"},
             {R"([1])", "must be a JSON object"},
             {R"({"ags": )", "not valid JSON"}}) {
        EXPECT_FALSE(measure::parseConfig(json, error)) << json;
        EXPECT_NE(error.find(says), std::string::npos) << json << " -> " << error;
    }
    measure::Config bad;
    bad[Kind::ext16ad].enabled = true;
    EXPECT_NE(measure::validate(bad, false).find("VRAX650 only"), std::string::npos);
    // An enabled kind needs a rate; the message names its key.
    EXPECT_NE(measure::validate(bad, true).find("\"ext16ad.rate\" is 0"), std::string::npos);
    bad[Kind::ext16ad].rate = 5;
    EXPECT_EQ(measure::validate(bad, true), "");
    bad.buzzerVolume = 300;
    EXPECT_NE(measure::validate(bad, true).find("buzzerVolume"), std::string::npos);

    // Files: saved without replacing, read back, size-capped, unreadable told apart.
    const std::string folder = makeTempFolder("vrax-config");
    const std::string path = folder + "/study.json";
    ASSERT_TRUE(measure::saveConfigFile(path, full, safeout::Existing::refuse, error)) << error;
    EXPECT_FALSE(measure::saveConfigFile(path, c, safeout::Existing::refuse, error));
    measure::Config loaded;
    bool unreadable = true;
    ASSERT_TRUE(measure::loadConfigFile(path, loaded, error, &unreadable)) << error;
    EXPECT_EQ(loaded, full);
    writeFile(folder + "/big.json", "{\"ags\": {}" + std::string(70000, ' ') + "}");
    EXPECT_FALSE(measure::loadConfigFile(folder + "/big.json", loaded, error, &unreadable));
    EXPECT_TRUE(unreadable);
    EXPECT_FALSE(measure::loadConfigFile(folder, loaded, error, &unreadable));
    EXPECT_TRUE(unreadable);
    writeFile(folder + "/typo.json", R"({"buzzer": 3})");
    EXPECT_FALSE(measure::loadConfigFile(folder + "/typo.json", loaded, error, &unreadable));
    EXPECT_FALSE(unreadable);
    EXPECT_EQ(loaded, full);  // left as it was
    fs::remove_all(folder);

    session::ClockTime t;
    EXPECT_TRUE(session::parseClockTime("2028-02-29 23:59:58", t));
    EXPECT_EQ(t.day, 29);
    for (const char* text : {"2027-02-29 10:00:00", "2026-12-07 24:00:00", "2026-12-07T10:00:00",
                             "1999-12-31 10:00:00", "2026-12-07 10:00"})
        EXPECT_FALSE(session::parseClockTime(text, t)) << text;
}

TEST_F(MeasureTest, EverySettingGoesOutAsItsSenderBytes) {
    VirtualSensor* d650 = add(VirtualModel::VRAX650);
    VirtualSensor* d610 = add(VirtualModel::VRAX610);
    measure::Config c = parsed(R"({
        "ags": {"enabled": true, "rate": 10, "average": 1, "record": true},
        "geo": {"enabled": true, "rate": 20, "average": 2, "record": false},
        "press": {"enabled": false, "rate": 50, "average": 4, "record": true},
        "batt": {"enabled": true, "record": true},
        "ext16ad": {"enabled": true, "rate": 5, "average": 3, "record": true},
        "accRange": 2, "gyroRange": 3, "extPorts": [0, 3, 5, 1], "ad16Gains": [1, 2, 4, 8],
        "buzzerVolume": 7, "overwriteMode": 1})");
    const std::vector<std::vector<uint8_t>> settings = {{0x22, 2},
                                                        {0x25, 3},
                                                        {0x30, 0x00, 0x09, 0x0A, 0x01},
                                                        {0x32, 7},
                                                        {0x2E, 0x00},
                                                        {0x16, 10, 1, 1},
                                                        {0x55, 0, 0, 0},
                                                        {0x18, 20, 2, 0},
                                                        {0x1A, 0, 0, 0},
                                                        {0x1C, 1, 1},
                                                        {0x1E, 0, 0, 0, 0, 0},
                                                        {0x59, 5, 3, 3, 1, 2, 4, 8}};
    std::vector<std::vector<uint8_t>> expected = {frameOf({0x15, 0}), frameOf({0x10, 0})};
    for (const auto& m : settings) expected.push_back(frameOf(m));
    expected.push_back(frameOf({0x13, 0, 0, 1, 1, 0, 0, 0, 0, 0, 1, 1, 0, 0, 0}));
    {
        session::SensorSession s(kName650, k650);
        const session::Outcome o = s.startRecording(c, {});
        EXPECT_TRUE(o.ok()) << int(o.result) << " " << o.setting;
    }
    EXPECT_EQ(d650->receivedFrames(), expected);
    EXPECT_TRUE(d650->measuring() && d650->recording());

    // The same on a VRAX610 (which has no 16-bit AD input) with a clock and a dated start.
    c[Kind::ext16ad].enabled = false;
    session::SensorSession s(kName610, k610);
    const session::ClockTime at{2026, 12, 7, 8, 9, 10, 0};
    ASSERT_TRUE(s.startRecording(c, {at, true}).ok());
    const auto& got = d610->receivedFrames();
    ASSERT_EQ(got.size(), 2 + settings.size() - 1 + 2);
    EXPECT_EQ(std::vector(got.begin() + 2, got.begin() + 13),
              std::vector(expected.begin() + 2, expected.begin() + 13));
    EXPECT_EQ(got[13].size(), 11u);  // setd: the computer's time
    EXPECT_EQ(got[13][1], 0x11);
    EXPECT_EQ(got[14], frameOf({0x13, 1, 26, 12, 7, 8, 9, 10, 0, 0, 1, 1, 0, 0, 0}));

    // Identify, calibrate and stop each send their command after connecting.
    EXPECT_TRUE(s.identify().ok());
    EXPECT_EQ(d610->receivedFrames().back(), frameOf({0x34, 1}));
    EXPECT_TRUE(s.calibrateCompass().ok());
    EXPECT_EQ(d610->receivedFrames().back(), frameOf({0x28, 0}));
    EXPECT_TRUE(s.stopMeasuring().ok());
    EXPECT_FALSE(d610->measuring());
}

TEST_F(MeasureTest, RefusedUnansweredAndInvalidSettingsAreNamed) {
    VirtualSensor* d = add(VirtualModel::VRAX610);
    session::SensorSession s(kName610, k610);
    measure::Config c = parsed(R"({"ags": {"enabled": true, "rate": 10, "average": 0}})");

    // The virtual sensor refuses averaging 0: named, and nothing is started.
    session::Outcome o = s.startRecording(c, {});
    EXPECT_EQ(o.result, Result::refused);
    EXPECT_EQ(o.step, session::Step::setting);
    EXPECT_EQ(o.setting, "ags");
    EXPECT_FALSE(d->measuring());

    // A value no sender carries: refused before anything is sent.
    const size_t sent = d->receivedFrames().size();
    c[Kind::ags].average = 1;
    c.accRange = 9;
    o = s.startRecording(c, {});
    EXPECT_EQ(o.result, Result::badSetting);
    EXPECT_NE(o.setting.find("accRange"), std::string::npos);
    EXPECT_EQ(d->receivedFrames().size(), sent);

    // A refused start and an unanswered setting (after its one retry).
    c.accRange = 1;
    d->faults.ngCommands[0x13] = -1;
    o = s.startRecording(c, {});
    EXPECT_EQ(o.result, Result::refused);
    EXPECT_EQ(o.setting, "start");
    d->faults.ngCommands.clear();
    d->faults.unansweredCommands[0x22] = 2;
    o = s.startRecording(c, {});
    EXPECT_EQ(o.result, Result::timedOut);
    EXPECT_EQ(o.setting, "accRange");
    EXPECT_FALSE(d->measuring());
}

// Hands the virtual sensor one framed message at the test's time `at`.
void sendAt(VirtualSensor& d, std::vector<uint8_t> message, uint64_t at) {
    const std::vector<uint8_t> f = frameOf(std::move(message));
    d.receive(f.data(), f.size(), at);
}

// The sensor's clock, a dated start, recording on its own and stop, with
// the virtual sensor driven on a clock of the test's own.
TEST(VirtualMeasureTest, ScheduledStartRecordsFromItsTime) {
    VirtualSensor d(VirtualModel::VRAX610);
    d.open();
    auto send = [&](std::vector<uint8_t> m, uint64_t at) { sendAt(d, std::move(m), at); };
    uint8_t out[4096];
    send({0x11, 26, 12, 7, 8, 0, 0, 0, 0}, 1000);  // 2026-12-07 08:00:00.000
    send({0x16, 10, 1, 1}, 1000);                  // ags every 10 ms, recorded
    send({0x18, 100, 1, 0}, 1000);                 // geo every 100 ms, streamed only
    send({0x13, 1, 26, 12, 7, 8, 0, 2, 0, 0, 1, 1, 0, 0, 0}, 1000);
    d.pull(out, sizeof out, 1000);  // the answers
    EXPECT_TRUE(d.measuring());
    EXPECT_EQ(d.pull(out, sizeof out, 2999), 0u);  // not yet 08:00:02
    EXPECT_EQ(d.nextDueMs(), 3000u);
    d.close();  // the sensor records on its own, unconnected
    d.advance(3995);
    EXPECT_TRUE(d.recording());
    d.open();
    send({0x15, 0}, 4000);  // stop at 08:00:03.000
    ASSERT_EQ(d.entries.size(), 1u);
    const VirtualEntry& e = d.entries[0];
    EXPECT_EQ(std::vector<int>({e.startYear, e.startMonth, e.startDay, e.startHour, e.startMin,
                                e.startSec, e.startMs}),
              std::vector<int>({2026, 12, 7, 8, 0, 2, 0}));
    ASSERT_EQ(e.recordCount(), 101u);  // 0, 10, ..., 1000 ms: geo is not recorded
    EXPECT_EQ(e.sample(0).time, 0);
    EXPECT_EQ(e.sample(100).time, 1000);
    EXPECT_FALSE(d.measuring());

    // Full memory ends recording; in overwrite mode the oldest entry makes room.
    d.memoryRecords = 150;
    send({0x13, 0, 0, 1, 1, 0, 0, 0, 0, 0, 1, 1, 0, 0, 0}, 5000);
    d.advance(6000);
    EXPECT_FALSE(d.recording());
    EXPECT_EQ(d.recordsHeld(), 150u);
    send({0x15, 0}, 6000);
    send({0x2E, 0}, 6000);
    send({0x13, 0, 0, 1, 1, 0, 0, 0, 0, 0, 1, 1, 0, 0, 0}, 7000);
    send({0x15, 0}, 7500);
    ASSERT_EQ(d.entries.size(), 2u);
    EXPECT_EQ(d.entries[1].recordCount(), 51u);  // the first entry gave way
    EXPECT_EQ(d.entries[0].recordCount(), 49u);
}

TEST(VirtualMeasureTest, AStartTimeAlreadyPastStartsNow) {
    VirtualSensor d(VirtualModel::VRAX610);
    d.open();
    auto send = [&](std::vector<uint8_t> m, uint64_t at) { sendAt(d, std::move(m), at); };
    uint8_t out[4096];
    send({0x11, 26, 12, 7, 8, 0, 0, 0, 0}, 1000);                   // 2026-12-07 08:00:00.000
    send({0x16, 10, 1, 1}, 1000);                                   // ags every 10 ms, recorded
    send({0x13, 1, 25, 1, 1, 0, 0, 0, 0, 0, 1, 1, 0, 0, 0}, 2000);  // 2025-01-01 00:00:00
    d.pull(out, sizeof out, 2000);
    d.close();  // recording on its own
    d.advance(3000);
    d.open();
    send({0x15, 0}, 3000);
    d.pull(out, sizeof out, 3000);
    // It measured from the command on, not every sample since 2025.
    ASSERT_EQ(d.entries.size(), 1u);
    const VirtualEntry& e = d.entries[0];
    EXPECT_EQ(std::vector<int>(
                  {e.startYear, e.startMonth, e.startDay, e.startHour, e.startMin, e.startSec}),
              std::vector<int>({2026, 12, 7, 8, 0, 1}));
    EXPECT_EQ(e.recordCount(), 101u);
}

TEST_F(MeasureTest, LiveKeepsItsLatestRecordsAndMapsSensorTimeToUtc) {
    add(VirtualModel::VRAX610);
    const measure::Config c =
        parsed(R"({"ags": {"enabled": true, "rate": 2, "average": 1, "record": false}})");
    session::SensorSession s(kName610, k610);
    session::LiveRequest request{dir, 2.3, 0, false};
    request.keepSeconds = 0;
    session::LiveReport live;
    std::vector<TimePair> pairs;
    session::LiveHooks hooks;
    uint64_t lastTickRecords = 0;
    hooks.tick = [&](const session::LiveProgress& p) {
        if (p.lastTimePair) pairs.push_back(*p.lastTimePair);
        lastTickRecords = p.records;
    };
    const int64_t began = hostUtcMs();
    ASSERT_TRUE(s.runLive(c, request, hooks, live).ok());
    ASSERT_EQ(live.files.size(), 1u);
    std::string stem = live.files[0];
    stem.resize(stem.size() - 4);
    EXPECT_EQ(live.timeMapPath, stem + ".timemap.tsv");
    const std::string map = readFile(live.timeMapPath);
    std::istringstream lines(map);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, "sensor_ms\thost_utc_ms\thost_utc");
    std::vector<uint64_t> sensorTimes;
    while (std::getline(lines, line)) {
        unsigned long long sensorMs = 0;
        long long hostMs = 0;
        ASSERT_EQ(std::sscanf(line.c_str(), "%llu\t%lld\t", &sensorMs, &hostMs), 2) << line;
        EXPECT_GE(hostMs, began);
        EXPECT_NE(line.find("\t" + timetext::isoUtc(hostMs)), std::string::npos);
        sensorTimes.push_back(sensorMs);
    }
    // The first record, then one a second of sensor time.
    ASSERT_GE(sensorTimes.size(), 2u);
    const std::string records = readFile(live.files[0]);
    EXPECT_EQ(records.rfind("ags," + std::to_string(sensorTimes[0]) + ",", 0), 0u);
    EXPECT_GE(sensorTimes[1], sensorTimes[0] + 1000);
    ASSERT_FALSE(pairs.empty());  // the ticks showed the latest pair
    EXPECT_EQ(pairs.back().sensorMs, sensorTimes.back());
    // The file has every record; the last tick (what the window shows) counted them all.
    EXPECT_EQ(lineCount(records), live.records);
    EXPECT_EQ(lastTickRecords, live.records);
}

TEST_F(MeasureTest, LiveThenListAndDownloadGiveTheSameBytes) {
    add(VirtualModel::VRAX650);
    const measure::Config c = parsed(R"({
        "ags": {"enabled": true, "rate": 4, "average": 1, "record": true},
        "qags": {"enabled": true, "rate": 8, "average": 1, "record": true},
        "geo": {"enabled": true, "rate": 20, "average": 1, "record": true},
        "press": {"enabled": true, "rate": 25, "average": 1, "record": true},
        "batt": {"enabled": true, "record": true},
        "ext": {"enabled": true, "rate": 50, "average": 1, "record": true},
        "ext16ad": {"enabled": true, "rate": 10, "average": 2, "record": true},
        "ad16Gains": [1, 2, 4, 8], "accRange": 1, "gyroRange": 3})");
    std::string error;
    ASSERT_TRUE(labels::setLabel(dir, kName650, "pelvis", error)) << error;
    session::SensorSession s(kName650, k650);
    session::LiveRequest request{dir, 1.2, 0, true};
    session::LiveReport live;
    std::vector<session::LiveProgress> ticks;
    std::string startedFile;
    session::LiveHooks hooks;
    hooks.started = [&](const std::string& path) { startedFile = path; };
    hooks.tick = [&](const session::LiveProgress& p) { ticks.push_back(p); };
    const session::Outcome o = s.runLive(c, request, hooks, live);
    ASSERT_TRUE(o.ok()) << int(o.result);
    EXPECT_TRUE(live.stopAcknowledged);
    ASSERT_EQ(live.files.size(), 1u);
    EXPECT_EQ(live.files[0], startedFile);
    EXPECT_NE(live.files[0].find("/live_VRAX650-LAB-0016_"), std::string::npos);
    EXPECT_GE(ticks.size(), 10u);
    EXPECT_GT(ticks.back().ratePerKind[size_t(Kind::ags)], 150.0);
    EXPECT_NEAR(ticks.back().batteryVoltage, 4.2, 0.01);
    uint64_t perKind = 0;
    for (uint64_t n : live.recordsPerKind) perKind += n;
    EXPECT_EQ(perKind, live.records);
    EXPECT_GT(live.recordsPerKind[size_t(Kind::ext16ad)], 0u);
    // Each kind counted under its own name: the file's records by data type.
    std::array<uint64_t, measure::kKindCount> inFile{};
    CsvLoadReport read;
    ASSERT_TRUE(
        VRAXSensorData::readCSVRecords(live.files[0], false, read, [&](const SensorDataRecord& r) {
            if (const auto k = measure::kindOfDataType(r.dataType)) ++inFile[size_t(*k)];
        }));
    EXPECT_EQ(inFile, live.recordsPerKind);
    EXPECT_EQ(inFile, ticks.back().recordsPerKind);
    const std::string streamed = readFile(live.files[0]);
    EXPECT_EQ(lineCount(streamed), live.records);
    EXPECT_NE(streamed.find("ead1248,"), std::string::npos);  // the gains that were set

    // The sensor recorded the same records; its new entry downloads to the same bytes.
    session::MemoryListing listing;
    ASSERT_TRUE(s.listMemory(listing).ok());
    ASSERT_EQ(listing.entries.size(), 1u);
    EXPECT_EQ(uint64_t(listing.entries[0].records), live.records);
    session::DownloadRequest d = requestFor(dir, listing);
    session::DownloadReport downloaded;
    ASSERT_TRUE(s.downloadEntry(d, {}, downloaded).ok());
    EXPECT_EQ(readFile(downloaded.filePath), streamed);
    EXPECT_EQ(downloaded.accRange, 1);
    EXPECT_EQ(downloaded.gyrRange, 3);

    // Both files have sidecars: the same bytes, the same sensor and label,
    // the settings sent or read, and one start instant on UTC within the bounds.
    const QJsonObject liveSide = jsonOf(sidecar::pathFor(live.files[0]));
    const QJsonObject downSide = jsonOf(sidecar::pathFor(downloaded.filePath));
    EXPECT_EQ(liveSide["file"]["sha256"], downSide["file"]["sha256"]);
    EXPECT_EQ(liveSide["file"]["kind"].toString(), "live");
    EXPECT_EQ(downSide["file"]["kind"].toString(), "download");
    for (const QJsonObject& side : {liveSide, downSide}) {
        EXPECT_EQ(side["sensor"]["label"].toString(), "pelvis");
        EXPECT_EQ(side["sensor"]["model"].toString(), "VRAX650");
        EXPECT_EQ(side["records"]["received"].toInteger(), qint64(live.records));
        EXPECT_TRUE(side["start"]["utcCorrected"].toBool());
    }
    EXPECT_EQ(liveSide["start"]["clockSource"].toString(), "host clock");
    EXPECT_EQ(downSide["start"]["clockSource"].toString(), "sensor clock");
    EXPECT_EQ(liveSide["settings"]["sent"]["accRange"].toInt(), 1);
    EXPECT_EQ(downSide["settings"]["readAtDownload"]["gyroRange"].toInt(), 3);
    EXPECT_EQ(downSide["ad16"]["gains"].toArray(), (QJsonArray{1, 2, 4, 8}));
    EXPECT_EQ(downSide["records"]["expected"].toInteger(), qint64(live.records));
    const double apart =
        std::abs(liveSide["start"]["unixMs"].toDouble() - downSide["start"]["unixMs"].toDouble());
    EXPECT_LE(apart, liveSide["start"]["utcBoundMs"].toDouble() +
                         downSide["start"]["utcBoundMs"].toDouble() + 1.0);

    // A gain the configuration could not set: the lines stay readable (F),
    // the sidecar keeps the real gain.
    VirtualSensor* device = platform.sensorAt(k650);
    ASSERT_NE(device, nullptr);
    device->entries[0].ad16Gain = {1, 2, 20, 8};
    d.existing = safeout::Existing::replace;
    session::DownloadReport again;
    ASSERT_TRUE(s.downloadEntry(d, {}, again).ok());
    ASSERT_TRUE(again.ad16Gains);
    EXPECT_EQ((*again.ad16Gains)[2], 20);
    const std::string lines = readFile(again.filePath);
    EXPECT_NE(lines.find("ead12F8,"), std::string::npos);
    VRAXSensorData reread;
    ASSERT_TRUE(reread.loadFromFileByCSV(again.filePath));
    EXPECT_EQ(reread.count(), live.records);
    EXPECT_EQ(reread.lastCSVLoad().skippedLines, 0u);
    const QJsonObject againSide = jsonOf(sidecar::pathFor(again.filePath));
    EXPECT_EQ(againSide["ad16"]["gains"].toArray(), (QJsonArray{1, 2, 20, 8}));
}

TEST_F(MeasureTest, LiveFilesEndCleanlyWhenTheChannelCloses) {
    VirtualSensor* d = add(VirtualModel::VRAX610);
    const measure::Config c =
        parsed(R"({"ags": {"enabled": true, "rate": 1, "average": 1, "record": false}})");
    d->faults.closeAfterFrames = 150;
    session::SensorSession s(kName610, k610);
    session::LiveReport live;
    session::Outcome o = s.runLive(c, {dir, 0, 40, false}, {}, live);
    EXPECT_EQ(o.result, Result::channelClosed);
    EXPECT_EQ(live.records, 150u);
    ASSERT_EQ(live.files.size(), 4u);  // parts of 40 lines, each finished under its name
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_NE(live.files[i].find("-" + std::to_string(i) + ".csv"), std::string::npos);
        EXPECT_EQ(lineCount(readFile(live.files[i])), i < 3 ? 40u : 30u) << live.files[i];
    }
    EXPECT_EQ(o.path, live.files.back());
    EXPECT_TRUE(d->entries.empty());  // nothing was recorded

    // Stopped by the user before anything arrived: no file is left.
    d->faults.closeAfterFrames = -1;
    session::LiveHooks hooks;
    hooks.stopRequested = [] { return true; };
    o = s.runLive(measure::Config{}, {dir, 0, 0, false}, hooks, live);
    EXPECT_TRUE(o.ok());
    EXPECT_TRUE(live.stoppedByUser);
    EXPECT_TRUE(live.files.empty());
    for (const auto& e : fs::recursive_directory_iterator(dir))
        EXPECT_EQ(e.path().string().find(".part"), std::string::npos) << e.path();
}

// Two sensors whose clocks are off by known amounts record, one after the
// other; their downloads' sidecars put each start on UTC, and the two
// starts lie as far apart as the host saw them start, within the bounds.
TEST_F(MeasureTest, DownloadedStartsLineUpOnUtcWithinTheirBounds) {
    VirtualSensor* a = add(VirtualModel::VRAX610);
    VirtualSensor* b = add(VirtualModel::VRAX650);
    const auto hostLocalMs = [] {
        const timebase::HostTime now = timebase::realHostTime();
        return int64_t(now.utcMs) + now.zoneMs - VirtualSensor::epoch2000Ms();
    };
    a->setClock(hostLocalMs() + 1500, a->nowMs());  // 1.5 s ahead
    b->setClock(hostLocalMs() - 820, b->nowMs());   // 0.82 s behind, and fast
    b->faults.clockPpm = 200;
    const measure::Config c =
        parsed(R"({"ags": {"enabled": true, "rate": 10, "average": 1, "record": true}})");

    struct Run {
        const char* name;
        const char* address;
        double startedUtcMs = 0, halfRoundTripMs = 0;
        QJsonObject side;
    } runs[] = {{kName610, k610, 0, 0, {}}, {kName650, k650, 0, 0, {}}};
    const auto start = [](const Run& run, const char* key) {
        return run.side.value("start").toObject().value(key);
    };
    for (Run& run : runs) {
        session::SensorSession s(run.name, run.address);
        const timebase::HostTime before = timebase::realHostTime();
        ASSERT_TRUE(s.startRecording(c, {}).ok());
        const timebase::HostTime after = timebase::realHostTime();
        // The start command went out in the last part of that call.
        run.startedUtcMs = after.utcMs;
        run.halfRoundTripMs = after.utcMs - before.utcMs;
        eventwait::runFor(0.3);
        ASSERT_TRUE(s.stopMeasuring().ok());
        session::MemoryListing listing;
        ASSERT_TRUE(s.listMemory(listing).ok());
        const int last = int(listing.entries.size()) - 1;
        session::DownloadReport report;
        ASSERT_TRUE(s.downloadEntry(requestFor(dir, listing, last), {}, report).ok());
        run.side = jsonOf(sidecar::pathFor(report.filePath));
        ASSERT_TRUE(start(run, "utcCorrected").toBool()) << run.name;
    }
    const double measured =
        start(runs[1], "unixMs").toDouble() - start(runs[0], "unixMs").toDouble();
    const double truth = runs[1].startedUtcMs - runs[0].startedUtcMs;
    // The bounds of both corrections, how long each start call took (the
    // command went out somewhere in it) and the clocks' 1 ms steps.
    const double allowed = start(runs[0], "utcBoundMs").toDouble() +
                           start(runs[1], "utcBoundMs").toDouble() + runs[0].halfRoundTripMs +
                           runs[1].halfRoundTripMs + 2;
    std::printf("starts on UTC %.1f ms apart, truly %.1f ms; allowed error %.1f ms\n", measured,
                truth, allowed);
    EXPECT_LE(std::abs(measured - truth), allowed)
        << "measured " << measured << " ms apart, truly " << truth;
    // Without the correction they would be 2.32 s off.
    EXPECT_LT(std::abs(measured - truth), 1000.0);
}

}  // namespace
