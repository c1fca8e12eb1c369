// The sub-commands that put a sensor to work: record (settings and start,
// the sensor records on its own), stop and identify. Live is in LiveCommand.
#include <cstdio>
#include <optional>

#include "tools/vraxctl/Cli.h"
#include "tools/vraxctl/RecordingMarkers.h"
#include "tools/vraxctl/Report.h"
#include "tools/vraxctl/SensorAccess.h"

namespace cli {

using session::Outcome;

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

int recordCommand(const Options& o) {
    if (o.allSensors || !o.sensors.empty()) return recordSeveral(o);
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
        noteRecording(absoluteFolder(o.outDir), start.at);
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

}  // namespace cli
