// Measuring a connected sensor's clock against the host's: getd several
// times, the exchange with the shortest round trip wins (store/ClockReading.h
// has the math). The session's probeClock, setClockAndProbe and readClock
// run it; the clock log records what it found (store/ClockLog.h).
#pragma once

#include <string>

#include "store/ClockLog.h"
#include "store/ClockReading.h"

class VRAXSensor;

namespace timebase {

inline constexpr int kDefaultProbes = 8;
// Seconds to wait for each getd answer.
inline constexpr double kProbeAnswerWait = 1.0;

struct ProbeOptions {
    int probes = kDefaultProbes;
    double answerWait = kProbeAnswerWait;
    HostClock clock;  // empty: realHostTime
};

// Sends getd up to `probes` times on a connected sensor, one at a time. The
// first exchange that brings no date (no answer, NG, an impossible date)
// ends the probe: answered false, failure in words. closed is set when the
// channel closed under it.
ClockReading probeSensorClock(VRAXSensor& sensor, const ProbeOptions& options, bool& closed);

// The clock log line of a reading.
ClockLogLine logLineFor(const ClockReading& reading, const std::string& sensor,
                        const std::string& address, const char* event);

// "+1500.3 ms ± 11.2 ms" (the sensor ahead by 1500.3 ms), or the failure.
std::string describeOffset(const ClockReading& reading);

}  // namespace timebase
