// The inputs of export grouped into sources: the files of one recording of
// one sensor (the parts of a split live session, in the order given) make
// one source, whose time_s runs on across its files. What each source's
// sidecar says (sensor, label, start on UTC) comes with it.
#pragma once

#include <QJsonObject>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace cli {

struct ExportSource {
    std::string stem;  // output name: the first file's name without extension and part number
    std::vector<std::string> files;
    QJsonObject sidecar;  // the first file's sidecar; empty when it has none
    std::string sensorName, sensorModel, label;
    std::optional<int64_t> startUnixMs;  // the start on UTC, corrected when it could be
    std::optional<double> startBoundMs;
};

// A file's sidecar, or an empty object when it has none or it is not JSON.
QJsonObject readSidecar(const std::string& dataFile);
// The same, none when the file has no sidecar or it is not a JSON object.
std::optional<QJsonObject> readSidecarObject(const std::string& dataFile);

// Groups the files by sensor and start (from their sidecars; without one,
// by name with the part number taken off), keeping the order given.
std::vector<ExportSource> groupSources(const std::vector<std::string>& files);

}  // namespace cli
