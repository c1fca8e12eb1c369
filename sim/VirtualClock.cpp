// The virtual sensor's clock, which runs with the caller's clock (faster by
// faults.clockPpm), and the link latency drawn from a seeded generator.
#include <chrono>
#include <cmath>

#include "protocol/DateTimeBytes.h"
#include "sim/VirtualSensor.h"

namespace {

// Clock of a sensor that was never set: 2026-01-01 00:00:00.000.
const int64_t kDefaultClock =
    datetime::msSinceEpoch({2026, 1, 1, 0, 0, 0, 0}) - VirtualSensor::epoch2000Ms();

}  // namespace

uint64_t VirtualSensor::steadyMs() {
    using namespace std::chrono;
    return uint64_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void VirtualSensor::setClock(int64_t clock, uint64_t nowMs) {
    clockRunning = true;
    clockBase = clock;
    clockSetAt = nowMs;
}

int64_t VirtualSensor::clockMs(uint64_t nowMs) {
    if (!clockRunning) {
        clockRunning = true;
        clockBase = kDefaultClock;
        clockSetAt = nowMs;
    }
    // Signed: a clock set by a command heard "later" (link latency) may be read before.
    const int64_t elapsed = int64_t(nowMs - clockSetAt);
    if (faults.clockPpm == 0) return clockBase + elapsed;
    return clockBase + int64_t(std::floor(double(elapsed) * (1.0 + faults.clockPpm * 1e-6)));
}

uint64_t VirtualSensor::monotonicOf(int64_t clock) const {
    const double rate = 1.0 + faults.clockPpm * 1e-6;
    const int64_t t = int64_t(clockSetAt) + int64_t(std::ceil(double(clock - clockBase) / rate));
    return t < 0 ? 0 : uint64_t(t);
}

uint64_t VirtualSensor::drawLatency() {
    if (!jitterSeeded) {
        jitterSeeded = true;
        jitterState = faults.jitterSeed;
    }
    int64_t ms = faults.latencyMs;
    if (faults.jitterMs > 0) {
        // splitmix64: a fixed sequence for a seed.
        uint64_t z = (jitterState += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        z ^= z >> 31;
        ms += int64_t(z % uint64_t(2 * faults.jitterMs + 1)) - faults.jitterMs;
    }
    return ms > 0 ? uint64_t(ms) : 0;
}
