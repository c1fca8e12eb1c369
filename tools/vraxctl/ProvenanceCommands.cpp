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

namespace cli {
namespace {

// A source's sidecar as compact JSON text, or empty when it has none or it
// is not a JSON object (it is then left out, never copied unchecked).
std::string sourceSidecar(const std::string& source) {
    const std::string path = sidecar::pathFor(source);
    fileio::InputFile file;
    if (!file.open(path) || file.size() > (1u << 20)) return {};
    std::string text(size_t(file.size()), '\0');
    size_t have = 0;
    while (have < text.size()) {
        const ssize_t n = file.read(text.data() + have, text.size() - have);
        if (n <= 0) return {};
        have += size_t(n);
    }
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(text));
    if (!doc.isObject()) return {};
    return doc.toJson(QJsonDocument::Indented).toStdString();
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

int labelCommand(const Options& o) {
    std::string why;
    std::error_code ec;
    std::filesystem::create_directories(o.outDir, ec);
    if (!labels::setLabel(o.outDir, o.sensor, o.labelText, why)) {
        error("cannot write " + shown(labels::labelsPath(o.outDir)) + ": " + shown(why));
        return Exit::fileError;
    }
    if (o.labelText.empty())
        std::printf("%s: label removed\n", shown(o.sensor).c_str());
    else
        std::printf("%s: %s\n", shown(o.sensor).c_str(), shown(o.labelText).c_str());
    return Exit::ok;
}

}  // namespace cli
