// vraxctl live: settings, start, and the records streamed into a CSV file
// per sensor until --seconds or Ctrl-C; then stop. Ctrl-C is the normal end
// of a session without --seconds: exit 0 once the stop command went out and
// the files are finished.
//
// Several sensors run as one child process each (`live ADDRESS` with the
// same options), as `download --parallel` does: one copy of the live
// sequence, each sensor's session exactly as it runs alone, and one sensor
// that fails never stops the others. The parent shows one progress line per
// sensor and keeps the markers: the children report their time pairs to it.
#include <cstdio>
#include <optional>

#include "sensor/DownloadNaming.h"
#include "tools/vraxctl/ChildRuns.h"
#include "tools/vraxctl/Cli.h"
#include "tools/vraxctl/Commands.h"
#include "tools/vraxctl/Interrupts.h"
#include "tools/vraxctl/Markers.h"
#include "tools/vraxctl/Progress.h"
#include "tools/vraxctl/Report.h"
#include "tools/vraxctl/SensorAccess.h"

namespace cli {
namespace {

using session::Outcome;

struct LiveOptions : SensorOptions {
    std::string configPath;
    bool setClock = false;
    std::string outDir = ".";
    std::vector<std::string> sensors;  // several sensors: the sensors named
    double seconds = 0;                // 0: until interrupted
    int lines = 0;                     // 0: one file
};

struct MarkOptions {
    std::string outDir = ".";
    std::string text;
};

constexpr Option kSeconds{"seconds", "Stop after <n> seconds (default: at Ctrl-C).", "n"};

// The records a command-line session holds: it shows none, so little more
// than what arrives between two ticks.
constexpr double kKeepSeconds = 1.0;

std::string todayFolder(const std::string& saveFolder) {
    const session::ClockTime now = session::localClockNow();
    return dayFolderPath(saveFolder, now.year, now.month, now.day);
}

// Ends the markers: names events.tsv, or says why it is missing.
void finishMarkers(MarkerLog& markers) {
    const uint64_t events = markers.events();
    const std::string path = markers.finish();
    if (!path.empty())
        std::printf("%llu markers -> %s\n", (unsigned long long)events, shown(path).c_str());
    else if (!markers.error().empty())
        error("the markers could not be written (" + shown(markers.error()) + ")");
}

// The time pair marker a child sends its parent: kMarker 'T' sensorMs hostUtcMs.
void sendTimePair(const TimePair& pair) {
    std::fprintf(stderr, "%cT %llu %lld\n", Progress::kMarker, (unsigned long long)pair.sensorMs,
                 (long long)pair.hostUtcMs);
    std::fflush(stderr);
}

int liveOne(const LiveOptions& o) {
    return withSensor(o, "live", [&](const SensorRef& ref, session::SensorSession& s) {
        measure::Config config;
        if (int code = loadConfig(o.configPath, ref, config)) return code;
        InterruptGuard interrupts;
        s.setCancelCheck([] { return stopRequested(); });
        session::LiveRequest request;
        request.saveFolder = absoluteFolder(o.outDir);
        request.seconds = o.seconds;
        request.lineLimit = o.lines;
        request.setClock = o.setClock;
        request.keepSeconds = kKeepSeconds;
        const bool child = Progress::forParent();
        // Run alone, it takes the markers itself; run by a parent, the parent does.
        std::optional<MarkerLog> markers;
        std::optional<MarkerInput> input;
        if (!child) {
            markers.emplace(todayFolder(request.saveFolder), std::vector<std::string>{ref.name},
                            hostUtcMs());
            input.emplace(request.saveFolder, [&](const std::string& text, int64_t utc) {
                if (!markers->add(text, utc))
                    error("the marker could not be written (" + shown(markers->error()) + ")");
            });
        }
        Progress progress(shown(ref.name) + " live", -1);
        session::LiveHooks hooks;
        hooks.started = [&](const std::string& path) {
            std::fprintf(stderr, "%s: streaming into %s\n", shown(ref.name).c_str(),
                         shown(path).c_str());
            progress.start();
        };
        std::optional<TimePair> lastPair;
        hooks.tick = [&](const session::LiveProgress& p) {
            progress.update(p.records);
            if (!p.lastTimePair) return;
            if (lastPair && lastPair->sensorMs == p.lastTimePair->sensorMs &&
                lastPair->hostUtcMs == p.lastTimePair->hostUtcMs)
                return;
            lastPair = p.lastTimePair;
            if (child) sendTimePair(*lastPair);
            if (markers) markers->setTimePair(0, *lastPair);
        };
        hooks.stopRequested = [] { return stopRequested(); };
        hooks.writeFailing = [&](const std::string& why) {
            error(shown(ref.name) + ": writing the file fails (" + shown(why) +
                  "); the session goes on");
        };
        session::LiveReport result;
        const Outcome out = s.runLive(config, request, hooks, result);
        progress.finish(result.records);
        for (const std::string& f : result.files) std::printf("%s\n", shown(f).c_str());
        if (!result.timeMapPath.empty()) std::printf("%s\n", shown(result.timeMapPath).c_str());
        for (const measure::Kind kind : measure::kKindsInOrder)
            if (result.recordsPerKind[size_t(kind)] > 0)
                std::printf("%-8s %llu records\n", measure::kindKey(kind),
                            (unsigned long long)result.recordsPerKind[size_t(kind)]);
        std::printf("total    %llu records\n", (unsigned long long)result.records);
        if (input) input->flush();
        input.reset();
        if (markers) finishMarkers(*markers);
        if (!result.fileError.empty())
            error(shown(ref.name) + ": the file could not be written completely (" +
                  shown(result.fileError) + ")");
        if (!result.sidecarError.empty())
            warning(shown(ref.name) + ": a sidecar was not written: " + shown(result.sidecarError));
        if (!out.ok()) return report(out, ref.name);
        if (result.records == 0)
            warning(shown(ref.name) + ": no record arrived, so no file was kept");
        if (!result.stopAcknowledged)
            warning(shown(ref.name) + ": the sensor did not confirm the stop command");
        return int(Exit::ok);
    });
}

int liveSeveral(const LiveOptions& o) {
    SensorBackend backend(o.demo);
    std::vector<ChildRun> children;
    // Every sensor is found and its configuration checked before any starts.
    for (const std::string& key : o.sensors) {
        int code = Exit::ok;
        std::optional<SensorRef> ref = backend.find(key, code);
        if (!ref) {
            error("nothing started");
            return code;
        }
        for (const ChildRun& c : children)
            if (c.ref.address == ref->address) {
                error(shown(ref->name) + " is named twice; nothing started");
                return Exit::usage;
            }
        measure::Config config;
        if (int code = loadConfig(o.configPath, *ref, config)) {
            error("nothing started");
            return code;
        }
        children.emplace_back().ref = *ref;
    }

    InterruptGuard interrupts;
    const std::string saveFolder = absoluteFolder(o.outDir);
    std::vector<std::string> names;
    for (const ChildRun& c : children) names.push_back(c.ref.name);
    MarkerLog markers(todayFolder(saveFolder), names, hostUtcMs());
    MarkerInput input(saveFolder, [&](const std::string& text, int64_t utc) {
        if (!markers.add(text, utc))
            error("the marker could not be written (" + shown(markers.error()) + ")");
    });
    for (size_t i = 0; i < children.size(); ++i)
        children[i].onMarker = [&markers, i](const std::string& line) {
            unsigned long long sensorMs = 0;
            long long hostMs = 0;
            if (line.size() > 2 && line[1] == 'T' &&
                std::sscanf(line.c_str() + 2, "%llu %lld", &sensorMs, &hostMs) == 2)
                markers.setTimePair(i, TimePair{sensorMs, hostMs});
        };

    QStringList common{QStringLiteral("--config"), QString::fromUtf8(o.configPath.c_str()),
                       QStringLiteral("--out"), QString::fromUtf8(saveFolder.c_str())};
    if (o.demo) common << QStringLiteral("--demo");
    if (o.setClock) common << QStringLiteral("--set-clock");
    if (o.seconds > 0) common << QStringLiteral("--seconds") << QString::number(o.seconds, 'g', 12);
    if (o.lines > 0) common << QStringLiteral("--lines") << QString::number(o.lines);
    ParallelScreen screen;
    runChildren(
        children, int(children.size()),
        [&](const ChildRun& c) {
            return QStringList{QStringLiteral("live"), QString::fromLatin1(c.ref.address)} + common;
        },
        screen);
    input.flush();

    bool anyFailed = false;
    for (const ChildRun& c : children) {
        const std::string state = !c.started    ? "not started (interrupted)"
                                  : c.code == 0 ? "ok"
                                  : c.code < 0
                                      ? std::string("failed (ended by a signal)")
                                      : "failed (exit code " + std::to_string(c.code) + ")";
        std::printf("%s: %s\n", shown(c.ref.name).c_str(), state.c_str());
        anyFailed = anyFailed || c.code != 0;
    }
    finishMarkers(markers);
    std::fflush(stdout);
    return anyFailed ? Exit::someFailed : Exit::ok;
}

int liveCommand(const LiveOptions& o) {
    return o.sensors.size() > 1 ? liveSeveral(o) : liveOne(o);
}

int markCommand(const MarkOptions& o) {
    return sendMarker(absoluteFolder(o.outDir), o.text);
}

UsageError parseLive(const ParsedLine& l, LiveOptions& o) {
    if (UsageError e = readSensorAccess(l, o.demo, o.capturePath)) return e;
    if (l.positional().isEmpty()) return "live takes one or more sensors (names or addresses)";
    if (l.positional().size() > 1) {
        if (!o.capturePath.empty()) return "--capture records one sensor's session";
        if (l.positional().size() > 64) return "live takes at most 64 sensors";
        for (const QString& sensor : l.positional()) o.sensors.push_back(bytes(sensor));
    } else {
        o.sensor = bytes(l.positional()[0]);
    }
    if (UsageError e = readConfig(l, o.configPath, o.setClock)) return e;
    if (!l.isSet(opt::out)) return "--out DIR is needed";
    if (UsageError e = readOut(l, o.outDir)) return e;
    // The children of a run of several sensors are given these as UTF-8 text.
    if (!o.sensors.empty() &&
        (QString::fromUtf8(o.outDir.c_str()).toUtf8().toStdString() != o.outDir ||
         QString::fromUtf8(o.configPath.c_str()).toUtf8().toStdString() != o.configPath))
        return "several sensors need --out and --config names that are UTF-8 text";
    if (l.isSet(kSeconds)) {
        bool okNumber = false;
        o.seconds = l.value(kSeconds).toDouble(&okNumber);
        if (!okNumber || !(o.seconds > 0) || o.seconds > 1e7)
            return "--seconds takes a positive number of seconds";
    }
    return readLines(l, o.lines);
}

UsageError parseMark(const ParsedLine& l, MarkOptions& o) {
    if (UsageError e = readOut(l, o.outDir)) return e;
    if (l.positional().isEmpty()) return "mark takes the marker's text";
    QStringList words;
    for (const QString& w : l.positional()) words << w;
    o.text = bytes(words.join(QLatin1Char(' ')));
    return std::nullopt;
}

}  // namespace

std::vector<Command> liveCommands() {
    return {
        {"live",
         "SENSOR... --config FILE --out DIR",
         "Send a measurement configuration, start measuring and stream the records into\n"
         "<out>/memdata_YYYYMMDD/live_<sensor>_<start>.csv until --seconds or Ctrl-C; then stop.\n"
         "Several sensors stream at once, one file each. Beside each file, <file>.timemap.tsv\n"
         "pairs sensor time with the computer's UTC time. Each line typed on standard input\n"
         "(or sent with vraxctl mark) is a marker in the day folder's events.tsv.",
         {&opt::demo, &opt::capture, &opt::config, &opt::setClock, &opt::out, &kSeconds,
          &opt::lines},
         parseThenRun(parseLive, liveCommand)},
        {"mark",
         "TEXT",
         "Send a marker to the live session that runs with the same --out folder; it goes\n"
         "into that session's events.tsv at this moment. With none, it goes on this\n"
         "computer's time to the events file of the recording started last there.",
         {&opt::out},
         parseThenRun(parseMark, markCommand)},
    };
}

}  // namespace cli
