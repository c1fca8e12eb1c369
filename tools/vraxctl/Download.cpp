// vraxctl download: the chosen entries of one sensor, or every entry of every
// paired sensor, into CSV files named and placed as the window does. SIGINT,
// SIGTERM and SIGHUP stop the run cleanly.
//
// With --parallel N, up to N sensors download at once, each in a vraxctl
// child of its own (`download ADDRESS --all` with the same options): a
// session waits in nested event loops, so one sensor per process keeps each
// download exactly as it runs alone, and the serial links, not this
// computer, set the pace. The parent shows the children's lines, one
// progress line per running sensor, passes an interruption on to them and
// sums up per sensor.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <utility>

#include "link/EventWait.h"
#include "tools/vraxctl/ChildRuns.h"
#include "tools/vraxctl/Cli.h"
#include "tools/vraxctl/Commands.h"
#include "tools/vraxctl/Interrupts.h"
#include "tools/vraxctl/Progress.h"
#include "tools/vraxctl/Report.h"
#include "tools/vraxctl/SensorAccess.h"

namespace cli {
namespace {

struct DownloadOptions : SensorOptions, SaveOptions {
    std::vector<int> entries;  // entry numbers, from 1
    bool all = false;
    bool allSensors = false;
    int parallel = 0;                  // --parallel: sensors at once, 0 when not given
    std::vector<std::string> sensors;  // with --parallel: the sensors named
};

constexpr Option kAll{"all", "Download every entry."};
constexpr Option kParallel{
    "parallel",
    "Download from up to <n> sensors at once (with --all-sensors, or --all and a list of "
    "sensors), each into its own files with its own progress line.",
    "n"};

using session::Outcome;
using session::Step;

struct SensorSummary {
    int code = Exit::ok;  // negative: the child running it ended by a signal
    int downloaded = 0;
    int skipped = 0;
    bool started = false;
};

// The summary line of each sensor, and the run's exit code.
int summarize(const std::vector<std::pair<SensorRef, SensorSummary>>& results) {
    bool anyFailed = false;
    for (const auto& [ref, r] : results) {
        const std::string state = !r.started           ? "not started (interrupted)"
                                  : r.code == Exit::ok ? "ok"
                                  : r.code < 0
                                      ? std::string("failed (ended by a signal)")
                                      : "failed (exit code " + std::to_string(r.code) + ")";
        std::printf("%s: %s, %d downloaded, %d skipped\n", shown(ref.name).c_str(), state.c_str(),
                    r.downloaded, r.skipped);
        anyFailed = anyFailed || r.code != Exit::ok;
    }
    std::fflush(stdout);
    return interrupted ? Exit::incomplete : anyFailed ? Exit::someFailed : Exit::ok;
}

std::string entryLabel(const std::string& name, int entry) {
    return shown(name) + " entry " + std::to_string(entry);
}

// Downloads the chosen entries of one sensor (all of them when `entries` is empty).
SensorSummary downloadSensor(const SensorRef& ref, const DownloadOptions& o, CaptureSink& capture) {
    SensorSummary summary;
    summary.started = true;
    session::SensorSession s(ref.name, ref.address);
    s.setCancelCheck([] { return stopRequested(); });
    capture.attach(s, "download");
    session::MemoryListing listing;
    const Outcome listed = s.listMemory(listing);
    if (!listed.ok()) {
        summary.code = report(listed, ref.name);
        return summary;
    }
    std::vector<int> chosen = o.entries;
    if (chosen.empty())
        for (size_t i = 0; i < listing.entries.size(); ++i) chosen.push_back(int(i) + 1);
    for (int e : chosen) {
        if (e > int(listing.entries.size())) {
            error(shown(ref.name) + ": there is no entry " + std::to_string(e) +
                  " (the sensor holds " + std::to_string(listing.entries.size()) + ")");
            summary.code = Exit::usage;
            return summary;
        }
    }
    if (listing.entries.empty()) std::printf("%s: no entries\n", shown(ref.name).c_str());

    const std::string saveFolder = absoluteFolder(o.outDir);
    int year = 0, month = 0, day = 0;
    localToday(year, month, day);
    std::vector<std::string> startTexts;
    for (const session::EntryInfo& info : listing.entries) startTexts.push_back(info.startText);
    // The request of entry e, and the name its complete download takes.
    auto requestFor = [&](int e) {
        const session::EntryInfo& info = listing.entries[size_t(e) - 1];
        session::DownloadRequest request;
        request.saveFolder = saveFolder;
        request.entryRow = e - 1;
        request.startText = info.startText;
        request.expectedRecords = info.records;
        request.filtered = o.filter;
        request.numberInName = entryNeedsNumber(startTexts, size_t(e) - 1);
        request.year = year, request.month = month, request.day = day;
        return request;
    };
    auto targetOf = [&](int e) { return session::targetPathOf(requestFor(e), ref.name); };

    // Nothing is replaced unless asked: with neither option, an entry whose
    // file exists stops this sensor before anything is downloaded.
    if (!o.skipExisting && !o.overwrite) {
        bool anyExists = false;
        for (int e : chosen) {
            const std::string target = targetOf(e);
            if (!fileio::exists(target)) continue;
            error(entryLabel(ref.name, e) + ": " + shown(target) + " exists already");
            anyExists = true;
        }
        if (anyExists) {
            error(shown(ref.name) +
                  ": nothing downloaded; --skip-existing skips complete downloads, --overwrite "
                  "replaces them");
            summary.code = Exit::fileError;
            return summary;
        }
    }

    for (int e : chosen) {
        if (stopRequested()) {
            summary.code = Exit::incomplete;
            return summary;
        }
        const session::EntryInfo& info = listing.entries[size_t(e) - 1];
        const std::string label = entryLabel(ref.name, e);
        const std::string target = targetOf(e);
        safeout::Existing existing =
            o.overwrite ? safeout::Existing::replace : safeout::Existing::keepBoth;
        if (o.skipExisting) {
            if (auto done = completeDownload(saveFolder, target, info.records)) {
                std::printf("%s: skipped, already downloaded (%s)\n", label.c_str(),
                            shown(*done).c_str());
                ++summary.skipped;
                continue;
            }
            // Not complete: downloaded again, and replaced once the new one is.
            existing = safeout::Existing::replace;
        }
        session::DownloadRequest request = requestFor(e);
        request.existing = existing;

        Progress progress(label, info.records);
        session::DownloadHooks hooks;
        hooks.transferStarted = [&] {
            char dayText[16];
            std::snprintf(dayText, sizeof dayText, "%04d%02d%02d", year, month, day);
            capture.marker({{"event", "transfer"},
                            {"sensor", ref.name},
                            {"entry", std::to_string(e)},
                            {"start", info.startText},
                            {"records", std::to_string(info.records)},
                            {"filtered", o.filter ? "1" : "0"},
                            {"numbered", request.numberInName ? "1" : "0"},
                            {"day", dayText}});
            progress.start();
        };
        hooks.progress = [&](uint64_t records, int64_t) { progress.update(records); };
        hooks.cancelRequested = [] { return stopRequested(); };
        hooks.storeMessage = [&](const std::string&, const std::string&) {};
        hooks.writeFailing = [&](const std::string& why) {
            error(label + ": writing the file fails (" + shown(why) + "); the download goes on");
        };
        session::DownloadReport result;
        const Outcome out = s.downloadEntry(request, hooks, result);
        progress.finish(result.records);
        if (!result.clockLogError.empty())
            warning(label + ": the clock log was not written: " + shown(result.clockLogError));
        capture.marker({{"event", "transfer-end"},
                        {"sensor", ref.name},
                        {"entry", std::to_string(e)},
                        {"result", resultText(out.result)},
                        {"records", std::to_string(result.records)}});
        if (result.ad16Gains)
            for (int g : *result.ad16Gains)
                if (g > 15) {
                    warning(label +
                            ": the sensor gives 16-bit AD gains above 15; the lines say F for "
                            "them and the real gains are in the file's .json sidecar");
                    break;
                }
        if (!result.sidecarError.empty())
            warning(label + ": the sidecar was not written: " + shown(result.sidecarError));
        if (!out.ok()) {
            if (out.step != Step::download) {
                summary.code = report(out, ref.name);
                if (!result.fileError.empty()) error(label + ": " + shown(result.fileError));
                return summary;
            }
            summary.code = report(out, ref.name);
            if (!result.fileComplete && !result.fileError.empty())
                error(label + ": " + shown(result.fileError));
            if (result.filePath.empty())
                error(label + ": " + recordCount(result.records, info.records) +
                      " arrived; no file was kept");
            else
                error(label + ": " + recordCount(result.records, info.records) + " -> " +
                      shown(result.filePath));
            return summary;
        }
        std::printf("%s: %llu records -> %s\n", label.c_str(), (unsigned long long)result.records,
                    shown(result.filePath).c_str());
        std::fflush(stdout);
        ++summary.downloaded;
    }
    return summary;
}

int parallelDownload(const DownloadOptions& o, SensorBackend& backend) {
    std::vector<ChildRun> children;
    auto add = [&](const SensorRef& ref) {
        ChildRun& c = children.emplace_back();
        c.ref = ref;
    };
    std::vector<SensorSummary> summaries;
    if (o.allSensors) {
        std::vector<SensorRef> all;
        if (!backend.sensors(all)) return Exit::noBluetooth;
        if (all.empty()) {
            error("no paired VRAX sensors");
            return Exit::noSensor;
        }
        for (const SensorRef& ref : all) add(ref);
    } else {
        for (const std::string& key : o.sensors) {
            int findCode = Exit::ok;
            std::optional<SensorRef> ref = backend.find(key, findCode);
            if (!ref) {
                if (findCode == Exit::noBluetooth) return findCode;
                add({key, ""});
                children.back().code = findCode;
                children.back().started = children.back().done = true;
                continue;
            }
            bool twice = false;
            for (const ChildRun& c : children) twice = twice || c.ref.address == ref->address;
            if (!twice) add(*ref);
        }
    }
    summaries.resize(children.size());
    for (size_t i = 0; i < children.size(); ++i)
        children[i].onMarker = [&summaries, i](const std::string& line) {
            if (line.size() > 1 && line[1] == 'S')
                std::sscanf(line.c_str() + 2, "%d %d", &summaries[i].downloaded,
                            &summaries[i].skipped);
        };

    QStringList common{QStringLiteral("--all"), QStringLiteral("--out"),
                       QString::fromUtf8(o.outDir.c_str())};
    if (o.demo) common << QStringLiteral("--demo");
    if (o.filter) common << QStringLiteral("--filter");
    if (o.skipExisting) common << QStringLiteral("--skip-existing");
    if (o.overwrite) common << QStringLiteral("--overwrite");
    ParallelScreen screen;
    runChildren(
        children, o.parallel,
        [&](const ChildRun& c) {
            return QStringList{QStringLiteral("download"), QString::fromLatin1(c.ref.address)} +
                   common;
        },
        screen);

    std::vector<std::pair<SensorRef, SensorSummary>> results;
    for (size_t i = 0; i < children.size(); ++i) {
        SensorSummary s = summaries[i];
        s.code = children[i].code;
        s.started = children[i].started;
        results.emplace_back(children[i].ref, s);
    }
    return summarize(results);
}

int downloadCommand(const DownloadOptions& o) {
    // Ctrl-C ends the whole run cleanly: the current download is kept as
    // incomplete and nothing new starts.
    InterruptGuard guard;
    SensorBackend backend(o.demo);
    CaptureSink capture(o.capturePath);
    if (capture.failedToOpen()) return Exit::fileError;
    int code = Exit::ok;
    if (o.parallel > 0) return parallelDownload(o, backend);
    if (!o.allSensors) {
        SensorSummary summary;
        if (std::optional<SensorRef> ref = backend.find(o.sensor, code)) {
            summary = downloadSensor(*ref, o, capture);
            code = summary.code;
        }
        if (interrupted) code = Exit::incomplete;
        // Run by a parallel download: its counts for the parent's summary.
        if (Progress::forParent())
            std::fprintf(stderr, "%cS %d %d\n", Progress::kMarker, summary.downloaded,
                         summary.skipped);
        capture.close(code);
        return code;
    }

    std::vector<SensorRef> all;
    if (!backend.sensors(all)) {
        code = Exit::noBluetooth;
    } else if (all.empty()) {
        error("no paired VRAX sensors");
        code = Exit::noSensor;
    } else {
        std::vector<std::pair<SensorRef, SensorSummary>> results;
        for (const SensorRef& ref : all) {
            // Interrupted: the sensors not reached are not started at all.
            results.emplace_back(
                ref, stopRequested() ? SensorSummary{} : downloadSensor(ref, o, capture));
        }
        code = summarize(results);
    }
    capture.close(code);
    return code;
}

UsageError parseDownload(const ParsedLine& l, DownloadOptions& o) {
    if (UsageError e = readSensorAccess(l, o.demo, o.capturePath)) return e;
    if (UsageError e = readSaveOptions(l, o)) return e;
    o.all = l.isSet(kAll);
    o.allSensors = l.isSet(opt::allSensors);
    const QStringList& pos = l.positional();
    if (l.isSet(kParallel)) {
        bool okNumber = false;
        o.parallel = l.value(kParallel).toInt(&okNumber);
        if (!okNumber || o.parallel < 1 || o.parallel > 64)
            return "--parallel takes a number of sensors from 1 to 64";
        if (!o.capturePath.empty()) return "--capture records one sensor's session, not --parallel";
        // The children are given the folder as UTF-8 text.
        if (QString::fromUtf8(o.outDir.c_str()).toUtf8().toStdString() != o.outDir)
            return "--parallel needs an --out folder whose name is UTF-8 text";
        if (o.allSensors) {
            if (!pos.isEmpty()) return "--all-sensors takes no sensor or entry numbers";
            return std::nullopt;
        }
        if (pos.isEmpty() || !o.all)
            return "with --parallel, give --all-sensors, or --all and the sensors";
        for (const QString& sensor : pos) {
            bool number = false;
            sensor.toInt(&number);
            if (number) return "entry numbers cannot be given with --all";
            o.sensors.push_back(bytes(sensor));
        }
        return std::nullopt;
    }
    if (o.allSensors) {
        if (!pos.isEmpty()) return "--all-sensors takes no sensor or entry numbers";
        return std::nullopt;
    }
    if (pos.isEmpty()) return "name a sensor, or give --all-sensors";
    o.sensor = bytes(pos[0]);
    for (qsizetype i = 1; i < pos.size(); ++i) {
        bool okNumber = false;
        const int e = pos[i].toInt(&okNumber);
        if (!okNumber || e < 1 || e > 255)
            return "\"" + shown(bytes(pos[i])) + "\" is not an entry number";
        o.entries.push_back(e);
    }
    if (o.all && !o.entries.empty()) return "give entry numbers or --all, not both";
    if (!o.all && o.entries.empty()) return "give entry numbers, or --all";
    return std::nullopt;
}

}  // namespace

std::vector<Command> downloadCommands() {
    return {
        {"download",
         "SENSOR [ENTRY...|--all] | --all-sensors | --parallel N (--all-sensors|--all SENSOR...)",
         "Download memory entries into CSV files, named and placed as the window does:\n"
         "<out>/memdata_YYYYMMDD/memdata_<sensor>_<entry start>[-FILT].csv",
         {&opt::demo, &opt::capture, &kAll, &opt::allSensors, &opt::out, &opt::filter,
          &opt::skipExisting, &opt::overwrite, &kParallel},
         parseThenRun(parseDownload, downloadCommand)},
    };
}

}  // namespace cli
