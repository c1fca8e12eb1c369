// The sub-commands that put a sensor to work: record (settings and start,
// the sensor records on its own), stop and identify. Live is in LiveCommand.
#include <cstdio>
#include <optional>

#include "tools/vraxctl/Cli.h"
#include "tools/vraxctl/Commands.h"
#include "tools/vraxctl/Recording.h"
#include "tools/vraxctl/RecordingMarkers.h"
#include "tools/vraxctl/Report.h"
#include "tools/vraxctl/SensorAccess.h"

namespace cli {

using session::Outcome;

int loadConfig(const std::string& configPath, const SensorRef& ref, measure::Config& config) {
    std::string why;
    bool unreadable = false;
    if (!measure::loadConfigFile(configPath, config, why, &unreadable)) {
        error(shown(configPath) + ": " + shown(why));
        return unreadable ? int(Exit::fileError) : int(Exit::usage);
    }
    why = measure::validate(config, BtUtilClass::checkSensorType2(ref.name) == 2);
    if (!why.empty()) {
        error(shown(configPath) + ": " + why + " (" + ref.model() + ")");
        return Exit::usage;
    }
    return 0;
}

namespace {

constexpr Option kStartAt{
    "start-at",
    "Start recording at this date and time of the sensor's clock (\"YYYY-MM-DD hh:mm:ss\").",
    "time"};

int recordCommand(const RecordOptions& o) {
    if (o.allSensors || !o.sensors.empty()) return recordSeveral(o);
    return withSensor(o, "record", [&](const SensorRef& ref, session::SensorSession& s) {
        measure::Config config;
        if (int code = loadConfig(o.configPath, ref, config)) return code;
        session::RecordingStart start;
        start.setClock = o.setClock;
        start.at = o.start;
        const Outcome out = s.startRecording(config, start);
        if (!out.ok()) return report(out, ref.name);
        if (start.at)
            std::printf("%s: recording starts at %s (sensor clock)\n", shown(ref.name).c_str(),
                        o.startText.c_str());
        else
            std::printf("%s: recording\n", shown(ref.name).c_str());
        noteRecording(absoluteFolder(o.outDir), start.at);
        return int(Exit::ok);
    });
}

int stopCommand(const SensorOptions& o) {
    return withSensor(o, "stop", [&](const SensorRef& ref, session::SensorSession& s) {
        const Outcome out = s.stopMeasuring();
        if (!out.ok()) return report(out, ref.name);
        std::printf("%s: stopped\n", shown(ref.name).c_str());
        return int(Exit::ok);
    });
}

int identifyCommand(const SensorOptions& o) {
    return withSensor(o, "identify", [&](const SensorRef& ref, session::SensorSession& s) {
        const Outcome out = s.identify();
        if (!out.ok()) return report(out, ref.name);
        std::printf("%s: beeped\n", shown(ref.name).c_str());
        return int(Exit::ok);
    });
}

UsageError parseRecord(const ParsedLine& l, RecordOptions& o) {
    if (UsageError e = readSensorAccess(l, o.demo, o.capturePath)) return e;
    if (UsageError e = readOut(l, o.outDir)) return e;
    o.allSensors = l.isSet(opt::allSensors);
    const QStringList& pos = l.positional();
    if (o.allSensors && !pos.isEmpty()) return "--all-sensors takes no sensor";
    if (!o.allSensors && pos.isEmpty()) return "name a sensor, or give --all-sensors";
    if (o.allSensors || pos.size() > 1) {
        if (!o.capturePath.empty()) return "--capture records one sensor's session";
        if (!l.isSet(kStartAt))
            return "several sensors start together at --start-at \"YYYY-MM-DD hh:mm:ss\"";
        if (pos.size() > 64) return "record takes at most 64 sensors";
        for (const QString& sensor : pos) o.sensors.push_back(bytes(sensor));
    } else {
        o.sensor = bytes(pos[0]);
    }
    if (UsageError e = readConfig(l, o.configPath, o.setClock)) return e;
    if (l.isSet(kStartAt)) {
        o.startText = bytes(l.value(kStartAt));
        session::ClockTime t;
        if (!session::parseClockTime(o.startText, t))
            return "--start-at takes \"YYYY-MM-DD hh:mm:ss\" (years 2000 to 2255), not \"" +
                   shown(o.startText) + "\"";
        // The start is a time on the computer's clock (the sensor's is set to it).
        if (!session::clockTimeBefore(session::localClockNow(), t))
            return "--start-at " + o.startText + " is not in the future";
        o.start = t;
    }
    return std::nullopt;
}

}  // namespace

std::vector<Command> measureCommands() {
    return {
        {"record",
         "SENSOR... | --all-sensors --config FILE",
         "Send a measurement configuration and start recording into the sensor's memory, now\n"
         "or at --start-at; the sensor then records on its own until stopped. Several sensors\n"
         "(or --all-sensors) start together at --start-at: each clock is set and probed first,\n"
         "its offset and bound reported and noted in <out>/clock-log.tsv.",
         {&opt::demo, &opt::capture, &opt::config, &kStartAt, &opt::setClock, &opt::allSensors,
          &opt::out},
         parseThenRun(parseRecord, recordCommand)},
        {"stop",
         "SENSOR",
         "Stop a measurement or recording that is running.",
         {&opt::demo, &opt::capture},
         parseThenRun(parseSensorOnly, stopCommand)},
        {"identify",
         "SENSOR",
         "Make the sensor beep.",
         {&opt::demo, &opt::capture},
         parseThenRun(parseSensorOnly, identifyCommand)},
    };
}

}  // namespace cli
