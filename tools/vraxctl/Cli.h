// Shared pieces of the vraxctl sub-commands: exit codes, the save options,
// messages on standard error.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class VRAXSensorData;
struct SensorDataRecord;

namespace cli {

// Exit codes. Scripts rely on them: never renumber.
enum Exit : int {
    ok = 0,
    noBluetooth = 1,    // no list of paired devices (Bluetooth off, no BlueZ)
    usage = 2,          // bad command line
    noSensor = 3,       // no paired supported sensor of that name or address
    connectFailed = 4,  // could not connect, or the connection was lost
    noAnswer = 5,       // the sensor refused a command or did not answer in time
    fileError = 6,      // a file or folder could not be read, made or written
    incomplete = 7,     // a download ended before the end of its entry
    someFailed = 8,     // --all-sensors, --parallel, live of several: a sensor failed
    notConfirmed = 9,   // erase without --yes and without a "y" on a terminal
};

// The text every --help ends with.
const char* exitCodeText();

// Where and how downloads are written (download, and replay of one).
struct SaveOptions {
    std::string outDir = ".";
    bool filter = false;
    bool skipExisting = false;
    bool overwrite = false;
};

// The sidecar of a file that vraxctl wrote from `source` (convert, export):
// the source's own sidecar when it has one is kept inside. Warns and goes on
// when it cannot be written.
void writeDerivedSidecar(const std::string& written, const std::string& source,
                         const std::string& kind, bool replace);

// "vraxctl: <text>" on standard error.
void error(const std::string& text);
void warning(const std::string& text);

// A name or path as it may be printed to a terminal: control and
// bidirectional control characters and bytes that are not UTF-8 are
// written as escapes (\x1b, \u{202e}), so that no name can move the
// cursor, recolour the terminal or disguise itself.
std::string shown(const std::string& text);

// A path from the command line: "~" and "~/..." stand for the home folder
// wherever the path is given (the shell expands them only in some places).
std::string userPath(const std::string& path);

// "N of M records", or "N records" when the entry gave no count.
std::string recordCount(uint64_t records, int64_t expected);

// An absolute, normalised folder path without a trailing "/".
std::string absoluteFolder(const std::string& dir);

// ".csv" for "a/b.CSV": the extension in lower case.
std::string lowerExtension(const std::string& path);
// Loads a .bin or .csv file of records into `store` (the filtered 16-bit AD
// values too), warning about what it left out. Exit::ok or the exit code of
// the failure, which it has reported.
int loadRecordFile(const std::string& file, VRAXSensorData& store);
// Gives each record of a record file to `each` without keeping them (warned
// about like loadRecordFile when `warn`); an exit code. `filteredAd16`: a
// CSV file's 16-bit AD lines carried filtered values.
int readRecordFile(const std::string& file, bool warn,
                   const std::function<void(const SensorDataRecord&)>& each,
                   bool* filteredAd16 = nullptr);

}  // namespace cli
