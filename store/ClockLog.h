// The clock log of a save folder ("clock-log.tsv"): one tab-separated line per
// clock event of a sensor (set, probe, record-start, download) with the
// offset and bound measured then, so files can later be put on UTC. Lines
// are appended whole (one write each); reading keeps bounded memory.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace timebase {

inline constexpr const char* kClockLogName = "clock-log.tsv";
// Column names, in order.
inline constexpr const char* kClockLogHeader =
    "utc\tsensor\taddress\tevent\toffset_ms\tbound_ms\tdrift_ppm\tentry\tdetail";

namespace event {
inline constexpr const char* set = "set";
inline constexpr const char* probe = "probe";
inline constexpr const char* recordStart = "record-start";
inline constexpr const char* download = "download";
}  // namespace event

struct ClockLogLine {
    int64_t utcMs = 0;  // when (host UTC, ms since 1970); "YYYY-MM-DDThh:mm:ss.mmmZ" in the file
    std::string sensor;
    std::string address;
    std::string event;
    std::optional<double> offsetMs;  // empty: the sensor did not answer
    std::optional<double> boundMs;
    std::optional<double> driftPpm;
    std::string entry;   // entry start ("YYYY/MM/DD hh:mm:ss.mmm"), or a start time
    std::string detail;  // free text (why a probe failed, ...)
};

std::string clockLogPath(const std::string& saveFolder);
// The line without its end; tabs and line ends inside fields become spaces.
std::string formatClockLogLine(const ClockLogLine& line);
// A line of the file; nothing for the header, a malformed or a foreign line.
std::optional<ClockLogLine> parseClockLogLine(std::string_view text);
// "YYYY-MM-DDThh:mm:ss.mmmZ" (timetext::isoUtc) back to milliseconds.
std::optional<int64_t> parseUtc(std::string_view text);

// Appends one whole line to the save folder's log, with the header first when
// the file is new. Refuses a log that is a symbolic link or not a regular file.
bool appendClockLog(const std::string& saveFolder, const ClockLogLine& line, std::string& why);

// The lines of one sensor (by address) since its last "set" line (that line
// included): the first of them and the last `keep` - 1. Memory is bounded
// whatever the file's size; a missing log gives no lines and no error.
std::vector<ClockLogLine> readClockLog(const std::string& saveFolder, const std::string& address,
                                       std::string& why, size_t keep = 64);

// Drift in ppm from two measurements of one sensor's offset; nothing when
// either has no offset or `later` is not later.
std::optional<double> driftPpm(const ClockLogLine& earlier, const ClockLogLine& later);
// How far off that drift may be (ppm), from the two bounds.
std::optional<double> driftBoundPpm(const ClockLogLine& earlier, const ClockLogLine& later);
// The line drift is measured from: the earliest with an offset among `lines`
// (as readClockLog gives them: since the last set).
std::optional<ClockLogLine> driftBase(const std::vector<ClockLogLine>& lines);

}  // namespace timebase
