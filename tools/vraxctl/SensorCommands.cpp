// The small sub-commands that talk to sensors: list, entries, info,
// erase. Each runs the shared session sequences of sensor/ and
// turns their outcomes into messages and exit codes.
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <optional>

#include "store/TimeText.h"
#include "tools/vraxctl/Cli.h"
#include "tools/vraxctl/Commands.h"
#include "tools/vraxctl/Report.h"
#include "tools/vraxctl/SensorAccess.h"

namespace cli {
namespace {

using session::Outcome;

struct ListOptions {
    bool demo = false;
    bool json = false;
};

struct EntriesOptions : SensorOptions {
    bool json = false;
};

struct EraseOptions : SensorOptions {
    bool yes = false;
};

constexpr Option kYes{"yes", "Erase without asking."};

void printSensorHead(const SensorRef& ref) {
    std::printf("%s (%s, %s)\n", shown(ref.name).c_str(), shown(ref.address).c_str(), ref.model());
}

int listCommand(const ListOptions& o) {
    SensorBackend backend(o.demo);
    std::vector<SensorRef> all;
    if (!backend.sensors(all)) return Exit::noBluetooth;
    if (o.json) {
        QJsonArray list;
        for (const SensorRef& r : all)
            list.append(QJsonObject{{"name", QString::fromStdString(r.name)},
                                    {"address", QString::fromStdString(r.address)},
                                    {"model", r.model()}});
        std::printf("%s", QJsonDocument(list).toJson(QJsonDocument::Indented).constData());
        return Exit::ok;
    }
    if (all.empty()) std::printf("no paired VRAX sensors\n");
    for (const SensorRef& r : all)
        std::printf("%-20s %s  %s\n", shown(r.name).c_str(), shown(r.address).c_str(), r.model());
    return Exit::ok;
}

int entriesCommand(const EntriesOptions& o) {
    return withSensor(o, "entries", [&](const SensorRef& ref, session::SensorSession& s) {
        session::MemoryListing listing;
        const Outcome out = s.listMemory(listing);
        if (!out.ok()) return report(out, ref.name);
        if (o.json) {
            QJsonArray entries;
            for (size_t i = 0; i < listing.entries.size(); ++i) {
                const session::EntryInfo& e = listing.entries[i];
                QJsonObject item{{"entry", int(i) + 1},
                                 {"start", QString::fromStdString(e.startText)},
                                 {"records", e.records}};
                // The start on the sensor's clock, read as this computer's local time.
                const timetext::LocalInstant at =
                    timetext::fromLocal({e.start.year, e.start.month, e.start.day, e.start.hour,
                                         e.start.minute, e.start.second, e.start.millisecond});
                if (at.valid)
                    item.insert("startIso", QString::fromStdString(timetext::isoWithOffset(
                                                at.unixMs, at.offsetSeconds)));
                entries.append(item);
            }
            QJsonObject doc{{"name", QString::fromStdString(ref.name)},
                            {"address", QString::fromStdString(ref.address)},
                            {"model", ref.model()},
                            {"entries", entries},
                            {"freeEntries", qint64(listing.status.freeEntryCount)},
                            {"freeRecords", qint64(listing.status.freeRecordCount)}};
            std::printf("%s", QJsonDocument(doc).toJson(QJsonDocument::Indented).constData());
            return int(Exit::ok);
        }
        printSensorHead(ref);
        if (listing.entries.empty())
            std::printf("no entries\n");
        else
            std::printf("%5s  %-23s  %9s\n", "Entry", "Start", "Records");
        for (size_t i = 0; i < listing.entries.size(); ++i)
            std::printf("%5zu  %-23s  %9d\n", i + 1, listing.entries[i].startText.c_str(),
                        listing.entries[i].records);
        std::printf("free: %u entries, %u records\n", listing.status.freeEntryCount,
                    listing.status.freeRecordCount);
        return int(Exit::ok);
    });
}

int infoCommand(const SensorOptions& o) {
    return withSensor(o, "info", [&](const SensorRef& ref, session::SensorSession& s) {
        Outcome out = s.openSensorAndStop();
        if (!out.ok()) return report(out, ref.name);
        const std::string firmware = s.sensor().firmVersion();
        float volts = 0;
        out = s.readBattery(volts);
        s.simpleDisconnectSensor();
        printSensorHead(ref);
        std::printf("firmware: %s\n", firmware.empty() ? "(not reported)" : firmware.c_str());
        if (!out.ok()) return report(out, ref.name);
        std::printf("battery: %.2f V\n", double(volts));
        return int(Exit::ok);
    });
}

int eraseCommand(const EraseOptions& o) {
    return withSensor(o, "erase", [&](const SensorRef& ref, session::SensorSession& s) {
        if (!o.yes) {
            if (isatty(STDIN_FILENO) != 1 || isatty(STDERR_FILENO) != 1) {
                error(ref.name +
                      ": not erasing without confirmation; give --yes to erase from a script");
                return int(Exit::notConfirmed);
            }
            std::fprintf(stderr,
                         "Erase ALL data in the memory of %s? Erased data cannot be recovered. "
                         "[y/N] ",
                         ref.name.c_str());
            std::string answer;
            std::getline(std::cin, answer);
            if (lower(answer) != "y" && lower(answer) != "yes") {
                error(ref.name + ": not erased");
                return int(Exit::notConfirmed);
            }
        }
        const Outcome out = s.eraseMemory();
        if (!out.ok()) return report(out, ref.name);
        std::printf("%s: memory erased\n", ref.name.c_str());
        return int(Exit::ok);
    });
}

UsageError parseList(const ParsedLine& l, ListOptions& o) {
    o.demo = l.isSet(opt::demo);
    o.json = l.isSet(opt::json);
    if (!l.positional().isEmpty()) return "list takes no arguments";
    return std::nullopt;
}

UsageError parseEntries(const ParsedLine& l, EntriesOptions& o) {
    if (UsageError e = readSensorAccess(l, o.demo, o.capturePath)) return e;
    o.json = l.isSet(opt::json);
    return readOneSensor(l, o.sensor);
}

UsageError parseErase(const ParsedLine& l, EraseOptions& o) {
    if (UsageError e = parseSensorOnly(l, o)) return e;
    o.yes = l.isSet(kYes);
    return std::nullopt;
}

}  // namespace

UsageError parseSensorOnly(const ParsedLine& l, SensorOptions& o) {
    if (UsageError e = readSensorAccess(l, o.demo, o.capturePath)) return e;
    return readOneSensor(l, o.sensor);
}

std::vector<Command> sensorCommands() {
    return {
        {"list",
         "",
         "List the paired VRAX sensors (name, address, model).",
         {&opt::demo, &opt::json},
         parseThenRun(parseList, listCommand)},
        {"entries",
         "SENSOR",
         "List the memory entries of a sensor and its free memory.",
         {&opt::demo, &opt::capture, &opt::json},
         parseThenRun(parseEntries, entriesCommand)},
        {"info",
         "SENSOR",
         "Show the firmware version and battery voltage of a sensor.",
         {&opt::demo, &opt::capture},
         parseThenRun(parseSensorOnly, infoCommand)},
        {"erase",
         "SENSOR",
         "Erase all entries in the memory of a sensor.",
         {&opt::demo, &opt::capture, &kYes},
         parseThenRun(parseErase, eraseCommand)},
    };
}

}  // namespace cli
