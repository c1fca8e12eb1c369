// The analysis-ready ("tidy") layout of the records: one table per kind of
// record, one row per sample, columns named after what they hold. The tidy
// CSV files and the HDF5 export both take their names from here.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "store/SensorDataRecord.h"

namespace tidy {

// The two time columns every table starts with: the time stamp in
// milliseconds as recorded, and seconds from the first sample of the file.
inline constexpr const char* kTimeMs = "time_ms";
inline constexpr const char* kTimeS = "time_s";
// With a start on UTC: the sample's instant as ISO 8601 UTC and as Unix seconds.
inline constexpr const char* kTimeUtc = "time_utc";
inline constexpr const char* kTimeUnix = "time_unix";

// The kind's short name ("ags", "press", "ext16ad"), used in file and table
// names; null for a code that names no kind.
const char* kindName(int dataType);

// How many of the record's values[] go into the table, in slot order: every
// value of the kind, less the four filtered 16-bit AD values when
// `filteredAd16` is false. 0 for a code that names no kind.
int valueColumns(int dataType, bool filteredAd16);

// All column names of the kind's table, the two time columns first.
std::vector<std::string> columnNames(int dataType, bool filteredAd16);

// The values a column can take as the sensor sends it, in raw counts: the
// limits of its field (24-bit, 16-bit, a byte, a bit). A value at either
// limit of a 16- or 24-bit field may be a saturated reading.
struct ValueRange {
    int64_t min = 0, max = 0;
    int bits = 0;  // width of the field; 0 for a value the decoder derives
    bool mayClip() const { return bits >= 16; }
};
// The range of values[slot] of the kind; bits 0 for a slot it does not have.
ValueRange valueRange(int dataType, int slot);

// The unit of every raw value column: the sensor's counts, unscaled.
inline constexpr const char* kCountUnit = "count";
// The unit of a time column ("ms", "s"; empty for time_utc, a text).
const char* timeUnit(const std::string& column);

// A physical scale the user gave for one value column: the count times
// `factor` is a value in `unit`. Unset (factor 0): raw counts only.
struct ColumnScale {
    double factor = 0;
    std::string unit;
    bool set() const { return factor != 0; }
};

// The scales of one source, per kind and value slot.
struct Scales {
    // Not constant-initialised: clang 14 crashes evaluating the whole table
    // as a constant.
    Scales() {}
    std::array<std::array<ColumnScale, 12>, 7> slots;  // every one unset
    const ColumnScale& of(int dataType, int slot) const;
    bool any() const;
};

// The scaled column of `column` in `unit`: "acc_x" in "m/s^2" is
// "acc_x_m_per_s2" (letters and digits kept, "/" read as "per", anything
// else an underscore).
std::string scaledName(const std::string& column, const std::string& unit);

// The time stamp as recorded (a negative stamp from the sensor is kept negative).
inline int64_t recordedMs(const SensorDataRecord& r) {
    return static_cast<int64_t>(r.msTime);
}

// Appends `ms` milliseconds as seconds with three decimals ("-1.005"),
// exactly: no floating point on the way.
void appendSeconds(std::string& out, int64_t ms);

}  // namespace tidy
