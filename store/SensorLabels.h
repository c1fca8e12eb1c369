// Labels of sensors (a body location, a subject's name): the file
// "sensor-labels.tsv" in the save folder, one "name<TAB>label" line per
// sensor. The sidecars of a sensor's files carry its label.
#pragma once

#include <map>
#include <string>

namespace labels {

inline constexpr const char* kLabelsName = "sensor-labels.tsv";
// Longest label kept, in bytes; more lines than this are not read.
inline constexpr size_t kMaxLabel = 200;
inline constexpr size_t kMaxSensors = 4096;

std::string labelsPath(const std::string& saveFolder);

// The labels of the folder's file; none when it does not exist. False with
// `error` set when it exists but cannot be read.
bool readLabels(const std::string& saveFolder, std::map<std::string, std::string>& out,
                std::string& error);
// The label of one sensor, or empty.
std::string labelOf(const std::string& saveFolder, const std::string& sensorName);

// Sets (or with an empty text removes) one sensor's label: the whole file is
// written anew through the safe-output helper. Tabs and line ends in the
// text become spaces. False with `error` set.
bool setLabel(const std::string& saveFolder, const std::string& sensorName,
              const std::string& label, std::string& error);

}  // namespace labels
