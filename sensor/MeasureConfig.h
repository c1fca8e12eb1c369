// A measurement configuration: which kinds the sensor measures, at what
// rate and averaging, whether it records them into its memory, and the
// sensor-wide settings (ranges, external ports, 16-bit AD gains, buzzer
// volume, memory overwrite mode). Every value is the sensor's own setting
// value and goes to the sensor unchanged through its sender; the
// configuration invents no units. It is kept in a small JSON file that the
// user saves and opens explicitly.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/LinkResults.h"
#include "protocol/MeasurementKinds.h"
#include "store/SafeOutput.h"

class VRAXSensor;

namespace measure {

// The kinds of measurement, numbered as the store numbers their records
// (files carry these codes): arrays of kinds are indexed by a record's data type.
enum class Kind : int {
    ags = SensorDataType::ags,
    geo = SensorDataType::geo,
    press = SensorDataType::press,
    batt = SensorDataType::batt,
    ext = SensorDataType::ext,
    qags = SensorDataType::qags,
    ext16ad = SensorDataType::ext16ad,
};
inline constexpr size_t kKindCount = 7;

// The order kinds are shown, saved and sent in: the sensor's settings order.
inline constexpr std::array<Kind, kKindCount> kKindsInOrder = {
    Kind::ags, Kind::qags, Kind::geo, Kind::press, Kind::batt, Kind::ext, Kind::ext16ad};

// The kind of a record's data type; none for a type that is no kind.
constexpr std::optional<Kind> kindOfDataType(int dataType) {
    if (dataType < 0 || dataType >= int(kKindCount)) return std::nullopt;
    return Kind(dataType);
}

struct KindSetting {
    bool enabled = false;
    int rate = 0;
    int average = 0;
    bool record = false;  // also into the sensor's memory
    bool operator==(const KindSetting&) const = default;
};

struct Config {
    std::array<KindSetting, kKindCount> kinds;   // indexed by Kind; missing kinds disabled
    std::optional<int> accRange, gyroRange;      // "accRange", "gyroRange": 0..3
    std::optional<std::array<int, 4>> extPorts;  // "extPorts": four port configuration values
    std::array<int, 4> ad16Gains{};              // "ad16Gains": sent with ext16ad
    std::optional<int> buzzerVolume;             // "buzzerVolume"
    std::optional<int> overwriteMode;            // "overwriteMode": 0 or 1
    KindSetting& operator[](Kind k) { return kinds[size_t(k)]; }
    const KindSetting& operator[](Kind k) const { return kinds[size_t(k)]; }
    bool operator==(const Config&) const = default;
};

// "ags", "qags", "geo", "press", "batt", "ext", "ext16ad".
const char* kindKey(Kind);
// The kind of a JSON key.
std::optional<Kind> kindOfKey(std::string_view key);

// Largest configuration file read.
inline constexpr uint64_t kMaxConfigFileSize = 64 * 1024;

// Parses a configuration; on failure returns nullopt and `error` says what
// and where, naming unknown keys, wrong types and values out of range.
std::optional<Config> parseConfig(std::string_view json, std::string& error);
// Stable, indented; parseConfig gives the same configuration back.
std::string toJson(const Config&);
// `unreadable` (when given) tells a file that could not be read (missing,
// not a regular file, too large, an I/O error) from one that says something wrong.
bool loadConfigFile(const std::string& path, Config& into, std::string& error,
                    bool* unreadable = nullptr);
bool saveConfigFile(const std::string& path, const Config&, safeout::Existing, std::string& error);

// Empty when every value is one the senders accept for this model
// (ext16ad only on a VRAX650); else the message naming the key.
std::string validate(const Config&, bool isVRAX650);

// One setting command, in the order they are sent.
struct SettingStep {
    std::string name;  // the JSON key, for messages
    std::function<SendResult(VRAXSensor&, int32_t& err)> send;
};
// The settings a configuration sends. Every kind's setting is sent (a
// disabled kind is switched off); sensor-wide settings only when given.
std::vector<SettingStep> settingSteps(const Config&, bool isVRAX650);

}  // namespace measure
