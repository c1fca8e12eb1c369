// export --bids: a BIDS motion dataset of the input files. Each sensor and
// kind of record is a tracking system of its own (their rates differ);
// each gets its motion table (no header), channels table and sidecar; the
// subject's scans table gives each table's acquisition time on UTC, and the
// markers beside the inputs (events.tsv) become the task's events. As every
// export, all files take their names together once all are whole.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>

#include "store/BidsMotion.h"
#include "store/ClockLog.h"
#include "store/FileIO.h"
#include "store/LineReader.h"
#include "store/TidyColumns.h"
#include "store/TimeText.h"
#include "tools/vraxctl/Cli.h"
#include "tools/vraxctl/ExportOptions.h"
#include "tools/vraxctl/ExportSources.h"
#include "tools/vraxctl/ScaleFile.h"

namespace cli {
namespace {

namespace fs = std::filesystem;

// What one kind of one source holds, learnt in a first pass.
struct KindSpan {
    uint64_t rows = 0;
    int64_t first = 0, last = 0, previous = 0;
    std::map<int64_t, uint64_t> steps;  // time step -> how often (a few distinct steps)

    void add(int64_t ms) {
        if (rows == 0)
            first = ms;
        else if (steps.size() < 64 || steps.count(ms - previous))
            ++steps[ms - previous];
        previous = last = ms;
        ++rows;
    }
    // The most frequent step as a rate; the effective rate from the span.
    double nominalHz() const {
        int64_t best = 0;
        uint64_t n = 0;
        for (const auto& [step, count] : steps)
            if (step > 0 && count > n) best = step, n = count;
        return best > 0 ? 1000.0 / double(best) : effectiveHz();
    }
    double effectiveHz() const {
        return rows > 1 && last > first ? double(rows - 1) * 1000.0 / double(last - first) : 1.0;
    }
};

struct Track {
    size_t source = 0;
    int dataType = 0;
    std::string tracksys;
    std::unique_ptr<fileio::BufferedFile> motion;
};

std::string isoForScans(int64_t unixMs) {
    std::string s = timetext::isoUtc(unixMs);  // "...T..:..:..mmmZ"
    return s;
}

// Markers beside the first input: "onset", "duration", a label column and
// "utc" when present. BIDS onsets count from `originUnixMs` when the
// markers carry UTC and the origin is known; else they are kept as given.
std::string eventsTable(const std::string& markersPath, std::optional<int64_t> originUnixMs) {
    fileio::InputFile file;
    if (!file.open(markersPath)) return {};
    text::LineReader lines(file);
    std::string_view line;
    bool overlong = false;
    std::vector<std::string> head;
    std::string out = "onset\tduration\ttrial_type\n";
    size_t rows = 0;
    while (lines.next(line, overlong) && rows < 1000000) {
        if (overlong || line.empty()) continue;
        std::vector<std::string> f;
        size_t at = 0;
        while (true) {
            const size_t tab = line.find('\t', at);
            f.emplace_back(line.substr(at, tab == std::string_view::npos ? line.npos : tab - at));
            if (tab == std::string_view::npos) break;
            at = tab + 1;
        }
        if (head.empty()) {
            head = f;
            continue;
        }
        auto column = [&](std::initializer_list<const char*> names) -> std::string {
            for (const char* name : names)
                for (size_t i = 0; i < head.size() && i < f.size(); ++i)
                    if (head[i] == name) return f[i];
            return {};
        };
        std::string onset = column({"onset"});
        const std::string utc = column({"utc", "time_utc"});
        if (originUnixMs && !utc.empty())
            if (const auto at = timebase::parseUtc(utc)) {
                onset.clear();
                tidy::appendSeconds(onset, *at - *originUnixMs);
            }
        std::string duration = column({"duration"});
        std::string type = column({"label", "trial_type", "value", "text"});
        for (char& c : type)
            if (c == '\t') c = ' ';
        if (onset.empty()) continue;
        out += onset + "\t" + (duration.empty() ? "0" : duration) + "\t" +
               (type.empty() ? "n/a" : type) + "\n";
        ++rows;
    }
    return rows > 0 ? out : std::string();
}

}  // namespace

int bidsExportCommand(const ExportOptions& o) {
    const bids::Entities e{bids::label(o.subject), bids::label(o.session), bids::label(o.task)};
    if (e.subject.empty() || e.task.empty() || (!o.session.empty() && e.session.empty())) {
        error("--subject, --session and --task need letters or digits");
        return Exit::usage;
    }
    ScaleFile scaleFile;
    if (const int code = loadScales(o, scaleFile); code != Exit::ok) return code;
    std::vector<ExportSource> sources = groupSources(o.files);
    std::vector<tidy::Scales> scales;
    for (const ExportSource& source : sources) scales.push_back(scalesOf(scaleFile, source));
    std::vector<std::array<KindSpan, 7>> spans(sources.size());
    for (size_t s = 0; s < sources.size(); ++s)
        for (const std::string& file : sources[s].files)
            if (const int code =
                    readRecordFile(file, true,
                                   [&](const SensorDataRecord& r) {
                                       if (r.dataType >= 0 && r.dataType < 7)
                                           spans[s][size_t(r.dataType)].add(tidy::recordedMs(r));
                                   });
                code != Exit::ok)
                return code;

    // The tracking systems and the names of every file.
    std::vector<Track> tracks;
    std::map<std::string, int> used;
    for (size_t s = 0; s < sources.size(); ++s) {
        std::string device =
            bids::label(!sources[s].sensorName.empty() ? sources[s].sensorName : sources[s].stem);
        if (device.empty()) device = "sensor";
        if (int& n = used[device]; n++ > 0) device += std::to_string(n);  // same sensor twice
        for (int k = 0; k < 7; ++k)
            if (spans[s][size_t(k)].rows > 0)
                tracks.push_back({s, k, device + tidy::kindName(k), nullptr});
    }
    if (tracks.empty()) {
        error("the inputs hold no records of a known kind; nothing was written");
        return Exit::fileError;
    }
    const fs::path root(o.bidsDir);
    const fs::path folder = root / bids::motionFolder(e);
    std::error_code ec;
    const bool madeRoot = fs::create_directories(root, ec);
    fs::create_directories(folder, ec);
    if (ec || !fs::is_directory(folder, ec)) {
        error("cannot create the folder " + shown(folder.string()));
        return Exit::fileError;
    }
    const safeout::Existing existing =
        o.force ? safeout::Existing::replace : safeout::Existing::refuse;

    std::vector<std::unique_ptr<safeout::OutputFile>> small;  // whole-text files
    std::vector<safeout::OutputFile*> all;
    std::string why;
    auto removeAll = [&] {
        for (safeout::OutputFile* f : all) f->discard();
        if (madeRoot) fs::remove_all(root, ec);
    };
    auto addText = [&](const fs::path& path, const std::string& text) {
        auto f = std::make_unique<safeout::OutputFile>();
        if (!o.force && fileio::exists(path.string())) {
            why = path.string() + " exists already; --force replaces it";
            return false;
        }
        if (!f->create(path.string()) || f->write(text.data(), text.size()) != text.size() ||
            !f->close()) {
            why = path.string() + ": " + f->error();
            return false;
        }
        all.push_back(f.get());
        small.push_back(std::move(f));
        return true;
    };
    auto failed = [&](const std::string& text) {
        error(shown(text) + "; no file was written");
        removeAll();
        return Exit::fileError;
    };

    const fs::path description = root / "dataset_description.json";
    if (!fileio::exists(description.string()) &&
        !addText(description,
                 "{\n  \"Name\": \"" + e.task + "\",\n  \"BIDSVersion\": \"" + bids::kBidsVersion +
                     "\",\n  \"DatasetType\": \"raw\",\n  \"GeneratedBy\": [{\"Name\": "
                     "\"vraxctl\"}]\n}\n"))
        return failed(why);

    const fs::path readme = root / "README";
    if (!fileio::exists(readme.string()) &&
        !addText(readme,
                 "Motion data of VRAX sensors, exported by vraxctl.\n\nValues are raw sensor "
                 "counts (units \"count\") unless a channels table gives a unit from the "
                 "user's scale file; latency is "
                 "seconds from each table's first sample, and the scans table gives that sample's "
                 "time on UTC.\n"))
        return failed(why);

    std::string scans = "filename\tacq_time\n";
    std::optional<int64_t> earliest;
    for (Track& t : tracks) {
        const ExportSource& src = sources[t.source];
        const KindSpan& span = spans[t.source][size_t(t.dataType)];
        const std::string point = bids::label(src.label).empty() ? "n/a" : src.label;
        const std::vector<bids::Channel> chans =
            bids::channels(t.dataType, point, scales[t.source]);
        const double rate = span.nominalHz();
        const fs::path motion = folder / bids::motionName(e, t.tracksys, "motion.tsv");
        if (!o.force && fileio::exists(motion.string()))
            return failed(motion.string() + " exists already; --force replaces it");
        t.motion = std::make_unique<fileio::BufferedFile>(motion.string());
        if (!t.motion->ok()) return failed(motion.string() + ": " + t.motion->output().error());
        all.push_back(&t.motion->output());
        if (!addText(folder / bids::motionName(e, t.tracksys, "channels.tsv"),
                     bids::channelsTable(chans, point, rate)))
            return failed(why);
        QJsonObject side{{"TaskName", QString::fromStdString(o.task)},
                         {"SamplingFrequency", rate},
                         {"SamplingFrequencyEffective", span.effectiveHz()},
                         {"TrackingSystemName", QString::fromStdString(t.tracksys)},
                         {"RecordingDuration", double(span.last - span.first) / 1000.0}};
        if (!src.sensorModel.empty())
            side.insert("ManufacturersModelName", QString::fromStdString(src.sensorModel));
        const QJsonObject sensor = src.sidecar["sensor"].toObject();
        if (sensor.contains("address")) side.insert("DeviceSerialNumber", sensor["address"]);
        if (sensor.contains("firmware")) side.insert("SoftwareVersions", sensor["firmware"]);
        std::map<std::string, int> counts;
        for (const bids::Channel& c : chans) ++counts[c.type];
        for (const auto& [type, n] : counts)
            side.insert(QString::fromStdString(type + "ChannelCount"), n);
        side.insert("MotionChannelCount", int(chans.size()));
        if (!addText(folder / bids::motionName(e, t.tracksys, "motion.json"),
                     QJsonDocument(side).toJson(QJsonDocument::Indented).toStdString()))
            return failed(why);
        std::string acq = "n/a";
        if (src.startUnixMs) {
            const int64_t at = *src.startUnixMs + span.first;
            acq = isoForScans(at);
            if (!earliest || at < *earliest) earliest = at;
        }
        scans += "motion/" + bids::motionName(e, t.tracksys, "motion.tsv") + "\t" + acq + "\n";
    }
    if (!addText(root / bids::scansPath(e), scans)) return failed(why);
    const std::string events =
        eventsTable((fs::path(o.files.front()).parent_path() / "events.tsv").string(), earliest);
    if (!events.empty() && !addText(folder / bids::eventsName(e), events)) return failed(why);

    // The rows: one more pass over each source's files.
    std::string row;
    for (size_t s = 0; s < sources.size(); ++s) {
        std::array<fileio::BufferedFile*, 7> into{};
        for (Track& t : tracks)
            if (t.source == s) into[size_t(t.dataType)] = t.motion.get();
        for (const std::string& file : sources[s].files)
            if (const int code =
                    readRecordFile(file, false,
                                   [&](const SensorDataRecord& r) {
                                       if (r.dataType < 0 || r.dataType > 6) return;
                                       fileio::BufferedFile* f = into[size_t(r.dataType)];
                                       if (!f) return;
                                       row.clear();
                                       bids::appendMotionRow(
                                           row, r, spans[s][size_t(r.dataType)].first, scales[s]);
                                       f->write(row.data(), row.size());
                                   });
                code != Exit::ok) {
                removeAll();
                return code;
            }
    }
    for (Track& t : tracks)
        if (!t.motion->flush()) return failed(t.motion->output().error());
    if (!safeout::publishAll(all, existing, why)) return failed(why);
    for (const Track& t : tracks)
        std::printf("%s: %llu rows -> %s\n", t.tracksys.c_str(),
                    (unsigned long long)spans[t.source][size_t(t.dataType)].rows,
                    shown(t.motion->output().publishedPath()).c_str());
    std::printf("BIDS motion dataset in %s\n", shown(root.string()).c_str());
    return Exit::ok;
}

}  // namespace cli
