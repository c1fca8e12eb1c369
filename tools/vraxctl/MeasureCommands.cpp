// The sub-commands that put a sensor to work: record (settings and start,
// the sensor records on its own), live (settings, start, records streamed
// into a CSV file until a time or Ctrl-C, then stop), stop and identify.
#include <cstdio>
#include <optional>

#include "tools/vraxctl/Cli.h"
#include "tools/vraxctl/Interrupts.h"
#include "tools/vraxctl/Progress.h"
#include "tools/vraxctl/Report.h"
#include "tools/vraxctl/SensorAccess.h"

namespace cli {
namespace {

using session::Outcome;

// Reads and checks the configuration for this sensor's model; 0 or the exit code.
int loadConfig(const Options& o, const SensorRef& ref, measure::Config& config) {
    std::string why;
    bool unreadable = false;
    if (!measure::loadConfigFile(o.configPath, config, why, &unreadable)) {
        error(shown(o.configPath) + ": " + shown(why));
        return unreadable ? int(Exit::fileError) : int(Exit::usage);
    }
    why = measure::validate(config, BtUtilClass::checkSensorType2(ref.name) == 2);
    if (!why.empty()) {
        error(shown(o.configPath) + ": " + why + " (" + ref.model() + ")");
        return Exit::usage;
    }
    return 0;
}

}  // namespace

int recordCommand(const Options& o) {
    return withSensor(o, "record", [&](const SensorRef& ref, session::SensorSession& s) {
        measure::Config config;
        if (int code = loadConfig(o, ref, config)) return code;
        session::RecordingStart start;
        start.setClock = o.setClock;
        if (!o.startAt.empty()) {
            session::ClockTime t;
            session::parseClockTime(o.startAt, t);
            start.at = t;
        }
        const Outcome out = s.startRecording(config, start);
        if (!out.ok()) return report(out, ref.name);
        if (start.at)
            std::printf("%s: recording starts at %s (sensor clock)\n", shown(ref.name).c_str(),
                        o.startAt.c_str());
        else
            std::printf("%s: recording\n", shown(ref.name).c_str());
        return int(Exit::ok);
    });
}

int stopCommand(const Options& o) {
    return withSensor(o, "stop", [&](const SensorRef& ref, session::SensorSession& s) {
        const Outcome out = s.stopMeasuring();
        if (!out.ok()) return report(out, ref.name);
        std::printf("%s: stopped\n", shown(ref.name).c_str());
        return int(Exit::ok);
    });
}

int identifyCommand(const Options& o) {
    return withSensor(o, "identify", [&](const SensorRef& ref, session::SensorSession& s) {
        const Outcome out = s.identify();
        if (!out.ok()) return report(out, ref.name);
        std::printf("%s: beeped\n", shown(ref.name).c_str());
        return int(Exit::ok);
    });
}

// Ctrl-C is the normal end of a live session without --seconds: exit 0
// once the stop command went out and the file is finished.
int liveCommand(const Options& o) {
    return withSensor(o, "live", [&](const SensorRef& ref, session::SensorSession& s) {
        measure::Config config;
        if (int code = loadConfig(o, ref, config)) return code;
        InterruptGuard signals;
        s.setCancelCheck([] { return stopRequested(); });
        session::LiveRequest request;
        request.saveFolder = absoluteFolder(o.outDir);
        request.seconds = o.seconds;
        request.lineLimit = o.lines;
        request.setClock = o.setClock;
        Progress progress(shown(ref.name) + " live", -1);
        session::LiveHooks hooks;
        hooks.started = [&](const std::string& path) {
            std::fprintf(stderr, "%s: streaming into %s\n", shown(ref.name).c_str(),
                         shown(path).c_str());
            progress.start();
        };
        hooks.tick = [&](const session::LiveProgress& p) { progress.update(p.records); };
        hooks.stopRequested = [] { return stopRequested(); };
        hooks.writeFailing = [&](const std::string& why) {
            error(shown(ref.name) + ": writing the file fails (" + shown(why) +
                  "); the session goes on");
        };
        session::LiveReport result;
        const Outcome out = s.runLive(config, request, hooks, result);
        progress.finish(result.records);
        for (const std::string& f : result.files) std::printf("%s\n", shown(f).c_str());
        for (size_t k = 0; k < measure::kKindCount; ++k)
            if (result.recordsPerKind[k] > 0)
                std::printf("%-8s %llu records\n", measure::kindKey(measure::Kind(k)),
                            (unsigned long long)result.recordsPerKind[k]);
        std::printf("total    %llu records\n", (unsigned long long)result.records);
        if (!result.fileError.empty())
            error(shown(ref.name) + ": the file could not be written completely (" +
                  shown(result.fileError) + ")");
        if (!result.sidecarError.empty())
            warning(shown(ref.name) + ": a sidecar was not written: " + shown(result.sidecarError));
        if (!out.ok()) return report(out, ref.name);
        if (!result.stopAcknowledged)
            warning(shown(ref.name) + ": the sensor did not confirm the stop command");
        return int(Exit::ok);
    });
}

}  // namespace cli
