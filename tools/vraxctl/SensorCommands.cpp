// The sub-commands that talk to sensors: list, entries, download, info,
// set-clock, erase. Each runs the shared session sequences of sensor/ and
// turns their outcomes into messages and exit codes.
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>

#include "link/BtUtilClass.h"
#include "link/platform/BlueZPlatform.h"
#include "link_sim/DemoSensors.h"
#include "sensor/SensorSession.h"
#include "tools/vraxctl/Capture.h"
#include "tools/vraxctl/Cli.h"
#include "tools/vraxctl/Progress.h"

namespace cli {
namespace {

using session::Outcome;
using session::Result;
using session::Step;

struct SensorRef {
    std::string name;
    std::string address;
    const char* model() const {
        return BtUtilClass::modelName(name);
    }
};

std::string lower(std::string s) {
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::vector<std::string> split(const std::string& text, char sep) {
    std::vector<std::string> parts;
    size_t at = 0;
    while (true) {
        const size_t end = text.find(sep, at);
        parts.push_back(text.substr(at, end - at));
        if (end == std::string::npos) return parts;
        at = end + 1;
    }
}

// The Bluetooth backend of this run: BlueZ, or the demo's virtual sensors.
// VRAXCTL_DEMO_FAULT (for tests) adjusts the virtual sensors: "fast" drops
// the pacing of replays; "silent:NAME:FRAMES" and "close:NAME:FRAMES" make a
// sensor go quiet or hang up after that many frames of a replay;
// "drop:NAME:N" drops every Nth frame of a replay.
class Backend {
  public:
    explicit Backend(bool demo) : demo(demo) {
        if (demo) {
            demo::addDemoSensors(simulated);
            applyFaults();
            BluetoothPlatform::setCurrent(&simulated);
        } else {
            BluetoothPlatform::setCurrent(&bluez);
        }
    }
    ~Backend() { BluetoothPlatform::setCurrent(nullptr); }

    // The paired supported sensors; false with a message when there is no list.
    bool sensors(std::vector<SensorRef>& out) {
        const int count = BtUtilClass::getPairdVRAXSensors();
        if (count < 0) {
            std::string why = demo ? std::string() : bluez.lastError();
            error("no list of paired Bluetooth devices" +
                  (why.empty() ? "" : " (" + shown(why) + ")") +
                  "; is Bluetooth on and BlueZ running? (--demo uses virtual sensors)");
            return false;
        }
        for (int i = 0; i < count; ++i) {
            SensorRef r;
            if (!BtUtilClass::getSensorDeviceInfoByIndex(i, r.name, r.address)) break;
            out.push_back(r);
        }
        return true;
    }

    // Finds a sensor by name or address; sets `code` when it cannot.
    std::optional<SensorRef> find(const std::string& key, int& code) {
        std::vector<SensorRef> all;
        if (!sensors(all)) {
            code = Exit::noBluetooth;
            return std::nullopt;
        }
        for (const SensorRef& r : all)
            if (r.name == key) return r;
        for (const SensorRef& r : all)
            if (lower(r.address) == lower(key)) return r;
        error("no paired VRAX sensor named or at \"" + shown(key) + "\" (vraxctl list shows them)");
        code = Exit::noSensor;
        return std::nullopt;
    }

  private:
    void applyFaults() {
        const char* env = std::getenv("VRAXCTL_DEMO_FAULT");
        if (!env) return;
        for (const std::string& item : split(env, ',')) {
            const std::vector<std::string> f = split(item, ':');
            if (f[0] == "fast") {
                for (const char* a : {demo::kAddress610, demo::kAddress650})
                    if (VirtualSensor* s = simulated.sensorAt(a)) s->faults.framesPerSecond = 0;
                continue;
            }
            int64_t count = 0;
            if (f.size() != 3 ||
                std::from_chars(f[2].data(), f[2].data() + f[2].size(), count).ec != std::errc{} ||
                count < 0) {
                warning("VRAXCTL_DEMO_FAULT: \"" + shown(item) + "\" is not a fault; ignored");
                continue;
            }
            VirtualSensor* s = nullptr;
            for (const char* a : {demo::kAddress610, demo::kAddress650, demo::kAddressBusy})
                if (f[1] == (a == demo::kAddress610   ? demo::kSensor610
                             : a == demo::kAddress650 ? demo::kSensor650
                                                      : demo::kSensorBusy))
                    s = simulated.sensorAt(a);
            if (!s) continue;
            if (f[0] == "silent") s->faults.silentAfterFrames = count;
            if (f[0] == "close") s->faults.closeAfterFrames = count;
            if (f[0] == "drop") s->faults.dropEveryNth = uint32_t(count);
        }
    }

    bool demo;
    SimulatedPlatform simulated;
    BlueZPlatform bluez;
};

// --capture: the bytes of every session of this run, with markers.
class CaptureSink {
  public:
    explicit CaptureSink(const std::string& path) {
        if (path.empty()) return;
        std::string why;
        if (!writer.open(path, why)) {
            error(why);
            failed = true;
        }
    }
    bool failedToOpen() const { return failed; }

    void attach(session::SensorSession& s, const std::string& command) {
        if (!writer.isOpen()) return;
        s.sensor().rfCommControl()->tap = [this](bool sent, const uint8_t* data, size_t length) {
            writer.bytes(sent, data, length);
        };
        writer.marker({{"event", "session"},
                       {"command", command},
                       {"sensor", s.sensor().name()},
                       {"address", s.sensor().address()}});
    }
    void marker(const capture::Fields& fields) {
        if (writer.isOpen()) writer.marker(fields);
    }
    // Closes the file; `code` becomes a file error when writing failed.
    void close(int& code) {
        std::string why;
        if (!writer.close(why)) {
            error(why);
            if (code == Exit::ok) code = Exit::fileError;
        }
    }

  private:
    capture::Writer writer;
    bool failed = false;
};

const char* stepText(Step step) {
    switch (step) {
        case Step::connect:
            return "connecting";
        case Step::stop:
            return "the stop command";
        case Step::deviceInfo:
            return "reading the device information";
        case Step::memoryStatus:
            return "reading the memory status";
        case Step::entryList:
            return "reading the entry list";
        case Step::folder:
            return "making the day folder";
        case Step::file:
            return "creating the file";
        case Step::download:
            return "the download";
        case Step::erase:
            return "erasing the memory";
        case Step::battery:
            return "reading the battery status";
    }
    return "the sequence";
}

// How a download ended, in a few words (the capture's transfer-end marker).
const char* resultText(Result result) {
    switch (result) {
        case Result::done:
            return "done";
        case Result::timedOut:
            return "the sensor went silent";
        case Result::channelClosed:
            return "the connection was lost";
        case Result::cancelled:
            return "interrupted";
        case Result::missingRecords:
            return "records were missing";
        case Result::fileError:
            return "the file could not be written";
        default:
            return "failed";
    }
}

std::string connectReason(int32_t status) {
    if (status == PlatformStatus::exclusiveAccess) return "it is in use by another program";
    if (status == PlatformStatus::noSerialPortService) return "it offers no serial port service";
    if (status < 0) return std::strerror(-status);
    return "status " + std::to_string(status);
}

// Says what went wrong, in the sensor's name, and gives the exit code.
// The download's own failures are told by the download (it names the file).
int report(const Outcome& o, const std::string& rawName) {
    const std::string name = shown(rawName);
    switch (o.result) {
        case Result::done:
            return Exit::ok;
        case Result::connectFailed:
            error(name + ": could not connect (" + connectReason(o.platformStatus) +
                  "); is the sensor on and in range?");
            return Exit::connectFailed;
        case Result::refused:
            error(name + ": the sensor refused " + stepText(o.step));
            return Exit::noAnswer;
        case Result::timedOut:
            if (o.step == Step::download) {
                error(name + ": the sensor went silent during the download");
                return Exit::incomplete;
            }
            error(name + ": the sensor did not answer in time (" + stepText(o.step) + ")");
            return Exit::noAnswer;
        case Result::channelClosed:
            error(name + ": the connection was lost during " + stepText(o.step));
            return o.step == Step::download ? Exit::incomplete : Exit::connectFailed;
        case Result::notSent:
            error(name + ": a command could not be sent (" + stepText(o.step) + ")");
            return Exit::connectFailed;
        case Result::fileError:
            if (o.step == Step::download)
                error(name + ": the download could not be written completely");
            else
                error(name + ": cannot create " + shown(o.path));
            return Exit::fileError;
        case Result::cancelled:
            error(name + ": the download was interrupted");
            return Exit::incomplete;
        case Result::busy:
            error(name + ": the sensor is busy with another sequence");
            return Exit::connectFailed;
        case Result::missingRecords:
            error(name + ": the sensor sent fewer records than the entry holds (frames were lost)");
            return Exit::incomplete;
    }
    return Exit::connectFailed;
}

// SIGINT and SIGTERM end the whole run cleanly: the current download is
// kept as incomplete and nothing new starts. A second signal ends the
// program at once (what arrived stays in the working file).
volatile std::sig_atomic_t interrupted = 0;
void onInterrupt(int) {
    interrupted = 1;
}

class InterruptGuard {
  public:
    InterruptGuard() {
        interrupted = 0;
        struct sigaction sa {};
        sa.sa_handler = onInterrupt;
        sa.sa_flags = SA_RESETHAND;
        sigemptyset(&sa.sa_mask);
        sigaction(SIGINT, &sa, &previousInt);
        sigaction(SIGTERM, &sa, &previousTerm);
    }
    ~InterruptGuard() {
        sigaction(SIGINT, &previousInt, nullptr);
        sigaction(SIGTERM, &previousTerm, nullptr);
    }

  private:
    struct sigaction previousInt {};
    struct sigaction previousTerm {};
};

struct SensorSummary {
    int code = Exit::ok;
    int downloaded = 0;
    int skipped = 0;
    bool started = false;
};

std::string entryLabel(const std::string& name, int entry) {
    return shown(name) + " entry " + std::to_string(entry);
}

// "N of M records", or "N records" when the entry gave no count.
std::string recordCount(uint64_t records, int64_t expected) {
    return std::to_string(records) +
           (expected > 0 ? " of " + std::to_string(expected) : std::string()) + " records";
}

}  // namespace

std::optional<std::string> completeDownload(const std::string& saveFolder,
                                            const std::string& todayPath, int64_t expected) {
    namespace fs = std::filesystem;
    std::vector<std::string> candidates{todayPath};
    const std::string fileName = fs::path(todayPath).filename().string();
    std::error_code ec;
    for (fs::directory_iterator it(saveFolder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string dir = it->path().filename().string();
        const std::string path = (it->path() / fileName).string();
        if (dir.size() == 16 && dir.rfind("memdata_", 0) == 0 && path != todayPath)
            candidates.push_back(path);
    }
    for (const std::string& path : candidates) {
        // A file under a download's name is complete unless it was made by
        // hand or by an older version: its records must be the entry's count.
        CsvLoadReport counted;
        if (!VRAXSensorData::countRecordsInCSV(path, counted)) continue;
        if (expected <= 0 || int64_t(counted.records) == expected) return path;
    }
    return std::nullopt;
}

namespace {

// Downloads the chosen entries of one sensor (all of them when `entries` is empty).
SensorSummary downloadSensor(const SensorRef& ref, const Options& o, CaptureSink& capture) {
    SensorSummary summary;
    summary.started = true;
    session::SensorSession s(ref.name, ref.address);
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
    auto targetOf = [&](int e) {
        const session::EntryInfo& info = listing.entries[size_t(e) - 1];
        const bool numbered = entryNeedsNumber(startTexts, size_t(e) - 1);
        return csvFilePath(dayFolderPath(saveFolder, year, month, day), ref.name, info.start,
                           o.filter, numbered ? e : 0);
    };

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
        if (interrupted) {
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
        session::DownloadRequest request;
        request.saveFolder = saveFolder;
        request.entryRow = e - 1;
        request.startText = info.startText;
        request.expectedRecords = info.records;
        request.filtered = o.filter;
        request.numberInName = entryNeedsNumber(startTexts, size_t(e) - 1);
        request.existing = existing;
        request.year = year, request.month = month, request.day = day;

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
        hooks.cancelRequested = [] { return interrupted != 0; };
        hooks.storeMessage = [&](const std::string&, const std::string&) {};
        hooks.writeFailing = [&](const std::string& why) {
            error(label + ": writing the file fails (" + shown(why) + "); the download goes on");
        };
        session::DownloadReport result;
        const Outcome out = s.downloadEntry(request, hooks, result);
        progress.finish(result.records);
        capture.marker({{"event", "transfer-end"},
                        {"sensor", ref.name},
                        {"entry", std::to_string(e)},
                        {"result", resultText(out.result)},
                        {"records", std::to_string(result.records)}});
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

// Runs `body` on the sensor named in the options, with backend and capture.
template <typename Body>
int withSensor(const Options& o, const char* command, Body body) {
    Backend backend(o.demo);
    CaptureSink capture(o.capturePath);
    if (capture.failedToOpen()) return Exit::fileError;
    int code = Exit::ok;
    std::optional<SensorRef> ref = backend.find(o.sensor, code);
    if (ref) {
        session::SensorSession s(ref->name, ref->address);
        capture.attach(s, command);
        code = body(*ref, s);
    }
    capture.close(code);
    return code;
}

void printSensorHead(const SensorRef& ref) {
    std::printf("%s (%s, %s)\n", shown(ref.name).c_str(), shown(ref.address).c_str(), ref.model());
}

}  // namespace

int listCommand(const Options& o) {
    Backend backend(o.demo);
    std::vector<SensorRef> all;
    if (!backend.sensors(all)) return Exit::noBluetooth;
    if (o.json) {
        QJsonArray list;
        for (const SensorRef& r : all)
            list.append(QJsonObject{{"name", QString::fromStdString(r.name)},
                                    {"address", QString::fromStdString(r.address)},
                                    {"model", r.model()}});
        std::printf("%s", QJsonDocument(list).toJson(QJsonDocument::Indented).constData());
        return Exit::ok;
    }
    if (all.empty()) std::printf("no paired VRAX sensors\n");
    for (const SensorRef& r : all)
        std::printf("%-20s %s  %s\n", shown(r.name).c_str(), shown(r.address).c_str(), r.model());
    return Exit::ok;
}

int entriesCommand(const Options& o) {
    return withSensor(o, "entries", [&](const SensorRef& ref, session::SensorSession& s) {
        session::MemoryListing listing;
        const Outcome out = s.listMemory(listing);
        if (!out.ok()) return report(out, ref.name);
        if (o.json) {
            QJsonArray entries;
            for (size_t i = 0; i < listing.entries.size(); ++i)
                entries.append(
                    QJsonObject{{"entry", int(i) + 1},
                                {"start", QString::fromStdString(listing.entries[i].startText)},
                                {"records", listing.entries[i].records}});
            QJsonObject doc{{"name", QString::fromStdString(ref.name)},
                            {"address", QString::fromStdString(ref.address)},
                            {"model", ref.model()},
                            {"entries", entries},
                            {"freeEntries", qint64(listing.status.freeEntryCount)},
                            {"freeRecords", qint64(listing.status.freeRecordCount)}};
            std::printf("%s", QJsonDocument(doc).toJson(QJsonDocument::Indented).constData());
            return int(Exit::ok);
        }
        printSensorHead(ref);
        if (listing.entries.empty())
            std::printf("no entries\n");
        else
            std::printf("%5s  %-23s  %9s\n", "Entry", "Start", "Records");
        for (size_t i = 0; i < listing.entries.size(); ++i)
            std::printf("%5zu  %-23s  %9d\n", i + 1, listing.entries[i].startText.c_str(),
                        listing.entries[i].records);
        std::printf("free: %u entries, %u records\n", listing.status.freeEntryCount,
                    listing.status.freeRecordCount);
        return int(Exit::ok);
    });
}

int downloadCommand(const Options& o) {
    InterruptGuard guard;
    Backend backend(o.demo);
    CaptureSink capture(o.capturePath);
    if (capture.failedToOpen()) return Exit::fileError;
    int code = Exit::ok;
    if (!o.allSensors) {
        if (std::optional<SensorRef> ref = backend.find(o.sensor, code))
            code = downloadSensor(*ref, o, capture).code;
        if (interrupted) code = Exit::incomplete;
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
            results.emplace_back(ref,
                                 interrupted ? SensorSummary{} : downloadSensor(ref, o, capture));
        }
        bool anyFailed = false;
        for (const auto& [ref, r] : results) {
            const std::string state = !r.started ? "not started (interrupted)"
                                      : r.code == Exit::ok
                                          ? "ok"
                                          : "failed (exit code " + std::to_string(r.code) + ")";
            std::printf("%s: %s, %d downloaded, %d skipped\n", shown(ref.name).c_str(),
                        state.c_str(), r.downloaded, r.skipped);
            anyFailed = anyFailed || r.code != Exit::ok;
        }
        code = interrupted ? Exit::incomplete : anyFailed ? Exit::someFailed : Exit::ok;
    }
    capture.close(code);
    return code;
}

int infoCommand(const Options& o) {
    return withSensor(o, "info", [&](const SensorRef& ref, session::SensorSession& s) {
        Outcome out = s.openSensorAndStop();
        if (!out.ok()) return report(out, ref.name);
        const std::string firmware = s.sensor().firmVersion();
        float volts = 0;
        out = s.readBattery(volts);
        s.simpleDisconnectSensor();
        printSensorHead(ref);
        std::printf("firmware: %s\n", firmware.empty() ? "(not reported)" : firmware.c_str());
        if (!out.ok()) return report(out, ref.name);
        std::printf("battery: %.2f V\n", double(volts));
        return int(Exit::ok);
    });
}

int setClockCommand(const Options& o) {
    return withSensor(o, "set-clock", [&](const SensorRef& ref, session::SensorSession& s) {
        Outcome out = s.openSensorAndStop();
        if (!out.ok()) return report(out, ref.name);
        const auto now = std::chrono::system_clock::now();
        const std::time_t secs = std::chrono::system_clock::to_time_t(now);
        const int ms = int(
            std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
            1000);
        std::tm t{};
        localtime_r(&secs, &t);
        int32_t err = 0;
        VRAXSensor& v = s.sensor();
        const bool sent = v.sendSetDateTimeCommand(err, t.tm_year + 1900, t.tm_mon + 1, t.tm_mday,
                                                   t.tm_hour, t.tm_min, t.tm_sec, ms) == 0;
        const bool answered = sent && session::SensorSession::waitOK(&v, 2.0f, true);
        const bool refused = v.rfCommControl()->ngFlag() != 0;
        const bool closed = v.channelClosed();
        s.simpleDisconnectSensor();
        if (!sent) {
            error(ref.name + ": the date and time could not be sent");
            return int(Exit::connectFailed);
        }
        if (!answered) {
            error(ref.name + (refused  ? ": the sensor refused the date and time"
                              : closed ? ": the connection was lost while setting the clock"
                                       : ": the sensor did not answer the date and time setting"));
            return int(closed ? Exit::connectFailed : Exit::noAnswer);
        }
        EntryStart when{t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour,
                        t.tm_min,         t.tm_sec,     ms};
        std::printf("%s: clock set to %s\n", ref.name.c_str(), formatEntryStart(when).c_str());
        return int(Exit::ok);
    });
}

int eraseCommand(const Options& o) {
    return withSensor(o, "erase", [&](const SensorRef& ref, session::SensorSession& s) {
        if (!o.yes) {
            if (isatty(STDIN_FILENO) != 1 || isatty(STDERR_FILENO) != 1) {
                error(ref.name +
                      ": not erasing without confirmation; give --yes to erase from a script");
                return int(Exit::notConfirmed);
            }
            std::fprintf(stderr,
                         "Erase ALL data in the memory of %s? Erased data cannot be recovered. "
                         "[y/N] ",
                         ref.name.c_str());
            std::string answer;
            std::getline(std::cin, answer);
            if (lower(answer) != "y" && lower(answer) != "yes") {
                error(ref.name + ": not erased");
                return int(Exit::notConfirmed);
            }
        }
        const Outcome out = s.eraseMemory();
        if (!out.ok()) return report(out, ref.name);
        std::printf("%s: memory erased\n", ref.name.c_str());
        return int(Exit::ok);
    });
}

}  // namespace cli
