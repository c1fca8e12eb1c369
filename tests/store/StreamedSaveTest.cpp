#include <signal.h>
#include <sys/resource.h>

#include "StoreFixture.h"

namespace {

// A store in the Saving state on `path`, as a download sets it up.
void startDownload(VRAXSensorData& store, const std::string& path, bool filtered = false) {
    store.clearSensorData();
    store.setWriteAD16FilterdData(filtered);
    store.setSaveFilename(path);
    store.setSaveFlag();
}

}  // namespace

TEST(StreamedSave, EveryKindGivesItsLineByteForByte) {
    TempDir dir;
    for (bool filtered : {false, true}) {
        VRAXSensorData store;
        const std::string path = dir / (filtered ? "f.csv" : "u.csv");
        startDownload(store, path, filtered);
        const int32_t agsV[] = {1, -2, 3, 4, 5, 6};
        const int32_t three[] = {-7, 8, 9};
        const int32_t two[] = {101325, 2500};
        const int32_t ten[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
        const int32_t ad[] = {1, 2, 10, 15, 100, -200, 300, 400, 11, 22, 33, 44};
        const int32_t bigGain[] = {16, 0, 0, -1, 1, 2, 3, 4, 0, 0, 0, 0};
        store.appendSensorData(1000, ags, agsV);
        store.appendSensorData(uint64_t(-5), geo, three);  // negative on the wire
        store.appendSensorData(5000, press, two);
        store.appendSensorData(5001, batt, two);
        store.appendSensorData(6, ext, agsV);
        store.appendSensorData(7, qags, ten);
        store.appendSensorData(8, ext16ad, ad);
        store.appendSensorData(9, ext16ad, bigGain);
        EXPECT_TRUE(store.flashWriteBuffer());

        std::string expected =
            "ags,1000,1,-2,3,4,5,6\r\n"
            "geo,-5,-7,8,9\r\n"
            "press temp,5000,101325,2500\r\n"
            "batt,5001,101325,2500\r\n"
            "ext data,6,1,-2,3,4,5,6\r\n"
            "qags,7,1,2,3,4,5,6,7,8,9,10\r\n";
        expected += filtered ? "ead12AF,8,100,-200,300,400,11,22,33,44\r\n"
                             : "ead12AF,8,100,-200,300,400\r\n";
        expected +=
            filtered ? "ead1000FFFFFFFF,9,1,2,3,4,0,0,0,0\r\n" : "ead1000FFFFFFFF,9,1,2,3,4\r\n";
        EXPECT_EQ(readFile(path), expected);
    }
}

TEST(StreamedSave, RecordsGoOutInBatchesOfOneHundredAndTheRestAtTheFlush) {
    TempDir dir;
    const std::string path = dir / "d.csv";
    VRAXSensorData store;
    writeFile(path, "old content");
    startDownload(store, path);
    EXPECT_EQ(readFile(path), "");  // a new download starts an empty file

    appendAgs(store, 99);
    EXPECT_EQ(readFile(path), "");
    appendAgs(store, 1, 99);
    EXPECT_EQ(readFile(path), agsLines(100));
    appendAgs(store, 150, 100);
    EXPECT_EQ(readFile(path), agsLines(200));
    EXPECT_EQ(store.queuedRecords(), 50u);

    // Stopped: the queue stays and a flush writes nothing.
    store.clearSaveFlag();
    EXPECT_TRUE(store.flashWriteBuffer());
    EXPECT_EQ(readFile(path), agsLines(200));
    EXPECT_EQ(store.queuedRecords(), 50u);
    appendAgs(store, 5, 1000);  // late records of a finished download are dropped
    EXPECT_EQ(store.count(), 250u);

    store.setSaveFlag();  // a new run of saving starts with an empty queue
    EXPECT_EQ(store.queuedRecords(), 0u);
    appendAgs(store, 3, 250);
    EXPECT_TRUE(store.flashWriteBuffer());
    EXPECT_EQ(readFile(path), agsLines(200) + agsLines(3, 250));
    EXPECT_FALSE(store.hadWriteError());

    store.clearSaveFilename();  // Off: records are stored only
    appendAgs(store, 200, 300);
    EXPECT_EQ(store.queuedRecords(), 0u);
    EXPECT_EQ(readFile(path), agsLines(200) + agsLines(3, 250));
}

TEST(StreamedSave, AFullDiskIsReportedOnceAndNoRecordIsLost) {
    RecordingReporter reporter;
    VRAXSensorData store;
    store.setReporter(&reporter);
    startDownload(store, "/dev/full");
    appendAgs(store, 1000);
    EXPECT_FALSE(store.flashWriteBuffer());
    ASSERT_EQ(reporter.calls.size(), 1u);
    EXPECT_EQ(reporter.calls[0].first, "データ書き込み中にエラーが発生しました．\n");
    EXPECT_EQ(reporter.calls[0].second, "Error");
    EXPECT_EQ(store.queuedRecords(), 1000u);
    EXPECT_TRUE(store.hadWriteError());

    // A save file in a folder that does not exist: reported when it is made,
    // and the batches that follow do not repeat the message.
    TempDir dir;
    startDownload(store, dir / "missing/d.csv");
    appendAgs(store, 500);
    EXPECT_FALSE(store.flashWriteBuffer());
    EXPECT_EQ(reporter.calls.size(), 2u);
    EXPECT_EQ(store.queuedRecords(), 500u);
}

TEST(StreamedSave, AFileThatComesBackGetsTheQueuedRecordsInOrder) {
    RecordingReporter reporter;
    TempDir dir;
    const std::string path = dir / "d.csv";
    VRAXSensorData store;
    store.setReporter(&reporter);
    startDownload(store, path);

    // The save file is replaced by a folder: appending fails.
    std::filesystem::remove(path);
    std::filesystem::create_directory(path);
    appendAgs(store, 150);
    EXPECT_EQ(reporter.calls.size(), 1u);

    std::filesystem::remove(path);
    writeFile(path, "");
    appendAgs(store, 250, 150);
    EXPECT_TRUE(store.flashWriteBuffer());
    EXPECT_EQ(readFile(path), agsLines(400));
    EXPECT_EQ(store.queuedRecords(), 0u);

    // A new failure after a success is a new failing run: reported again.
    std::filesystem::remove(path);
    std::filesystem::create_directory(path);
    appendAgs(store, 100, 400);
    EXPECT_EQ(reporter.calls.size(), 2u);
}

TEST(StreamedSave, AShortWriteLeavesOnlyWholeLinesInTheFile) {
    TempDir dir;
    const std::string path = dir / "d.csv";
    VRAXSensorData store;
    RecordingReporter reporter;
    store.setReporter(&reporter);
    startDownload(store, path);

    // The file may not grow beyond 1000 bytes, which ends inside a line.
    signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 1000;
    setrlimit(RLIMIT_FSIZE, &small);
    appendAgs(store, 100);
    setrlimit(RLIMIT_FSIZE, &old);

    const std::string partial = readFile(path);
    EXPECT_LE(partial.size(), 1000u);
    EXPECT_EQ(agsLines(100).compare(0, partial.size(), partial), 0);
    EXPECT_EQ(partial.substr(partial.size() - 2), "\r\n");
    EXPECT_EQ(reporter.calls.size(), 1u);

    EXPECT_TRUE(store.flashWriteBuffer());
    EXPECT_EQ(readFile(path), agsLines(100));
}
