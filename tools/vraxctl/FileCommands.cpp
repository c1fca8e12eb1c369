// Replay of a capture through the sensor object's parser, decoders and
// store, and the readers of record files the file commands share. Replay
// follows the download's rules: nothing existing is replaced unless asked,
// and a file is whole under its name.
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>

#include "link/BtUtilClass.h"
#include "sensor/DownloadNaming.h"
#include "sensor/VRAXSensor.h"
#include "store/FileIO.h"
#include "tools/vraxctl/Capture.h"
#include "tools/vraxctl/CaptureCheck.h"
#include "tools/vraxctl/Cli.h"
#include "tools/vraxctl/Commands.h"
#include "tools/vraxctl/FileCommands.h"

namespace cli {
namespace {

namespace fs = std::filesystem;

// One download being rebuilt from a capture.
struct Transfer {
    std::string label;
    int64_t expected = -1;
    bool writing = false;  // false: skipped or refused; nothing is written
    safeout::Existing existing = safeout::Existing::keepBoth;
};

class Replay {
  public:
    Replay(const ReplayOptions& o) : o(o), saveFolder(absoluteFolder(o.outDir)) {}

    int run() {
        // A damaged capture is refused before anything is written.
        std::string why;
        if (!capture::checkCapture(o.file, checked, why)) {
            error(shown(why));
            return Exit::fileError;
        }
        if (checked.transfers == 0) {
            error("the capture file " + shown(o.file) + " holds no download to replay");
            return Exit::fileError;
        }
        capture::Reader reader;
        if (!reader.open(o.file)) {
            error(shown(reader.error()));
            return Exit::fileError;
        }
        capture::Record r;
        for (;;) {
            const capture::Reader::Next next = reader.next(r);
            if (next == capture::Reader::Next::record) {
                if (!take(r)) break;
                continue;
            }
            if (next == capture::Reader::Next::cutShort) {
                warning("the capture file " + shown(o.file) + " is cut short after byte " +
                        std::to_string(reader.offset()) +
                        " (was the capture interrupted?); replaying what it holds");
            } else if (next != capture::Reader::Next::end) {
                error(shown(reader.error()));
                code = Exit::fileError;
            }
            break;
        }
        finish("the capture ends inside it");
        return code;
    }

  private:
    // Handles one record; false when the capture cannot be read on.
    bool take(const capture::Record& r) {
        // Everything the sensor sent goes through the parser, as it did live
        // (answers before a download set the state its decoding uses).
        if (r.kind == capture::Kind::received) {
            if (sensor) sensor->rfCommControl()->rfcommChannelData(r.data.data(), r.data.size());
            return true;
        }
        if (r.kind != capture::Kind::marker) return true;
        capture::Fields f = capture::parseMarker(r.data);
        const std::string& event = f["event"];
        if (event == "session") {
            finish("the capture ends inside it");
            ++session;
            sensor = std::make_unique<VRAXSensor>();
            sensor->setName(f["sensor"]);
            sensor->setAddress(f["address"]);
            sensor->setSensorType(BtUtilClass::checkSensorType(f["sensor"]));
        } else if (event == "transfer") {
            finish("the capture ends inside it");
            return begin(f);
        } else if (event == "transfer-end") {
            finish(f["result"]);
        }
        return true;
    }

    bool damaged(const std::string& what) {
        error("the capture file " + shown(o.file) + " is damaged: " + what);
        code = Exit::fileError;
        return false;
    }

