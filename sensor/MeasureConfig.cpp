#include "sensor/MeasureConfig.h"

#include "sensor/VRAXSensor.h"

namespace measure {

namespace {
constexpr const char* kKeys[kKindCount] = {"ags", "qags", "geo", "press", "batt", "ext", "ext16ad"};
}

const char* kindKey(Kind k) {
    return kKeys[size_t(k)];
}

std::optional<Kind> kindOfKey(std::string_view key) {
    for (size_t i = 0; i < kKindCount; ++i)
        if (key == kKeys[i]) return Kind(i);
    return std::nullopt;
}

std::optional<Config> parseConfig(std::string_view, std::string& error) {
    error = "not implemented yet";
    return std::nullopt;
}

std::string toJson(const Config&) {
    return "{}\n";
}

bool loadConfigFile(const std::string&, Config&, std::string& error) {
    error = "not implemented yet";
    return false;
}

bool saveConfigFile(const std::string& path, const Config& c, safeout::Existing existing,
                    std::string& error) {
    return safeout::writeWholeFile(path, toJson(c), existing, error);
}

std::string validate(const Config&, bool) {
    return {};
}

std::vector<SettingStep> settingSteps(const Config&, bool) {
    return {};
}

}  // namespace measure
