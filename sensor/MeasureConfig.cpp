#include "sensor/MeasureConfig.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>
#include <cmath>

#include "sensor/VRAXSensor.h"
#include "store/FileIO.h"

namespace measure {

namespace {

// Indexed by Kind.
constexpr const char* kKeys[kKindCount] = {"ags", "geo", "press", "batt", "ext", "qags", "ext16ad"};

// The values each sender can carry.
struct Range {
    int low, high;
};
constexpr Range kByte{0, 255};
constexpr Range kRangeIndex{0, 3};
constexpr Range kPort{0, 5};  // 0: off; 1 to 5: the configurations the port sender maps
constexpr Range kOverwrite{0, 1};
// The sender carries a byte, but the download line writes each gain as one
// hex digit: a larger gain would make lines no reader understands.
constexpr Range kGain{0, 15};

std::string rangeText(Range r) {
    return std::to_string(r.low) + " to " + std::to_string(r.high);
}

std::string outOfRange(const std::string& key, int value, Range r) {
    return "\"" + key + "\": " + std::to_string(value) + " is not accepted (" + rangeText(r) + ")";
}

std::string checkValue(const std::string& key, int value, Range r) {
    return value < r.low || value > r.high ? outOfRange(key, value, r) : std::string();
}

// An integer value of the JSON, in `r`; else a message.
bool readInt(const QJsonValue& v, const std::string& key, Range r, int& out, std::string& error) {
    const double d = v.toDouble();
    if (!v.isDouble() || d != std::floor(d) || std::fabs(d) > 1e9) {
        error = "\"" + key + "\" must be a whole number (" + rangeText(r) + ")";
        return false;
    }
    out = int(d);
    error = checkValue(key, out, r);
    return error.empty();
}

bool readBool(const QJsonValue& v, const std::string& key, bool& out, std::string& error) {
    if (!v.isBool()) {
        error = "\"" + key + "\" must be true or false";
        return false;
    }
    out = v.toBool();
    return true;
}

bool readFour(const QJsonValue& v, const std::string& key, Range r, std::array<int, 4>& out,
              std::string& error) {
    const QJsonArray a = v.toArray();
    if (!v.isArray() || a.size() != 4) {
        error = "\"" + key + "\" must be a list of four whole numbers (" + rangeText(r) + ")";
        return false;
    }
    for (int i = 0; i < 4; ++i)
        if (!readInt(a[i], key + "[" + std::to_string(i) + "]", r, out[size_t(i)], error))
            return false;
    return true;
}

std::string unknownKeys(const QStringList& keys, const char* where) {
    std::string names;
    for (const QString& k : keys) names += (names.empty() ? "\"" : ", \"") + k.toStdString() + "\"";
    return std::string(keys.size() > 1 ? "unknown keys " : "unknown key ") + names + where;
}

bool readKind(const QJsonValue& v, Kind kind, KindSetting& out, std::string& error) {
    const std::string key = kindKey(kind);
    if (!v.isObject()) {
        error = "\"" + key + "\" must be an object";
        return false;
    }
    const QJsonObject o = v.toObject();
    QStringList unknown;
    for (auto it = o.begin(); it != o.end(); ++it) {
        const QString& k = it.key();
        bool ok = true;
        if (k == "enabled")
            ok = readBool(it.value(), key + ".enabled", out.enabled, error);
        else if (k == "record")
            ok = readBool(it.value(), key + ".record", out.record, error);
        else if (k == "rate" && kind != Kind::batt)
            ok = readInt(it.value(), key + ".rate", kByte, out.rate, error);
        else if (k == "average" && kind != Kind::batt)
            ok = readInt(it.value(), key + ".average", kByte, out.average, error);
        else
            unknown << k;
        if (!ok) return false;
    }
    if (!unknown.isEmpty()) {
        error = unknownKeys(unknown, (" in \"" + key + "\"").c_str());
        return false;
    }
    return true;
}

}  // namespace

const char* kindKey(Kind k) {
    return kKeys[size_t(k)];
}

std::optional<Kind> kindOfKey(std::string_view key) {
    for (size_t i = 0; i < kKindCount; ++i)
        if (key == kKeys[i]) return Kind(i);
    return std::nullopt;
}

std::optional<Config> parseConfig(std::string_view json, std::string& error) {
    QJsonParseError pe;
    const QJsonDocument doc =
        QJsonDocument::fromJson(QByteArray(json.data(), qsizetype(json.size())), &pe);
    if (pe.error != QJsonParseError::NoError) {
        // A lone value (null, 42, "text") is JSON, just not an object.
        const QByteArray wrapped = "[" + QByteArray(json.data(), qsizetype(json.size())) + "]";
        QJsonParseError inArray;
        if (QJsonDocument::fromJson(wrapped, &inArray).array().size() == 1 &&
            inArray.error == QJsonParseError::NoError) {
            error = "the configuration must be a JSON object";
            return std::nullopt;
        }
        error = "not valid JSON at byte " + std::to_string(pe.offset) + ": " +
                pe.errorString().toStdString();
        return std::nullopt;
    }
    if (!doc.isObject()) {
        error = "the configuration must be a JSON object";
        return std::nullopt;
    }
    const QJsonObject o = doc.object();
    Config c;
    QStringList unknown;
    for (auto it = o.begin(); it != o.end(); ++it) {
        const std::string k = it.key().toStdString();
        const QJsonValue v = it.value();
        bool ok = true;
        int n = 0;
        if (const auto kind = kindOfKey(k)) {
            ok = readKind(v, *kind, c[*kind], error);
        } else if (k == "accRange" || k == "gyroRange") {
            ok = readInt(v, k, kRangeIndex, n, error);
            (k == "accRange" ? c.accRange : c.gyroRange) = n;
        } else if (k == "extPorts") {
            std::array<int, 4> ports{};
            ok = readFour(v, k, kPort, ports, error);
            c.extPorts = ports;
        } else if (k == "ad16Gains") {
            ok = readFour(v, k, kGain, c.ad16Gains, error);
        } else if (k == "buzzerVolume") {
            ok = readInt(v, k, kByte, n, error);
            c.buzzerVolume = n;
        } else if (k == "overwriteMode") {
            ok = readInt(v, k, kOverwrite, n, error);
            c.overwriteMode = n;
        } else {
            unknown << it.key();
        }
        if (!ok) return std::nullopt;
    }
    if (!unknown.isEmpty()) {
        error = unknownKeys(unknown, "");
        return std::nullopt;
    }
    return c;
}

std::string toJson(const Config& c) {
    // Written by hand so that the order of the keys stays the order of the kinds.
    std::string s = "{\n";
    auto field = [&](const std::string& key, const std::string& value) {
        if (s.size() > 2) s += ",\n";
        s += "    \"" + key + "\": " + value;
    };
    auto four = [](const std::array<int, 4>& v) {
        return "[" + std::to_string(v[0]) + ", " + std::to_string(v[1]) + ", " +
               std::to_string(v[2]) + ", " + std::to_string(v[3]) + "]";
    };
    auto flag = [](bool b) { return std::string(b ? "true" : "false"); };
    for (const Kind kind : kKindsInOrder) {
        const KindSetting& k = c[kind];
        std::string v = "{\"enabled\": " + flag(k.enabled);
        if (kind != Kind::batt)
            v += ", \"rate\": " + std::to_string(k.rate) +
                 ", \"average\": " + std::to_string(k.average);
        v += ", \"record\": " + flag(k.record) + "}";
        field(kindKey(kind), v);
    }
    if (c.accRange) field("accRange", std::to_string(*c.accRange));
    if (c.gyroRange) field("gyroRange", std::to_string(*c.gyroRange));
    if (c.extPorts) field("extPorts", four(*c.extPorts));
    field("ad16Gains", four(c.ad16Gains));
    if (c.buzzerVolume) field("buzzerVolume", std::to_string(*c.buzzerVolume));
    if (c.overwriteMode) field("overwriteMode", std::to_string(*c.overwriteMode));
    return s + "\n}\n";
}

bool loadConfigFile(const std::string& path, Config& into, std::string& error, bool* unreadable) {
    bool dummy = false;
    bool& cannotRead = unreadable ? *unreadable : dummy;
    cannotRead = true;
    fileio::InputFile in;
    if (!in.open(path)) {
        error = in.error();
        return false;
    }
    if (in.size() > kMaxConfigFileSize) {
        error = "too large for a configuration (over " + std::to_string(kMaxConfigFileSize / 1024) +
                " KiB)";
        return false;
    }
    std::string text;
    char buffer[8192];
    for (;;) {
        const ssize_t n = in.read(buffer, sizeof buffer);
        if (n < 0) {
            error = in.error();
            return false;
        }
        if (n == 0) break;
        text.append(buffer, size_t(n));
        if (text.size() > kMaxConfigFileSize) {  // grew while being read
            error = "too large for a configuration";
            return false;
        }
    }
    cannotRead = false;
    std::optional<Config> c = parseConfig(text, error);
    if (!c) return false;
    into = *c;
    return true;
}

bool saveConfigFile(const std::string& path, const Config& c, safeout::Existing existing,
                    std::string& error) {
    return safeout::writeWholeFile(path, toJson(c), existing, error);
}

std::string validate(const Config& c, bool isVRAX650) {
    std::string e;
    for (size_t i = 0; i < kKindCount && e.empty(); ++i) {
        const Kind kind = kKindsInOrder[i];
        const std::string key = kindKey(kind);
        const KindSetting& k = c[kind];
        if (kind == Kind::ext16ad && k.enabled && !isVRAX650)
            return "\"ext16ad\" is measured by a VRAX650 only";
        if (kind == Kind::batt) continue;
        // An enabled kind without a rate would stream nothing.
        if (k.enabled && k.rate == 0)
            return "\"" + key + ".rate\" is 0 or missing: an enabled kind needs a rate (1 to 255)";
        e = checkValue(key + ".rate", k.rate, kByte);
        if (e.empty()) e = checkValue(key + ".average", k.average, kByte);
    }
    if (e.empty() && c.accRange) e = checkValue("accRange", *c.accRange, kRangeIndex);
    if (e.empty() && c.gyroRange) e = checkValue("gyroRange", *c.gyroRange, kRangeIndex);
    for (int i = 0; i < 4 && e.empty(); ++i) {
        const std::string n = "[" + std::to_string(i) + "]";
        if (c.extPorts) e = checkValue("extPorts" + n, (*c.extPorts)[size_t(i)], kPort);
        if (e.empty()) e = checkValue("ad16Gains" + n, c.ad16Gains[size_t(i)], kGain);
    }
    if (e.empty() && c.buzzerVolume) e = checkValue("buzzerVolume", *c.buzzerVolume, kByte);
    if (e.empty() && c.overwriteMode) e = checkValue("overwriteMode", *c.overwriteMode, kOverwrite);
    return e;
}

std::vector<SettingStep> settingSteps(const Config& c, bool isVRAX650) {
    std::vector<SettingStep> steps;
    if (c.accRange)
        steps.push_back({"accRange", [v = *c.accRange](VRAXSensor& s, int32_t& err) {
                             return s.sendSetAccRangeCommand(v, err);
                         }});
    if (c.gyroRange)
        steps.push_back({"gyroRange", [v = *c.gyroRange](VRAXSensor& s, int32_t& err) {
                             return s.sendSetGyrRangeCommand(v, err);
                         }});
    if (c.extPorts)
        steps.push_back({"extPorts", [v = *c.extPorts](VRAXSensor& s, int32_t& err) {
                             const int32_t ports[4] = {v[0], v[1], v[2], v[3]};
                             return s.sendSetExtPortConfigCommand(ports, err);
                         }});
    if (c.buzzerVolume)
        steps.push_back({"buzzerVolume", [v = *c.buzzerVolume](VRAXSensor& s, int32_t& err) {
                             return s.sendSetBuzzerVolumeCommand(v, err);
                         }});
    if (c.overwriteMode)
        steps.push_back({"overwriteMode", [v = *c.overwriteMode](VRAXSensor& s, int32_t& err) {
                             return s.sendSetMemOverwriteModeCommand(uint8_t(v), err);
                         }});
    using Sender = SendResult (VRAXSensor::*)(uint8_t, uint8_t, uint8_t, bool, int32_t&);
    const std::pair<Kind, Sender> kinds[] = {{Kind::ags, &VRAXSensor::sendSetAgsCommand},
                                             {Kind::qags, &VRAXSensor::sendSetQagsCommand},
                                             {Kind::geo, &VRAXSensor::sendSetGeoCommand},
                                             {Kind::press, &VRAXSensor::sendSetPressCommand}};
    for (const auto& [kind, sender] : kinds)
        steps.push_back({kindKey(kind), [k = c[kind], send = sender](VRAXSensor& s, int32_t& err) {
                             return (s.*send)(k.enabled, uint8_t(k.rate), uint8_t(k.average),
                                              k.record, err);
                         }});
    steps.push_back({"batt", [k = c[Kind::batt]](VRAXSensor& s, int32_t& err) {
                         return s.sendSetBattCommand(k.enabled, k.record, err);
                     }});
    steps.push_back({"ext", [k = c[Kind::ext]](VRAXSensor& s, int32_t& err) {
                         return s.sendSetExtCommand(k.enabled, uint8_t(k.rate), uint8_t(k.average),
                                                    k.record, err);
                     }});
    // A VRAX610 has no 16-bit AD input and does not know the setting.
    if (isVRAX650)
        steps.push_back(
            {"ext16ad", [k = c[Kind::ext16ad], g = c.ad16Gains](VRAXSensor& s, int32_t& err) {
                 return s.sendSetExt16ADCommand(k.enabled, uint8_t(k.rate), uint8_t(k.average),
                                                k.record, g[0], g[1], g[2], g[3], err);
             }});
    return steps;
}

}  // namespace measure
