// Leftover working files, files published together, and damaged CSV lines:
// what the store's writers and loader do when a run was killed, an output
// cannot take its name, or a line is cut or garbled.
#include <sys/stat.h>

#include "store/SafeOutput.h"
#include "store/StoreFixture.h"

namespace {

namespace fs = std::filesystem;

// A leftover under the working name is kept under an "-incomplete" name, or
// refused when it is no plain file; never removed, never written through.
TEST(HoldUpStore, LeftoverWorkingFilesAreKeptNeverRemoved) {
    struct Case {
        const char* name;
        std::function<void(const TempDir&)> plant;
        bool created;
        std::vector<std::pair<std::string, std::string>> files;  // name, content afterwards
    };
    const std::vector<Case> cases = {
        {"plain leftover",
         [](const TempDir& d) { writeFile(d / "x.csv.part", "old data"); },
         true,
         {{"x-incomplete.csv", "old data"}}},
        {"incomplete name taken",
         [](const TempDir& d) {
             writeFile(d / "x.csv.part", "old data");
             writeFile(d / "x-incomplete.csv", "older");
         },
         true,
         {{"x-incomplete.csv", "older"}, {"x-incomplete-2.csv", "old data"}}},
        {"user's own .part",
         [](const TempDir& d) { writeFile(d / "keep.bin.part", "mine"); },
         true,
         {{"keep-incomplete.bin", "mine"}}},
        {"link",
         [](const TempDir& d) {
             writeFile(d / "victim", "precious");
             fs::create_symlink(d / "victim", d / "x.csv.part");
         },
         false,
         {{"victim", "precious"}}},
        {"folder", [](const TempDir& d) { fs::create_directory(d / "x.csv.part"); }, false, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir d;
        c.plant(d);
        const std::string final =
            std::string(c.name) == "user's own .part" ? d / "keep.bin" : d / "x.csv";
        safeout::OutputFile out;
        EXPECT_EQ(out.create(final), c.created) << out.error();
        for (const auto& [name, content] : c.files) EXPECT_EQ(readFile(d / name), content) << name;
        if (!c.created) {
            EXPECT_TRUE(fs::exists(fs::symlink_status(final + ".part")));
            EXPECT_NE(out.error().find("in the way"), std::string::npos) << out.error();
        }
    }
}

// A file written but not yet published (one of several published together)
// still holds its lock: another writer of that name is refused and nothing
// of it is moved.
TEST(HoldUpStore, FilesWaitingToBePublishedKeepTheirLock) {
    TempDir d;
    safeout::OutputFile first;
    ASSERT_TRUE(first.create(d / "p-0.csv"));
    first.write("abc", 3);
    ASSERT_TRUE(first.close());
    safeout::OutputFile second;
    EXPECT_FALSE(second.create(d / "p-0.csv"));
    EXPECT_EQ(second.errorNumber(), EBUSY);
    EXPECT_FALSE(fs::exists(d / "p-0-incomplete.csv"));
    ASSERT_TRUE(first.publish(safeout::Existing::refuse));
    EXPECT_EQ(readFile(d / "p-0.csv"), "abc");
}

// Files published together: a target that cannot be taken (a folder, an
// existing file with `refuse`) fails the whole group before anything moves.
TEST(HoldUpStore, FilesPublishedTogetherAllOrNone) {
    for (safeout::Existing existing : {safeout::Existing::replace, safeout::Existing::refuse}) {
        TempDir d;
        writeFile(d / "a.csv", "old a");
        fs::create_directory(d / "c.h5");
        safeout::OutputFile a, b, c;
        for (auto [file, name] : {std::pair{&a, "a.csv"}, {&b, "b.csv"}, {&c, "c.h5"}}) {
            ASSERT_TRUE(file->create(d / name));
            file->write("new", 3);
        }
        std::string error;
        EXPECT_FALSE(safeout::publishAll({&a, &b, &c}, existing, error));
        EXPECT_NE(error.find(existing == safeout::Existing::refuse ? "a.csv" : "c.h5"),
                  std::string::npos)
            << error;
        EXPECT_EQ(readFile(d / "a.csv"), "old a");
        EXPECT_FALSE(fs::exists(d / "b.csv"));
        EXPECT_TRUE(fs::is_directory(d / "c.h5"));
    }
}

// An empty field is a missing one (the line is left out); a time or value
// that is no number or out of range is loaded as read and counted.
TEST(HoldUpStore, CsvLinesWithEmptyOrDoubtfulFields) {
    struct Case {
        const char* line;
        bool loaded;
        bool doubtful;
    };
    const Case cases[] = {
        {"ags,1010,1,2,3,4,5,6", true, false},
        {"ags,1010,1,2,3,4,5,", false, false},  // cut after a comma
        {"ags,1010,1,2,3,4,5", false, false},   // cut before it
        {"ags,1010,1,,3,4,5,6", false, false},  // a field left empty
        {"ags,1010,1, ,3,4,5,6", false, false},
        {"ags,x,1,2,3,4,5,6", true, true},  // the time is no number
        {"ags,1010,1,2,y,4,5,6", true, true},
        {"ags,1010,1,2,3,4,5,99999999999", true, true},  // beyond a value's range
        {"ags,-5,1,2,3,4,5,6", true, true},              // a time before 1970
        {"ags,1010,1,2,3,4,5,6,,", true, false},         // more fields than needed
    };
    TempDir d;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        writeFile(d / "line.csv", std::string(c.line) + "\n");
        CsvLoadReport report;
        ASSERT_TRUE(VRAXSensorData::countRecordsInCSV(d / "line.csv", report));
        EXPECT_EQ(report.records, c.loaded ? 1u : 0u);
        EXPECT_EQ(report.skippedLines, c.loaded ? 0u : 1u);
        EXPECT_EQ(report.doubtfulLines, c.loaded && c.doubtful ? 1u : 0u);
    }
}

}  // namespace
