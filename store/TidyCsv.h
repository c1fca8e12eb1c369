// Tidy CSV files of a store: one file per kind of record present, named
// "<stem>_<kind>.csv", with one header row of column names (TidyColumns.h),
// one row per sample, commas and LF line ends, nothing quoted. Files are
// written under their working names and take their names only when all are
// whole, so a failed export leaves nothing behind.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "store/SafeOutput.h"

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

// "<dir>/<stem>_<kind>.csv".
std::string csvPath(const std::string& dir, const std::string& stem, int dataType);

struct CsvReport {
    std::vector<std::string> files;  // the files written, in code order
    std::string error;               // why not, when it failed
};

// Writes the tidy CSV files of every kind present into `dir` (which exists).
// `filteredAd16`: the 16-bit AD table has the filtered columns too.
bool writeCsvFiles(const VRAXSensorData& store, const std::string& dir, const std::string& stem,
                   bool filteredAd16, safeout::Existing existing, CsvReport& report);

}  // namespace tidy
