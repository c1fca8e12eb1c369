#include "tools/vraxctl/ExportSources.h"

#include <QJsonDocument>
#include <filesystem>
#include <map>

#include "store/FileIO.h"
#include "store/Sidecar.h"

namespace cli {
namespace {

// "name-3" -> "name": the part number a split session adds.
std::string withoutPart(std::string stem) {
    const size_t dash = stem.find_last_of('-');
    if (dash == std::string::npos || dash + 1 == stem.size()) return stem;
    for (size_t i = dash + 1; i < stem.size(); ++i)
        if (stem[i] < '0' || stem[i] > '9') return stem;
    stem.resize(dash);
    return stem;
}

}  // namespace

std::optional<QJsonObject> readSidecarObject(const std::string& dataFile) {
    fileio::InputFile file;
    // Sidecars are small: anything past a megabyte is not one.
    if (!file.open(sidecar::pathFor(dataFile)) || file.size() > (1u << 20)) return std::nullopt;
    std::string text(size_t(file.size()), '\0');
    size_t have = 0;
    while (have < text.size()) {
        const ssize_t n = file.read(text.data() + have, text.size() - have);
        if (n <= 0) return std::nullopt;
        have += size_t(n);
    }
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(text));
    if (!doc.isObject()) return std::nullopt;
    return doc.object();
}

QJsonObject readSidecar(const std::string& dataFile) {
    return readSidecarObject(dataFile).value_or(QJsonObject{});
}

std::vector<ExportSource> groupSources(const std::vector<std::string>& files) {
    std::vector<ExportSource> sources;
    std::map<std::string, size_t> byKey;
    for (const std::string& file : files) {
        const QJsonObject side = readSidecar(file);
        const std::string stem = withoutPart(std::filesystem::path(file).stem().string());
        const QJsonObject sensor = side["sensor"].toObject();
        const QJsonObject start = side["start"].toObject();
        const std::string key = side.isEmpty()
                                    ? "file:" + stem
                                    : "sensor:" + sensor["name"].toString().toStdString() + "|" +
                                          start["asGiven"].toString().toStdString() + "|" +
                                          std::to_string(side["entry"].toInt(0));
        const auto found = byKey.find(key);
        if (found != byKey.end()) {
            sources[found->second].files.push_back(file);
            continue;
        }
        ExportSource s;
        s.stem = stem;
        s.files = {file};
        s.sidecar = side;
        s.sensorName = sensor["name"].toString().toStdString();
        s.sensorModel = sensor["model"].toString().toStdString();
        s.label = sensor["label"].toString().toStdString();
        if (start.contains("unixMs")) s.startUnixMs = start["unixMs"].toInteger();
        if (start.contains("utcBoundMs")) s.startBoundMs = start["utcBoundMs"].toDouble();
        byKey[key] = sources.size();
        sources.push_back(std::move(s));
    }
    return sources;
}

}  // namespace cli
