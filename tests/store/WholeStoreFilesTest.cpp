#include <sys/stat.h>

#include <cstring>

#include "StoreFixture.h"

namespace {

void appendOneOfEachKind(VRAXSensorData& store) {
    int32_t v[12];
    for (int i = 0; i < 12; ++i) v[i] = i * 7 - 20;
    const int32_t ad[] = {1, 2, 10, 15, 100, -200, 300, 400, 11, 22, 33, 44};
    for (int kind = ags; kind <= qags; ++kind)
        store.appendSensorData(uint64_t(kind) * 100, kind, v);
    store.appendSensorData(600, ext16ad, ad);
}

}  // namespace

TEST(WholeStoreCsv, SplitsByLineCountAndUsesTheWholeStoreHeads) {
    TempDir dir;
    VRAXSensorData store;
    appendAgs(store, 5);
    EXPECT_TRUE(store.saveToFileByCSV(dir / "P", 2, 0));
    EXPECT_EQ(readFile(dir / "P-0.csv"), agsLines(2, 0, "\n"));
    EXPECT_EQ(readFile(dir / "P-1.csv"), agsLines(2, 2, "\n"));
    EXPECT_EQ(readFile(dir / "P-2.csv"), agsLines(1, 4, "\n"));
    EXPECT_FALSE(std::filesystem::exists(dir / "P-3.csv"));

    VRAXSensorData four;
    appendAgs(four, 4);
    EXPECT_TRUE(four.saveToFileByCSV(dir / "Q", 2, 1));
    EXPECT_EQ(readFile(dir / "Q-1.csv"), agsLines(2, 2, "\r\n"));
    // A count that divides evenly makes no empty last part.
    EXPECT_FALSE(std::filesystem::exists(dir / "Q-2.csv"));

    for (int limit : {0, -3}) {
        EXPECT_TRUE(four.saveToFileByCSV(dir / ("R" + std::to_string(limit)), limit, -1));
        EXPECT_EQ(readFile(dir / ("R" + std::to_string(limit) + ".csv")), agsLines(4, 0, "\r"));
    }

    // qags gives no line but still counts; 16-bit AD gets the lower-case head
    // and only its raw values.
    VRAXSensorData kinds;
    kinds.setWriteAD16FilterdData(true);
    appendOneOfEachKind(kinds);
    EXPECT_TRUE(kinds.saveToFileByCSV(dir / "K", 6, 2));
    EXPECT_EQ(readFile(dir / "K-1.csv"), "e12af,600,100,-200,300,400\r");
    EXPECT_EQ(readFile(dir / "K-0.csv").find("qags"), std::string::npos);
}

TEST(WholeStoreFiles, SavesThatCannotWriteReturnFalse) {
    TempDir dir;
    VRAXSensorData store;
    appendAgs(store, 3000);  // more than one write buffer
    EXPECT_FALSE(store.saveToFileByCSV(dir / "missing/P", 0, 1));
    EXPECT_FALSE(store.saveToFileByBin(dir / "missing/P"));
    std::filesystem::create_directory(dir / "D.bin");
    EXPECT_FALSE(store.saveToFileByBin(dir / "D"));
}

TEST(BinaryDump, RoundTripIsRecordForRecordAndFailuresLeaveTheStoreAlone) {
    TempDir dir;
    VRAXSensorData store;
    store.setCurDate(2026, 12, 7);
    appendOneOfEachKind(store);
    appendAgs(store, 5000);  // across a chunk of the record list
    ASSERT_TRUE(store.saveToFileByBin(dir / "P"));
    EXPECT_EQ(std::filesystem::file_size(dir / "P.bin"), store.count() * 96);

    VRAXSensorData loaded;
    appendAgs(loaded, 3);
    EXPECT_FALSE(loaded.loadFromFileByBin(dir / "P"));  // the name needs ".bin"
    EXPECT_EQ(loaded.count(), 3u);
    ASSERT_TRUE(loaded.loadFromFileByBin(dir / "P.bin"));
    ASSERT_EQ(loaded.count(), store.count());
    for (uint64_t i = 0; i < store.count(); ++i)
        ASSERT_EQ(std::memcmp(loaded.getDataByIndex(i), store.getDataByIndex(i), 96), 0) << i;

    // A tail shorter than a record is not kept.
    std::string bytes = readFile(dir / "P.bin").substr(0, 96 * 2 + 50);
    writeFile(dir / "T.bin", bytes);
    ASSERT_TRUE(loaded.loadFromFileByBin(dir / "T.bin"));
    EXPECT_EQ(loaded.count(), 2u);
    EXPECT_EQ(loaded.ignoredBytesOfLastLoad(), 50u);

    VRAXSensorData empty;
    ASSERT_TRUE(empty.saveToFileByBin(dir / "E"));
    EXPECT_EQ(std::filesystem::file_size(dir / "E.bin"), 0u);
    EXPECT_TRUE(loaded.loadFromFileByBin(dir / "E.bin"));
    EXPECT_EQ(loaded.count(), 0u);
}

