#include "StoreFixture.h"
#include "support/FileSizeLimit.h"

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
        EXPECT_EQ(store.finishSaveFile(true).kind, SaveFileEnd::complete);

        std::string expected =
            "ags,1000,1,-2,3,4,5,6\r\n"
            "geo,-5,-7,8,9\r\n"
            "press temp,5000,101325,2500\r\n"
            "batt,5001,101325,2500\r\n"
            "ext data,6,1,-2,3,4,5,6\r\n"
            "qags,7,1,2,3,4,5,6,7,8,9,10\r\n";
        expected += filtered ? "ead12AF,8,100,-200,300,400,11,22,33,44\r\n"
                             : "ead12AF,8,100,-200,300,400\r\n";
        expected += filtered ? "eadF000,9,1,2,3,4,0,0,0,0\r\n" : "eadF000,9,1,2,3,4\r\n";
        EXPECT_EQ(readFile(path), expected);
    }
}

TEST(StreamedSave, RecordsGoOutInBatchesOfOneHundredAndTheRestAtTheFlush) {
    TempDir dir;
    const std::string path = dir / "d.csv";
    VRAXSensorData store;
    writeFile(path, "old content");
    startDownload(store, path);
    const std::string working = store.workingFilename();
    EXPECT_EQ(working, path + ".part");
    EXPECT_EQ(readFile(working), "");  // a new download starts an empty working file
    EXPECT_EQ(readFile(path), "old content");

    appendAgs(store, 99);
    EXPECT_EQ(readFile(working), "");
    appendAgs(store, 1, 99);
    EXPECT_EQ(readFile(working), agsLines(100));
    appendAgs(store, 150, 100);
    EXPECT_EQ(readFile(working), agsLines(200));
    EXPECT_EQ(store.queuedRecords(), 50u);

    // Stopped: the queue stays and a flush writes nothing.
    store.clearSaveFlag();
    EXPECT_TRUE(store.flashWriteBuffer());
    EXPECT_EQ(readFile(working), agsLines(200));
    EXPECT_EQ(store.queuedRecords(), 50u);
    appendAgs(store, 5, 1000);  // late records of a finished download are dropped
    EXPECT_EQ(store.count(), 250u);

    store.setSaveFlag();  // a new run of saving starts with an empty queue
    EXPECT_EQ(store.queuedRecords(), 0u);
    appendAgs(store, 3, 250);
    EXPECT_TRUE(store.flashWriteBuffer());
    EXPECT_EQ(readFile(working), agsLines(200) + agsLines(3, 250));
    EXPECT_FALSE(store.hadWriteError());

    // Dropping the file name mid-download keeps what arrived, as incomplete;
    // the file under the final name is not touched.
    store.clearSaveFilename();
    EXPECT_EQ(readFile(dir / "d-incomplete.csv"), agsLines(200) + agsLines(3, 250));
    EXPECT_EQ(readFile(path), "old content");
    EXPECT_FALSE(std::filesystem::exists(working));
    appendAgs(store, 200, 300);  // Off: records are stored only
    EXPECT_EQ(store.queuedRecords(), 0u);
}

TEST(StreamedSave, OnlyACompleteDownloadTakesTheFinalName) {
    TempDir dir;
    const std::string path = dir / "d.csv";
    VRAXSensorData store;

    // Complete, nothing there: the final name, no working file left.
    startDownload(store, path);
    appendAgs(store, 250);
    SaveFileEnd end = store.finishSaveFile(true);
    EXPECT_EQ(end.kind, SaveFileEnd::complete);
    EXPECT_EQ(end.path, path);
    EXPECT_TRUE(end.allWritten);
    EXPECT_EQ(readFile(path), agsLines(250));
    EXPECT_FALSE(std::filesystem::exists(path + ".part"));

    // Complete again: kept beside it, or replacing it when asked.
    startDownload(store, path);
    appendAgs(store, 10, 1000);
    end = store.finishSaveFile(true);
    EXPECT_EQ(end.path, dir / "d-2.csv");
    EXPECT_EQ(readFile(path), agsLines(250));
    startDownload(store, path);
    appendAgs(store, 20, 2000);
    end = store.finishSaveFile(true, safeout::Existing::replace);
    EXPECT_EQ(end.path, path);
    EXPECT_EQ(readFile(path), agsLines(20, 2000));

    // Interrupted: kept as incomplete, numbered when that name is taken too;
    // an interrupted download that received nothing leaves no file.
    for (const char* name : {"d-incomplete.csv", "d-incomplete-2.csv"}) {
        startDownload(store, path);
        appendAgs(store, 150);
        end = store.finishSaveFile(false, safeout::Existing::replace);
        EXPECT_EQ(end.kind, SaveFileEnd::incomplete);
        EXPECT_EQ(end.path, dir / name);
        EXPECT_EQ(readFile(end.path), agsLines(150));
    }
    EXPECT_EQ(readFile(path), agsLines(20, 2000));
    startDownload(store, path);
    end = store.finishSaveFile(false);
    EXPECT_EQ(end.kind, SaveFileEnd::nothing);
    EXPECT_TRUE(end.path.empty());
    EXPECT_FALSE(std::filesystem::exists(path + ".part"));

    // A store dropped in the middle of a download keeps what arrived.
    {
        VRAXSensorData dropped;
        startDownload(dropped, dir / "e.csv");
        appendAgs(dropped, 120);
    }
    EXPECT_EQ(readFile(dir / "e-incomplete.csv"), agsLines(120));
}

