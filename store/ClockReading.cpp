#include "store/ClockReading.h"

#include <algorithm>

#include <chrono>
#include <cmath>
#include <ctime>

namespace timebase {

HostTime realHostTime() {
    using namespace std::chrono;
    HostTime t;
    t.monoMs = duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
    const auto now = system_clock::now();
    t.utcMs = duration<double, std::milli>(now.time_since_epoch()).count();
    const std::time_t secs = system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&secs, &local);
    t.zoneMs = int64_t(local.tm_gmtoff) * 1000;
    return t;
}

ClockReading readingFrom(const std::vector<ProbeSample>& samples) {
    ClockReading r;
    if (samples.empty()) {
        r.failure = "no answer to the time request";
        return r;
    }
    const ProbeSample* best = nullptr;
    double bestTrip = 0;
    for (const ProbeSample& s : samples) {
        const double trip = std::max(0.0, s.answerMonoMs - s.sent.monoMs);
        if (!best || trip < bestTrip) {
            best = &s;
            bestTrip = trip;
        }
    }
    // The UTC midpoint: the monotonic half trip added to the UTC at send, so
    // a UTC step during the exchange does not enter.
    const double midUtc = best->sent.utcMs + bestTrip / 2;
    r.answered = true;
    r.sensorMs = best->sensorMs;
    r.hostUtcMs = int64_t(std::llround(midUtc));
    r.hostZoneMs = best->sent.zoneMs;
    r.offsetMs = double(best->sensorMs) - (midUtc + double(best->sent.zoneMs));
    r.roundTripMs = bestTrip;
    r.boundMs = bestTrip / 2 + kClockResolutionMs;
    r.probes = int(samples.size());
    std::vector<double> trips;
    for (const ProbeSample& s : samples)
        trips.push_back(std::max(0.0, s.answerMonoMs - s.sent.monoMs));
    std::nth_element(trips.begin(), trips.begin() + std::ptrdiff_t(trips.size() / 2), trips.end());
    r.medianRoundTripMs = trips[trips.size() / 2];
    return r;
}

}  // namespace timebase
