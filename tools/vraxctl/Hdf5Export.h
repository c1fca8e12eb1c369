// The tidy tables of a stream of records as one HDF5 file: one group per
// source ("/<source name>"), in it one group per kind of record present
// ("/<source>/ags", ...), and in that one 1-D dataset per column, of the
// column's own type: time_ms int64, time_s (and time_unix) float64, time_utc
// 24-character ISO 8601 text, raw values int32, scaled values float64. Every
// dataset is chunked and deflate-compressed and says its "units" ("count"
// for raw values) and, for raw values, its "valid_range"; a kind's group
// lists its columns in order ("columns"). The source's sidecar is on its
// group as attributes, and what all sources share is on the file.
//
// The file is written straight into the working file of a safe output, a
// block of rows at a time, so memory stays the same whatever the number of
// records.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "store/SafeOutput.h"
#include "store/SensorDataRecord.h"
#include "store/TidyColumns.h"
#include "store/TidyCsv.h"

namespace hdf5out {

// True when the program was built with HDF5.
bool available();

// An attribute of the file or of a group: a number or a text.
struct Attribute {
    std::string name;
    std::variant<int64_t, double, std::string> value;
    bool operator==(const Attribute&) const = default;
};

// One source's group and what its tables need.
struct Group {
    std::string name;
    std::vector<Attribute> attributes;
    std::vector<tidy::Table> tables;
    int64_t origin = 0;  // the time stamp time_s counts from
    bool filteredAd16 = false;
    std::optional<int64_t> utcStart;  // time_utc and time_unix when set
    tidy::Scales scales;
};

class Writer {
  public:
    Writer();
    ~Writer();
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    // Makes the HDF5 file in `out`'s working file (made and held by `out`)
    // with the file's attributes; false with `error` set.
    bool open(const safeout::OutputFile& out, const std::vector<Attribute>& attributes,
              std::string& error);
    // Makes a source's group and datasets, ending the one before; the rows
    // that follow go there. False with `error` set.
    bool beginGroup(const Group& group, std::string& error);
    // One row into its kind's datasets of the current group.
    void add(const SensorDataRecord& r);
    // Writes the last rows and closes the file; false with `error` set when
    // anything failed or a table did not get the rows it was made for.
    bool finish(std::string& error);

  private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

}  // namespace hdf5out
