// vraxctl convert: between the store's CSV and binary files. Nothing
// existing (nor the input) is replaced without --force, and every file is
// whole under its name.
#include <cstdio>
#include <string>
#include <vector>

#include "store/FileIO.h"
#include "store/TidyCsv.h"
#include "store/VRAXSensorData.h"
#include "tools/vraxctl/Cli.h"
#include "tools/vraxctl/Commands.h"

namespace cli {
namespace {

struct ConvertOptions {
    std::string file;
    std::string to;
    int lines = 0;
    std::string output;  // empty: the input's name with the new extension
    bool force = false;
    bool wholeStore = false;  // the whole-store CSV format
};

constexpr Option kTo{"to", "Output type: csv or bin.", "type"};
constexpr Option kOutput{"output",
                         "Output name (default: the input's name with the new extension).", "file"};
constexpr Option kWholeStore{
    "whole-store",
    "Write the whole-store CSV format (\"e\" heads for 16-bit AD, no qags lines) instead of "
    "download lines."};
constexpr Option kForce{"force", "Replace existing output files (also the input)."};

int convertCommand(const ConvertOptions& o) {
    const std::string ext = lowerExtension(o.file);
    if (ext != ".csv" && ext != ".bin") {
        error("convert reads a .csv or a .bin file, not " + shown(o.file));
        return Exit::usage;
    }
    if (o.to != "csv" && o.to != "bin") {
        error("--to must be csv or bin");
        return Exit::usage;
    }
    if (o.lines < 0 || (o.lines > 0 && o.to != "csv")) {
        error("--lines takes a positive count and works with --to csv only");
        return Exit::usage;
    }
    if (o.wholeStore && o.to != "csv") {
        error("--whole-store works with --to csv only");
        return Exit::usage;
    }

    VRAXSensorData store;
    if (const int code = loadRecordFile(o.file, store); code != Exit::ok) return code;
    // Bytes that are no records (a file that is no dump) are refused as export refuses them.
    if (store.count() > 0 && tidy::tablesOf(store).empty()) {
        error(shown(o.file) + " holds no records of a known kind; nothing was written");
        return Exit::fileError;
    }

    // The names to write (the saves add the extension, and "-<n>" per part).
    std::string base = o.output.empty() ? o.file : o.output;
    const std::string outExt = lowerExtension(base);
    if (outExt == ".csv" || outExt == ".bin") base.resize(base.size() - outExt.size());
    const std::vector<std::string> names =
        o.to == "bin" ? std::vector<std::string>{base + ".bin"}
                      : VRAXSensorData::csvFileNames(base, o.lines, store.count());
    for (const std::string& name : names) {
        if (o.force) continue;
        if (fileio::InputFile::sameFile(name, o.file)) {
            error(shown(name) +
                  " is the input file; choose another name with --output (or "
                  "--force)");
            return Exit::usage;
        }
        if (fileio::exists(name)) {
            error(shown(name) + " exists already; --force replaces it");
            return Exit::fileError;
        }
    }

    // Every file is written whole before any takes its name; on failure
    // nothing is left behind.
    const safeout::Existing existing =
        o.force ? safeout::Existing::replace : safeout::Existing::refuse;
    if (o.to == "bin") {
        std::string why;
        if (!store.saveBinFile(names[0], existing, why)) {
            error(shown(why) + "; no file was written");
            return Exit::fileError;
        }
        writeDerivedSidecar(names[0], o.file, "conversion", o.force);
        std::printf("%llu records -> %s\n", (unsigned long long)store.count(),
                    shown(names[0]).c_str());
        return Exit::ok;
    }
    CsvSaveOptions options;
    options.limitLines = o.lines;
    options.lineFeedCode = 1;
    options.style = o.wholeStore ? csv::LineStyle::wholeStore : csv::LineStyle::streamed;
    options.filtered =
        !o.wholeStore && (store.lastCSVLoad().filteredAD16 || tidy::hasFilteredAd16(store));
    options.existing = existing;
    CsvSaveReport saved;
    if (!store.saveCSVFiles(base, options, saved)) {
        error(shown(saved.error) + "; no file was written");
        return Exit::fileError;
    }
    if (saved.leftOut > 0)
        warning(std::to_string(saved.leftOut) +
                " records have no line in the whole-store format (qags) and were left out");
    for (const std::string& f : saved.files) writeDerivedSidecar(f, o.file, "conversion", o.force);
    std::printf("%llu lines -> %s", (unsigned long long)saved.lines,
                shown(saved.files.front()).c_str());
    if (saved.files.size() > 1)
        std::printf(" ... %s (%zu files)", shown(saved.files.back()).c_str(), saved.files.size());
    std::printf("\n");
    return Exit::ok;
}

UsageError parseConvert(const ParsedLine& l, ConvertOptions& o) {
    if (UsageError e = readOneFile(l, o.file)) return e;
    o.force = l.isSet(kForce);
    if (!l.isSet(kTo)) return "--to csv or --to bin is needed";
    o.to = bytes(l.value(kTo));
    if (UsageError e = readLines(l, o.lines)) return e;
    if (l.isSet(kOutput) && !l.path(kOutput, o.output)) return "--output needs a file name";
    o.wholeStore = l.isSet(kWholeStore);
    return std::nullopt;
}

}  // namespace

std::vector<Command> convertCommands() {
    return {
        {"convert",
         "FILE.bin|FILE.csv --to csv|bin",
         "Convert between the store's binary file and CSV files (download lines; every record\n"
         "kept). Never writes over an existing file or its input without --force.",
         {&kTo, &opt::lines, &kOutput, &kWholeStore, &kForce},
         parseThenRun(parseConvert, convertCommand)},
    };
}

}  // namespace cli
