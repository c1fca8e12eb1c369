// vraxctl download: the chosen entries of one sensor, or every entry of every
// paired sensor, into CSV files named and placed as the window does. SIGINT
// and SIGTERM stop the run cleanly.
//
// With --parallel N, up to N sensors download at once, each in a vraxctl
// child of its own (`download ADDRESS --all` with the same options): a
// session waits in nested event loops, so one sensor per process keeps each
// download exactly as it runs alone, and the serial links, not this
// computer, set the pace. The parent shows the children's lines, one
// progress line per running sensor, passes an interruption on to them and
// sums up per sensor.
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QProcess>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <utility>

#include "link/EventWait.h"
#include "tools/vraxctl/Cli.h"
#include "tools/vraxctl/Interrupts.h"
#include "tools/vraxctl/Progress.h"
#include "tools/vraxctl/Report.h"
#include "tools/vraxctl/SensorAccess.h"

namespace cli {
namespace {

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
SensorSummary downloadSensor(const SensorRef& ref, const Options& o, CaptureSink& capture) {
    SensorSummary summary;
    summary.started = true;
    session::SensorSession s(ref.name, ref.address);
    s.setCancelCheck([] { return interrupted != 0; });
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

// The screen of a parallel download: the children's lines as they come, and
// on a terminal one progress line per running download under them, redrawn
// in place; elsewhere a plain progress line every few seconds and the last.
class ParallelScreen {
  public:
    ParallelScreen() : terminal(isatty(STDERR_FILENO) == 1) {}

    void print(const std::string& line, bool toStderr) {
        clear();
        std::FILE* to = toStderr ? stderr : stdout;
        std::fprintf(to, "%s\n", line.c_str());
        std::fflush(to);
        draw();
    }

    // A progress marker line of the download `row` (see Progress).
    void progress(size_t row, const std::string& marker) {
        char kind = 0;
        unsigned long long records = 0;
        long long expected = 0;
        double seconds = 0;
        int labelAt = 0;
        if (std::sscanf(marker.c_str() + 1, "%c %llu %lld %lf %n", &kind, &records, &expected,
                        &seconds, &labelAt) < 4 ||
            labelAt <= 0)
            return;
        const std::string label = marker.substr(size_t(labelAt) + 1);
        Row& r = rows[row];
        const auto now = std::chrono::steady_clock::now();
        if (kind == 'F') {
            r.text.clear();
            print(Progress::line(label, records, expected, seconds, terminal), true);
            return;
        }
        r.text = Progress::line(label, records, expected, seconds, terminal);
        if (terminal) {
            if (now - lastDrawn < std::chrono::milliseconds(100)) return;
            clear();
            draw();
        } else if (now - r.lastPlain >= std::chrono::seconds(5)) {
            r.lastPlain = now;
            print(Progress::line(label, records, expected, seconds, false), true);
        }
    }
    void ended(size_t row) {
        rows[row].text.clear();
        clear();
        draw();
    }
    void resize(size_t n) { rows.resize(n); }
    // Leaves the terminal without progress lines.
    void finish() { clear(); }

  private:
    struct Row {
        std::string text;
        std::chrono::steady_clock::time_point lastPlain = std::chrono::steady_clock::now();
    };
    void clear() {
        if (!terminal || drawn == 0) return;
        std::fprintf(stderr, "\033[%dF\033[J", drawn);  // up to the first progress line, cleared
        drawn = 0;
        std::fflush(stderr);
    }
    void draw() {
        if (!terminal) return;
        // Each line cut to the terminal's width (at a character's start): a
        // wrapped line would take more rows than clear() goes back over.
        winsize size{};
        const size_t width =
            ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1 ? size.ws_col - 1 : 79;
        for (const Row& r : rows)
            if (!r.text.empty()) {
                size_t n = std::min(r.text.size(), width);
                while (n < r.text.size() && n > 0 && (uint8_t(r.text[n]) & 0xC0) == 0x80) --n;
                std::fprintf(stderr, "%.*s\033[K\n", int(n), r.text.c_str());
                ++drawn;
            }
        std::fflush(stderr);
        lastDrawn = std::chrono::steady_clock::now();
    }

    bool terminal;
    std::vector<Row> rows;
    int drawn = 0;
    std::chrono::steady_clock::time_point lastDrawn;
};

// One sensor of a parallel download and the child that downloads it.
struct ChildDownload {
    SensorRef ref;
    SensorSummary summary;
    std::unique_ptr<QProcess> process;
    std::string pending[2];  // partial lines: standard output, standard error
    bool running = false;
    bool done = false;
};

// The complete lines of a child's stream, each shown or, for markers, read.
void takeLines(ChildDownload& c, size_t row, int stream, const QByteArray& bytes, bool all,
               ParallelScreen& screen) {
    std::string& held = c.pending[stream];
    held.append(bytes.constData(), size_t(bytes.size()));
    size_t start = 0;
    for (;;) {
        size_t end = held.find('\n', start);
        if (end == std::string::npos) {
            if (!all || start == held.size()) break;
            end = held.size();
        }
        const std::string line = held.substr(start, end - start);
        start = std::min(end + 1, held.size());
        if (stream == 1 && !line.empty() && line[0] == Progress::kMarker) {
            if (line.size() > 1 && line[1] == 'S') {
                std::sscanf(line.c_str() + 2, "%d %d", &c.summary.downloaded, &c.summary.skipped);
                continue;
            }
            screen.progress(row, line);
            continue;
        }
        screen.print(line, stream == 1);
    }
    held.erase(0, start);
}

int parallelDownload(const Options& o, SensorBackend& backend) {
    std::vector<ChildDownload> children;
    if (o.allSensors) {
        std::vector<SensorRef> all;
        if (!backend.sensors(all)) return Exit::noBluetooth;
        if (all.empty()) {
            error("no paired VRAX sensors");
            return Exit::noSensor;
        }
        for (const SensorRef& ref : all) children.push_back({ref, {}, {}, {}});
    } else {
        for (const std::string& key : o.sensors) {
            int findCode = Exit::ok;
            std::optional<SensorRef> ref = backend.find(key, findCode);
            if (!ref) {
                if (findCode == Exit::noBluetooth) return findCode;
                ChildDownload missing{{key, ""}, {}, {}, {}};
                missing.summary = {findCode, 0, 0, true};
                missing.done = true;
                children.push_back(std::move(missing));
                continue;
            }
            bool twice = false;
            for (const ChildDownload& c : children) twice = twice || c.ref.address == ref->address;
            if (!twice) children.push_back({*ref, {}, {}, {}});
        }
    }

    QStringList common{QStringLiteral("--all"), QStringLiteral("--out"),
                       QString::fromUtf8(o.outDir.c_str())};
    if (o.demo) common << QStringLiteral("--demo");
    if (o.filter) common << QStringLiteral("--filter");
    if (o.skipExisting) common << QStringLiteral("--skip-existing");
    if (o.overwrite) common << QStringLiteral("--overwrite");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QString::fromLatin1(Progress::kChildVariable), QStringLiteral("1"));
    const QString program = QCoreApplication::applicationFilePath();

    ParallelScreen screen;
    screen.resize(children.size());
    size_t next = 0;
    int running = 0;
    bool forwarded = false;
    auto start = [&](ChildDownload& c, size_t row) {
        c.process = std::make_unique<QProcess>();
        QProcess& p = *c.process;
        p.setProgram(program);
        p.setArguments(QStringList{QStringLiteral("download"), QString::fromLatin1(c.ref.address)} +
                       common);
        p.setProcessEnvironment(env);
        p.setStandardInputFile(QProcess::nullDevice());
        // Its own process group: a Ctrl-C reaches the parent alone, which
        // passes it on once; and it is told to stop if the parent dies.
        p.setChildProcessModifier([] {
            setpgid(0, 0);
            prctl(PR_SET_PDEATHSIG, SIGTERM);
        });
        QObject::connect(&p, &QProcess::readyReadStandardOutput, [&c, &screen, row] {
            takeLines(c, row, 0, c.process->readAllStandardOutput(), false, screen);
        });
        QObject::connect(&p, &QProcess::readyReadStandardError, [&c, &screen, row] {
            takeLines(c, row, 1, c.process->readAllStandardError(), false, screen);
        });
        QObject::connect(&p, &QProcess::finished,
                         [&c, &screen, &running, row](int exitCode, QProcess::ExitStatus status) {
                             takeLines(c, row, 0, c.process->readAllStandardOutput(), true, screen);
                             takeLines(c, row, 1, c.process->readAllStandardError(), true, screen);
                             c.summary.code = status == QProcess::NormalExit ? exitCode : -1;
                             c.running = false;
                             c.done = true;
                             --running;
                             screen.ended(row);
                         });
        QObject::connect(
            &p, &QProcess::errorOccurred, [&c, &running, &program](QProcess::ProcessError why) {
                if (why != QProcess::FailedToStart) return;
                error(shown(c.ref.name) + ": cannot start " + shown(program.toStdString()));
                c.summary.code = Exit::fileError;
                c.running = false;
                c.done = true;
                --running;
            });
        c.summary.started = true;
        c.running = true;
        ++running;
        p.start();
    };
    auto step = [&] {
        if (interrupted && !forwarded) {
            // Every running download ends as an interrupted one; nothing new starts.
            forwarded = true;
            for (ChildDownload& c : children)
                if (c.running) ::kill(pid_t(c.process->processId()), int(interruptSignal));
        }
        while (!interrupted && running < o.parallel && next < children.size()) {
            if (!children[next].done) start(children[next], next);
            ++next;
        }
        return running == 0 && (interrupted || next >= children.size());
    };
    while (!step()) eventwait::runUntil(step, 3600.0, 0.02);
    screen.finish();

    std::vector<std::pair<SensorRef, SensorSummary>> results;
    for (const ChildDownload& c : children) results.emplace_back(c.ref, c.summary);
    return summarize(results);
}

}  // namespace

int downloadCommand(const Options& o) {
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
            results.emplace_back(ref,
                                 interrupted ? SensorSummary{} : downloadSensor(ref, o, capture));
        }
        code = summarize(results);
    }
    capture.close(code);
    return code;
}

}  // namespace cli