TEST(CsvLoad, ReadsBackEveryDownloadLineKindWithAnyLineEnd) {
    TempDir dir;
    VRAXSensorData store;
    const std::string path = dir / "d.csv";
    store.setWriteAD16FilterdData(true);
    store.setSaveFilename(path);
    store.setSaveFlag();
    appendOneOfEachKind(store);
    ASSERT_TRUE(store.flashWriteBuffer());
    ASSERT_EQ(store.finishSaveFile(true).kind, SaveFileEnd::complete);

    VRAXSensorData loaded;
    ASSERT_TRUE(loaded.loadFromFileByCSV(path));
    ASSERT_EQ(loaded.count(), store.count());
    for (uint64_t i = 0; i < store.count(); ++i) {
        const SensorDataRecord& a = *store.getDataByIndex(i);
        const SensorDataRecord& b = *loaded.getDataByIndex(i);
        EXPECT_EQ(a.dataType, b.dataType);
        EXPECT_EQ(a.msTime, b.msTime);
        EXPECT_STREQ(a.timeStr, b.timeStr);
        EXPECT_STREQ(b.dateStr, "");
        // Filtered 16-bit AD values are written but not read back.
        const int n = a.dataType == ext16ad ? 8 : valueCount(a.dataType);
        for (int k = 0; k < 14; ++k) EXPECT_EQ(b.values[k], k < n ? a.values[k] : 0) << i << k;
    }

    for (const char* eol : {"\r\n", "\r", "\n"}) {
        writeFile(path, std::string("ags,1,1,2,3,4,5,6") + eol + "ags,2,1,2,3,4,5,6" + eol);
        ASSERT_TRUE(loaded.loadFromFileByCSV(path));
        EXPECT_EQ(loaded.count(), 2u);
        EXPECT_EQ(loaded.getDataByIndex(1)->msTime, 2u);
    }
}

TEST(CsvLoad, SkipsWhatItDoesNotKnowAndReadsNumbersLeniently) {
    TempDir dir;
    const std::string path = dir / "d.csv";
    writeFile(path,
              "press temp,5000,101325,2500\n"
              "ead1A0F,100,1,2,3,4\n"
              "e1a0f,100,1,2,3,4\n"
              "AGS,1,1,2,3,4,5,6\n"
              "ags ,1,1,2,3,4,5,6\n"
              "ags\n"
              "ags,3,1,2\n"        // cut short
              "ags,3,1,2,3,4,5\n"  // only the last value missing
              "qags,7,1,2,3,4,5,6,7,8\n"
              "ead1111,5,1,2,3\n"
              "press temp,5000,101325\n"
              "ead00000,1,1,2,3,4\n"
              "\n"
              "geo, -42x,7,junk,99999999999,extra\n"
              "qags,7,1,2,3,4,5,6,7,8,9,10\n");
    VRAXSensorData store;
    appendAgs(store, 2);
    ASSERT_TRUE(store.loadFromFileByCSV(path));
    ASSERT_EQ(store.count(), 4u);

    const SensorDataRecord& p = *store.getDataByIndex(0);
    EXPECT_EQ(p.dataType, press);
    EXPECT_EQ(p.msTime, 5000u);
    EXPECT_EQ(std::vector<int32_t>(p.values, p.values + 3),
              (std::vector<int32_t>{101325, 2500, 0}));

    const SensorDataRecord& e = *store.getDataByIndex(1);
    EXPECT_EQ(e.dataType, ext16ad);
    const int32_t ead[] = {1, 10, 0, 15, 1, 2, 3, 4};
    for (int k = 0; k < 8; ++k) EXPECT_EQ(e.values[k], ead[k]) << k;

    const SensorDataRecord& g = *store.getDataByIndex(2);
    EXPECT_EQ(g.dataType, geo);
    EXPECT_EQ(int64_t(g.msTime), -42);
    EXPECT_EQ(std::vector<int32_t>(g.values, g.values + 3),
              (std::vector<int32_t>{7, 0, INT32_MAX}));
    EXPECT_EQ(std::strlen(g.timeStr), 9u);

    EXPECT_EQ(store.getDataByIndex(3)->values[9], 10);

    // Filtered 16-bit AD values load only when asked for.
    writeFile(path, "ead1111,5,1,2,3,4,-5,6,7,8\nead1111,6,1,2,3,4\n");
    VRAXSensorData filtered;
    ASSERT_TRUE(filtered.loadFromFileByCSV(path));
    EXPECT_EQ(filtered.getDataByIndex(0)->values[8], 0);
    filtered.setReadAD16FilterdData(true);
    ASSERT_TRUE(filtered.loadFromFileByCSV(path));
    ASSERT_EQ(filtered.count(), 2u);
    const int32_t withFiltered[] = {1, 1, 1, 1, 1, 2, 3, 4, -5, 6, 7, 8};
    for (int k = 0; k < 12; ++k) EXPECT_EQ(filtered.getDataByIndex(0)->values[k], withFiltered[k]);
    EXPECT_EQ(filtered.getDataByIndex(1)->values[8], 0);

    // Missing and non-UTF-8 files leave the store as it was (unreadable ones: below).
    EXPECT_FALSE(store.loadFromFileByCSV(dir / "none.csv"));
    writeFile(path, "ags,1,1,2,3,4,5,6\n\xff\xfe\n");
    EXPECT_FALSE(store.loadFromFileByCSV(path));
    EXPECT_EQ(store.count(), 4u);

    EXPECT_EQ(VRAXSensorData::checkSensCommand("ext data"), ext);
    EXPECT_EQ(VRAXSensorData::checkSensCommand("eadXYZW"), ext16ad);
    EXPECT_EQ(VRAXSensorData::checkSensCommand("ead123"), unknown);
}

