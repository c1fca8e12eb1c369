#include <gtest/gtest.h>

#include <filesystem>

#include "sensor/DownloadNaming.h"

TEST(DownloadNaming, DayFolderAndFileNamesOfADownload) {
    EntryStart start;
    ASSERT_TRUE(parseEntryStart("2014/03/05 07:08:09.045", start));
    EXPECT_EQ(formatEntryStart(start), "2014/03/05 07:08:09.045");
    const std::string day = dayFolderPath("D", 2014, 3, 6);
    EXPECT_EQ(day, "D/memdata_20140306");
    EXPECT_EQ(csvFilePath(day, "N", start, false),
              "D/memdata_20140306/memdata_N_2014-03-05_070809.045.csv");
    EXPECT_EQ(csvFilePath(day, "N", start, true),
              "D/memdata_20140306/memdata_N_2014-03-05_070809.045-FILT.csv");
    EXPECT_FALSE(parseEntryStart("2014/03/05", start));
}

// Whatever a device calls itself, its file lands directly in the day folder.
TEST(DownloadNaming, HostileDeviceNamesStayInsideTheDayFolder) {
    namespace fs = std::filesystem;
    const EntryStart start{2020, 1, 2, 3, 4, 5, 6};
    const std::string day = "/save/memdata_20200102";
    const std::string hostile[] = {"../../etc/passwd",
                                   "a/b",
                                   "..",
                                   "/",
                                   "\x01\x1f\x7f"
                                   "x",
                                   std::string(200, 'V'),
                                   "VRAX\xff\xfe",
                                   "センサ/1",
                                   std::string("nul\0byte", 8)};
    for (const std::string& name : hostile) {
        const fs::path file = csvFilePath(day, name, start, false);
        EXPECT_EQ(file.parent_path(), fs::path(day)) << name;
        const std::string leaf = file.filename().string();
        EXPECT_LE(leaf.size(), 200u) << name;
        for (unsigned char c : leaf) EXPECT_TRUE(c >= 0x20 && c != 0x7F) << name;
    }
    EXPECT_EQ(safeFileNamePart("センサ/1"), "センサ_1");
    EXPECT_EQ(safeFileNamePart("VRAX610-001"), "VRAX610-001");
    // Cut at a character boundary, never inside a UTF-8 sequence.
    const std::string cut = safeFileNamePart(std::string(40, 'a') + std::string(30, '\xe3'));
    EXPECT_EQ(cut, std::string(40, 'a') + std::string(30, '_'));
    std::string longJapanese;
    for (int i = 0; i < 50; ++i) longJapanese += "セ";
    EXPECT_EQ(safeFileNamePart(longJapanese).size(), 99u);
}
