// What a live session keeps: a window of its latest records, time pairs
// against the host clock, and side files of whole lines.
#include "StoreFixture.h"
#include "store/FileIO.h"
#include "store/TimeText.h"
#include "store/TsvSidecar.h"

TEST(LiveWindow, KeepLatestGivesBackOldChunksAndKeepsIndexes) {
    VRAXSensorData store;
    const uint64_t chunk = RecordList::kChunkRecords;
    appendAgs(store, int(3 * chunk + 10));
    store.keepLatest(100);
    EXPECT_EQ(store.count(), 3 * chunk + 10);  // indexes stay those of arrival
    // Whole chunks only: the 100 latest start in the third chunk.
    EXPECT_EQ(store.firstHeldIndex(), 2 * chunk);
    EXPECT_EQ(store.getDataByIndex(2 * chunk - 1), nullptr);
    ASSERT_NE(store.getDataByIndex(3 * chunk + 9), nullptr);
    EXPECT_EQ(store.getDataByIndex(3 * chunk + 9)->values[0], int(3 * chunk + 9));
    EXPECT_EQ(store.getPassedMSTimeFirstSample(), 2 * chunk * 10);
    // A time lookup from before the window starts at the window.
    uint64_t at = 0;
    ASSERT_TRUE(store.getDataByTheMSTime((2 * chunk + 5) * 10, 0, at, false));
    EXPECT_EQ(at, 2 * chunk + 6);
    // Keeping more than is held, or keeping nothing, never loses the last record.
    store.keepLatest(10 * chunk);
    EXPECT_EQ(store.firstHeldIndex(), 2 * chunk);
    appendAgs(store, int(chunk - 10), int(3 * chunk + 10));  // fills the fourth chunk exactly
    store.keepLatest(0);
    EXPECT_EQ(store.firstHeldIndex(), 3 * chunk);
    EXPECT_NE(store.getDataByIndex(4 * chunk - 1), nullptr);
    // Saving writes what is held; clearing starts over.
    store.clearSensorData();
    appendAgs(store, 3);
    EXPECT_EQ(store.firstHeldIndex(), 0u);
    EXPECT_NE(store.getDataByIndex(0), nullptr);
}

TEST(LiveWindow, TimePairsComeOncePerIntervalAndWhenTimeGoesBack) {
    VRAXSensorData store;
    int32_t v[14] = {};
    store.appendSensorData(5, ags, v);  // not noting yet
    store.noteTimePairs(1000);
    const int64_t before = hostUtcMs();
    for (uint64_t t : {100u, 600u, 1099u, 1100u, 2500u, 50u, 60u})
        store.appendSensorData(t, ags, v);
    const int64_t after = hostUtcMs();
    std::vector<uint64_t> sensorTimes;
    for (const TimePair& p : store.takeTimePairs()) {
        sensorTimes.push_back(p.sensorMs);
        EXPECT_GE(p.hostUtcMs, before);
        EXPECT_LE(p.hostUtcMs, after);
    }
    EXPECT_EQ(sensorTimes, (std::vector<uint64_t>{100, 1100, 2500, 50}));
    EXPECT_TRUE(store.takeTimePairs().empty());
    // The latest pair stays readable after the pairs were taken.
    ASSERT_TRUE(store.latestTimePair().has_value());
    EXPECT_EQ(store.latestTimePair()->sensorMs, 50u);
    store.noteTimePairs(0);
    store.appendSensorData(9000, ags, v);
    EXPECT_TRUE(store.takeTimePairs().empty());
    EXPECT_FALSE(store.latestTimePair().has_value());
}

TEST(LiveWindow, SidecarHoldsWholeLinesAndNeverReplacesAFile) {
    TempDir dir;
    const std::string path = dir / "events.tsv";
    {
        // No row: no file.
        TsvSidecar empty;
        ASSERT_TRUE(empty.open(path, "a\tb"));
        EXPECT_EQ(empty.finish(), "");
        EXPECT_FALSE(fileio::exists(path));
        EXPECT_FALSE(fileio::exists(path + ".part"));
    }
    TsvSidecar first;
    ASSERT_TRUE(first.open(path, "a\tb"));
    EXPECT_TRUE(first.addRow("1\tx"));
    // While it runs, the working file has whole lines.
    EXPECT_EQ(readFile(path + ".part"), "a\tb\n1\tx\n");
    EXPECT_EQ(first.finish(), path);
    TsvSidecar second;
    ASSERT_TRUE(second.open(path, "a\tb"));
    second.addRow("2\ty");
    EXPECT_EQ(second.finish(), dir / "events-2.tsv");
    EXPECT_EQ(readFile(path), "a\tb\n1\tx\n");
    EXPECT_EQ(timetext::isoUtc(0), "1970-01-01T00:00:00.000Z");
    EXPECT_EQ(timetext::isoUtc(1796731200123), "2026-12-08T12:00:00.123Z");
}

TEST(LiveWindow, SaveAsReadsTheStreamedFilesBack) {
    TempDir dir;
    VRAXSensorData store;
    appendAgs(store, 250);
    CsvSaveOptions options;
    options.style = csv::LineStyle::streamed;
    options.limitLines = 100;
    CsvSaveReport streamed;
    ASSERT_TRUE(store.saveCSVFiles(dir / "live", options, streamed));
    ASSERT_EQ(streamed.files.size(), 3u);
    std::string all;
    for (const std::string& f : streamed.files) all += readFile(f);

    // The files, not the store, are the source: one file again, then a binary dump.
    store.clearSensorData();
    std::string readError;
    const VRAXSensorData::RecordRuns runs =
        VRAXSensorData::recordsOfCSVFiles(streamed.files, readError);
    options.limitLines = 0;
    CsvSaveReport saved;
    ASSERT_TRUE(VRAXSensorData::saveCSVFilesFrom(runs, 250, dir / "copy", options, saved));
    ASSERT_EQ(saved.files.size(), 1u);
    EXPECT_EQ(readFile(saved.files[0]), all);
    std::string error;
    ASSERT_TRUE(
        VRAXSensorData::saveBinFileFrom(runs, dir / "copy.bin", safeout::Existing::refuse, error));
    EXPECT_EQ(std::filesystem::file_size(dir / "copy.bin"), 250 * sizeof(SensorDataRecord));

    // A file that cannot be read back fails the save and leaves nothing.
    const std::vector<std::string> missing{dir / "gone.csv"};
    const VRAXSensorData::RecordRuns none = VRAXSensorData::recordsOfCSVFiles(missing, readError);
    EXPECT_FALSE(VRAXSensorData::saveCSVFilesFrom(none, 0, dir / "none", options, saved));
    EXPECT_FALSE(readError.empty());
    EXPECT_FALSE(fileio::exists(dir / "none.csv"));
    EXPECT_FALSE(fileio::exists(dir / "none.csv.part"));
}
