// clock and set-clock: read a sensor's clock against this computer's (and
// with --set, set it first), print the offset with its bound and the drift
// since the clock was last set, and note the reading in the save folder's
// clock log.
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "protocol/DateTimeBytes.h"
#include "store/TimeText.h"
#include "tools/vraxctl/Cli.h"
#include "tools/vraxctl/Commands.h"
#include "tools/vraxctl/Report.h"
#include "tools/vraxctl/SensorAccess.h"

namespace cli {
namespace {

struct ClockOptions : SensorOptions {
    bool json = false;
    bool set = false;  // clock --set
    std::string outDir = ".";
};

constexpr Option kSet{"set",
                      "Set the sensor's clock from this computer's first, then measure how far "
                      "it is off."};

std::string sensorTimeText(int64_t ms) {
    const datetime::SensorDateTime t = datetime::fromMsSinceEpoch(ms);
    EntryStart when{t.year, t.month, t.day, t.hour, t.minute, t.second, t.msec};
    return formatEntryStart(when);
}

struct Drift {
    double ppm = 0;
    double boundPpm = 0;
    int64_t sinceUtcMs = 0;
};

void printJson(const SensorRef& ref, const timebase::ClockReading& r,
               const session::ClockTime* setTo, const std::optional<Drift>& drift) {
    QJsonObject doc{{"name", QString::fromStdString(ref.name)},
                    {"address", QString::fromStdString(ref.address)},
                    {"answered", r.answered}};
    if (setTo) {
        EntryStart when{setTo->year,   setTo->month,  setTo->day, setTo->hour,
                        setTo->minute, setTo->second, setTo->msec};
        doc.insert("setTo", QString::fromStdString(formatEntryStart(when)));
    }
    if (r.answered) {
        doc.insert("offsetMs", r.offsetMs);
        doc.insert("boundMs", r.boundMs);
        doc.insert("roundTripMs", r.roundTripMs);
        doc.insert("probes", r.probes);
        doc.insert("sensorTime", QString::fromStdString(sensorTimeText(r.sensorMs)));
        doc.insert("hostUtc", QString::fromStdString(timetext::isoUtc(r.hostUtcMs)));
    } else {
        doc.insert("failure", QString::fromStdString(r.failure));
    }
    if (drift) {
        doc.insert("driftPpm", drift->ppm);
        doc.insert("driftBoundPpm", drift->boundPpm);
        doc.insert("driftSince", QString::fromStdString(timetext::isoUtc(drift->sinceUtcMs)));
    }
    std::printf("%s", QJsonDocument(doc).toJson(QJsonDocument::Indented).constData());
}

int clockRun(const ClockOptions& o, bool set, const char* command) {
    return withSensor(o, command, [&](const SensorRef& ref, session::SensorSession& s) {
        timebase::ClockReading reading;
        session::ClockTime sent;
        const session::Outcome out = set ? s.setClock(reading, &sent) : s.readClock(reading);
        if (!out.ok()) return report(out, ref.name);
        const session::ClockTime* setTo = set ? &sent : nullptr;

        // Drift since the last set, from the log as it was before this reading.
        const std::string folder = absoluteFolder(o.outDir);
        timebase::ClockLogLine line = timebase::logLineFor(
            reading, ref.name, ref.address, set ? timebase::event::set : timebase::event::probe);
        std::optional<Drift> drift;
        std::string why;
        if (!set && reading.answered) {
            const auto earlier = timebase::readClockLog(folder, ref.address, why);
            if (!why.empty()) warning(shown(why));
            if (const auto base = timebase::driftBase(earlier)) {
                line.driftPpm = timebase::driftPpm(*base, line);
                const auto bound = timebase::driftBoundPpm(*base, line);
                if (line.driftPpm && bound) drift = Drift{*line.driftPpm, *bound, base->utcMs};
            }
        }
        why.clear();
        std::error_code ec;
        std::filesystem::create_directories(folder, ec);
        if (!timebase::appendClockLog(folder, line, why))
            warning("the clock log was not written: " + shown(why));

        if (o.json) {
            printJson(ref, reading, setTo, drift);
        } else {
            if (setTo) {
                EntryStart when{sent.year,   sent.month,  sent.day, sent.hour,
                                sent.minute, sent.second, sent.msec};
                std::printf("%s: clock set to %s\n", shown(ref.name).c_str(),
                            formatEntryStart(when).c_str());
            }
            if (reading.answered) {
                std::printf(
                    "%s: clock offset %s (sensor ahead when +; round trip %.1f ms, %d probes)\n",
                    shown(ref.name).c_str(), timebase::describeOffset(reading).c_str(),
                    reading.roundTripMs, reading.probes);
                if (drift)
                    std::printf("%s: drift %+.1f ppm \u00b1 %.1f ppm since %s\n",
                                shown(ref.name).c_str(), drift->ppm, drift->boundPpm,
                                timetext::isoUtc(drift->sinceUtcMs).c_str());
            }
        }
        if (!reading.answered) {
            const std::string what = set ? ": the clock was set, but its offset is not known: "
                                         : ": the clock could not be read: ";
            error(shown(ref.name) + what + reading.failure +
                  " (a sensor whose firmware has no time request cannot be read)");
            return int(set ? Exit::ok : Exit::noAnswer);
        }
        return int(Exit::ok);
    });
}

int clockCommand(const ClockOptions& o) {
    return clockRun(o, o.set, "clock");
}

int setClockCommand(const ClockOptions& o) {
    return clockRun(o, true, "set-clock");
}

// clock, set-clock: one sensor; the log goes to the save folder.
UsageError parseClock(const ParsedLine& l, ClockOptions& o) {
    if (UsageError e = parseSensorOnly(l, o)) return e;
    o.json = l.isSet(opt::json);
    o.set = l.isSet(kSet);
    return readOut(l, o.outDir);
}

}  // namespace

std::vector<Command> clockCommands() {
    return {
        {"set-clock",
         "SENSOR",
         "Set the sensor's date and time from this computer's clock, then measure the offset\n"
         "that leaves (as clock --set).",
         {&opt::demo, &opt::capture, &opt::out, &opt::json},
         parseThenRun(parseClock, setClockCommand)},
        {"clock",
         "SENSOR",
         "Measure how far the sensor's clock is from this computer's: offset \u00b1 bound, and "
         "the\n"
         "drift since it was last set; each reading is noted in <out>/clock-log.tsv.",
         {&opt::demo, &opt::capture, &kSet, &opt::out, &opt::json},
         parseThenRun(parseClock, clockCommand)},
    };
}

}  // namespace cli
