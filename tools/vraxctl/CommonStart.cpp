// vraxctl record of several sensors (or --all-sensors) at --start-at: a
// common start. Each sensor in turn gets its clock set from this computer's
// and probed, the configuration, and the start at the same instant of its
// own (now corrected) clock; the run reports each offset and its bound, and
// notes the start in the clock log. A sensor that fails leaves the others
// scheduled and is named (exit 8); Ctrl-C stops the sensors already
// scheduled. Every sensor is found and its configuration checked first.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>

#include "store/ClockLog.h"
#include "tools/vraxctl/Cli.h"
#include "tools/vraxctl/Interrupts.h"
#include "tools/vraxctl/Recording.h"
#include "tools/vraxctl/RecordingMarkers.h"
#include "tools/vraxctl/Report.h"
#include "tools/vraxctl/SensorAccess.h"

namespace cli {
namespace {

using session::Outcome;

struct Scheduled {
    SensorRef ref;
    measure::Config config;
    int code = Exit::ok;
    bool scheduled = false;
    bool stopped = false;
    timebase::ClockReading clock;
};

std::string clockText(const timebase::ClockReading& c) {
    if (!c.answered) return "clock offset not measured (" + c.failure + ")";
    char text[96];
    std::snprintf(text, sizeof text, "clock offset %+.1f ms, bound %.1f ms", c.offsetMs, c.boundMs);
    return text;
}

}  // namespace

int recordSeveral(const RecordOptions& o) {
    SensorBackend backend(o.demo);
    std::vector<SensorRef> refs;
    if (o.allSensors) {
        if (!backend.sensors(refs)) return Exit::noBluetooth;
        if (refs.empty()) {
            error("no paired VRAX sensors");
            return Exit::noSensor;
        }
    } else {
        for (const std::string& key : o.sensors) {
            int code = Exit::ok;
            std::optional<SensorRef> ref = backend.find(key, code);
            if (!ref) {
                error("nothing scheduled");
                return code;
            }
            for (const SensorRef& r : refs)
                if (r.address == ref->address) {
                    error(shown(ref->name) + " is named twice; nothing scheduled");
                    return Exit::usage;
                }
            refs.push_back(*ref);
        }
    }
    std::vector<Scheduled> sensors;
    for (const SensorRef& ref : refs) {
        Scheduled& s = sensors.emplace_back();
        s.ref = ref;
        if (int code = loadConfig(o.configPath, ref, s.config)) {
            error("nothing scheduled");
            return code;
        }
    }
    const session::ClockTime at = o.start.value_or(session::ClockTime{});
    const std::string saveFolder = absoluteFolder(o.outDir);
    std::error_code ec;
    std::filesystem::create_directories(saveFolder, ec);  // for the clock log

    InterruptGuard interrupts;
    for (Scheduled& one : sensors) {
        if (stopRequested()) break;
        const std::string name = shown(one.ref.name);
        // The sensors before took time: the start must still be ahead.
        if (!session::clockTimeBefore(session::localClockNow(), at)) {
            error(name + ": the start time passed before it could be scheduled");
            one.code = Exit::usage;
            continue;
        }
        session::SensorSession s(one.ref.name, one.ref.address);
        s.setCancelCheck([] { return stopRequested(); });
        session::RecordingStart start;
        start.at = at;
        start.setClock = true;
        start.probed = &one.clock;
        const Outcome out = s.startRecording(one.config, start);
        if (!out.ok()) {
            one.code = report(out, one.ref.name);
            continue;
        }
        one.scheduled = true;
        std::printf("%s: recording starts at %s (sensor clock); %s\n", name.c_str(),
                    o.startText.c_str(), clockText(one.clock).c_str());
        std::fflush(stdout);
        timebase::ClockLogLine line = timebase::logLineFor(one.clock, one.ref.name, one.ref.address,
                                                           timebase::event::recordStart);
        line.entry = o.startText;
        std::string why;
        if (!timebase::appendClockLog(saveFolder, line, why))
            warning(name + ": the clock log was not written (" + shown(why) + ")");
    }

    if (interrupted) {
        // What was started is stopped again.
        for (Scheduled& one : sensors) {
            if (!one.scheduled) continue;
            session::SensorSession s(one.ref.name, one.ref.address);
            const Outcome out = s.stopMeasuring();
            one.stopped = out.ok();
            if (!out.ok()) report(out, one.ref.name);
        }
    }
    const bool anyScheduled = std::any_of(sensors.begin(), sensors.end(), [](const Scheduled& s) {
        return s.scheduled && !s.stopped;
    });
    if (anyScheduled) noteRecording(saveFolder, at);
    bool anyFailed = false;
    double bounds = 0, lowest = 0, highest = 0;
    int measured = 0;
    for (const Scheduled& one : sensors) {
        const std::string state =
            one.stopped            ? "stopped again (interrupted)"
            : one.scheduled        ? (interrupted ? "scheduled; the stop failed" : "scheduled")
            : one.code != Exit::ok ? "failed (exit code " + std::to_string(one.code) + ")"
                                   : "not scheduled (interrupted)";
        std::printf("%s: %s\n", shown(one.ref.name).c_str(), state.c_str());
        anyFailed = anyFailed || !one.scheduled;
        if (one.scheduled && one.clock.answered) {
            bounds += one.clock.boundMs;
            lowest = measured == 0 ? one.clock.offsetMs : std::min(lowest, one.clock.offsetMs);
            highest = measured == 0 ? one.clock.offsetMs : std::max(highest, one.clock.offsetMs);
            ++measured;
        }
    }
    // A sensor starts when its clock reads the start: offset ms before (after) the computer's.
    if (!interrupted && measured > 1)
        std::printf(
            "the starts lie %.1f ms apart (offset spread), within %.1f ms (sum of bounds)\n",
            highest - lowest, bounds);
    std::fflush(stdout);
    return interrupted ? Exit::incomplete : anyFailed ? Exit::someFailed : Exit::ok;
}

}  // namespace cli
