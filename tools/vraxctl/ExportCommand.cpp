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
#include <vector>

#include "store/FileIO.h"
#include "store/TidyColumns.h"
#include "store/TidyCsv.h"
#include "tools/vraxctl/Cli.h"
#include "tools/vraxctl/Hdf5Export.h"

namespace cli {
namespace {

namespace fs = std::filesystem;

// The output names, checked: never the input, an existing file only with
// --force, never a folder.
int checkOutputs(const Options& o, const std::vector<std::string>& names) {
    for (const std::string& name : names) {
        if (fileio::InputFile::sameFile(name, o.file)) {
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

}  // namespace

int exportCommand(const Options& o) {
    const std::string ext = lowerExtension(o.file);
    if (ext != ".csv" && ext != ".bin") {
        error("export reads a .csv or a .bin file, not " + shown(o.file));
        return Exit::usage;
    }
    if (!o.hdf5File.empty() && !hdf5out::available()) {
        error("--hdf5: this vraxctl was built without HDF5");
        return Exit::usage;
    }
    tidy::Survey survey;
    bool filteredLines = false;
    if (const int code = readRecordFile(
            o.file, true, [&](const SensorDataRecord& r) { survey.add(r); }, &filteredLines);
        code != Exit::ok)
        return code;
    const std::vector<tidy::Table> tables = survey.tables();
    if (tables.empty()) {
        error(shown(o.file) + " holds no records of a known kind; nothing was written");
        return Exit::fileError;
    }
    const bool filtered = filteredLines || survey.hasFilteredAd16();
    const std::string stem = fs::path(o.file).stem().string();

    std::vector<std::string> names;
    if (!o.tidyDir.empty())
        for (const tidy::Table& t : tables)
            names.push_back(tidy::csvPath(o.tidyDir, stem, t.dataType));
    if (!o.hdf5File.empty()) names.push_back(o.hdf5File);
    if (const int code = checkOutputs(o, names); code != Exit::ok) return code;
    const safeout::Existing existing =
        o.force ? safeout::Existing::replace : safeout::Existing::refuse;

    // Every output is written under its working name; all take their names
    // together once all are whole, or none does.
    bool madeFolder = false;
    safeout::OutputFile h5;
    hdf5out::Writer hdf5;
    tidy::CsvTables csv;
    auto removeAll = [&] {
        for (safeout::OutputFile* f : csv.outputs()) f->discard();
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
        (!h5.create(o.hdf5File) || !hdf5.open(h5, tables, survey.origin(), filtered, why)))
        return failed(why.empty() ? h5.error() : why);
    if (!o.tidyDir.empty()) {
        if (!makeFolder(o.tidyDir, madeFolder)) {
            removeAll();
            return Exit::fileError;
        }
        if (!csv.open(o.tidyDir, stem, tables, survey.origin(), filtered, why)) return failed(why);
    }
    if (const int code = readRecordFile(o.file, false,
                                        [&](const SensorDataRecord& r) {
                                            csv.add(r);
                                            if (h5.pending()) hdf5.add(r);
                                        });
        code != Exit::ok) {
        removeAll();
        return code;
    }
    if (!csv.flush(why) || (h5.pending() && !hdf5.finish(why))) return failed(why);
    std::vector<safeout::OutputFile*> outputs = csv.outputs();
    if (h5.pending()) outputs.push_back(&h5);
    if (!safeout::publishAll(outputs, existing, why)) return failed(why);

    const std::vector<safeout::OutputFile*> csvFiles = csv.outputs();
    for (size_t i = 0; i < csvFiles.size(); ++i)
        std::printf("%s: %llu rows -> %s\n", tidy::kindName(tables[i].dataType),
                    (unsigned long long)tables[i].rows,
                    shown(csvFiles[i]->publishedPath()).c_str());
    if (!o.hdf5File.empty())
        std::printf("%zu tables -> %s\n", tables.size(), shown(h5.publishedPath()).c_str());
    return Exit::ok;
}

}  // namespace cli
