#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "store/TextScan.h"

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

    // Entries that start at the same time are told apart by their number.
    EXPECT_EQ(csvFilePath(day, "N", start, true, 2),
              "D/memdata_20140306/memdata_N_2014-03-05_070809.045-e2-FILT.csv");
    const std::vector<std::string> starts = {"2000/01/01 00:00:00.000", "2014/03/05 07:08:09.045",
                                             "2000/01/01 00:00:00.000"};
    EXPECT_TRUE(entryNeedsNumber(starts, 0));
    EXPECT_FALSE(entryNeedsNumber(starts, 1));
    EXPECT_TRUE(entryNeedsNumber(starts, 2));
    EXPECT_FALSE(entryNeedsNumber(starts, 3));
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
    EXPECT_EQ(safeFileNamePart("VRAX610-001"), "VRAX610-001");
    EXPECT_EQ(safeFileNamePart("センサ 1"), "センサ 1");
    // A changed name carries a fingerprint of the original.
    const std::string slash = safeFileNamePart("センサ/1");
    EXPECT_EQ(slash.substr(0, slash.size() - 9), "センサ_1");
    EXPECT_EQ(slash[slash.size() - 9], '~');
    // Cut at a character boundary, never inside a UTF-8 sequence.
    const std::string cut = safeFileNamePart(std::string(40, 'a') + std::string(30, '\xe3'));
    EXPECT_EQ(cut.substr(0, 70), std::string(40, 'a') + std::string(30, '_'));
    std::string longJapanese;
    for (int i = 0; i < 50; ++i) longJapanese += "セ";
    EXPECT_EQ(safeFileNamePart(longJapanese).size(), 99u + 9u);
}

// Names that differ only where the file name had to change them still give
// different files; invisible and misleading characters never reach a name.
TEST(DownloadNaming, DifferentNamesNeverShareAFile) {
    const std::string names[] = {"A/B",
                                 "A_B",
                                 "A~B",
                                 "A\x01"
                                 "B",
                                 "A\u202E"
                                 "B",
                                 "A\u200F"
                                 "B",
                                 "A\xC2\x85"
                                 "B",  // C1 control
                                 "A\xC0\xAF"
                                 "B",  // overlong "/"
                                 "A\xED\xA0\x80"
                                 "B",  // surrogate
                                 "A\xF4\x90\x80\x80"
                                 "B",  // beyond U+10FFFF
                                 "A_B~00000000"};
    std::set<std::string> parts;
    for (const std::string& n : names) {
        const std::string part = safeFileNamePart(n);
        EXPECT_TRUE(parts.insert(part).second) << n << " -> " << part;
        for (size_t i = 0; i < part.size();) {
            uint32_t cp = 0;
            const size_t k = text::decodeUtf8(part, i, cp);
            ASSERT_GT(k, 0u) << part;
            EXPECT_FALSE(text::isControlOrBidi(cp)) << part;
            i += k;
        }
    }
    // The same name always gives the same part: --skip-existing finds it again.
    EXPECT_EQ(safeFileNamePart("A/B"), safeFileNamePart(std::string("A/B")));
    EXPECT_EQ(safeFileNamePart("A/B").substr(0, 4), "A_B~");
}
