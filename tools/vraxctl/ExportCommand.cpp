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
#include "tools/vraxctl/ExportOptions.h"
#include "tools/vraxctl/ExportSources.h"
#include "tools/vraxctl/Hdf5Export.h"

namespace cli {
namespace {

namespace fs = std::filesystem;

constexpr Option kTidy{"tidy",
                       "Write one CSV file per kind of record into <dir> (made when missing): "
                       "<dir>/<name>_<kind>.csv, a header row of column names, LF line ends.",
                       "dir"};
constexpr Option kHdf5{"hdf5",
                       "Write every kind of record as a table of one HDF5 file, the column names "
                       "in the table's \"columns\" attribute.",
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
        plans.push_back(std::move(plan));
    }
    if (!o.hdf5File.empty() && plans.size() > 1) {
        error("--hdf5 takes the files of one recording; give --tidy for several");
        return Exit::usage;
    }

    std::vector<std::string> names;
    if (!o.tidyDir.empty())
        for (const SourcePlan& p : plans)
            for (const tidy::Table& t : p.tables)
                names.push_back(tidy::csvPath(o.tidyDir, p.source.stem, t.dataType));
    for (size_t i = 0; i < names.size(); ++i)
        for (size_t k = i + 1; k < names.size(); ++k)
            if (names[i] == names[k]) {
                error("two inputs would both write " + shown(names[i]) + "; nothing was written");
                return Exit::usage;
            }
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
    if (!o.hdf5File.empty() &&
        (!h5.create(o.hdf5File) ||
         !hdf5.open(h5, plans[0].tables, plans[0].survey.origin(), plans[0].filtered, why)))
        return failed(why.empty() ? h5.error() : why);
    if (!o.tidyDir.empty() && !makeFolder(o.tidyDir, madeFolder)) {
        removeAll();
        return Exit::fileError;
    }
    for (const SourcePlan& p : plans) {
        auto tables = std::make_unique<tidy::CsvTables>();
        if (o.utc) tables->setUtcStart(*p.source.startUnixMs);
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
    if (!o.hdf5File.empty())
        std::printf("%zu tables -> %s\n", plans[0].tables.size(),
                    shown(h5.publishedPath()).c_str());
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
         "runs on; each sensor or recording is a source of its own. Never writes over its\n"
         "input, nor over an existing file without --force.",
         {&kTidy, &kHdf5, &kUtc, &kBids, &kSubject, &kSession, &kTask, &opt::forceOutputs},
         parseThenRun(parseExport, exportCommand)},
    };
}

}  // namespace cli
