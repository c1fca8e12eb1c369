// The metadata sidecar of a data file: "<data file name>.json" beside it,
// saying what the file holds and when it was recorded: the tool, the
// sensor, the entry, the start on the sensor's clock and on UTC, the clock
// correction, the settings, record counts, saturated values per column and
// the file's SHA-256. The data file itself is never changed.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "store/SafeOutput.h"
#include "store/TimeText.h"

namespace sidecar {

// "<data path>.json".
std::string pathFor(const std::string& dataPath);

enum class ClockSource {
    sensor,  // the start was read from the sensor's clock
    host,    // the computer's clock (live files)
};

struct Description {
    std::string tool = "vraxctl";
    std::string toolVersion;
    std::string fileKind;  // "download", "live", "binary dump", "conversion"
    bool complete = true;  // false: an interrupted file ("-incomplete")
    std::string incompleteReason;
    int part = -1;  // part number of a split file (from 0, as in its name); -1: not split

    std::string sensorName, sensorAddress, sensorModel, firmware, label;
    std::optional<int> entry;

    // The start as the clock gave it: local wall time of the computer
    // that set the clock.
    std::optional<timetext::CivilTime> start;
    ClockSource clockSource = ClockSource::sensor;
    // That clock against the host's wall time (+: the clock is ahead), when
    // measured, with the bound of the measurement and the drift since the
    // clock was last set; measuredUtcMs is when it was measured.
    std::optional<double> clockOffsetMs, clockBoundMs, driftPpm;
    std::optional<int64_t> measuredUtcMs;
    // Why that measurement does not describe the clock at the start (it was
    // set or reset in between); empty when it does. The start is then not corrected.
    std::string clockNotApplicable;

    int64_t expectedRecords = -1;  // -1: no expected count (live)

    std::string settingsSentJson;  // the configuration sent, JSON object text; empty: none
    std::optional<int> accRangeRead, gyroRangeRead;  // read at download
    std::optional<std::array<int, 4>> ad16Gains;
    bool filtered = false;  // 16-bit AD lines carry the filtered values

    // False for a table of another layout (an export): its records are not
    // counted, and it is not hashed (an export is made again from its source,
    // whose sidecar it carries, and hashing would double the export's time).
    bool downloadLayout = true;
    std::string sourceFile;         // a conversion's input
    std::string sourceSidecarJson;  // its sidecar, JSON object text; empty: none
};

// What the data file holds, read from the file itself.
struct FileFacts {
    uint64_t bytes = 0;
    uint64_t records = 0;
    uint64_t unreadLines = 0;  // CSV lines that gave no record
    std::array<uint64_t, 7> perKind{};
    // Values at either limit of their 16- or 24-bit field, per kind and slot.
    std::array<std::array<uint64_t, 14>, 7> saturated{};
    std::optional<int64_t> firstMs, lastMs;  // time stamps, as recorded
    bool filteredLines = false;
    std::string sha256;
};

// Reads a download-line CSV or a binary dump (by its extension) in blocks;
// with `records` false only its size.
bool scanDataFile(const std::string& path, FileFacts& facts, std::string& error,
                  bool records = true);

// The start on UTC after the clock correction, and how far off it may be.
struct CorrectedStart {
    int64_t unixMs = 0;
    std::optional<double> boundMs;  // none when the clock was not measured
};
std::optional<CorrectedStart> correctedStart(const Description& d);

std::string toJson(const Description& d, const std::string& dataPath, const FileFacts& facts);

// Scans the data file and writes its sidecar through the safe-output helper
// (a sidecar already there is replaced only when `existing` says so).
bool write(const std::string& dataPath, const Description& d, safeout::Existing existing,
           std::string& error);

inline constexpr const char* kReadAtDownloadNote =
    "read at download, may differ from recording time";

}  // namespace sidecar
