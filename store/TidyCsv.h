// Tidy CSV files of a store or of a stream of records: one file per kind of
// record present, named "<stem>_<kind>.csv", with one header row of column
// names (TidyColumns.h), one row per sample, commas and LF line ends,
// nothing quoted. Files are written under their working names and take
// their names only when all are whole, so a failed export leaves nothing
// behind.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "store/SafeOutput.h"
#include "store/SensorDataRecord.h"
#include "store/TidyColumns.h"

namespace fileio {
class BufferedFile;
}

class VRAXSensorData;

namespace tidy {

struct Table {
    int dataType = 0;
    uint64_t rows = 0;
};

// The kinds the store holds, in code order, with their row counts.
std::vector<Table> tablesOf(const VRAXSensorData& store);

// The time stamp every table's seconds count from: the first record's
// (0 for an empty store).
int64_t timeOrigin(const VRAXSensorData& store);

// True when some 16-bit AD record carries filtered values.
bool hasFilteredAd16(const VRAXSensorData& store);

inline constexpr size_t kKinds = 7;

// What the tables of a stream of records need to know before the first row
// is written, gathered in one pass over the records.
class Survey {
  public:
    void add(const SensorDataRecord& r);
    std::vector<Table> tables() const;
    int64_t origin() const { return origin_; }
    bool hasFilteredAd16() const { return filtered_; }
    uint64_t records() const { return records_; }

  private:
    std::array<uint64_t, kKinds> rows_{};
    int64_t origin_ = 0;
    uint64_t records_ = 0;
    bool filtered_ = false;
};

// Writes `unixMs` as "YYYY-MM-DDThh:mm:ss.mmmZ" (24 characters; a year
// outside 0-9999 as the plain number) at `at`; the end of what it wrote.
char* isoUtcInto(char* at, int64_t unixMs);
inline constexpr size_t kIsoUtcLength = 24;

// "<dir>/<stem>_<kind>.csv".
std::string csvPath(const std::string& dir, const std::string& stem, int dataType);

struct CsvReport {
    std::vector<std::string> files;  // the files written, in code order
    std::string error;               // why not, when it failed
};

// The tidy CSV files of the `tables`, written a row at a time.
class CsvTables {
  public:
    CsvTables();
    ~CsvTables();
    CsvTables(const CsvTables&) = delete;
    CsvTables& operator=(const CsvTables&) = delete;

    // Adds the time_utc and time_unix columns: the recording started at
    // `startUnixMs` (UTC) and time stamps count ms from that start. Before open.
    void setUtcStart(int64_t startUnixMs) { utcStart = startUnixMs; }
    // Adds a physical-unit column after the raw ones for every value column
    // with a scale (scaledName). Before open.
    void setScales(const Scales& s) { scales = s; }
    // Creates the working files and writes their header rows; false with `error` set.
    bool open(const std::string& dir, const std::string& stem, const std::vector<Table>& tables,
              int64_t origin, bool filteredAd16, std::string& error);
    // One row into its kind's file (records of no kind present are left out).
    void add(const SensorDataRecord& r);
    // Writes what is buffered; false with `error` set when a file could not be written.
    bool flush(std::string& error);
    // The working files, in code order, for publishAll.
    std::vector<safeout::OutputFile*> outputs() const;

  private:
    std::array<std::unique_ptr<fileio::BufferedFile>, kKinds> files;
    std::vector<fileio::BufferedFile*> order;  // the files made, in code order
    int64_t origin = 0;
    bool filtered = false;
    std::optional<int64_t> utcStart;
    Scales scales;
    std::string seconds;
};

// Writes the tidy CSV files of every kind present into `dir` (which exists).
// `filteredAd16`: the 16-bit AD table has the filtered columns too. The
// written files of `alongWith` (another output of the same run) take their
// names together with them: all or none.
bool writeCsvFiles(const VRAXSensorData& store, const std::string& dir, const std::string& stem,
                   bool filteredAd16, safeout::Existing existing, CsvReport& report,
                   const std::vector<safeout::OutputFile*>& alongWith = {});

}  // namespace tidy
