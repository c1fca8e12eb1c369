#include "sensor/ClockProbe.h"

#include <cmath>
#include <cstdio>

#include "link/EventWait.h"
#include "protocol/DateTimeBytes.h"
#include "sensor/VRAXSensor.h"

namespace timebase {
namespace {

// Slice of the answer wait: short, so the next exchange follows soon.
constexpr double kWaitSlice = 0.002;

// Clears the sensor's answer hook however the probe ends.
struct HookGuard {
    VRAXSensor& sensor;
    ~HookGuard() { sensor.dateTimeArrived = nullptr; }
};

}  // namespace

ClockReading probeSensorClock(VRAXSensor& sensor, const ProbeOptions& options, bool& closed) {
    closed = false;
    const HostClock clock = options.clock ? options.clock : HostClock(realHostTime);
    std::vector<ProbeSample> samples;
    std::string failure;
    bool got = false;
    double answerMono = 0;
    HookGuard guard{sensor};
    // The host time is taken as the answer is parsed, not when the wait next looks.
    sensor.dateTimeArrived = [&] {
        if (got) return;
        answerMono = clock().monoMs;
        got = true;
    };
    RFCommControl* link = sensor.rfCommControl();
    for (int i = 0; i < std::max(1, options.probes); ++i) {
        got = false;
        ProbeSample sample;
        int32_t err = 0;
        sample.sent = clock();
        if (sensor.sendGetDateTimeCommand(err) != kSent) {
            failure = "the time request could not be sent";
            break;
        }
        eventwait::runUntil([&] { return got || sensor.channelClosed() || link->ngFlag(); },
                            options.answerWait, kWaitSlice);
        if (!got) {
            closed = sensor.channelClosed();
            failure = closed           ? "the connection was lost"
                      : link->ngFlag() ? "the sensor refused the time request"
                                       : "the sensor did not answer the time request";
            break;
        }
        datetime::SensorDateTime t;
        if (!datetime::decodeDateTime(sensor.sensorDateTime().data(), t)) {
            failure = "the sensor answered an impossible time";
            break;
        }
        sample.answerMonoMs = answerMono;
        sample.sensorMs = datetime::msSinceEpoch(t);
        samples.push_back(sample);
    }
    link->clearFlags();
    ClockReading r = readingFrom(samples);
    if (!r.answered) {
        r.failure = failure.empty() ? r.failure : failure;
        const HostTime now = clock();
        r.hostUtcMs = int64_t(std::llround(now.utcMs));
        r.hostZoneMs = now.zoneMs;
    }
    return r;
}

ClockLogLine logLineFor(const ClockReading& reading, const std::string& sensor,
                        const std::string& address, const char* event) {
    ClockLogLine line;
    line.utcMs = reading.hostUtcMs;
    line.sensor = sensor;
    line.address = address;
    line.event = event;
    if (reading.answered) {
        line.offsetMs = reading.offsetMs;
        line.boundMs = reading.boundMs;
    } else {
        line.detail = reading.failure;
    }
    return line;
}

std::string describeOffset(const ClockReading& reading) {
    if (!reading.answered) return reading.failure;
    char text[96];
    std::snprintf(text, sizeof text, "%+.1f ms \u00b1 %.1f ms", reading.offsetMs, reading.boundMs);
    return text;
}

}  // namespace timebase