TEST(CsvLoad, ReadsInBlocksWhateverTheLineEndsAndSizes) {
    TempDir dir;
    const std::string path = dir / "big.csv";
    // Lines across every block boundary, a CR LF split between two blocks
    // somewhere, a byte-order mark first, and lines it cannot use.
    const int n = 60000;  // about 2 MB
    for (const char* eol : {"\r\n", "\r", "\n"}) {
        writeFile(path, "\xEF\xBB\xBF" + agsLines(n, 0, eol) + "e1a0f,1,2,3,4,5" + eol +
                            std::string(10000, 'x') + eol + "ags,1,2" + eol);
        VRAXSensorData store;
        ASSERT_TRUE(store.loadFromFileByCSV(path)) << store.lastCSVLoad().error;
        ASSERT_EQ(store.count(), uint64_t(n));
        EXPECT_EQ(store.getDataByIndex(0)->msTime, 0u);  // the mark did not cost the first line
        EXPECT_EQ(store.getDataByIndex(n - 1)->values[0], n - 1);
        EXPECT_EQ(store.lastCSVLoad().skippedLines, 3u);  // whole-store head, overlong, cut short
        CsvLoadReport counted;
        ASSERT_TRUE(VRAXSensorData::countRecordsInCSV(path, counted));
        EXPECT_EQ(counted.records, uint64_t(n));
    }

    // A file of one line end kind decides for all: LF lines with one CR LF
    // split at the CR LF only, as before.
    writeFile(path, "ags,1,1,2,3,4,5,6\nags,2,1,2,3,4,5,6\r\nags,3,1,2,3,4,5,6\n");
    VRAXSensorData store;
    ASSERT_TRUE(store.loadFromFileByCSV(path));
    EXPECT_EQ(store.count(), 2u);

    // Not UTF-8 anywhere (also far behind the first block): refused.
    writeFile(path, agsLines(n) + "\xC0\xAF\r\n");
    EXPECT_FALSE(store.loadFromFileByCSV(path));
    EXPECT_EQ(store.count(), 2u);
}

