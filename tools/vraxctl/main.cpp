// vraxctl: the sensor work of the window, for scripts and batch runs.
// Each sub-command has its own options; see `vraxctl --help`.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#ifdef VRAXCTL_PLOT
#include <QApplication>
#endif

#include "tools/vraxctl/Cli.h"

namespace {

struct Command {
    const char* name;
    const char* arguments;  // for the usage line
    const char* summary;
    int (*run)(const cli::Options&);
};

const Command kCommands[] = {
    {"list", "", "List the paired VRAX sensors (name, address, model).", cli::listCommand},
    {"entries", "SENSOR", "List the memory entries of a sensor and its free memory.",
     cli::entriesCommand},
    {"download", "SENSOR [ENTRY...|--all] | --all-sensors",
     "Download memory entries into CSV files, named and placed as the window does:\n"
     "<out>/memdata_YYYYMMDD/memdata_<sensor>_<entry start>[-FILT].csv",
     cli::downloadCommand},
    {"info", "SENSOR", "Show the firmware version and battery voltage of a sensor.",
     cli::infoCommand},
    {"set-clock", "SENSOR", "Set the sensor's date and time from this computer's clock.",
     cli::setClockCommand},
    {"erase", "SENSOR", "Erase all entries in the memory of a sensor.", cli::eraseCommand},
    {"replay", "CAPTURE", "Decode a capture file offline into the CSV file its download wrote.",
     cli::replayCommand},
    {"convert", "FILE.bin|FILE.csv --to csv|bin",
     "Convert between the store's binary file and CSV files (download lines; every record\n"
     "kept). Never writes over an existing file or its input without --force.",
     cli::convertCommand},
#ifdef VRAXCTL_PLOT
    {"plot", "FILE.csv --png OUT.png",
     "Draw the preview's charts of a CSV file into a PNG picture, without a display.\n"
     "Never writes over an existing file without --force.",
     cli::plotCommand},
#endif
};

QString q(const char* s) {
    return QString::fromUtf8(s);
}

void generalHelp(std::FILE* to) {
    std::fprintf(to, "Usage: vraxctl COMMAND [options] [arguments]\n\nCommands:\n");
    for (const Command& c : kCommands) {
        QString first = q(c.summary).section(QLatin1Char('\n'), 0, 0);
        std::fprintf(to, "  %-10s %s\n", c.name, first.toUtf8().constData());
    }
    std::fprintf(to,
                 "\nvraxctl COMMAND --help shows a command's options. SENSOR is a sensor's name\n"
                 "or Bluetooth address. --demo runs any command on the demo's virtual sensors.\n\n"
                 "%s\n",
                 cli::exitCodeText());
}

// Drops Qt's own diagnostics: failures reach the user as vraxctl's messages.
void quietQt(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtFatalMsg || std::getenv("VRAXCTL_QT_DEBUG"))
        std::fprintf(stderr, "qt: %s\n", message.toUtf8().constData());
}

}  // namespace

