#include "store/BidsMotion.h"

#include <charconv>
#include <cstdio>
#include <map>

#include "store/TidyColumns.h"

namespace bids {

std::string label(const std::string& text) {
    std::string out;
    for (char c : text)
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) out += c;
    return out;
}

std::string subjectPrefix(const Entities& e) {
    return "sub-" + e.subject + (e.session.empty() ? "" : "_ses-" + e.session);
}

std::string motionFolder(const Entities& e) {
    return "sub-" + e.subject + (e.session.empty() ? "" : "/ses-" + e.session) + "/motion";
}

std::string motionName(const Entities& e, const std::string& tracksys, const std::string& suffix) {
    return subjectPrefix(e) + "_task-" + e.task + "_tracksys-" + tracksys + "_" + suffix;
}

std::string eventsName(const Entities& e) {
    return subjectPrefix(e) + "_task-" + e.task + "_events.tsv";
}

std::string scansPath(const Entities& e) {
    return "sub-" + e.subject + (e.session.empty() ? "" : "/ses-" + e.session) + "/" +
           subjectPrefix(e) + "_scans.tsv";
}

std::vector<Channel> channels(int dataType, const std::string& /*trackedPoint*/,
                              const tidy::Scales& scales) {
    std::vector<Channel> out = {{"latency", "LATENCY", "n/a", "s"}};
    const std::vector<std::string> names = tidy::columnNames(dataType, false);
    for (size_t i = 2; i < names.size(); ++i) {
        const std::string& n = names[i];
        Channel c{n, "MISC", "n/a", "count"};
        const char axis = n.back();
        const bool xyz =
            n.size() > 2 && n[n.size() - 2] == '_' && (axis == 'x' || axis == 'y' || axis == 'z');
        if (n.rfind("acc_", 0) == 0 && xyz) c = {n, "ACCEL", std::string(1, axis), "count"};
        if (n.rfind("gyro_", 0) == 0 && xyz) c = {n, "GYRO", std::string(1, axis), "count"};
        if (n.rfind("geo_", 0) == 0 && xyz) c = {n, "MAGN", std::string(1, axis), "count"};
        if (dataType == qags && i - 2 < 4) {
            static const char* quat[4] = {"quat_w", "quat_x", "quat_y", "quat_z"};
            c = {n, "ORNT", quat[i - 2], "count"};
        }
        if (const tidy::ColumnScale& scale = scales.of(dataType, int(i) - 2); scale.set())
            c.units = scale.unit;
        out.push_back(c);
    }
    return out;
}

std::string channelCountMembers(const std::vector<Channel>& chans) {
    std::map<std::string, int> counts;
    for (const Channel& c : chans) ++counts[c.type];
    std::string out;
    for (const auto& [type, n] : counts)
        out += "  \"" + type + "ChannelCount\": " + std::to_string(n) + ",\n";
    out += "  \"MotionChannelCount\": " + std::to_string(chans.size()) + ",\n";
    return out;
}

std::string channelsTable(const std::vector<Channel>& chans, const std::string& trackedPoint,
                          double samplingFrequency) {
    char rate[32];
    std::snprintf(rate, sizeof rate, "%g", samplingFrequency);
    std::string out = "name\tcomponent\ttype\ttracked_point\tunits\tsampling_frequency\n";
    for (const Channel& c : chans)
        out += c.name + "\t" + c.component + "\t" + c.type + "\t" + trackedPoint + "\t" + c.units +
               "\t" + rate + "\n";
    return out;
}

void appendMotionRow(std::string& out, const SensorDataRecord& r, int64_t originMs,
                     const tidy::Scales& scales) {
    tidy::appendSeconds(out, int64_t(uint64_t(tidy::recordedMs(r)) - uint64_t(originMs)));
    char buf[32];
    for (int v = 0; v < tidy::valueColumns(r.dataType, false); ++v) {
        out += '\t';
        const tidy::ColumnScale& scale = scales.of(r.dataType, v);
        const auto end =
            scale.set() ? std::to_chars(buf, buf + sizeof buf, double(r.values[v]) * scale.factor)
                        : std::to_chars(buf, buf + sizeof buf, r.values[v]);
        out.append(buf, size_t(end.ptr - buf));
    }
    out += '\n';
}

}  // namespace bids
