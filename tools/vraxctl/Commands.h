// The sub-commands of vraxctl: for each, its usage line, summary and
// options, how its command line becomes cli::Options, and what runs it.
#pragma once

#include <QCommandLineParser>
#include <QString>
#include <QStringList>
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

enum class OptionId {
    demo,
    capture,
    json,
    all,
    allSensors,
    out,
    filter,
    skipExisting,
    overwrite,
    yes,
    to,
    lines,
    output,
    wholeStore,
    force,
    png,
    width,
    config,
    startAt,
    setClock,
    seconds,
    tidy,
    hdf5,
    forceOutputs,  // --force of export, which never writes over its input
    parallel,
    set,
};

// A parsed command line as a command's parse step reads it.
class ParsedLine {
  public:
    ParsedLine(const QCommandLineParser& parser, std::string command)
        : parser(parser), name(std::move(command)), pos(parser.positionalArguments()) {}

    const std::string& command() const { return name; }
    const QStringList& positional() const { return pos; }
    bool isSet(OptionId id) const;
    QString value(OptionId id) const;
    // Puts a path option's value, "~" expanded, into `into`; false when it
    // names no file (given as an empty text).
    bool path(OptionId id, std::string& into) const;

  private:
    const QCommandLineParser& parser;
    std::string name;
    QStringList pos;
};

// The text of a usage error; none when the command line is good.
using UsageError = std::optional<std::string>;

struct Command {
    const char* name;
    const char* arguments;          // for the usage line
    const char* summary;            // its first line is the command list's
    std::vector<OptionId> options;  // in --help order
    UsageError (*parse)(const ParsedLine& line, Options& o);
    int (*run)(const Options& o);
    bool drawsCharts = false;  // runs with a QApplication, off screen
};

const std::vector<Command>& commands();
// Null when there is no command of that name.
const Command* findCommand(const QString& name);
// Gives the parser the command's description, --help, its options in their
// order and its arguments.
void setUpParser(QCommandLineParser& parser, const Command& command);
// The command's --help text, its usage line starting "Usage: vraxctl <command>".
QString helpText(const QCommandLineParser& parser, const Command& command);

}  // namespace cli