namespace {

// Arguments are kept as the bytes the shell gave: each byte becomes one
// Latin-1 character for the parser, and values go back to the same bytes,
// so that any file the shell can name can be read and written.
QString fromBytes(const char* bytes) {
    return QString::fromLatin1(bytes);
}
std::string bytes(const QString& s) {
    return s.toLatin1().toStdString();
}

int run(int argc, char** argv) {
    std::unique_ptr<QCoreApplication> application;
#ifdef VRAXCTL_PLOT
    if (argc > 1 && std::strcmp(argv[1], "plot") == 0) {
        // Charts are drawn off screen: no display is needed.
        qputenv("QT_QPA_PLATFORM", "offscreen");
        application = std::make_unique<QApplication>(argc, argv);
    }
#endif
    if (!application) application = std::make_unique<QCoreApplication>(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vraxctl"));
    QStringList args;
    for (int i = 0; i < argc; ++i) args << fromBytes(argv[i]);
    if (args.size() < 2) {
        generalHelp(stderr);
        return cli::Exit::usage;
    }
    const QString name = args[1];
    if (name == QLatin1String("--help") || name == QLatin1String("-h") ||
        name == QLatin1String("help")) {
        generalHelp(stdout);
        return cli::Exit::ok;
    }
    const Command* command = nullptr;
    for (const Command& c : kCommands)
        if (name == q(c.name)) command = &c;
    if (!command) {
        cli::error("unknown command \"" + cli::shown(bytes(name)) +
                   "\" (vraxctl --help lists them)");
        return cli::Exit::usage;
    }
    const std::string cmd = command->name;
    const bool talks = cmd != "replay" && cmd != "convert" && cmd != "plot";

    QCommandLineParser p;
    p.setApplicationDescription(q(command->summary) + QStringLiteral("\n\n") +
                                q(cli::exitCodeText()));
    p.addHelpOption();
    QCommandLineOption demo(QStringLiteral("demo"),
                            QStringLiteral("Use the demo's virtual sensors."));
    QCommandLineOption captureOpt(
        QStringLiteral("capture"),
        QStringLiteral("Write every byte sent and received, time-stamped, to <file> (a new file)."),
        QStringLiteral("file"));
    QCommandLineOption json(QStringLiteral("json"), QStringLiteral("Machine-readable output."));
    QCommandLineOption all(QStringLiteral("all"), QStringLiteral("Download every entry."));
    QCommandLineOption allSensors(QStringLiteral("all-sensors"),
                                  QStringLiteral("Every entry of every paired sensor in turn."));
    QCommandLineOption out(QStringLiteral("out"),
                           QStringLiteral("Save folder (default: the current folder)."),
                           QStringLiteral("dir"), QStringLiteral("."));
    QCommandLineOption filter(QStringLiteral("filter"),
                              QStringLiteral("Write filtered 16-bit AD values (-FILT files)."));
    QCommandLineOption skip(QStringLiteral("skip-existing"),
                            QStringLiteral("Skip entries already downloaded completely (in any day "
                                           "folder); download again where the file is not "
                                           "complete, replacing it once the new one is."));
    QCommandLineOption overwrite(
        QStringLiteral("overwrite"),
        QStringLiteral("Replace an existing file of the same entry, once the new download is "
                       "complete (an interrupted one leaves it untouched)."));
    QCommandLineOption yes(QStringLiteral("yes"), QStringLiteral("Erase without asking."));
    QCommandLineOption to(QStringLiteral("to"), QStringLiteral("Output type: csv or bin."),
                          QStringLiteral("type"));
    QCommandLineOption lines(QStringLiteral("lines"),
                             QStringLiteral("Split the CSV output into files of <n> lines "
                                            "(<name>-0.csv, <name>-1.csv, ...)."),
                             QStringLiteral("n"));
    QCommandLineOption output(
        QStringLiteral("output"),
        QStringLiteral("Output name (default: the input's name with the new extension)."),
        QStringLiteral("file"));
    QCommandLineOption wholeStore(
        QStringLiteral("whole-store"),
        QStringLiteral("Write the whole-store CSV format (\"e\" heads for 16-bit AD, no qags "
                       "lines) instead of download lines."));
    QCommandLineOption force(QStringLiteral("force"),
                             QStringLiteral("Replace existing output files (also the input)."));
    QCommandLineOption png(QStringLiteral("png"), QStringLiteral("The picture to write."),
                           QStringLiteral("file"));
    QCommandLineOption width(QStringLiteral("width"),
                             QStringLiteral("Width of the picture in pixels (default 1200)."),
                             QStringLiteral("pixels"), QStringLiteral("1200"));

    if (talks) {
        p.addOption(demo);
        if (cmd != "list") p.addOption(captureOpt);
    }
    if (cmd == "list" || cmd == "entries") p.addOption(json);
    if (cmd == "download") {
        p.addOption(all);
        p.addOption(allSensors);
    }
    if (cmd == "download" || cmd == "replay") {
        p.addOption(out);
        p.addOption(filter);
        p.addOption(skip);
        p.addOption(overwrite);
    }
    if (cmd == "erase") p.addOption(yes);
    if (cmd == "convert") {
        p.addOption(to);
        p.addOption(lines);
        p.addOption(output);
        p.addOption(wholeStore);
    }
    if (cmd == "convert" || cmd == "plot") p.addOption(force);
    if (cmd == "plot") {
        p.addOption(png);
        p.addOption(width);
    }
    if (*command->arguments)
        p.addPositionalArgument(QStringLiteral("arguments"), q(command->arguments),
                                q(command->arguments));

    args.removeAt(1);
    if (!p.parse(args)) {
        cli::error(cli::shown(bytes(p.errorText())) + " (vraxctl " + cmd + " --help)");
        return cli::Exit::usage;
    }
    if (p.isSet(QStringLiteral("help"))) {
        QString text = p.helpText();
        text.replace(QStringLiteral("Usage: ") + QCoreApplication::arguments().first(),
                     QStringLiteral("Usage: vraxctl ") + q(command->name));
        text.replace(
            QStringLiteral("Usage: vraxctl [options]"),
            QStringLiteral("Usage: vraxctl ") + q(command->name) + QStringLiteral(" [options]"));
        std::fputs(text.toUtf8().constData(), stdout);
        return cli::Exit::ok;
    }

    auto usage = [&](const std::string& text) {
        cli::error(text + " (vraxctl " + cmd + " --help)");
        return int(cli::Exit::usage);
    };
    // A path option given as an empty text names no file: a usage error,
    // not the current folder or "/".
    auto pathValue = [&](const QCommandLineOption& option, std::string& into) {
        into = cli::userPath(bytes(p.value(option)));
        return !into.empty();
    };
    cli::Options o;
    const QStringList pos = p.positionalArguments();
    if (talks) {
        o.demo = p.isSet(demo);
        if (cmd != "list" && p.isSet(captureOpt) && !pathValue(captureOpt, o.capturePath))
            return usage("--capture needs a file name");
    }
    if (cmd == "list" || cmd == "entries") o.json = p.isSet(json);
    if (cmd == "download" || cmd == "replay") {
        if (!pathValue(out, o.outDir)) return usage("--out needs a folder");
        o.filter = p.isSet(filter);
        o.skipExisting = p.isSet(skip);
        o.overwrite = p.isSet(overwrite);
        if (o.skipExisting && o.overwrite)
            return usage("give --skip-existing or --overwrite, not both");
    }

    if (cmd == "list") {
        if (!pos.isEmpty()) return usage("list takes no arguments");
    } else if (cmd == "download") {
        o.all = p.isSet(all);
        o.allSensors = p.isSet(allSensors);
        if (o.allSensors) {
            if (!pos.isEmpty()) return usage("--all-sensors takes no sensor or entry numbers");
        } else {
            if (pos.isEmpty()) return usage("name a sensor, or give --all-sensors");
            o.sensor = bytes(pos[0]);
            for (qsizetype i = 1; i < pos.size(); ++i) {
                bool okNumber = false;
                const int e = pos[i].toInt(&okNumber);
                if (!okNumber || e < 1 || e > 255)
                    return usage("\"" + cli::shown(bytes(pos[i])) + "\" is not an entry number");
                o.entries.push_back(e);
            }
            if (o.all && !o.entries.empty()) return usage("give entry numbers or --all, not both");
            if (!o.all && o.entries.empty()) return usage("give entry numbers, or --all");
        }
    } else if (cmd == "replay" || cmd == "convert" || cmd == "plot") {
        if (pos.size() != 1) return usage(cmd + " takes one file");
        o.file = cli::userPath(bytes(pos[0]));
        if (o.file.empty()) return usage(cmd + " needs a file name");
        o.force = cmd != "replay" && p.isSet(force);
        if (cmd == "plot") {
            if (!p.isSet(png)) return usage("--png OUT.png is needed");
            if (!pathValue(png, o.output)) return usage("--png needs a file name");
            bool okNumber = false;
            o.width = p.value(width).toInt(&okNumber);
            if (!okNumber || o.width < 200 || o.width > 10000)
                return usage("--width takes a number of pixels from 200 to 10000");
        }
        if (cmd == "convert") {
            if (!p.isSet(to)) return usage("--to csv or --to bin is needed");
            o.to = bytes(p.value(to));
            if (p.isSet(lines)) {
                bool okNumber = false;
                o.lines = p.value(lines).toInt(&okNumber);
                if (!okNumber || o.lines <= 0) return usage("--lines takes a positive count");
            }
            if (p.isSet(output) && !pathValue(output, o.output))
                return usage("--output needs a file name");
            o.wholeStore = p.isSet(wholeStore);
        }
    } else {
        if (pos.size() != 1) return usage(cmd + " takes one sensor (name or address)");
        o.sensor = bytes(pos[0]);
        if (cmd == "erase") o.yes = p.isSet(yes);
    }
    return command->run(o);
}

}  // namespace

int main(int argc, char** argv) {
    qInstallMessageHandler(quietQt);
    // Failures are results; anything thrown all the same ends with a message
    // and an exit code, never an abort.
    try {
        return run(argc, argv);
    } catch (const std::bad_alloc&) {
        cli::error("not enough memory");
    } catch (const std::exception& e) {
        cli::error(std::string("unexpected failure: ") + e.what());
    }
    return cli::Exit::fileError;
}
