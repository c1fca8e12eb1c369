// The events of a live session, as events.tsv in its day folder: onset
// (seconds from the session's start), duration, trial_type (the marker's
// text), utc, and the time on each sensor's axis (its records' time
// stamps), mapped through the latest (sensor time, host receive time) pair
// of that sensor. vraxctl and the window write it with this one writer.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "store/TsvSidecar.h"
#include "store/VRAXSensorData.h"

namespace markers {

// The columns every events file starts with (host time only).
inline constexpr const char* kHostEventsHeader = "onset\tduration\ttrial_type\tutc";
// The longest marker text kept (bytes); a longer text is cut.
inline constexpr size_t kMarkerTextLimit = 400;
// The trial_type of a marker given no text.
inline constexpr const char* kUnnamed = "n/a";

// Text of a marker as one TSV field: tabs, line ends and other control
// characters become spaces, the ends are trimmed, and it is cut at
// kMarkerTextLimit (at a character's start).
std::string markerField(const std::string& text);

// The first columns of an event row: onset (seconds from `startUtcMs`),
// duration 0, the label, and the UTC time.
std::string eventRow(const std::string& label, int64_t utcMs, int64_t startUtcMs);

class MarkerLog {
  public:
    MarkerLog(std::string dayFolder, std::vector<std::string> sensors, int64_t startUtcMs);
    void setTimePair(size_t sensor, const TimePair& pair);
    // One event at `utcMs`; an empty text is no event. False when it could
    // not be written (error() says why).
    bool add(const std::string& text, int64_t utcMs);
    uint64_t events() const { return file.rows(); }
    // Publishes events.tsv (a numbered name when taken); its name, or empty.
    std::string finish();
    const std::string& error() const { return why; }

  private:
    std::string folder;
    std::vector<std::string> sensors;
    std::vector<std::optional<TimePair>> pairs;
    int64_t startUtc;
    TsvSidecar file;
    std::string why;
};

}  // namespace markers