// What the reader carries from one block to the next: a character of
// several bytes split by a block's end (the file is still UTF-8), and a line
// too long to keep that spans blocks (it alone is skipped).
TEST(CsvLoad, CarriesCharactersAndLongLinesAcrossBlocks) {
    TempDir dir;
    const std::string path = dir / "across.csv";
    std::string japanese;
    for (int i = 0; i < 1300; ++i) japanese += "\xE6\xB8\xAC";  // U+6E2C, three bytes
    const int pairs = 700;  // about 2.8 MB: blocks end inside the text lines
    // Shifted by one and two bytes, at least two of the three files split a
    // character at every block end.
    for (int shift = 0; shift < 3; ++shift) {
        std::string text = std::string(size_t(shift), 'x') + "\r\n";
        for (int i = 0; i < pairs; ++i) text += agsLines(1, i) + japanese + "\r\n";
        writeFile(path, text);
        VRAXSensorData store;
        ASSERT_TRUE(store.loadFromFileByCSV(path)) << shift << ": " << store.lastCSVLoad().error;
        EXPECT_EQ(store.count(), uint64_t(pairs)) << shift;
    }

    // Longer than any block, between records and first in the file.
    const std::string longLine(3 << 20, 'y');
    for (const std::string& text :
         {agsLines(50) + longLine + "\r\n" + agsLines(50, 50), longLine + "\r\n" + agsLines(100)}) {
        writeFile(path, text);
        VRAXSensorData store;
        ASSERT_TRUE(store.loadFromFileByCSV(path)) << store.lastCSVLoad().error;
        ASSERT_EQ(store.count(), 100u);
        EXPECT_EQ(store.getDataByIndex(99)->values[0], 99);
        EXPECT_EQ(store.lastCSVLoad().skippedLines, 1u);
    }
}

TEST(CsvLoad, RefusesWhatIsNotARegularFileAtOnce) {
    TempDir dir;
    VRAXSensorData store;
    appendAgs(store, 2);
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    std::filesystem::create_symlink("/dev/zero", dir / "zero.csv");
    for (const std::string& path : {dir / "fifo", dir / "zero.csv", dir.path().string()}) {
        EXPECT_FALSE(store.loadFromFileByCSV(path)) << path;
        EXPECT_FALSE(store.lastCSVLoad().error.empty());
        EXPECT_FALSE(store.loadFromFileByBin(path)) << path;
    }
    EXPECT_EQ(store.count(), 2u);
}

TEST(WholeStoreCsv, AFailedSaveLeavesNothingAndExistingFilesAlone) {
    TempDir dir;
    VRAXSensorData store;
    appendAgs(store, 10);
    const int32_t ten[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    store.appendSensorData(200, qags, ten);

    // Download lines: every kind, counted; the whole-store style leaves qags out.
    CsvSaveOptions options;
    options.limitLines = 4;
    options.style = csv::LineStyle::streamed;
    options.existing = safeout::Existing::refuse;
    CsvSaveReport report;
    ASSERT_TRUE(store.saveCSVFiles(dir / "s", options, report)) << report.error;
    EXPECT_EQ(report.files, VRAXSensorData::csvFileNames(dir / "s", 4, 11));
    EXPECT_EQ(report.files.size(), 3u);
    EXPECT_EQ(report.lines, 11u);
    EXPECT_EQ(readFile(dir / "s-2.csv"), agsLines(2, 8) + "qags,200,1,2,3,4,5,6,7,8,9,10\r\n");
    options.style = csv::LineStyle::wholeStore;
    options.limitLines = 0;
    ASSERT_TRUE(store.saveCSVFiles(dir / "w", options, report));
    EXPECT_EQ(report.lines, 10u);
    EXPECT_EQ(report.leftOut, 1u);

    // One part already there: refused, and the parts written before it are gone again.
    writeFile(dir / "t-1.csv", "mine");
    options.limitLines = 4;
    EXPECT_FALSE(store.saveCSVFiles(dir / "t", options, report));
    EXPECT_EQ(readFile(dir / "t-1.csv"), "mine");
    EXPECT_FALSE(std::filesystem::exists(dir / "t-0.csv"));
    EXPECT_FALSE(std::filesystem::exists(dir / "t-2.csv"));
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
        EXPECT_EQ(e.path().string().find(".part"), std::string::npos) << e.path();

    // The binary dump the same way: never through a link at its name.
    writeFile(dir / "victim", "precious");
    std::filesystem::create_symlink(dir / "victim", dir / "b.bin");
    std::string error;
    EXPECT_FALSE(store.saveBinFile(dir / "b.bin", safeout::Existing::refuse, error));
    EXPECT_FALSE(error.empty());
    ASSERT_TRUE(store.saveToFileByBin(dir / "b"));  // asked to replace: the link goes
    EXPECT_EQ(readFile(dir / "victim"), "precious");
    EXPECT_EQ(std::filesystem::file_size(dir / "b.bin"), 11u * 96u);
}