    bool begin(capture::Fields& f) {
        capture::Transfer m;
        std::string why;
        if (!sensor) return damaged("a download marker comes before its session");
        if (!capture::parseTransfer(f, m, why)) return damaged(why);
        ++transfers;

        const bool filtered = o.filter || m.filtered;
        // Entries that share a start time are told apart by their number,
        // as downloads do, also where the marker does not say so.
        const bool numbered =
            m.numbered >= 0 ? m.numbered == 1 : checked.sameStart.count({session, m.entry}) > 0;
        const std::string folder = dayFolderPath(saveFolder, m.year, m.month, m.day);
        const std::string target =
            csvFilePath(folder, sensor->name(), m.start, filtered, numbered ? m.entry : 0);
        const int64_t expected = m.expected;
        const int entry = m.entry;
        Transfer t;
        t.label = shown(sensor->name()) + " entry " + std::to_string(entry);
        t.expected = expected;
        active = t;
        // The download's rules in the output folder.
        if (o.skipExisting) {
            if (auto done = completeDownload(saveFolder, target, expected)) {
                std::printf("%s: skipped, already replayed (%s)\n", t.label.c_str(),
                            shown(*done).c_str());
                return true;
            }
            active->existing = safeout::Existing::replace;
        } else if (o.overwrite) {
            active->existing = safeout::Existing::replace;
        } else if (fileio::exists(target)) {
            error(t.label + ": " + shown(target) +
                  " exists already; --skip-existing skips complete downloads, --overwrite "
                  "replaces them");
            code = Exit::fileError;
            return true;
        }
        std::error_code ec;
        fs::create_directories(folder, ec);
        if (ec) {
            const std::string why = fileio::whyNoFolder(folder);
            error("cannot create the folder " + shown(folder) + ": " +
                  shown(why.empty() ? ec.message() : why));
            code = Exit::fileError;
            return false;
        }
        // As the download does: the stream and store start empty when the
        // read request goes out.
        sensor->clearSensorData();
        sensor->rfCommControl()->setMemDataReadCompleat(false);
        sensor->setWriteAD16FilterdData(filtered ? 1 : 0);
        sensor->setSaveFilename(target);
        if (sensor->getSensorDataObject().hadWriteError()) {
            error(t.label + ": cannot create " + shown(target) + " (" +
                  shown(sensor->getSensorDataObject().saveFileError()) + ")");
            code = Exit::fileError;
            sensor->clearSaveFilename();
            return true;
        }
        sensor->setSaveFlag();
        active->writing = true;
        return true;
    }

    // Ends the transfer being rebuilt. It is complete when the sensor's end
    // arrived with the entry's record count and the download itself ended well.
    void finish(const std::string& capturedResult) {
        if (!active) return;
        const Transfer t = *active;
        active.reset();
        if (!t.writing || !sensor) return;
        VRAXSensorData& store = sensor->getSensorDataObject();
        sensor->flashWriteBuffer();
        sensor->clearSaveFlag();
        const uint64_t records = store.count();
        const bool countMatches = t.expected <= 0 || int64_t(records) == t.expected;
        const bool complete =
            sensor->memDataReadCompleat() && countMatches && capturedResult == "done";
        const SaveFileEnd end = store.finishSaveFile(complete, t.existing);
        const std::string count = recordCount(records, t.expected);
        switch (end.kind) {
            case SaveFileEnd::complete:
                std::printf("%s: %llu records -> %s\n", t.label.c_str(),
                            (unsigned long long)records, shown(end.path).c_str());
                return;
            case SaveFileEnd::incomplete:
            case SaveFileEnd::nothing: {
                const std::string why =
                    !end.allWritten ? "not every record could be written: " + end.error
                    : capturedResult != "done"
                        ? "the captured download was incomplete: " + capturedResult
                        : "records are missing";
                std::printf("%s: %s -> %s (%s)\n", t.label.c_str(), count.c_str(),
                            end.path.empty() ? "no file" : shown(end.path).c_str(),
                            shown(why).c_str());
                if (code == Exit::ok) code = end.allWritten ? Exit::incomplete : Exit::fileError;
                return;
            }
            case SaveFileEnd::working:
                error(t.label + ": " + shown(end.error) + "; the records are in " +
                      shown(end.path));
                code = Exit::fileError;
                return;
        }
    }

