// The sub-commands of vraxctl: for each, its usage line, summary and
// options, and what parses its command line into its own options and runs
// it. Each command family's file holds its own rows of the table (the
// functions below); the options several families take are here.
#pragma once

#include <QCommandLineParser>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tools/vraxctl/Cli.h"

namespace cli {

// Arguments are kept as the bytes the shell gave: each byte becomes one
// Latin-1 character for the parser, and values go back to the same bytes,
// so that any file the shell can name can be read and written.
inline QString fromBytes(const char* bytes) {
    return QString::fromLatin1(bytes);
}
inline std::string bytes(const QString& s) {
    return s.toLatin1().toStdString();
}

// One option of a command as --help shows it.
struct Option {
    const char* name;
    const char* description;
    const char* valueName = nullptr;  // set for options that take a value
    const char* defaultValue = nullptr;
};

// The options of several command families.
namespace opt {
inline constexpr Option demo{"demo", "Use the demo's virtual sensors."};
inline constexpr Option capture{
    "capture", "Write every byte sent and received, time-stamped, to <file> (a new file).", "file"};
inline constexpr Option json{"json", "Machine-readable output."};
inline constexpr Option allSensors{"all-sensors",
                                   "Every paired sensor (download: every entry of each, in turn)."};
inline constexpr Option out{"out", "Save folder (default: the current folder).", "dir", "."};
inline constexpr Option filter{"filter", "Write filtered 16-bit AD values (-FILT files)."};
inline constexpr Option skipExisting{
    "skip-existing",
    "Skip entries already downloaded completely (in any day folder); download again where the "
    "file is not complete, replacing it once the new one is."};
inline constexpr Option overwrite{
    "overwrite",
    "Replace an existing file of the same entry, once the new download is complete (an "
    "interrupted one leaves it untouched)."};
inline constexpr Option lines{
    "lines", "Split the CSV output into files of <n> lines (<name>-0.csv, <name>-1.csv, ...).",
    "n"};
inline constexpr Option config{"config", "The measurement configuration (a JSON file).", "file"};
inline constexpr Option setClock{"set-clock", "Set the sensor's clock from this computer's first."};
// --force of the commands that never write over their input.
inline constexpr Option forceOutputs{"force", "Replace existing output files (never the input)."};
}  // namespace opt

// A parsed command line as a command's parse step reads it.
class ParsedLine {
  public:
    ParsedLine(const QCommandLineParser& parser, std::string command)
        : parser(parser), name(std::move(command)), pos(parser.positionalArguments()) {}

    const std::string& command() const { return name; }
    const QStringList& positional() const { return pos; }
    bool isSet(const Option& option) const;
    QString value(const Option& option) const;
    // Puts a path option's value, "~" expanded, into `into`; false when it
    // names no file (given as an empty text).
    bool path(const Option& option, std::string& into) const;

  private:
    const QCommandLineParser& parser;
    std::string name;
    QStringList pos;
};

// The text of a usage error; none when the command line is good.
using UsageError = std::optional<std::string>;

// Tells a usage error with the hint to the command's --help: Exit::usage.
int usageError(const ParsedLine& line, const std::string& text);

struct Command {
    // Reads the command line into the command's options and runs it: its exit code.
    using Run = std::function<int(const ParsedLine& line)>;

    const char* name;
    const char* arguments;               // for the usage line
    const char* summary;                 // its first line is the command list's
    std::vector<const Option*> options;  // in --help order
    Run run;
    bool drawsCharts = false;  // runs with a QApplication, off screen
};

// A command's run: `parse` fills its own options, then `run` runs with them.
template <typename Options>
Command::Run parseThenRun(UsageError (*parse)(const ParsedLine&, Options&),
                          int (*run)(const Options&)) {
    return [parse, run](const ParsedLine& line) {
        Options o;
        if (const UsageError e = parse(line, o)) return usageError(line, *e);
        return run(o);
    };
}

// Readers of what several families take.
// --demo, and the file of --capture.
UsageError readSensorAccess(const ParsedLine& l, bool& demo, std::string& capturePath);
// Exactly one sensor: its name or address.
UsageError readOneSensor(const ParsedLine& l, std::string& sensor);
// Exactly one file, "~" expanded.
UsageError readOneFile(const ParsedLine& l, std::string& file);
// --out: the save folder.
UsageError readOut(const ParsedLine& l, std::string& outDir);
// Where and how downloads are written (download, and replay of one).
UsageError readSaveOptions(const ParsedLine& l, SaveOptions& o);
// Exactly one sensor and how to reach it (info, stop, identify).
struct SensorOptions;
UsageError parseSensorOnly(const ParsedLine& l, SensorOptions& o);
// --lines, when given: a positive count.
UsageError readLines(const ParsedLine& l, int& lines);
// --config (needed) and --set-clock.
UsageError readConfig(const ParsedLine& l, std::string& configPath, bool& setClock);

// The rows of each family, in the order of the command list.
std::vector<Command> sensorCommands();    // list, entries, info, erase
std::vector<Command> clockCommands();     // set-clock, clock
std::vector<Command> downloadCommands();  // download
std::vector<Command> replayCommands();    // replay
std::vector<Command> convertCommands();   // convert
std::vector<Command> measureCommands();   // record, stop, identify
std::vector<Command> liveCommands();      // live, mark
std::vector<Command> exportCommands();    // export
std::vector<Command> labelCommands();     // label
std::vector<Command> plotCommands();      // plot: only with the preview built (VRAXCTL_PLOT)

// Every command, in the order of the command list.
const std::vector<Command>& commands();
// Null when there is no command of that name.
const Command* findCommand(const QString& name);
// Gives the parser the command's description, --help, its options in their
// order and its arguments.
void setUpParser(QCommandLineParser& parser, const Command& command);
// The command's --help text, its usage line starting "Usage: vraxctl <command>".
QString helpText(const QCommandLineParser& parser, const Command& command);

}  // namespace cli
