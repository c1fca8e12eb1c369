// The command line as the commands read it: option values, the readers
// several families share, the parser's set-up and the --help text.
#include <QCoreApplication>

#include "tools/vraxctl/Commands.h"

namespace cli {
namespace {

QString q(const char* s) {
    return QString::fromUtf8(s);
}

QCommandLineOption makeOption(const Option& o) {
    if (!o.valueName) return QCommandLineOption(q(o.name), q(o.description));
    return QCommandLineOption(q(o.name), q(o.description), q(o.valueName),
                              o.defaultValue ? q(o.defaultValue) : QString());
}

}  // namespace

bool ParsedLine::isSet(const Option& option) const {
    return parser.isSet(q(option.name));
}

QString ParsedLine::value(const Option& option) const {
    return parser.value(q(option.name));
}

bool ParsedLine::path(const Option& option, std::string& into) const {
    // An empty text names no file: a usage error, not the current folder or "/".
    into = userPath(bytes(value(option)));
    return !into.empty();
}

int usageError(const ParsedLine& line, const std::string& text) {
    error(text + " (vraxctl " + line.command() + " --help)");
    return Exit::usage;
}

UsageError readSensorAccess(const ParsedLine& l, bool& demo, std::string& capturePath) {
    demo = l.isSet(opt::demo);
    if (l.isSet(opt::capture) && !l.path(opt::capture, capturePath))
        return "--capture needs a file name";
    return std::nullopt;
}

UsageError readOneSensor(const ParsedLine& l, std::string& sensor) {
    if (l.positional().size() != 1) return l.command() + " takes one sensor (name or address)";
    sensor = bytes(l.positional()[0]);
    return std::nullopt;
}

UsageError readOneFile(const ParsedLine& l, std::string& file) {
    if (l.positional().size() != 1) return l.command() + " takes one file";
    file = userPath(bytes(l.positional()[0]));
    if (file.empty()) return l.command() + " needs a file name";
    return std::nullopt;
}

UsageError readOut(const ParsedLine& l, std::string& outDir) {
    if (!l.path(opt::out, outDir)) return "--out needs a folder";
    return std::nullopt;
}

UsageError readSaveOptions(const ParsedLine& l, SaveOptions& o) {
    if (UsageError e = readOut(l, o.outDir)) return e;
    o.filter = l.isSet(opt::filter);
    o.skipExisting = l.isSet(opt::skipExisting);
    o.overwrite = l.isSet(opt::overwrite);
    if (o.skipExisting && o.overwrite) return "give --skip-existing or --overwrite, not both";
    return std::nullopt;
}

UsageError readLines(const ParsedLine& l, int& lines) {
    if (!l.isSet(opt::lines)) return std::nullopt;
    bool okNumber = false;
    lines = l.value(opt::lines).toInt(&okNumber);
    if (!okNumber || lines <= 0) return "--lines takes a positive count";
    return std::nullopt;
}

UsageError readConfig(const ParsedLine& l, std::string& configPath, bool& setClock) {
    if (!l.isSet(opt::config)) return "--config FILE is needed";
    if (!l.path(opt::config, configPath)) return "--config needs a file name";
    setClock = l.isSet(opt::setClock);
    return std::nullopt;
}

void setUpParser(QCommandLineParser& parser, const Command& command) {
    parser.setApplicationDescription(q(command.summary) + QStringLiteral("\n\n") +
                                     q(exitCodeText()));
    parser.addHelpOption();
    for (const Option* o : command.options) parser.addOption(makeOption(*o));
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