    const ReplayOptions& o;
    const std::string saveFolder;
    std::unique_ptr<VRAXSensor> sensor;
    std::optional<Transfer> active;
    int code = Exit::ok;
    int transfers = 0;
    int session = -1;
    capture::CheckedCapture checked;
};

}  // namespace

std::string lowerExtension(const std::string& path) {
    std::string ext = fs::path(path).extension().string();
    for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

namespace {

// The warnings of a record file that was read: what was left out or doubtful.
void warnAboutRead(const std::string& file, const std::string& ext, uint64_t ignoredBytes,
                   const CsvLoadReport& csv, uint64_t records) {
    if (ext == ".bin" && ignoredBytes > 0)
        warning(shown(file) + ": the last " + std::to_string(ignoredBytes) +
                " bytes make no whole record and were left out");
    if (ext == ".csv" && csv.skippedLines > 0)
        warning(shown(file) + ": " + std::to_string(csv.skippedLines) +
                " lines were not understood and were left out");
    if (ext == ".csv" && csv.doubtfulLines > 0)
        warning(shown(file) + ": " + std::to_string(csv.doubtfulLines) +
                " lines have a time or value that was not understood (not a number, or out of "
                "range); they were loaded as read");
    if (records == 0) warning(shown(file) + " holds no records");
}

// Folders, FIFOs and devices are refused before anything is read.
bool readable(const std::string& file) {
    fileio::InputFile input;
    if (input.open(file)) return true;
    error("cannot read " + shown(file) + " (" + shown(input.error()) + ")");
    return false;
}

}  // namespace

int loadRecordFile(const std::string& file, VRAXSensorData& store) {
    const std::string ext = lowerExtension(file);
    if (!readable(file)) return Exit::fileError;
    store.setReadAD16FilterdData(true);
    const bool loaded =
        ext == ".bin" ? store.loadFromFileByBin(file) : store.loadFromFileByCSV(file);
    if (!loaded) {
        const std::string why = ext == ".csv" ? store.lastCSVLoad().error : std::string();
        error("cannot read " + shown(file) + (why.empty() ? "" : " (" + shown(why) + ")"));
        return Exit::fileError;
    }
    warnAboutRead(file, ext, store.ignoredBytesOfLastLoad(), store.lastCSVLoad(), store.count());
    return Exit::ok;
}

int readRecordFile(const std::string& file, bool warn,
                   const std::function<void(const SensorDataRecord&)>& each, bool* filteredAd16) {
    const std::string ext = lowerExtension(file);
    if (!readable(file)) return Exit::fileError;
    uint64_t records = 0, ignored = 0;
    CsvLoadReport csv;
    std::string why;
    auto counted = [&](const SensorDataRecord& r) {
        ++records;
        each(r);
    };
    const bool read = ext == ".bin" ? VRAXSensorData::readBinRecords(file, ignored, why, counted)
                                    : VRAXSensorData::readCSVRecords(file, true, csv, counted);
    if (!read) {
        if (why.empty()) why = csv.error;
        error("cannot read " + shown(file) + (why.empty() ? "" : " (" + shown(why) + ")"));
        return Exit::fileError;
    }
    if (filteredAd16) *filteredAd16 = csv.filteredAD16;
    if (warn) warnAboutRead(file, ext, ignored, csv, records);
    return Exit::ok;
}

int replayCommand(const ReplayOptions& o) {
    return Replay(o).run();
}

namespace {

UsageError parseReplay(const ParsedLine& l, ReplayOptions& o) {
    if (UsageError e = readSaveOptions(l, o)) return e;
    return readOneFile(l, o.file);
}

}  // namespace

std::vector<Command> replayCommands() {
    return {
        {"replay",
         "CAPTURE",
         "Decode a capture file offline into the CSV file its download wrote.",
         {&opt::out, &opt::filter, &opt::skipExisting, &opt::overwrite},
         parseThenRun(parseReplay, replayCommand)},
    };
}

}  // namespace cli
