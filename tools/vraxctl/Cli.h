// Shared pieces of the vraxctl sub-commands: exit codes, the options each
// command reads, messages on standard error.
#pragma once

#include <string>
#include <vector>

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
    someFailed = 8,     // --all-sensors: at least one sensor failed
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
    // erase
    bool yes = false;
    // replay, convert
    std::string file;
    std::string to;
    int lines = 0;
    std::string output;
    bool force = false;
    // plot
    int width = 1200;
};

// "vraxctl: <text>" on standard error.
void error(const std::string& text);
void warning(const std::string& text);

int listCommand(const Options& o);
int entriesCommand(const Options& o);
int downloadCommand(const Options& o);
int infoCommand(const Options& o);
int setClockCommand(const Options& o);
int eraseCommand(const Options& o);
int replayCommand(const Options& o);
int convertCommand(const Options& o);
int plotCommand(const Options& o);  // only with the preview built (VRAXCTL_PLOT)

}  // namespace cli
