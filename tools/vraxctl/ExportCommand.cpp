// export: a download CSV or a binary dump as analysis-ready tables, one tidy
// CSV file per kind of record and/or one HDF5 file. Like convert it checks
// every output before writing, never writes over its input, replaces
// existing files only with --force, and leaves nothing behind when it fails.
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <vector>

#include "store/FileIO.h"
#include "store/TidyColumns.h"
#include "store/TidyCsv.h"
#include "store/VRAXSensorData.h"
#include "tools/vraxctl/Cli.h"
#include "tools/vraxctl/Hdf5Export.h"

namespace cli {
namespace {

namespace fs = std::filesystem;

// The output names, checked: never the input, an existing file only with --force.
int checkOutputs(const Options& o, const std::vector<std::string>& names) {
    for (const std::string& name : names) {
        if (fileio::InputFile::sameFile(name, o.file)) {
            error(shown(name) + " is the input file; export never writes over its input");
            return Exit::usage;
        }
        if (!o.force && fileio::exists(name)) {
            error(shown(name) + " exists already; --force replaces it");
            return Exit::fileError;
        }
    }
    return Exit::ok;
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
    VRAXSensorData store;
    if (const int code = loadRecordFile(o.file, store); code != Exit::ok) return code;
    const std::vector<tidy::Table> tables = tidy::tablesOf(store);
    if (tables.empty()) {
        error(shown(o.file) + " holds no records of a known kind; nothing was written");
        return Exit::fileError;
    }
    const bool filtered = store.lastCSVLoad().filteredAD16 || tidy::hasFilteredAd16(store);
    const std::string stem = fs::path(o.file).stem().string();

    std::vector<std::string> names;
    if (!o.tidyDir.empty())
        for (const tidy::Table& t : tables)
            names.push_back(tidy::csvPath(o.tidyDir, stem, t.dataType));
    if (!o.hdf5File.empty()) names.push_back(o.hdf5File);
    if (const int code = checkOutputs(o, names); code != Exit::ok) return code;
    const safeout::Existing existing =
        o.force ? safeout::Existing::replace : safeout::Existing::refuse;

    // The HDF5 file is built and written under its working name first; it
    // takes its name after the CSV files have theirs.
    safeout::OutputFile h5;
    if (!o.hdf5File.empty()) {
        std::string image, why;
        if (!hdf5out::buildImage(store, filtered, image, why)) {
            error("writing " + shown(o.hdf5File) + " failed: " + why + "; no file was written");
            return Exit::fileError;
        }
        if (!h5.create(o.hdf5File) || h5.write(image.data(), image.size()) != image.size() ||
            !h5.close()) {
            error("writing " + shown(o.hdf5File) + " failed: " + shown(h5.error()) +
                  "; no file was written");
            return Exit::fileError;
        }
    }

    tidy::CsvReport csvFiles;
    bool madeFolder = false;
    if (!o.tidyDir.empty()) {
        std::error_code ec;
        madeFolder = fs::create_directories(o.tidyDir, ec);
        if (ec || !fs::is_directory(o.tidyDir, ec)) {
            error("cannot create the folder " + shown(o.tidyDir) +
                  (ec ? " (" + ec.message() + ")" : " (something else has that name)"));
            return Exit::fileError;
        }
        if (!tidy::writeCsvFiles(store, o.tidyDir, stem, filtered, existing, csvFiles)) {
            error("writing the CSV files into " + shown(o.tidyDir) +
                  " failed: " + shown(csvFiles.error) + "; no file was written");
            if (madeFolder) fs::remove(o.tidyDir, ec);
            return Exit::fileError;
        }
    }
    if (h5.pending() && !h5.publish(existing)) {
        error("writing " + shown(o.hdf5File) + " failed: " + shown(h5.error()) +
              "; no file was written");
        if (existing != safeout::Existing::replace)
            for (const std::string& f : csvFiles.files) ::unlink(f.c_str());
        std::error_code ec;
        if (madeFolder) fs::remove(o.tidyDir, ec);
        return Exit::fileError;
    }

    for (size_t i = 0; i < csvFiles.files.size(); ++i)
        std::printf("%s: %llu rows -> %s\n", tidy::kindName(tables[i].dataType),
                    (unsigned long long)tables[i].rows, shown(csvFiles.files[i]).c_str());
    if (h5.publishedPath().size())
        std::printf("%zu tables -> %s\n", tables.size(), shown(h5.publishedPath()).c_str());
    return Exit::ok;
}

}  // namespace cli