TEST(StreamedSave, TheWorkingFileIsNeverAStrangersFile) {
    TempDir dir;
    const std::string path = dir / "d.csv";
    // A link planted at the working name is refused, neither followed nor removed.
    writeFile(dir / "victim", "precious");
    std::filesystem::create_symlink(dir / "victim", path + ".part");
    VRAXSensorData refused;
    startDownload(refused, path);
    EXPECT_TRUE(refused.hadWriteError());
    EXPECT_TRUE(std::filesystem::is_symlink(path + ".part"));
    refused.finishSaveFile(false);
    std::filesystem::remove(path + ".part");
    VRAXSensorData store;
    startDownload(store, path);
    appendAgs(store, 100);
    EXPECT_EQ(readFile(dir / "victim"), "precious");
    EXPECT_FALSE(std::filesystem::is_symlink(path + ".part"));
    EXPECT_EQ(readFile(path + ".part"), agsLines(100));

    // While this download runs, a second one of the same file is refused.
    // The reporter hears of it while it is set, and nothing after its scope.
    VRAXSensorData second;
    RecordingReporter reporter;
    {
        const ScopedReporter reporting(second, reporter);
        startDownload(second, path);
        EXPECT_TRUE(second.hadWriteError());
        EXPECT_NE(second.saveFileError().find("another run"), std::string::npos);
        EXPECT_EQ(reporter.calls.size(), 1u);
    }
    startDownload(second, path);
    EXPECT_TRUE(second.hadWriteError());
    EXPECT_EQ(reporter.calls.size(), 1u);
    EXPECT_EQ(readFile(path + ".part"), agsLines(100));

    // A leftover of a killed run may be the only copy of its data: the next
    // download moves it to an "-incomplete" name and never removes it.
    store.finishSaveFile(true);
    writeFile(path + ".part", "ags,1,2");
    VRAXSensorData third;
    startDownload(third, path);
    appendAgs(third, 5);
    EXPECT_EQ(third.finishSaveFile(true).path, dir / "d-2.csv");
    EXPECT_EQ(readFile(dir / "d-2.csv"), agsLines(5));
    EXPECT_EQ(readFile(dir / "d-incomplete.csv"), "ags,1,2");

    // A link planted at the final name is an existing file: kept, not followed.
    std::filesystem::create_symlink(dir / "victim", dir / "f.csv");
    VRAXSensorData fourth;
    startDownload(fourth, dir / "f.csv");
    appendAgs(fourth, 5);
    EXPECT_EQ(fourth.finishSaveFile(true).path, dir / "f-2.csv");
    EXPECT_EQ(readFile(dir / "victim"), "precious");
}

TEST(StreamedSave, AFullDiskIsReportedOnceAndNoRecordIsLost) {
    TempDir dir;
    RecordingReporter reporter;
    VRAXSensorData store;
    store.setReporter(&reporter);
    startDownload(store, dir / "d.csv");
    {
        FileSizeLimit full(0);
        appendAgs(store, 1000);
        EXPECT_FALSE(store.flashWriteBuffer());
        EXPECT_TRUE(store.isWriteFailing());
    }
    ASSERT_EQ(reporter.calls.size(), 1u);
    EXPECT_EQ(reporter.calls[0].first, "データ書き込み中にエラーが発生しました．\n");
    EXPECT_EQ(reporter.calls[0].second, "Error");
    EXPECT_EQ(store.queuedRecords(), 1000u);
    EXPECT_TRUE(store.hadWriteError());
    EXPECT_FALSE(store.saveFileError().empty());

    // Room again: the queued records go out in order with the next batch,
    // and a later failing run is reported again.
    EXPECT_TRUE(store.flashWriteBuffer());
    appendAgs(store, 100, 1000);
    EXPECT_FALSE(store.isWriteFailing());
    EXPECT_EQ(readFile(store.workingFilename()), agsLines(1100));
    {
        FileSizeLimit full(0);
        appendAgs(store, 100, 1100);
    }
    EXPECT_EQ(reporter.calls.size(), 2u);
    const SaveFileEnd end = store.finishSaveFile(true);
    EXPECT_EQ(end.kind, SaveFileEnd::complete);
    EXPECT_EQ(readFile(end.path), agsLines(1200));

    // Still full at the end: kept as incomplete, with the whole lines that
    // fit (the limit falls inside a line, which is cut off).
    startDownload(store, dir / "e.csv");
    {
        FileSizeLimit full(1000);
        appendAgs(store, 300);
        const SaveFileEnd cut = store.finishSaveFile(true);
        EXPECT_EQ(cut.kind, SaveFileEnd::incomplete);
        EXPECT_FALSE(cut.allWritten);
        const std::string kept = readFile(cut.path);
        EXPECT_LE(kept.size(), 1000u);
        EXPECT_EQ(agsLines(300).compare(0, kept.size(), kept), 0);
        EXPECT_EQ(kept.substr(kept.size() - 2), "\r\n");
    }

    // A save file in a folder that does not exist: reported when it is made.
    startDownload(store, dir / "missing/d.csv");
    appendAgs(store, 500);
    EXPECT_FALSE(store.flashWriteBuffer());
    EXPECT_EQ(store.finishSaveFile(true).kind, SaveFileEnd::nothing);
}
