// Shared pieces of the vraxctl sub-commands: exit codes, the options each
// command reads, messages on standard error.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class VRAXSensorData;

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
    someFailed = 8,     // --all-sensors, --parallel: at least one sensor failed
    notConfirmed = 9,   // erase without --yes and without a "y" on a terminal
};

// The text every --help ends with.
const char* exitCodeText();

struct Options {
    // Sensor commands.
    bool demo = false;
    std::string capturePath;  // empty: no capture
    bool json = false;
    std::string sensor;  // name or address
    // download
    std::vector<int> entries;  // entry numbers, from 1
    bool all = false;
    bool allSensors = false;
    std::string outDir = ".";
    bool filter = false;
    bool skipExisting = false;
    bool overwrite = false;
    int parallel = 0;                  // --parallel: sensors at once, 0 when not given
    std::vector<std::string> sensors;  // with --parallel: the sensors named
    // erase
    bool yes = false;
    // replay, convert
    std::string file;
    std::string to;
    int lines = 0;
    std::string output;
    bool force = false;
    bool wholeStore = false;  // convert: the whole-store CSV format
    // plot
    int width = 1200;
    // record, live
    std::string configPath;
    std::string startAt;  // "YYYY-MM-DD hh:mm:ss"; empty: now
    bool setClock = false;
    double seconds = 0;  // live: 0 until interrupted
    // export
    std::string tidyDir;   // empty: no tidy CSV files
    std::string hdf5File;  // empty: no HDF5 file
};

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

int listCommand(const Options& o);
int entriesCommand(const Options& o);
int downloadCommand(const Options& o);
int infoCommand(const Options& o);
int setClockCommand(const Options& o);
int clockCommand(const Options& o);
int eraseCommand(const Options& o);
int replayCommand(const Options& o);
int convertCommand(const Options& o);
int recordCommand(const Options& o);
int liveCommand(const Options& o);
int stopCommand(const Options& o);
int identifyCommand(const Options& o);
int exportCommand(const Options& o);
int plotCommand(const Options& o);  // only with the preview built (VRAXCTL_PLOT)

}  // namespace cli
