// The virtual sensors of the demo program and of `--simulated` runs.
#pragma once

#include "link_sim/SimulatedPlatform.h"

namespace demo {

inline constexpr const char* kSensor610 = "VRAX610-001";
inline constexpr const char* kSensor650 = "VRAX650-LAB-0016";
inline constexpr const char* kSensorBusy = "VRAX610-002";
inline constexpr const char* kAddress610 = "00:1B:DC:61:00:01";
inline constexpr const char* kAddress650 = "00:1B:DC:65:00:16";
inline constexpr const char* kAddressBusy = "00:1B:DC:61:00:02";

// A VRAX610 with three entries of different sizes, a VRAX650 with 16-bit
// AD data and gains, a VRAX610 that is in use elsewhere, and a headset.
void addDemoSensors(SimulatedPlatform& platform);

}  // namespace demo
