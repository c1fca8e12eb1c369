// The fast CSV paths against the straightforward ones, on random records of
// every kind and on damaged lines: the formatter against snprintf, the
// one-pass line reader against splitting at every comma, the time text
// against plain division.
#include <cstring>
#include <random>

#include "StoreFixture.h"
#include "store/CsvFormat.h"
#include "support/SnprintfLines.h"
#include "support/SplitFieldsLine.h"

namespace {

// A record of `type` with values and a time from the whole range, often at the edges.
SensorDataRecord randomRecord(std::mt19937_64& rng, int type) {
    SensorDataRecord r{};
    r.dataType = type;
    auto pick32 = [&] {
        switch (rng() % 6) {
            case 0:
                return INT32_MIN;
            case 1:
                return INT32_MAX;
            case 2:
                return int32_t(rng() % 16);
            case 3:
                return -int32_t(rng() % 1000);
            default:
                return int32_t(uint32_t(rng()));
        }
    };
    for (int32_t& v : r.values) v = pick32();
    switch (rng() % 4) {
        case 0:
            r.msTime = rng();  // negative as a signed stamp, most of the time
            break;
        case 1:
            r.msTime = uint64_t(INT32_MAX) + rng() % 3;
            break;
        default:
            r.msTime = rng() % 100000000;
    }
    return r;
}

std::string formatted(const SensorDataRecord& r, csv::LineStyle style, bool filtered,
                      const char* eol, bool fast) {
    char line[csv::kMaxLineLength];
    const size_t n = fast ? csv::formatLine(r, style, filtered, eol, line)
                          : snprintfLine(r, style, filtered, eol, line);
    return std::string(line, n);
}

}  // namespace

TEST(FastPaths, FormatterWritesWhatSnprintfWrites) {
    std::mt19937_64 rng(18);
    for (int type = 0; type <= 7; ++type)
        for (int i = 0; i < 2000; ++i) {
            const SensorDataRecord r = randomRecord(rng, type);
            for (const auto style : {csv::LineStyle::streamed, csv::LineStyle::wholeStore})
                for (bool filtered : {false, true})
                    for (int code : {0, 1, 2}) {
                        const char* eol = csv::lineEnd(code);
                        ASSERT_EQ(formatted(r, style, filtered, eol, true),
                                  formatted(r, style, filtered, eol, false))
                            << "type " << type << " time " << r.msTime;
                    }
        }
}

// Nine digits also past 100 hours (99:59:59.999, then hours wrap to 00).
TEST(FastPaths, TimeTextMatchesPlainDivision) {
    std::mt19937_64 rng(7);
    const uint64_t edges[] = {0, 359999999, 360000000, UINT64_MAX};
    for (int i = 0; i < 200004; ++i) {
        const uint64_t t = i >= 200000  ? edges[i - 200000]
                           : i < 100000 ? rng()
                                        : uint64_t(i) * 3599999 + rng() % 1000;
        char fast[10], plain[10];
        makeTimeStr(t, fast);
        splitFieldsTimeStr(t, plain);
        ASSERT_EQ(std::memcmp(fast, plain, 10), 0) << t;
    }
}

// Whole files of valid and damaged lines, with both line ends, loaded with
// and without the filtered values: every record, every skipped line and the
// filtered flag as the split-at-commas reading gives them.
TEST(FastPaths, LoaderReadsWhatSplittingAtCommasReads) {
    TempDir dir;
    std::mt19937_64 rng(42);
    const std::string noise = ",,-+ 0123456789\t x";
    for (const char* eol : {"\n", "\r\n"})
        for (int round = 0; round < 6; ++round) {
            std::vector<std::string> lines;
            for (int i = 0; i < 3000; ++i) {
                const SensorDataRecord r = randomRecord(rng, int(rng() % 7));
                std::string line = formatted(r, csv::LineStyle::streamed, rng() % 2 == 0, "", true);
                switch (rng() % 8) {
                    case 0:  // cut short
                        line.resize(rng() % (line.size() + 1));
                        break;
                    case 1:  // a character changed
                        if (!line.empty()) line[rng() % line.size()] = noise[rng() % noise.size()];
                        break;
                    case 2:  // a long number, space or sign put in
                        line.insert(rng() % (line.size() + 1),
                                    rng() % 2 ? std::string("123456789012345678901234")
                                              : std::string(rng() % 2 ? " -" : "+"));
                        break;
                    case 3:  // whole-store head, or more fields
                        line += ",5,-6,7,8";
                        break;
                    default:
                        break;
                }
                lines.push_back(line);
            }
            std::string text;
            for (const std::string& l : lines) text += l + eol;
            const std::string path = dir / "lines.csv";
            writeFile(path, text);
            for (bool readFiltered : {false, true}) {
                SCOPED_TRACE(std::string(eol == std::string("\n") ? "LF" : "CRLF") + " round " +
                             std::to_string(round) + (readFiltered ? " filtered" : ""));
                std::vector<SensorDataRecord> expected;
                uint64_t skipped = 0;
                bool hadFiltered = false;
                for (const std::string& l : lines) {
                    SensorDataRecord r;
                    if (splitFieldsLine(l, r, readFiltered, &hadFiltered))
                        expected.push_back(r);
                    else if (!l.empty())
                        ++skipped;
                }
                VRAXSensorData store;
                store.setReadAD16FilterdData(readFiltered);
                ASSERT_TRUE(store.loadFromFileByCSV(path));
                ASSERT_EQ(store.count(), expected.size());
                EXPECT_EQ(store.lastCSVLoad().skippedLines, skipped);
                EXPECT_EQ(store.lastCSVLoad().filteredAD16, hadFiltered);
                for (size_t i = 0; i < expected.size(); ++i)
                    ASSERT_EQ(std::memcmp(store.getDataByIndex(i), &expected[i], 96), 0)
                        << "record " << i;
            }
        }
}
