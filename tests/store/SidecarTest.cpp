// Provenance pieces of the store: SHA-256 against the standard's vectors,
// ISO 8601 times with offsets, the sidecar's contents (counts, saturated
// values, the clock correction and when it must not be applied), labels,
// and the one-digit gain of the download line.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include "store/CsvFormat.h"
#include "store/SensorLabels.h"
#include "store/Sha256.h"
#include "store/Sidecar.h"
#include "store/StoreFixture.h"
#include "store/TimeText.h"

namespace {

std::string sha(const std::string& s) {
    Sha256 h;
    h.update(s.data(), s.size());
    return h.hexDigest();
}

// Sets TZ for one test and puts the old one back.
class ZoneGuard {
  public:
    explicit ZoneGuard(const char* tz) {
        if (const char* old = getenv("TZ")) saved = old, had = true;
        setenv("TZ", tz, 1);
        tzset();
    }
    ~ZoneGuard() {
        if (had)
            setenv("TZ", saved.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

  private:
    std::string saved;
    bool had = false;
};

TEST(Sha256, StandardVectorsAndPiecesOfAnySize) {
    EXPECT_EQ(sha(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(sha("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(sha("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    // A million 'a's, fed in uneven pieces that cross block boundaries.
    Sha256 h;
    const std::string piece(997, 'a');
    size_t left = 1000000;
    while (left > 0) {
        const size_t n = std::min(left, piece.size());
        h.update(piece.data(), n);
        left -= n;
    }
    EXPECT_EQ(h.hexDigest(), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");

    TempDir dir;
    writeFile(dir / "f", "abc");
    std::string error;
    EXPECT_EQ(sha256OfFile(dir / "f", error), sha("abc"));
    EXPECT_EQ(sha256OfFile(dir.path().string(), error), "");  // a folder is refused
    EXPECT_FALSE(error.empty());
}

TEST(TimeText, LocalTimesGetTheirZoneOffsetAcrossDaylightSaving) {
    ZoneGuard zone("Europe/Berlin");
    struct Case {
        timetext::CivilTime t;
        const char* iso;
        const char* utc;
    } cases[] = {
        {{2026, 1, 15, 12, 0, 0, 250}, "2026-01-15T12:00:00.250+01:00", "2026-01-15T11:00:00.250Z"},
        {{2026, 7, 15, 12, 0, 0, 0}, "2026-07-15T12:00:00.000+02:00", "2026-07-15T10:00:00.000Z"},
        {{2026, 12, 31, 23, 59, 59, 999},
         "2026-12-31T23:59:59.999+01:00",
         "2026-12-31T22:59:59.999Z"},
    };
    for (const Case& c : cases) {
        const timetext::LocalInstant at = timetext::fromLocal(c.t);
        ASSERT_TRUE(at.valid) << c.iso;
        EXPECT_EQ(timetext::isoWithOffset(at.unixMs, at.offsetSeconds), c.iso);
        EXPECT_EQ(timetext::isoUtc(at.unixMs), c.utc);
    }
    EXPECT_EQ(timetext::zoneName(), "Europe/Berlin");
    EXPECT_FALSE(timetext::fromLocal({2026, 2, 30, 0, 0, 0, 0}).valid);
    EXPECT_FALSE(timetext::fromLocal({2026, 13, 1, 0, 0, 0, 0}).valid);
    EXPECT_EQ(timetext::isoWithOffset(0, -(5 * 3600 + 30 * 60)), "1969-12-31T18:30:00.000-05:30");
    EXPECT_EQ(timetext::civilAsUtcMs({1970, 1, 2, 0, 0, 1, 5}), 86401005);
}

TEST(Sidecar, CountsKindsAndSaturatedValuesAndHashesTheFile) {
    ZoneGuard zone("Asia/Tokyo");
    TempDir dir;
    VRAXSensorData store;
    const int32_t clipped[6] = {8388607, -8388608, 0, 1, 2, -8388608};
    const int32_t plain[6] = {1, 2, 3, 4, 5, 6};
    const int32_t pt[2] = {100, 32767};
    store.appendSensorData(0, ags, clipped);
    store.appendSensorData(10, ags, plain);
    store.appendSensorData(20, press, pt);
    const std::string csvPath = dir / "a.csv";
    ASSERT_TRUE(store.saveToFileByCSV(dir / "a", 0, 1));
    const std::string binPath = dir / "b.bin";
    std::string error;
    ASSERT_TRUE(store.saveBinFile(binPath, safeout::Existing::refuse, error));

    for (const std::string& path : {csvPath, binPath}) {
        sidecar::FileFacts facts;
        ASSERT_TRUE(sidecar::scanDataFile(path, facts, error)) << error;
        EXPECT_EQ(facts.records, 3u) << path;
        EXPECT_EQ(facts.perKind[ags], 2u);
        EXPECT_EQ(facts.perKind[press], 1u);
        const std::array<uint64_t, 14> agsSaturated{1, 1, 0, 0, 0, 1};
        EXPECT_EQ(facts.saturated[ags], agsSaturated);
        EXPECT_EQ(facts.saturated[press][1], 1u);  // temperature: 16-bit limit
        EXPECT_EQ(facts.lastMs, 20);
        EXPECT_EQ(facts.sha256, sha256OfFile(path, error));
    }

    sidecar::Description d;
    d.toolVersion = "9.9";
    d.fileKind = "download";
    d.sensorName = "VRAX610-\"7\"";
    d.label = "left\tshin";
    d.entry = 3;
    d.start = timetext::CivilTime{2026, 6, 1, 9, 0, 0, 0};
    d.clockOffsetMs = 1500.0;
    d.clockBoundMs = 2.5;
    d.expectedRecords = 3;
    d.accRangeRead = 1;
    d.ad16Gains = std::array<int, 4>{1, 2, 16, 255};
    ASSERT_TRUE(sidecar::write(csvPath, d, safeout::Existing::refuse, error)) << error;
    const std::string json = readFile(sidecar::pathFor(csvPath));
    for (const char* part :
         {"\"name\": \"VRAX610-\\\"7\\\"\"", "\"label\": \"left\\tshin\"", "\"entry\": 3",
          "\"local\": \"2026-06-01T09:00:00.000+09:00\"", "\"timeZone\": \"Asia/Tokyo\"",
          // 09:00 JST on a clock 1.5 s ahead: 23:59:58.500 UTC the day before.
          "\"utc\": \"2026-05-31T23:59:58.500Z\"", "\"utcBoundMs\": 2.500", "\"expected\": 3",
          "\"received\": 3", "\"acc_x\": 1", "\"temperature\": 1", "\"accRange\": 1",
          "read at download, may differ from recording time", "gains above 15 are written as F"})
        EXPECT_NE(json.find(part), std::string::npos) << part << "\n" << json;
    // Never replaced unless asked.
    EXPECT_FALSE(sidecar::write(csvPath, d, safeout::Existing::refuse, error));
    EXPECT_TRUE(sidecar::write(csvPath, d, safeout::Existing::replace, error)) << error;
}

TEST(Sidecar, CorrectionUsesDriftAndIsSkippedWhenTheClockChanged) {
    ZoneGuard zone("UTC");
    sidecar::Description d;
    d.start = timetext::CivilTime{2026, 1, 1, 0, 0, 0, 0};
    const int64_t start = timetext::civilAsUtcMs(*d.start);
    EXPECT_EQ(sidecar::correctedStart(d)->unixMs, start);
    EXPECT_FALSE(sidecar::correctedStart(d)->boundMs);
    d.clockOffsetMs = 1000.0;
    d.clockBoundMs = 3.0;
    EXPECT_EQ(sidecar::correctedStart(d)->unixMs, start - 1000);
    // 100 ppm over the 10,000 s between start and measurement: 1 s of the offset came later.
    d.driftPpm = 100.0;
    d.measuredUtcMs = start + 10'000'000;
    EXPECT_EQ(sidecar::correctedStart(d)->unixMs, start);
    d.clockNotApplicable = "set since";
    EXPECT_EQ(sidecar::correctedStart(d)->unixMs, start);
    EXPECT_FALSE(sidecar::correctedStart(d)->boundMs);
}

TEST(SensorLabels, SetReplaceRemoveAndHostileText) {
    TempDir dir;
    const std::string folder = dir.path().string();
    std::string error;
    EXPECT_EQ(labels::labelOf(folder, "A"), "");
    ASSERT_TRUE(labels::setLabel(folder, "A", "left wrist", error)) << error;
    ASSERT_TRUE(labels::setLabel(folder, "B", "pelvis\nC\tevil", error)) << error;
    ASSERT_TRUE(labels::setLabel(folder, "A", "right wrist", error)) << error;
    EXPECT_EQ(labels::labelOf(folder, "A"), "right wrist");
    EXPECT_EQ(labels::labelOf(folder, "B"), "pelvis C evil");
    EXPECT_EQ(labels::labelOf(folder, "C"), "");
    ASSERT_TRUE(labels::setLabel(folder, "A", "", error));
    EXPECT_EQ(readFile(labels::labelsPath(folder)), "B\tpelvis C evil\n");
}

TEST(CsvFormat, GainsAboveFifteenKeepOneDigitPerGain) {
    TempDir dir;
    VRAXSensorData store;
    const int32_t d[12] = {1, 15, 16, 255, 100, -200, 300, -400, 0, 0, 0, 0};
    store.appendSensorData(5, ext16ad, d);
    CsvSaveOptions options;
    options.style = csv::LineStyle::streamed;
    CsvSaveReport report;
    ASSERT_TRUE(store.saveCSVFiles(dir / "g", options, report)) << report.error;
    EXPECT_EQ(readFile(report.files.front()), "ead1FFF,5,100,-200,300,-400\r\n");
    VRAXSensorData back;
    ASSERT_TRUE(back.loadFromFileByCSV(report.files.front()));
    EXPECT_EQ(back.count(), 1u);
}

}  // namespace
