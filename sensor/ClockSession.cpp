// The clock actions of a session: probe, set then probe, read, and the probe
// that notes the clock in the log before a download.
#include <cmath>

#include "link/EventWait.h"
#include "protocol/DateTimeBytes.h"
#include "sensor/RunGuard.h"
#include "sensor/SensorSession.h"

namespace session {
namespace {

constexpr float kClockWait = 2.0f;

// Exchanges measured before a setting, for the time it takes to arrive.
constexpr int kLeadProbes = 4;

// The local wall time `leadMs` after `now`.
ClockTime clockTimeOf(const timebase::HostTime& now, double leadMs) {
    const datetime::SensorDateTime t =
        datetime::fromMsSinceEpoch(int64_t(std::llround(now.utcMs + leadMs)) + now.zoneMs);
    return ClockTime{t.year, t.month, t.day, t.hour, t.minute, t.second, t.msec};
}

}  // namespace

Outcome SensorSession::probeClock(timebase::ClockReading& reading, int probes) {
    RunGuard guard(running_);
    if (!guard.acquired()) return Outcome::busy(Step::clockProbe);
    timebase::ProbeOptions options;
    options.probes = probes;
    options.answerWait = clockAnswerWait;
    options.clock = hostClock;
    bool closed = false;
    reading = timebase::probeSensorClock(*vraxSensor, options, closed);
    if (closed) return Outcome::aboutSetting(Result::channelClosed, Step::clockProbe, "clock");
    return {};
}

Outcome SensorSession::setClockAndProbe(timebase::ClockReading& reading, ClockTime* setTo) {
    if (running_) return Outcome::busy(Step::clock);
    VRAXSensor* s = vraxSensor.get();
    const timebase::HostClock clock =
        hostClock ? hostClock : timebase::HostClock(timebase::realHostTime);
    // The sensor takes the time when the command reaches it, about half a
    // round trip after it was sent: measured first, that lead is added.
    timebase::ClockReading before;
    if (Outcome o = probeClock(before, kLeadProbes); !o.ok()) return o;
    const double leadMs = before.answered ? before.medianRoundTripMs / 2 : 0;
    int32_t err = 0;
    ClockTime sent;
    {
        RunGuard guard(running_);
        // Each try sends the time of its own moment.
        if (!sendWithRetry(
                [&] {
                    sent = clockTimeOf(clock(), leadMs);
                    s->sendSetDateTimeCommand(err, sent.year, sent.month, sent.day, sent.hour,
                                              sent.minute, sent.second, sent.msec);
                },
                kClockWait, kClockWait)) {
            Outcome o = failure(Step::clock);
            o.setting = "clock";
            return o;
        }
    }
    if (setTo) *setTo = sent;
    // A sensor that did not answer before does not now: no second wait.
    if (!before.answered) {
        reading = before;
        return {};
    }
    return probeClock(reading);
}

Outcome SensorSession::setClock(timebase::ClockReading& achieved, ClockTime* setTo) {
    return whileConnected([&] { return setClockAndProbe(achieved, setTo); });
}

Outcome SensorSession::readClock(timebase::ClockReading& reading) {
    return whileConnected([&] { return probeClock(reading); });
}

void SensorSession::probeBeforeDownload(const DownloadRequest& request, DownloadReport& report) {
    VRAXSensor* s = vraxSensor.get();
    timebase::ProbeOptions options;
    options.answerWait = clockAnswerWait;
    options.clock = hostClock;
    bool closed = false;
    report.clock = timebase::probeSensorClock(*s, options, closed);
    timebase::ClockLogLine line =
        timebase::logLineFor(report.clock, s->name(), s->address(), timebase::event::download);
    line.entry = request.startText;
    std::string why;
    const std::vector<timebase::ClockLogLine> earlier =
        timebase::readClockLog(request.saveFolder, s->address(), why);
    if (const auto base = timebase::driftBase(earlier))
        line.driftPpm = timebase::driftPpm(*base, line);
    report.driftPpm = line.driftPpm;
    if (!earlier.empty() && earlier.front().event == timebase::event::set)
        report.lastSetUtcMs = earlier.front().utcMs;
    if (!timebase::appendClockLog(request.saveFolder, line, report.clockLogError)) return;
}

}  // namespace session
