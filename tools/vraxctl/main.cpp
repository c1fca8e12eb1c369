// vraxctl: the sensor work of the window, for scripts and batch runs.
// Each sub-command has its own options; see `vraxctl --help`. Each command
// family's file holds its rows of the command table (Commands.h); this file
// finds the command, parses its line and runs it.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <new>
#ifdef VRAXCTL_PLOT
#include <QApplication>
#endif

#include "sensor/Provenance.h"
#include "store/FileIO.h"
#include "tools/vraxctl/Cli.h"
#include "tools/vraxctl/Commands.h"
#include "tools/vraxctl/Interrupts.h"

namespace {

void generalHelp(std::FILE* to) {
    std::fprintf(to, "Usage: vraxctl COMMAND [options] [arguments]\n\nCommands:\n");
    for (const cli::Command& c : cli::commands()) {
        QString first = QString::fromUtf8(c.summary).section(QLatin1Char('\n'), 0, 0);
        std::fprintf(to, "  %-10s %s\n", c.name, first.toUtf8().constData());
    }
    std::fprintf(to,
                 "\nvraxctl COMMAND --help shows a command's options. SENSOR is a sensor's name\n"
                 "or Bluetooth address. --demo runs any command on the demo's virtual sensors.\n"
                 "vraxctl --version prints the version.\n\n"
                 "%s\n",
                 cli::exitCodeText());
}

// Drops Qt's own diagnostics: failures reach the user as vraxctl's messages.
void quietQt(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtFatalMsg || std::getenv("VRAXCTL_QT_DEBUG"))
        std::fprintf(stderr, "qt: %s\n", message.toUtf8().constData());
}

std::unique_ptr<QCoreApplication> makeApplication(int& argc, char** argv) {
#ifdef VRAXCTL_PLOT
    const cli::Command* command = argc > 1 ? cli::findCommand(cli::fromBytes(argv[1])) : nullptr;
    if (command && command->drawsCharts) {
        // Charts are drawn off screen: no display is needed.
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return std::make_unique<QApplication>(argc, argv);
    }
#endif
    return std::make_unique<QCoreApplication>(argc, argv);
}

int run(int argc, char** argv) {
    const std::unique_ptr<QCoreApplication> application = makeApplication(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("vraxctl"));
    provenance::setTool("vraxctl", VRAX_VERSION);
    QStringList args;
    for (int i = 0; i < argc; ++i) args << cli::fromBytes(argv[i]);
    if (args.size() < 2) {
        generalHelp(stderr);
        return cli::Exit::usage;
    }
    const QString name = args[1];
    if (name == QLatin1String("--version")) {
        std::printf("vraxctl %s\n", VRAX_VERSION);
        return cli::Exit::ok;
    }
    if (name == QLatin1String("--help") || name == QLatin1String("-h") ||
        name == QLatin1String("help")) {
        generalHelp(stdout);
        return cli::Exit::ok;
    }
    const cli::Command* command = cli::findCommand(name);
    if (!command) {
        cli::error("unknown command \"" + cli::shown(cli::bytes(name)) +
                   "\" (vraxctl --help lists them)");
        return cli::Exit::usage;
    }
    const std::string cmd = command->name;

    QCommandLineParser p;
    cli::setUpParser(p, *command);
    args.removeAt(1);
    if (!p.parse(args)) {
        cli::error(cli::shown(cli::bytes(p.errorText())) + " (vraxctl " + cmd + " --help)");
        return cli::Exit::usage;
    }
    if (p.isSet(QStringLiteral("help"))) {
        std::fputs(cli::helpText(p, *command).toUtf8().constData(), stdout);
        return cli::Exit::ok;
    }
    return command->run(cli::ParsedLine(p, cmd));
}

}  // namespace

int main(int argc, char** argv) {
    qInstallMessageHandler(quietQt);
    cli::ignoreWriteSignals();
    fileio::raiseOpenFileLimit();
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
