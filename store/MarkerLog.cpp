#include "store/MarkerLog.h"

#include <cstdio>
#include <filesystem>

#include "store/TimeText.h"

namespace markers {

std::string markerField(const std::string& text) {
    std::string out;
    for (char c : text) out += (uint8_t(c) < 0x20 || c == 0x7f) ? ' ' : c;
    const size_t first = out.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    out = out.substr(first, out.find_last_not_of(' ') - first + 1);
    if (out.size() > kMarkerTextLimit) {
        size_t n = kMarkerTextLimit;
        while (n > 0 && (uint8_t(out[n]) & 0xC0) == 0x80) --n;
        out.resize(n);
    }
    return out;
}

std::string eventRow(const std::string& label, int64_t utcMs, int64_t startUtcMs) {
    char onset[48];
    std::snprintf(onset, sizeof onset, "%.3f", double(utcMs - startUtcMs) / 1000.0);
    return std::string(onset) + "\t0\t" + label + "\t" + timetext::isoUtc(utcMs);
}

MarkerLog::MarkerLog(std::string dayFolder, std::vector<std::string> sensorNames,
                     int64_t startUtcMs)
    : folder(std::move(dayFolder)),
      sensors(std::move(sensorNames)),
      pairs(sensors.size()),
      startUtc(startUtcMs) {}

void MarkerLog::setTimePair(size_t sensor, const TimePair& pair) {
    if (sensor < pairs.size()) pairs[sensor] = pair;
}

bool MarkerLog::add(const std::string& text, int64_t utcMs) {
    const std::string label = markerField(text);
    if (label.empty()) return true;
    if (!file.isOpen()) {
        std::error_code ec;
        std::filesystem::create_directories(folder, ec);
        std::string header = kHostEventsHeader;
        for (const std::string& s : sensors) header += "\t" + markerField(s) + "_time_ms";
        if (!file.open(folder + "/events.tsv", header)) {
            why = file.error();
            return false;
        }
    }
    std::string row = eventRow(label, utcMs, startUtc);
    for (const std::optional<TimePair>& p : pairs)
        row += "\t" + (p ? std::to_string(int64_t(p->sensorMs) + (utcMs - p->hostUtcMs))
                         : std::string("n/a"));
    if (!file.addRow(row)) {
        why = file.error();
        return false;
    }
    return true;
}

std::string MarkerLog::finish() {
    std::string path = file.finish();
    if (path.empty() && !file.error().empty()) why = file.error();
    return path;
}

}  // namespace markers
