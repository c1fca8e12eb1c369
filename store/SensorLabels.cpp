#include "store/SensorLabels.h"

#include <filesystem>

#include "store/FileIO.h"
#include "store/LineReader.h"
#include "store/SafeOutput.h"

namespace labels {
namespace {

std::string cleaned(std::string s) {
    for (char& c : s)
        if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    if (s.size() > kMaxLabel) s.resize(kMaxLabel);
    return s;
}

}  // namespace

std::string labelsPath(const std::string& saveFolder) {
    return (std::filesystem::path(saveFolder) / kLabelsName).string();
}

bool readLabels(const std::string& saveFolder, std::map<std::string, std::string>& out,
                std::string& error) {
    out.clear();
    const std::string path = labelsPath(saveFolder);
    std::error_code ec;
    if (!std::filesystem::exists(std::filesystem::symlink_status(path, ec))) return true;
    fileio::InputFile file;
    if (!file.open(path)) {
        error = file.error();
        return false;
    }
    text::LineReader lines(file);
    std::string_view line;
    bool overlong = false;
    while (out.size() < kMaxSensors && lines.next(line, overlong)) {
        if (overlong) continue;
        const size_t tab = line.find('\t');
        if (tab == std::string_view::npos || tab == 0) continue;
        out[std::string(line.substr(0, tab))] = cleaned(std::string(line.substr(tab + 1)));
    }
    if (lines.readFailed()) {
        error = file.error();
        return false;
    }
    return true;
}

std::string labelOf(const std::string& saveFolder, const std::string& sensorName) {
    std::map<std::string, std::string> all;
    std::string error;
    if (!readLabels(saveFolder, all, error)) return {};
    const auto it = all.find(sensorName);
    return it == all.end() ? std::string() : it->second;
}

bool setLabel(const std::string& saveFolder, const std::string& sensorName,
              const std::string& label, std::string& error) {
    std::map<std::string, std::string> all;
    if (!readLabels(saveFolder, all, error)) return false;
    const std::string name = cleaned(sensorName);
    if (label.empty())
        all.erase(name);
    else
        all[name] = cleaned(label);
    std::string text;
    for (const auto& [n, l] : all) text += n + "\t" + l + "\n";
    return safeout::writeWholeFile(labelsPath(saveFolder), text, safeout::Existing::replace, error);
}

}  // namespace labels
