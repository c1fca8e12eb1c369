// The virtual sensors of the demo program and of `--simulated` runs.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "link_sim/SimulatedPlatform.h"

namespace demo {

inline constexpr const char* kSensor610 = "VRAX610-001";
inline constexpr const char* kSensor650 = "VRAX650-LAB-0016";
inline constexpr const char* kSensorBusy = "VRAX610-002";
inline constexpr const char* kAddress610 = "00:1B:DC:61:00:01";
inline constexpr const char* kAddress650 = "00:1B:DC:65:00:16";
inline constexpr const char* kAddressBusy = "00:1B:DC:61:00:02";
inline constexpr const char* kExtraSensorPrefix = "VRAX650-EXTRA-";

// A VRAX610 with three entries of different sizes, a VRAX650 with 16-bit
// AD data and gains, a VRAX610 that is in use elsewhere, and a headset.
void addDemoSensors(SimulatedPlatform& platform);

// Adjusts the demo's sensors on `platform` for tests, from a comma-separated
// list: "fast" drops the pacing of replays; "silent:NAME:FRAMES" and
// "close:NAME:FRAMES" make a sensor go quiet or hang up after that many
// frames of a replay; "drop:NAME:N" drops every Nth frame of a replay;
// "slowconnect:NAME:MS" makes connecting take that many milliseconds (a
// sensor that is off or out of range); "bluetooth:off", ":blocked",
// ":noadapter", ":nobluez" and ":nobus" play a Bluetooth state;
// "extra:N:RECORDS" adds N paced VRAX650s named VRAX650-EXTRA-01 onwards,
// each with one entry of RECORDS records of every kind;
// "clock:NAME:OFFSET_MS:PPM" sets the sensor's clock OFFSET_MS ahead of this
// computer's and makes it run PPM parts per million fast;
// "latency:NAME:MS:JITTER_MS[:SEED]" delays each direction of the link by
// MS ± JITTER_MS (seeded, so runs repeat); "nogetd:NAME" makes a sensor that
// never answers the time request (older firmware).
// Items that are none of these forms are added to `rejected` and ignored;
// items naming a sensor the demo does not have, or another kind of fault,
// are ignored.
void applyFaults(SimulatedPlatform& platform, std::string_view faults,
                 std::vector<std::string>& rejected);

}  // namespace demo
