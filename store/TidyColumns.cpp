// Column names of the tidy tables, one list per kind of record.
#include "store/TidyColumns.h"

#include <array>

namespace tidy {
namespace {

struct KindColumns {
    const char* name;
    std::vector<const char*> values;  // values[0], values[1], ... of the record
};

const std::array<KindColumns, 7>& kinds() {
    static const std::array<KindColumns, 7> table = {{
        {"ags", {"acc_x", "acc_y", "acc_z", "gyro_x", "gyro_y", "gyro_z"}},
        {"geo", {"geo_x", "geo_y", "geo_z"}},
        {"press", {"pressure", "temperature"}},
        {"batt", {"battery", "battery_level"}},
        {"ext", {"port_0", "port_1", "port_2", "port_3", "ad_0", "ad_1"}},
        {"qags", {"q0", "q1", "q2", "q3", "acc_x", "acc_y", "acc_z", "gyro_x", "gyro_y", "gyro_z"}},
        {"ext16ad",
         {"gain_0", "gain_1", "gain_2", "gain_3", "raw_0", "raw_1", "raw_2", "raw_3", "filtered_0",
          "filtered_1", "filtered_2", "filtered_3"}},
    }};
    return table;
}

bool known(int dataType) {
    return dataType >= 0 && dataType < int(kinds().size());
}

}  // namespace

const char* kindName(int dataType) {
    return known(dataType) ? kinds()[size_t(dataType)].name : nullptr;
}

int valueColumns(int dataType, bool filteredAd16) {
    if (!known(dataType)) return 0;
    const int all = valueCount(dataType);
    return dataType == ext16ad && !filteredAd16 ? all - 4 : all;
}

std::vector<std::string> columnNames(int dataType, bool filteredAd16) {
    if (!known(dataType)) return {};
    std::vector<std::string> names = {kTimeMs, kTimeS};
    const std::vector<const char*>& values = kinds()[size_t(dataType)].values;
    for (int i = 0; i < valueColumns(dataType, filteredAd16); ++i)
        names.push_back(values[size_t(i)]);
    return names;
}

ValueRange valueRange(int dataType, int slot) {
    constexpr ValueRange b24{-8388608, 8388607, 24}, s16{-32768, 32767, 16}, u8{0, 255, 8},
        bit{0, 1, 1}, derived{-65535, 65535, 0};
    if (!known(dataType) || slot < 0 || slot >= valueCount(dataType)) return {};
    switch (dataType) {
        case ags:
        case geo:
            return b24;
        case press:
            return slot == 0 ? b24 : s16;
        case batt:
            return slot == 0 ? s16 : u8;
        case ext:
            return slot < 4 ? bit : s16;
        case qags:
            return slot < 4 ? s16 : b24;
        case ext16ad:
            return slot < 4 ? u8 : slot < 8 ? s16 : derived;
        default:
            return {};
    }
}

const char* timeUnit(const std::string& column) {
    if (column == kTimeMs) return "ms";
    if (column == kTimeS || column == kTimeUnix) return "s";
    return "";
}

const ColumnScale& Scales::of(int dataType, int slot) const {
    static const ColumnScale none;
    if (dataType < 0 || dataType >= int(slots.size()) || slot < 0 || slot >= 12) return none;
    return slots[size_t(dataType)][size_t(slot)];
}

bool Scales::any() const {
    for (const auto& kind : slots)
        for (const ColumnScale& s : kind)
            if (s.set()) return true;
    return false;
}

std::string scaledName(const std::string& column, const std::string& unit) {
    std::string slug;
    for (char c : unit) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
            slug += c;
        else if (c == '/')
            slug += "_per_";
        else if (c != '^')
            slug += '_';
    }
    std::string out = column + "_";
    for (char c : slug)
        if (c != '_' || out.back() != '_') out += c;
    while (out.back() == '_') out.pop_back();
    return out;
}

void appendSeconds(std::string& out, int64_t ms) {
    // The magnitude as unsigned, so that the most negative value has one too.
    const uint64_t magnitude = ms < 0 ? uint64_t(0) - uint64_t(ms) : uint64_t(ms);
    if (ms < 0) out += '-';
    out += std::to_string(magnitude / 1000);
    const unsigned fraction = unsigned(magnitude % 1000);
    out += '.';
    out += char('0' + fraction / 100);
    out += char('0' + fraction / 10 % 10);
    out += char('0' + fraction % 10);
}

}  // namespace tidy
