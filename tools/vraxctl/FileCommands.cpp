// The sub-commands that work on files only: replay of a capture through the
// sensor object's parser, decoders and store, and conversion between the
// store's CSV and binary files.
#include <cstdio>
#include <filesystem>
#include <memory>

#include "link/BtUtilClass.h"
#include "sensor/DownloadNaming.h"
#include "sensor/VRAXSensor.h"
#include "tools/vraxctl/Capture.h"
#include "tools/vraxctl/Cli.h"

namespace cli {
namespace {

namespace fs = std::filesystem;

std::string lowerExtension(const std::string& path) {
    std::string ext = fs::path(path).extension().string();
    for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

// One download being rebuilt from a capture.
struct Transfer {
    std::string label;
    std::string path;
};

bool finishTransfer(VRAXSensor& s, const Transfer& t, const std::string& result) {
    const bool flushed = s.flashWriteBuffer();
    s.clearSaveFlag();
    const bool complete = flushed && s.getSensorDataObject().queuedRecords() == 0 &&
                          !s.getSensorDataObject().hadWriteError();
    std::printf("%s: %llu records -> %s%s\n", t.label.c_str(),
                (unsigned long long)s.getSensorDataObject().count(), t.path.c_str(),
                result == "done" || result.empty()
                    ? ""
                    : (" (the captured download was incomplete: " + result + ")").c_str());
    s.clearSaveFilename();
    if (!complete) error(t.label + ": not every record could be written to " + t.path);
    return complete;
}

}  // namespace

int replayCommand(const Options& o) {
    std::vector<capture::Record> records;
    std::string why;
    if (!capture::load(o.file, records, why)) {
        error(why);
        return Exit::fileError;
    }
    std::error_code ec;
    fs::path outDir = fs::absolute(o.outDir, ec).lexically_normal();
    std::string saveFolder = outDir.string();
    while (saveFolder.size() > 1 && saveFolder.back() == '/') saveFolder.pop_back();

    std::unique_ptr<VRAXSensor> sensor;
    std::optional<Transfer> active;
    int code = Exit::ok;
    int transfers = 0;
    for (const capture::Record& r : records) {
        if (r.kind == capture::Kind::received) {
            if (sensor) sensor->rfCommControl()->rfcommChannelData(r.data.data(), r.data.size());
            continue;
        }
        if (r.kind != capture::Kind::marker) continue;
        capture::Fields f = capture::parseMarker(r.data);
        const std::string& event = f["event"];
        if (event == "session") {
            if (sensor && active && !finishTransfer(*sensor, *active, "")) code = Exit::fileError;
            active.reset();
            sensor = std::make_unique<VRAXSensor>();
            sensor->setName(f["sensor"]);
            sensor->setAddress(f["address"]);
            sensor->setSensorType(BtUtilClass::checkSensorType(f["sensor"]));
        } else if (event == "transfer") {
            EntryStart start;
            const std::string day = f["day"];
            if (!sensor || !parseEntryStart(f["start"], start) || day.size() != 8) {
                error("the capture file " + o.file +
                      " is damaged: a download marker is incomplete");
                return Exit::fileError;
            }
            if (active && !finishTransfer(*sensor, *active, "")) code = Exit::fileError;
            const bool filtered = o.filter || f["filtered"] == "1";
            const std::string folder =
                dayFolderPath(saveFolder, std::stoi(day.substr(0, 4)), std::stoi(day.substr(4, 2)),
                              std::stoi(day.substr(6, 2)));
            fs::create_directories(folder, ec);
            // As the download does: the stream and store start empty when the
            // read request goes out.
            sensor->clearSensorData();
            sensor->setWriteAD16FilterdData(filtered ? 1 : 0);
            Transfer t{sensor->name() + " entry " + f["entry"],
                       csvFilePath(folder, sensor->name(), start, filtered)};
            sensor->setSaveFilename(t.path);
            if (sensor->getSensorDataObject().hadWriteError()) {
                error("cannot create " + t.path);
                return Exit::fileError;
            }
            sensor->setSaveFlag();
            active = t;
            ++transfers;
        } else if (event == "transfer-end") {
            if (sensor && active && !finishTransfer(*sensor, *active, f["result"]))
                code = Exit::fileError;
            active.reset();
        }
    }
    if (sensor && active && !finishTransfer(*sensor, *active, "")) code = Exit::fileError;
    if (transfers == 0) {
        error("the capture file " + o.file + " holds no download to replay");
        return Exit::fileError;
    }
    return code;
}

int convertCommand(const Options& o) {
    const std::string ext = lowerExtension(o.file);
    if (ext != ".csv" && ext != ".bin") {
        error("convert reads a .csv or a .bin file, not " + o.file);
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
    // The saves add the extension (and with --lines, "-<n>") themselves.
    std::string base = o.output.empty() ? o.file : o.output;
    const std::string outExt = lowerExtension(base);
    if (outExt == ".csv" || outExt == ".bin") base.resize(base.size() - outExt.size());
    const std::string first = base + (o.lines > 0 ? "-0." : ".") + o.to;

    std::error_code ec;
    if (fs::exists(first, ec) && fs::equivalent(first, o.file, ec)) {
        error(first + " is the input file; choose another name with --output");
        return Exit::usage;
    }
    if (!o.force && fs::exists(first, ec)) {
        error(first + " exists already; --force replaces it");
        return Exit::fileError;
    }

    VRAXSensorData store;
    const bool loaded =
        ext == ".bin" ? store.loadFromFileByBin(o.file) : store.loadFromFileByCSV(o.file);
    if (!loaded) {
        error("cannot read " + o.file +
              (ext == ".csv" ? " (missing, unreadable or not text)" : ""));
        return Exit::fileError;
    }
    if (ext == ".bin" && store.ignoredBytesOfLastLoad() > 0)
        warning(o.file + ": the last " + std::to_string(store.ignoredBytesOfLastLoad()) +
                " bytes make no whole record and were left out");
    if (store.count() == 0) warning(o.file + " holds no records");

    const bool saved =
        o.to == "bin" ? store.saveToFileByBin(base) : store.saveToFileByCSV(base, o.lines, 1);
    if (!saved) {
        error("writing " + first + " failed");
        return Exit::fileError;
    }
    std::printf("%llu records -> %s\n", (unsigned long long)store.count(), first.c_str());
    return Exit::ok;
}

}  // namespace cli
