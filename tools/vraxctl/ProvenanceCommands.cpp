// label, and the sidecars of the files vraxctl derives from others.
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>
#include <filesystem>

#include "sensor/Provenance.h"
#include "store/FileIO.h"
#include "store/SensorLabels.h"
#include "store/Sidecar.h"
#include "tools/vraxctl/Cli.h"
#include "tools/vraxctl/Commands.h"
#include "tools/vraxctl/ExportSources.h"

namespace cli {
namespace {

struct LabelOptions {
    std::string sensor;
    std::string text;  // empty: remove the label
    std::string outDir = ".";
};

// A source's sidecar as compact JSON text, or empty when it has none or it
// is not a JSON object (it is then left out, never copied unchecked).
std::string sourceSidecar(const std::string& source) {
    const std::optional<QJsonObject> side = readSidecarObject(source);
    if (!side) return {};
    return QJsonDocument(*side).toJson(QJsonDocument::Indented).toStdString();
}

}  // namespace

void writeDerivedSidecar(const std::string& written, const std::string& source,
                         const std::string& kind, bool replace) {
    sidecar::Description d;
    d.tool = provenance::toolName();
    d.toolVersion = provenance::toolVersion();
    d.fileKind = kind;
    d.downloadLayout = kind != "export";
    d.sourceFile = std::filesystem::absolute(source).lexically_normal().string();
    d.sourceSidecarJson = sourceSidecar(source);
    std::string why;
    if (!sidecar::write(written, d,
                        replace ? safeout::Existing::replace : safeout::Existing::refuse, why))
        warning("the sidecar of " + shown(written) + " was not written: " + shown(why));
}

namespace {

int labelCommand(const LabelOptions& o) {
    std::string why;
    std::error_code ec;
    std::filesystem::create_directories(o.outDir, ec);
    if (!labels::setLabel(o.outDir, o.sensor, o.text, why)) {
        error("cannot write " + shown(labels::labelsPath(o.outDir)) + ": " + shown(why));
        return Exit::fileError;
    }
    if (o.text.empty())
        std::printf("%s: label removed\n", shown(o.sensor).c_str());
    else
        std::printf("%s: %s\n", shown(o.sensor).c_str(), shown(o.text).c_str());
    return Exit::ok;
}

UsageError parseLabel(const ParsedLine& l, LabelOptions& o) {
    if (l.positional().size() != 2)
        return "label takes a sensor name and a text (\"\" removes the label)";
    o.sensor = bytes(l.positional()[0]);
    o.text = bytes(l.positional()[1]);
    if (o.sensor.empty()) return "label needs a sensor name";
    return readOut(l, o.outDir);
}

}  // namespace

std::vector<Command> labelCommands() {
    return {
        {"label",
         "SENSOR TEXT",
         "Give a sensor a label (a body location, a subject): kept in <out>/sensor-labels.tsv\n"
         "and written into the sidecar of every file of that sensor saved there. \"\" removes "
         "it.",
         {&opt::out},
         parseThenRun(parseLabel, labelCommand)},
    };
}

}  // namespace cli
