// vraxctl record: its options, and the common start of several sensors.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tools/vraxctl/SensorAccess.h"

namespace cli {

struct RecordOptions : SensorOptions {
    std::string configPath;
    bool setClock = false;
    bool allSensors = false;
    std::vector<std::string> sensors;  // several sensors: the sensors named
    std::string outDir = ".";
    std::string startText;                    // --start-at as given; empty: now
    std::optional<session::ClockTime> start;  // --start-at, read
};

// record of several sensors (or --all-sensors) at a common start.
int recordSeveral(const RecordOptions& o);

}  // namespace cli
