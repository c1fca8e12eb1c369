// A measurement of a sensor clock against the host's: the pure parts. A
// probe asks the sensor for its time several times; each exchange gives the
// host's times at send and at answer and the sensor time in the answer. The
// exchange with the shortest round trip wins: the sensor read its clock
// somewhere between send and answer, so taking the midpoint is wrong by at
// most half the round trip (plus the clock's 1 ms resolution).
//
// Sensor clocks are set to the host's local wall time, so offsets compare
// the sensor clock with the host's UTC plus its zone offset at that moment.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace timebase {

struct ClockReading {
    bool answered = false;
    int64_t sensorMs = 0;   // sensor clock as ms since 1970 read as UTC
    int64_t hostUtcMs = 0;  // host UTC at midpoint
    double offsetMs = 0;    // sensorMs - (host wall time at midpoint): + means the sensor is ahead
    double boundMs = 0;     // |true offset - offsetMs| <= boundMs
    double roundTripMs = 0;
    int probes = 0;  // exchanges answered
    // Additions beyond the common fields:
    int64_t hostZoneMs = 0;        // host's local-time offset from UTC at the midpoint
    std::string failure;           // why not answered, in words (empty when answered)
    double medianRoundTripMs = 0;  // the typical exchange's round trip
};

// The host's clocks at one moment.
struct HostTime {
    double monoMs = 0;   // monotonic clock
    double utcMs = 0;    // UTC, ms since 1970
    int64_t zoneMs = 0;  // local time - UTC
};
using HostClock = std::function<HostTime()>;
// The real clocks of this computer.
HostTime realHostTime();

// One getd exchange.
struct ProbeSample {
    HostTime sent;
    double answerMonoMs = 0;
    int64_t sensorMs = 0;  // sensor clock in the answer, ms since 1970 read as UTC
};

// The reading of the exchange with the shortest round trip; answered false
// (failure set) when `samples` is empty.
ClockReading readingFrom(const std::vector<ProbeSample>& samples);

// The 1 ms resolution of the sensor clock, added to every bound.
inline constexpr double kClockResolutionMs = 1.0;

}  // namespace timebase
