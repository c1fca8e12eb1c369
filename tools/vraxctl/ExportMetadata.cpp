#include "tools/vraxctl/ExportMetadata.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QVariant>
#include <algorithm>

#include "sensor/Provenance.h"
#include "tools/vraxctl/Cli.h"
#include "tools/vraxctl/ExportOptions.h"

namespace cli {
namespace {

// A hostile sidecar is at most a megabyte; these keep its attributes few.
constexpr int kMaxDepth = 8;
constexpr size_t kMaxAttributes = 512;

void flatten(const QJsonObject& object, const std::string& prefix, int depth,
             std::vector<hdf5out::Attribute>& out) {
    for (auto it = object.begin(); it != object.end() && out.size() < kMaxAttributes; ++it) {
        if (it.key().isEmpty()) continue;
        const std::string name = prefix + it.key().toStdString();
        const QJsonValue v = it.value();
        if (v.isObject() && depth < kMaxDepth) {
            flatten(v.toObject(), name + "_", depth + 1, out);
        } else if (v.isString()) {
            out.push_back({name, v.toString().toStdString()});
        } else if (v.isBool()) {
            out.push_back({name, int64_t(v.toBool())});
        } else if (v.isDouble()) {
            if (v.toVariant().typeId() == QMetaType::LongLong)
                out.push_back({name, int64_t(v.toInteger())});
            else
                out.push_back({name, v.toDouble()});
        } else if (v.isArray()) {
            out.push_back(
                {name, QJsonDocument(v.toArray()).toJson(QJsonDocument::Compact).toStdString()});
        } else if (v.isObject()) {
            out.push_back(
                {name, QJsonDocument(v.toObject()).toJson(QJsonDocument::Compact).toStdString()});
        }
    }
}

std::optional<int> rangeIn(const QJsonObject& settings, const char* key) {
    for (const char* where : {"sent", "readAtDownload"}) {
        const QJsonValue v = settings[where].toObject()[key];
        if (v.isDouble()) return v.toInt();
    }
    return std::nullopt;
}

}  // namespace

std::vector<hdf5out::Attribute> sidecarAttributes(const QJsonObject& sidecar) {
    std::vector<hdf5out::Attribute> out;
    flatten(sidecar, "", 0, out);
    return out;
}

std::vector<hdf5out::Attribute> sharedAttributes(
    const std::vector<std::vector<hdf5out::Attribute>>& lists) {
    if (lists.empty()) return {};
    std::vector<hdf5out::Attribute> out;
    for (const hdf5out::Attribute& a : lists.front())
        if (std::all_of(lists.begin() + 1, lists.end(), [&](const auto& list) {
                return std::find(list.begin(), list.end(), a) != list.end();
            }))
            out.push_back(a);
    return out;
}

std::vector<hdf5out::Attribute> fileAttributes(
    const std::vector<std::string>& sources,
    const std::vector<std::vector<hdf5out::Attribute>>& groups) {
    std::string names;
    for (const std::string& s : sources) names += (names.empty() ? "" : "\n") + s;
    std::vector<hdf5out::Attribute> out = {
        {"tool_name", provenance::toolName()},
        {"tool_version", provenance::toolVersion()},
        {"layout", std::string("/<source>/<kind>/<column>: one dataset per column; each kind's "
                               "\"columns\" attribute lists them in order")},
        {"sources", names}};
    for (hdf5out::Attribute& a : sharedAttributes(groups))
        if (a.name.rfind("file_", 0) != 0 && a.name.rfind("records_", 0) != 0 &&
            a.name.rfind("source_", 0) != 0)
            out.push_back(std::move(a));
    return out;
}

ScaleSubject scaleSubjectOf(const ExportSource& source) {
    ScaleSubject s;
    // A conversion's sidecar carries the one of the file it was made from.
    QJsonObject side = source.sidecar;
    for (int depth = 0; depth < 4 && !side["settings"].isObject(); ++depth)
        side = side["source"].toObject()["sidecar"].toObject();
    s.model = source.sensorModel;
    if (s.model.empty()) s.model = side["sensor"].toObject()["model"].toString().toStdString();
    const QJsonObject settings = side["settings"].toObject();
    s.accRange = rangeIn(settings, "accRange");
    s.gyroRange = rangeIn(settings, "gyroRange");
    return s;
}

int loadScales(const ExportOptions& o, ScaleFile& scales) {
    if (o.scaleFile.empty()) return Exit::ok;
    std::string why;
    if (scales.load(o.scaleFile, why)) return Exit::ok;
    error("--scale: " + shown(why));
    return scales.unreadable() ? Exit::fileError : Exit::usage;
}

tidy::Scales scalesOf(const ScaleFile& scales, const ExportSource& source) {
    if (scales.rules().empty()) return {};
    const ScaleSubject subject = scaleSubjectOf(source);
    std::vector<std::string> notes;
    const tidy::Scales out = scales.scalesFor(subject, notes);
    const std::string name = shown(source.files.front());
    if (!out.any() && notes.empty())
        warning(name + ": the scale file has nothing for its model (" +
                shown(subject.model.empty() ? std::string("not known") : subject.model) +
                "); its values stay in counts");
    for (const std::string& note : notes) warning(name + ": " + note);
    return out;
}

}  // namespace cli
