// The command table of vraxctl: each command's options, the checks of its
// command line in the order its usage errors are told, and its handler.
#include "tools/vraxctl/Commands.h"

#include <QCoreApplication>

#include "sensor/SensorSession.h"

namespace cli {
namespace {

QString q(const char* s) {
    return QString::fromUtf8(s);
}

struct OptionText {
    OptionId id;
    const char* name;
    const char* description;
    const char* valueName = nullptr;  // set for options that take a value
    const char* defaultValue = nullptr;
};

const OptionText kOptions[] = {
    {OptionId::demo, "demo", "Use the demo's virtual sensors."},
    {OptionId::capture, "capture",
     "Write every byte sent and received, time-stamped, to <file> (a new file).", "file"},
    {OptionId::json, "json", "Machine-readable output."},
    {OptionId::all, "all", "Download every entry."},
    {OptionId::allSensors, "all-sensors", "Every entry of every paired sensor in turn."},
    {OptionId::out, "out", "Save folder (default: the current folder).", "dir", "."},
    {OptionId::filter, "filter", "Write filtered 16-bit AD values (-FILT files)."},
    {OptionId::skipExisting, "skip-existing",
     "Skip entries already downloaded completely (in any day folder); download again where the "
     "file is not complete, replacing it once the new one is."},
    {OptionId::overwrite, "overwrite",
     "Replace an existing file of the same entry, once the new download is complete (an "
     "interrupted one leaves it untouched)."},
    {OptionId::yes, "yes", "Erase without asking."},
    {OptionId::to, "to", "Output type: csv or bin.", "type"},
    {OptionId::lines, "lines",
     "Split the CSV output into files of <n> lines (<name>-0.csv, <name>-1.csv, ...).", "n"},
    {OptionId::output, "output", "Output name (default: the input's name with the new extension).",
     "file"},
    {OptionId::wholeStore, "whole-store",
     "Write the whole-store CSV format (\"e\" heads for 16-bit AD, no qags lines) instead of "
     "download lines."},
    {OptionId::force, "force", "Replace existing output files (also the input)."},
    {OptionId::png, "png", "The picture to write.", "file"},
    {OptionId::width, "width", "Width of the picture in pixels (default 1200).", "pixels", "1200"},
    {OptionId::config, "config", "The measurement configuration (a JSON file).", "file"},
    {OptionId::startAt, "start-at",
     "Start recording at this date and time of the sensor's clock (\"YYYY-MM-DD hh:mm:ss\").",
     "time"},
    {OptionId::setClock, "set-clock", "Set the sensor's clock from this computer's first."},
    {OptionId::seconds, "seconds", "Stop after <n> seconds (default: at Ctrl-C).", "n"},
    {OptionId::tidy, "tidy",
     "Write one CSV file per kind of record into <dir> (made when missing): "
     "<dir>/<name>_<kind>.csv, a header row of column names, LF line ends.",
     "dir"},
    {OptionId::hdf5, "hdf5",
     "Write every kind of record as a table of one HDF5 file, the column names in the "
     "table's \"columns\" attribute.",
     "file"},
    {OptionId::forceOutputs, "force", "Replace existing output files (never the input)."},
    {OptionId::parallel, "parallel",
     "Download from up to <n> sensors at once (with --all-sensors, or --all and a list of "
     "sensors), each into its own files with its own progress line.",
     "n"},
    {OptionId::set, "set",
     "Set the sensor's clock from this computer's first, then measure how far it is off."},
};

const OptionText& optionText(OptionId id) {
    for (const OptionText& o : kOptions)
        if (o.id == id) return o;
    return kOptions[0];  // not reached: every id has its text
}

QCommandLineOption makeOption(OptionId id) {
    const OptionText& t = optionText(id);
    if (!t.valueName) return QCommandLineOption(q(t.name), q(t.description));
    return QCommandLineOption(q(t.name), q(t.description), q(t.valueName),
                              t.defaultValue ? q(t.defaultValue) : QString());
}

// --demo, and the file of --capture.
UsageError readSensorAccess(const ParsedLine& l, Options& o) {
    o.demo = l.isSet(OptionId::demo);
    if (l.isSet(OptionId::capture) && !l.path(OptionId::capture, o.capturePath))
        return "--capture needs a file name";
    return std::nullopt;
}

// Where and how downloads are written (download, and replay of one).
UsageError readSaveOptions(const ParsedLine& l, Options& o) {
    if (!l.path(OptionId::out, o.outDir)) return "--out needs a folder";
    o.filter = l.isSet(OptionId::filter);
    o.skipExisting = l.isSet(OptionId::skipExisting);
    o.overwrite = l.isSet(OptionId::overwrite);
    if (o.skipExisting && o.overwrite) return "give --skip-existing or --overwrite, not both";
    return std::nullopt;
}

UsageError readOneSensor(const ParsedLine& l, Options& o) {
    if (l.positional().size() != 1) return l.command() + " takes one sensor (name or address)";
    o.sensor = bytes(l.positional()[0]);
    return std::nullopt;
}

UsageError readOneFile(const ParsedLine& l, Options& o) {
    if (l.positional().size() != 1) return l.command() + " takes one file";
    o.file = userPath(bytes(l.positional()[0]));
    if (o.file.empty()) return l.command() + " needs a file name";
    return std::nullopt;
}

UsageError parseList(const ParsedLine& l, Options& o) {
    o.demo = l.isSet(OptionId::demo);
    o.json = l.isSet(OptionId::json);
    if (!l.positional().isEmpty()) return "list takes no arguments";
    return std::nullopt;
}

UsageError parseEntries(const ParsedLine& l, Options& o) {
    if (UsageError e = readSensorAccess(l, o)) return e;
    o.json = l.isSet(OptionId::json);
    return readOneSensor(l, o);
}

// info, set-clock: one sensor and nothing else.
UsageError parseSensorOnly(const ParsedLine& l, Options& o) {
    if (UsageError e = readSensorAccess(l, o)) return e;
    return readOneSensor(l, o);
}

// clock, set-clock: one sensor; the log goes to the save folder.
UsageError parseClock(const ParsedLine& l, Options& o) {
    if (UsageError e = parseSensorOnly(l, o)) return e;
    o.json = l.isSet(OptionId::json);
    o.setClock = l.isSet(OptionId::set);
    if (!l.path(OptionId::out, o.outDir)) return "--out needs a folder";
    return std::nullopt;
}

UsageError parseErase(const ParsedLine& l, Options& o) {
    if (UsageError e = parseSensorOnly(l, o)) return e;
    o.yes = l.isSet(OptionId::yes);
    return std::nullopt;
}

UsageError parseDownload(const ParsedLine& l, Options& o) {
    if (UsageError e = readSensorAccess(l, o)) return e;
    if (UsageError e = readSaveOptions(l, o)) return e;
    o.all = l.isSet(OptionId::all);
    o.allSensors = l.isSet(OptionId::allSensors);
    const QStringList& pos = l.positional();
    if (l.isSet(OptionId::parallel)) {
        bool okNumber = false;
        o.parallel = l.value(OptionId::parallel).toInt(&okNumber);
        if (!okNumber || o.parallel < 1 || o.parallel > 64)
            return "--parallel takes a number of sensors from 1 to 64";
        if (!o.capturePath.empty()) return "--capture records one sensor's session, not --parallel";
        // The children are given the folder as UTF-8 text.
        if (QString::fromUtf8(o.outDir.c_str()).toUtf8().toStdString() != o.outDir)
            return "--parallel needs an --out folder whose name is UTF-8 text";
        if (o.allSensors) {
            if (!pos.isEmpty()) return "--all-sensors takes no sensor or entry numbers";
            return std::nullopt;
        }
        if (pos.isEmpty() || !o.all)
            return "with --parallel, give --all-sensors, or --all and the sensors";
        for (const QString& sensor : pos) o.sensors.push_back(bytes(sensor));
        return std::nullopt;
    }
    if (o.allSensors) {
        if (!pos.isEmpty()) return "--all-sensors takes no sensor or entry numbers";
        return std::nullopt;
    }
    if (pos.isEmpty()) return "name a sensor, or give --all-sensors";
    o.sensor = bytes(pos[0]);
    for (qsizetype i = 1; i < pos.size(); ++i) {
        bool okNumber = false;
        const int e = pos[i].toInt(&okNumber);
        if (!okNumber || e < 1 || e > 255)
            return "\"" + shown(bytes(pos[i])) + "\" is not an entry number";
        o.entries.push_back(e);
    }
    if (o.all && !o.entries.empty()) return "give entry numbers or --all, not both";
    if (!o.all && o.entries.empty()) return "give entry numbers, or --all";
    return std::nullopt;
}

UsageError parseReplay(const ParsedLine& l, Options& o) {
    if (UsageError e = readSaveOptions(l, o)) return e;
    return readOneFile(l, o);
}

UsageError parseConvert(const ParsedLine& l, Options& o) {
    if (UsageError e = readOneFile(l, o)) return e;
    o.force = l.isSet(OptionId::force);
    if (!l.isSet(OptionId::to)) return "--to csv or --to bin is needed";
    o.to = bytes(l.value(OptionId::to));
    if (l.isSet(OptionId::lines)) {
        bool okNumber = false;
        o.lines = l.value(OptionId::lines).toInt(&okNumber);
        if (!okNumber || o.lines <= 0) return "--lines takes a positive count";
    }
    if (l.isSet(OptionId::output) && !l.path(OptionId::output, o.output))
        return "--output needs a file name";
    o.wholeStore = l.isSet(OptionId::wholeStore);
    return std::nullopt;
}

UsageError readConfigOption(const ParsedLine& l, Options& o) {
    if (!l.isSet(OptionId::config)) return "--config FILE is needed";
    if (!l.path(OptionId::config, o.configPath)) return "--config needs a file name";
    o.setClock = l.isSet(OptionId::setClock);
    return std::nullopt;
}

UsageError parseRecord(const ParsedLine& l, Options& o) {
    if (UsageError e = parseSensorOnly(l, o)) return e;
    if (UsageError e = readConfigOption(l, o)) return e;
    if (l.isSet(OptionId::startAt)) {
        o.startAt = bytes(l.value(OptionId::startAt));
        session::ClockTime t;
        if (!session::parseClockTime(o.startAt, t))
            return "--start-at takes \"YYYY-MM-DD hh:mm:ss\" (years 2000 to 2255), not \"" +
                   shown(o.startAt) + "\"";
    }
    return std::nullopt;
}

UsageError parseLive(const ParsedLine& l, Options& o) {
    if (UsageError e = parseSensorOnly(l, o)) return e;
    if (UsageError e = readConfigOption(l, o)) return e;
    if (!l.isSet(OptionId::out)) return "--out DIR is needed";
    if (!l.path(OptionId::out, o.outDir)) return "--out needs a folder";
    if (l.isSet(OptionId::seconds)) {
        bool okNumber = false;
        o.seconds = l.value(OptionId::seconds).toDouble(&okNumber);
        if (!okNumber || !(o.seconds > 0) || o.seconds > 1e7)
            return "--seconds takes a positive number of seconds";
    }
    if (l.isSet(OptionId::lines)) {
        bool okNumber = false;
        o.lines = l.value(OptionId::lines).toInt(&okNumber);
        if (!okNumber || o.lines <= 0) return "--lines takes a positive count";
    }
    return std::nullopt;
}

UsageError parseExport(const ParsedLine& l, Options& o) {
    if (UsageError e = readOneFile(l, o)) return e;
    o.force = l.isSet(OptionId::forceOutputs);
    if (l.isSet(OptionId::tidy) && !l.path(OptionId::tidy, o.tidyDir))
        return "--tidy needs a folder";
    if (l.isSet(OptionId::hdf5) && !l.path(OptionId::hdf5, o.hdf5File))
        return "--hdf5 needs a file name";
    if (o.tidyDir.empty() && o.hdf5File.empty()) return "give --tidy DIR, --hdf5 OUT.h5 or both";
    return std::nullopt;
}

[[maybe_unused]] UsageError parsePlot(const ParsedLine& l, Options& o) {
    if (UsageError e = readOneFile(l, o)) return e;
    o.force = l.isSet(OptionId::forceOutputs);
    if (!l.isSet(OptionId::png)) return "--png OUT.png is needed";
    if (!l.path(OptionId::png, o.output)) return "--png needs a file name";
    bool okNumber = false;
    o.width = l.value(OptionId::width).toInt(&okNumber);
    if (!okNumber || o.width < 200 || o.width > 10000)
        return "--width takes a number of pixels from 200 to 10000";
    return std::nullopt;
}

}  // namespace

bool ParsedLine::isSet(OptionId id) const {
    return parser.isSet(q(optionText(id).name));
}

QString ParsedLine::value(OptionId id) const {
    return parser.value(q(optionText(id).name));
}

bool ParsedLine::path(OptionId id, std::string& into) const {
    // An empty text names no file: a usage error, not the current folder or "/".
    into = userPath(bytes(value(id)));
    return !into.empty();
}

const std::vector<Command>& commands() {
    using enum OptionId;
    static const std::vector<Command> table = {
        {"list",
         "",
         "List the paired VRAX sensors (name, address, model).",
         {demo, json},
         parseList,
         listCommand},
        {"entries",
         "SENSOR",
         "List the memory entries of a sensor and its free memory.",
         {demo, capture, json},
         parseEntries,
         entriesCommand},
        {"download",
         "SENSOR [ENTRY...|--all] | --all-sensors | --parallel N (--all-sensors|--all SENSOR...)",
         "Download memory entries into CSV files, named and placed as the window does:\n"
         "<out>/memdata_YYYYMMDD/memdata_<sensor>_<entry start>[-FILT].csv",
         {demo, capture, all, allSensors, out, filter, skipExisting, overwrite, parallel},
         parseDownload,
         downloadCommand},
        {"info",
         "SENSOR",
         "Show the firmware version and battery voltage of a sensor.",
         {demo, capture},
         parseSensorOnly,
         infoCommand},
        {"set-clock",
         "SENSOR",
         "Set the sensor's date and time from this computer's clock, then measure the offset\n"
         "that leaves (as clock --set).",
         {demo, capture, out, json},
         parseClock,
         setClockCommand},
        {"clock",
         "SENSOR",
         "Measure how far the sensor's clock is from this computer's: offset \u00b1 bound, and "
         "the\n"
         "drift since it was last set; each reading is noted in <out>/clock-log.tsv.",
         {demo, capture, set, out, json},
         parseClock,
         clockCommand},
        {"erase",
         "SENSOR",
         "Erase all entries in the memory of a sensor.",
         {demo, capture, yes},
         parseErase,
         eraseCommand},
        {"replay",
         "CAPTURE",
         "Decode a capture file offline into the CSV file its download wrote.",
         {out, filter, skipExisting, overwrite},
         parseReplay,
         replayCommand},
        {"convert",
         "FILE.bin|FILE.csv --to csv|bin",
         "Convert between the store's binary file and CSV files (download lines; every record\n"
         "kept). Never writes over an existing file or its input without --force.",
         {to, lines, output, wholeStore, force},
         parseConvert,
         convertCommand},
        {"record",
         "SENSOR --config FILE",
         "Send a measurement configuration and start recording into the sensor's memory, now\n"
         "or at --start-at; the sensor then records on its own until stopped.",
         {demo, capture, config, startAt, setClock},
         parseRecord,
         recordCommand},
        {"live",
         "SENSOR --config FILE --out DIR",
         "Send a measurement configuration, start measuring and stream the records into\n"
         "<out>/memdata_YYYYMMDD/live_<sensor>_<start>.csv until --seconds or Ctrl-C; then stop.",
         {demo, capture, config, setClock, out, seconds, lines},
         parseLive,
         liveCommand},
        {"stop",
         "SENSOR",
         "Stop a measurement or recording that is running.",
         {demo, capture},
         parseSensorOnly,
         stopCommand},
        {"identify",
         "SENSOR",
         "Make the sensor beep.",
         {demo, capture},
         parseSensorOnly,
         identifyCommand},
        {"export",
         "FILE.csv|FILE.bin --tidy DIR | --hdf5 OUT.h5",
         "Write the records as analysis-ready tables, one per kind of record: CSV files with a\n"
         "header row (time_ms, time_s from the first sample, then the kind's values) and/or\n"
         "one HDF5 file. Never writes over its input, nor over an existing file without --force.",
         {tidy, hdf5, forceOutputs},
         parseExport,
         exportCommand},
#ifdef VRAXCTL_PLOT
        {"plot",
         "FILE.csv --png OUT.png",
         "Draw the preview's charts of a CSV file into a PNG picture, without a display.\n"
         "Never writes over an existing file without --force.",
         {forceOutputs, png, width},
         parsePlot,
         plotCommand,
         true},
#endif
    };
    return table;
}

const Command* findCommand(const QString& name) {
    for (const Command& c : commands())
        if (name == q(c.name)) return &c;
    return nullptr;
}

void setUpParser(QCommandLineParser& parser, const Command& command) {
    parser.setApplicationDescription(q(command.summary) + QStringLiteral("\n\n") +
                                     q(exitCodeText()));
    parser.addHelpOption();
    for (OptionId id : command.options) parser.addOption(makeOption(id));
    if (*command.arguments)
        parser.addPositionalArgument(QStringLiteral("arguments"), q(command.arguments),
                                     q(command.arguments));
}

QString helpText(const QCommandLineParser& parser, const Command& command) {
    QString text = parser.helpText();
    text.replace(QStringLiteral("Usage: ") + QCoreApplication::arguments().first(),
                 QStringLiteral("Usage: vraxctl ") + q(command.name));
    text.replace(
        QStringLiteral("Usage: vraxctl [options]"),
        QStringLiteral("Usage: vraxctl ") + q(command.name) + QStringLiteral(" [options]"));
    return text;
}

}  // namespace cli
