// export: a download CSV or a binary dump as analysis-ready tables, one tidy
// CSV file per kind of record and/or one HDF5 file. Like convert it checks
// every output before writing, never writes over its input, replaces
// existing files only with --force, and leaves nothing behind when it fails.
//
// The input is read twice and never held: once to learn the tables (kinds,
// row counts, the first time stamp), once to write their rows. So memory
// stays the same however many records the file holds.
#include <cstdio>
#include <filesystem>
#include <memory>
#include <vector>

#include "store/FileIO.h"
#include "store/TidyColumns.h"
#include "store/TidyCsv.h"
#include "tools/vraxctl/Cli.h"
#include "tools/vraxctl/Commands.h"
#include "tools/vraxctl/ExportMetadata.h"
#include "tools/vraxctl/ExportOptions.h"
#include "tools/vraxctl/ExportSources.h"
#include "tools/vraxctl/Hdf5Export.h"
#include "tools/vraxctl/ScaleFile.h"

namespace cli {
namespace {

namespace fs = std::filesystem;

constexpr Option kTidy{"tidy",
                       "Write one CSV file per kind of record into <dir> (made when missing): "
                       "<dir>/<name>_<kind>.csv, a header row of column names, LF line ends.",
                       "dir"};
constexpr Option kHdf5{"hdf5",
                       "Write the tables into one HDF5 file: a group per source, in it a group "
                       "per kind of record with one compressed dataset per column (integers "
                       "stay integers), units and valid ranges as attributes, and the "
                       "source's sidecar as the group's attributes.",
                       "file"};
constexpr Option kScale{"scale",
                        "Add physical-unit columns from the scale factors in <file> (JSON, per "
                        "sensor model and range setting; see the man page). Without it values "
                        "stay raw counts.",
                        "file"};
constexpr Option kUtc{"utc",
                      "Add time_utc (ISO 8601, UTC) and time_unix (seconds) columns from the start "
                      "on UTC in each file's .json sidecar."};
constexpr Option kBids{
    "bids",
    "Write a BIDS motion dataset into <dir> (needs --subject and --task): one tracking system "
    "per sensor and kind of record, with channels, sidecars, scans and events.",
    "dir"};
constexpr Option kSubject{"subject", "BIDS subject label (letters and digits).", "label"};
constexpr Option kSession{"session", "BIDS session label (letters and digits).", "label"};
constexpr Option kTask{"task", "BIDS task label (letters and digits).", "label"};

// The output names, checked: never an input, an existing file only with
// --force, never a folder.
int checkOutputs(const ExportOptions& o, const std::vector<std::string>& names) {
    for (const std::string& name : names) {
        for (const std::string& input : o.files)
            if (fileio::InputFile::sameFile(name, input)) {
                error(shown(name) + " is the input file; export never writes over its input");
                return Exit::usage;
            }
        std::error_code ec;
        if (fs::is_directory(fs::symlink_status(name, ec))) {
            error(shown(name) + " is a folder; nothing was written");
            return Exit::fileError;
        }
        if (!o.force && fileio::exists(name)) {
            error(shown(name) + " exists already; --force replaces it");
            return Exit::fileError;
        }
    }
    return Exit::ok;
}

// One source's tables: learnt in a first pass over its files.
struct SourcePlan {
    ExportSource source;
    tidy::Survey survey;
    std::vector<tidy::Table> tables;
    bool filtered = false;
    tidy::Scales scales;
};

// A folder for the tidy files; `made` when this run made it.
bool makeFolder(const std::string& dir, bool& made) {
    std::error_code ec;
    made = fs::create_directories(dir, ec);
    if (!ec && fs::is_directory(dir, ec)) return true;
    const std::string why = fileio::whyNoFolder(dir);
    error("cannot create the folder " + shown(dir) + " (" +
          shown(!why.empty() ? why
                : ec         ? ec.message()
                             : std::string("something else has that name")) +
          ")");
    return false;
}

int exportCommand(const ExportOptions& o) {
    if (!o.bidsDir.empty()) return bidsExportCommand(o);
    for (const std::string& file : o.files) {
        const std::string ext = lowerExtension(file);
        if (ext != ".csv" && ext != ".bin") {
            error("export reads .csv or .bin files, not " + shown(file));
            return Exit::usage;
        }
    }
    if (!o.hdf5File.empty() && !hdf5out::available()) {
        error("--hdf5: this vraxctl was built without HDF5");
        return Exit::usage;
    }
    ScaleFile scaleFile;
    if (const int code = loadScales(o, scaleFile); code != Exit::ok) return code;
    std::vector<SourcePlan> plans;
    for (ExportSource& source : groupSources(o.files)) {
        if (o.utc && !source.startUnixMs) {
            error("--utc: " + shown(source.files.front()) + " has no sidecar with its start (" +
                  shown(source.files.front()) + ".json); nothing was written");
            return Exit::fileError;
        }
        SourcePlan plan;
        plan.source = std::move(source);
        for (const std::string& file : plan.source.files) {
            bool filteredLines = false;
            if (const int code = readRecordFile(
                    file, true, [&](const SensorDataRecord& r) { plan.survey.add(r); },
                    &filteredLines);
                code != Exit::ok)
                return code;
            plan.filtered = plan.filtered || filteredLines;
        }
        plan.filtered = plan.filtered || plan.survey.hasFilteredAd16();
        plan.tables = plan.survey.tables();
        if (plan.tables.empty()) {
            error(shown(plan.source.files.front()) +
                  " holds no records of a known kind; nothing was written");
            return Exit::fileError;
        }
        plan.scales = scalesOf(scaleFile, plan.source);
        plans.push_back(std::move(plan));
    }

    std::vector<std::string> names;
    if (!o.tidyDir.empty())
        for (const SourcePlan& p : plans)
            for (const tidy::Table& t : p.tables)
                names.push_back(tidy::csvPath(o.tidyDir, p.source.stem, t.dataType));
    if (!o.hdf5File.empty())
        for (const SourcePlan& p : plans) names.push_back(o.hdf5File + ":/" + p.source.stem);
    for (size_t i = 0; i < names.size(); ++i)
        for (size_t k = i + 1; k < names.size(); ++k)
            if (names[i] == names[k]) {
                error("two inputs would both write " + shown(names[i]) + "; nothing was written");
                return Exit::usage;
            }
    if (!o.hdf5File.empty()) names.resize(names.size() - plans.size());
    if (!o.hdf5File.empty()) names.push_back(o.hdf5File);
    if (const int code = checkOutputs(o, names); code != Exit::ok) return code;
    const safeout::Existing existing =
        o.force ? safeout::Existing::replace : safeout::Existing::refuse;

    // Every output is written under its working name; all take their names
    // together once all are whole, or none does.
    bool madeFolder = false;
    safeout::OutputFile h5;
    hdf5out::Writer hdf5;
    std::vector<std::unique_ptr<tidy::CsvTables>> csv;
    auto removeAll = [&] {
        for (auto& tables : csv)
            for (safeout::OutputFile* f : tables->outputs()) f->discard();
        h5.discard();
        std::error_code ec;
        if (madeFolder) fs::remove(o.tidyDir, ec);
    };
    auto failed = [&](const std::string& why) {
        error(shown(why) + "; no file was written");
        removeAll();
        return Exit::fileError;
    };
    std::string why;
    std::vector<std::vector<hdf5out::Attribute>> groupAttributes;
    for (const SourcePlan& p : plans)
        groupAttributes.push_back(sidecarAttributes(p.source.sidecar));
    if (!o.hdf5File.empty()) {
        std::vector<std::string> stems;
        for (const SourcePlan& p : plans) stems.push_back(p.source.stem);
        const std::vector<hdf5out::Attribute> attributes = fileAttributes(stems, groupAttributes);
        if (!h5.create(o.hdf5File) || !hdf5.open(h5, attributes, why))
            return failed(why.empty() ? h5.error() : why);
    }
    if (!o.tidyDir.empty() && !makeFolder(o.tidyDir, madeFolder)) {
        removeAll();
        return Exit::fileError;
    }
    for (size_t s = 0; s < plans.size(); ++s) {
        const SourcePlan& p = plans[s];
        if (h5.pending()) {
            hdf5out::Group group{p.source.stem, std::move(groupAttributes[s]),
                                 p.tables,      p.survey.origin(),
                                 p.filtered,    o.utc ? p.source.startUnixMs : std::nullopt,
                                 p.scales};
            if (!hdf5.beginGroup(group, why)) return failed(why);
        }
        auto tables = std::make_unique<tidy::CsvTables>();
        if (o.utc) tables->setUtcStart(*p.source.startUnixMs);
        tables->setScales(p.scales);
        if (!o.tidyDir.empty() &&
            !tables->open(o.tidyDir, p.source.stem, p.tables, p.survey.origin(), p.filtered, why))
            return failed(why);
        tidy::CsvTables& into = *tables;
        csv.push_back(std::move(tables));
        for (const std::string& file : p.source.files)
            if (const int code = readRecordFile(file, false,
                                                [&](const SensorDataRecord& r) {
                                                    into.add(r);
                                                    if (h5.pending()) hdf5.add(r);
                                                });
                code != Exit::ok) {
                removeAll();
                return code;
            }
        if (!into.flush(why)) return failed(why);
    }
    if (h5.pending() && !hdf5.finish(why)) return failed(why);
    std::vector<safeout::OutputFile*> outputs;
    for (auto& tables : csv)
        for (safeout::OutputFile* f : tables->outputs()) outputs.push_back(f);
    if (h5.pending()) outputs.push_back(&h5);
    if (!safeout::publishAll(outputs, existing, why)) return failed(why);

    for (size_t s = 0; s < plans.size(); ++s) {
        const std::vector<safeout::OutputFile*> files = csv[s]->outputs();
        for (size_t i = 0; i < files.size(); ++i) {
            std::printf("%s: %llu rows -> %s\n", tidy::kindName(plans[s].tables[i].dataType),
                        (unsigned long long)plans[s].tables[i].rows,
                        shown(files[i]->publishedPath()).c_str());
            writeDerivedSidecar(files[i]->publishedPath(), plans[s].source.files.front(), "export",
                                o.force);
        }
    }
    if (!o.hdf5File.empty()) {
        size_t count = 0;
        for (const SourcePlan& p : plans) count += p.tables.size();
        std::printf("%zu tables -> %s\n", count, shown(h5.publishedPath()).c_str());
    }
    return Exit::ok;
}

UsageError parseExport(const ParsedLine& l, ExportOptions& o) {
    if (l.positional().isEmpty()) return "export takes one or more files";
    for (const QString& arg : l.positional()) {
        o.files.push_back(userPath(bytes(arg)));
        if (o.files.back().empty()) return "export needs file names";
    }
    o.file = o.files.front();
    o.utc = l.isSet(kUtc);
    if (l.isSet(kScale) && !l.path(kScale, o.scaleFile)) return "--scale needs a file name";
    o.force = l.isSet(opt::forceOutputs);
    if (l.isSet(kTidy) && !l.path(kTidy, o.tidyDir)) return "--tidy needs a folder";
    if (l.isSet(kHdf5) && !l.path(kHdf5, o.hdf5File)) return "--hdf5 needs a file name";
    if (l.isSet(kBids)) {
        if (!l.path(kBids, o.bidsDir)) return "--bids needs a folder";
        if (!o.tidyDir.empty() || !o.hdf5File.empty())
            return "--bids writes a dataset of its own; give it without --tidy and --hdf5";
        o.subject = bytes(l.value(kSubject));
        o.session = bytes(l.value(kSession));
        o.task = bytes(l.value(kTask));
        if (o.subject.empty() || o.task.empty()) return "--bids needs --subject and --task";
        return std::nullopt;
    }
    if (o.tidyDir.empty() && o.hdf5File.empty())
        return "give --tidy DIR, --hdf5 OUT.h5 or both (or --bids DIR)";
    return std::nullopt;
}

}  // namespace

std::vector<Command> exportCommands() {
    return {
        {"export",
         "FILE.csv|FILE.bin... --tidy DIR | --hdf5 OUT.h5",
         "Write the records as analysis-ready tables, one per kind of record: CSV files with a\n"
         "header row (time_ms, time_s from the first sample, then the kind's values) and/or\n"
         "one HDF5 file. Several files: the parts of one recording make one source whose time_s\n"
         "runs on; each sensor or recording is a source of its own. Values are raw counts;\n"
         "--scale adds physical-unit columns from the user's scale factors. Never writes over\n"
         "its input, nor over an existing file without --force.",
         {&kTidy, &kHdf5, &kUtc, &kScale, &kBids, &kSubject, &kSession, &kTask, &opt::forceOutputs},
         parseThenRun(parseExport, exportCommand)},
    };
}

}  // namespace cli
