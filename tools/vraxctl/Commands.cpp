// The command table of vraxctl: the rows of every command family, in the
// order of the command list. Built with the program: it holds plot only
// when the preview is built.
#include <algorithm>
#include <iterator>

#include "tools/vraxctl/Commands.h"

namespace cli {
namespace {

// The order of the command list (vraxctl --help).
const char* const kListOrder[] = {
    "list",   "entries", "download", "info", "set-clock", "clock",  "erase", "replay", "convert",
    "record", "live",    "mark",     "stop", "identify",  "export", "label", "plot",
};

size_t listPosition(const Command& c) {
    const auto at = std::find_if(std::begin(kListOrder), std::end(kListOrder),
                                 [&](const char* name) { return std::string(name) == c.name; });
    return size_t(at - std::begin(kListOrder));
}

std::vector<Command> allCommands() {
    std::vector<Command> table;
    for (std::vector<Command> (*family)() :
         {sensorCommands, clockCommands, downloadCommands, replayCommands, convertCommands,
          measureCommands, liveCommands, exportCommands, labelCommands})
        for (Command& c : family()) table.push_back(std::move(c));
#ifdef VRAXCTL_PLOT
    for (Command& c : plotCommands()) table.push_back(std::move(c));
#endif
    std::stable_sort(table.begin(), table.end(), [](const Command& a, const Command& b) {
        return listPosition(a) < listPosition(b);
    });
    return table;
}

}  // namespace

const std::vector<Command>& commands() {
    static const std::vector<Command> table = allCommands();
    return table;
}

const Command* findCommand(const QString& name) {
    for (const Command& c : commands())
        if (name == QString::fromUtf8(c.name)) return &c;
    return nullptr;
}

}  // namespace cli
