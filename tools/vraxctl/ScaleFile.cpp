#include "tools/vraxctl/ScaleFile.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cctype>
#include <cmath>

#include "store/FileIO.h"
#include "store/SensorDataRecord.h"

namespace cli {
namespace {

constexpr size_t kMaxBytes = 64 * 1024;
constexpr size_t kMaxRules = 256;
constexpr size_t kMaxUnit = 32;

// The value columns a quantity covers: kind and value slot.
struct Slot {
    int dataType, slot;
};
struct Quantity {
    const char* name;
    const char* rangeKey;  // null: no range setting
    std::vector<Slot> slots;
};

const std::vector<Quantity>& quantities() {
    static const std::vector<Quantity> table = {
        {"acc", "accRange", {{ags, 0}, {ags, 1}, {ags, 2}, {qags, 4}, {qags, 5}, {qags, 6}}},
        {"gyro", "gyroRange", {{ags, 3}, {ags, 4}, {ags, 5}, {qags, 7}, {qags, 8}, {qags, 9}}},
        {"geo", nullptr, {{geo, 0}, {geo, 1}, {geo, 2}}},
        {"quaternion", nullptr, {{qags, 0}, {qags, 1}, {qags, 2}, {qags, 3}}},
        {"pressure", nullptr, {{press, 0}}},
        {"temperature", nullptr, {{press, 1}}},
        {"battery", nullptr, {{batt, 0}}},
        {"ad", nullptr, {{ext, 4}, {ext, 5}}},
        {"ad16",
         nullptr,
         {{ext16ad, 4},
          {ext16ad, 5},
          {ext16ad, 6},
          {ext16ad, 7},
          {ext16ad, 8},
          {ext16ad, 9},
          {ext16ad, 10},
          {ext16ad, 11}}},
    };
    return table;
}

const Quantity* quantityNamed(const std::string& name) {
    for (const Quantity& q : quantities())
        if (name == q.name) return &q;
    return nullptr;
}

// A unit goes into CSV headers, TSV cells and names: no separators, no
// control characters, and at least one letter or digit to name it by.
bool goodUnit(const std::string& unit) {
    if (unit.empty() || unit.size() > kMaxUnit) return false;
    bool named = false;
    for (unsigned char c : unit) {
        if (c < 0x20 || c == 0x7f || c == ',' || c == '"' || c == '\\') return false;
        named = named || std::isalnum(c);
    }
    return named;
}

std::string quantityList() {
    std::string out;
    for (const Quantity& q : quantities()) out += (out.empty() ? "" : ", ") + std::string(q.name);
    return out;
}

}  // namespace

bool ScaleFile::load(const std::string& path, std::string& error) {
    fileio::InputFile file;
    unreadable_ = true;
    if (!file.open(path)) {
        error = "cannot read " + path + ": " + file.error();
        return false;
    }
    // Read at most one byte past the limit, whatever the file claims to be.
    std::string text(kMaxBytes + 1, '\0');
    size_t have = 0;
    while (have < text.size()) {
        const ssize_t n = file.read(text.data() + have, text.size() - have);
        if (n < 0) {
            error = "cannot read " + path + ": " + file.error();
            return false;
        }
        if (n == 0) break;
        have += size_t(n);
    }
    unreadable_ = false;
    if (have > kMaxBytes) {
        error = path + ": a scale file is at most 64 KiB";
        return false;
    }
    text.resize(have);
    if (!parse(text, error)) {
        error = path + ": " + error;
        return false;
    }
    return true;
}

bool ScaleFile::parse(const std::string& text, std::string& error) {
    rules_.clear();
    QJsonParseError parseError{};
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(text), &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        const size_t at = std::min(text.size(), size_t(std::max(0, parseError.offset)));
        const long line = 1 + std::count(text.begin(), text.begin() + long(at), '\n');
        error = "line " + std::to_string(line) + ": not JSON (" +
                parseError.errorString().toStdString() + ")";
        return false;
    }
    const QJsonObject top = doc.object();
    if (!doc.isObject() || !top["scales"].isArray()) {
        error = "needs an object with a \"scales\" array";
        return false;
    }
    for (auto it = top.begin(); it != top.end(); ++it)
        if (it.key() != "scales") {
            error = "unknown key \"" + it.key().toStdString() + "\"";
            return false;
        }
    const QJsonArray list = top["scales"].toArray();
    if (size_t(list.size()) > kMaxRules) {
        error = "at most " + std::to_string(kMaxRules) + " scales";
        return false;
    }
    for (qsizetype i = 0; i < list.size(); ++i) {
        const std::string where = "scales[" + std::to_string(i) + "]";
        auto fail = [&](const std::string& key, const std::string& why) {
            error = where + (key.empty() ? "" : "." + key) + ": " + why;
            return false;
        };
        if (!list[i].isObject()) return fail("", "not an object");
        const QJsonObject e = list[i].toObject();
        ScaleRule rule;
        if (!e["model"].isString() || e["model"].toString().isEmpty())
            return fail("model", "needs the sensor model, e.g. \"VRAX610\"");
        rule.model = e["model"].toString().toStdString();
        rule.quantity = e["quantity"].toString().toStdString();
        const Quantity* q = quantityNamed(rule.quantity);
        if (!q) return fail("quantity", "one of " + quantityList());
        for (auto it = e.begin(); it != e.end(); ++it) {
            const std::string key = it.key().toStdString();
            const bool known = key == "model" || key == "quantity" || key == "factor" ||
                               key == "unit" || (q->rangeKey && key == q->rangeKey);
            if (!known)
                return fail(key, q->rangeKey || (key != "accRange" && key != "gyroRange")
                                     ? "unknown key"
                                     : "no range setting for " + rule.quantity);
        }
        if (q->rangeKey) {
            const QJsonValue r = e[q->rangeKey];
            const double d = r.toDouble(-1);
            if (!r.isDouble() || d != std::floor(d) || d < 0 || d > 3)
                return fail(q->rangeKey, "needs the range setting, 0 to 3");
            rule.range = int(d);
        }
        const QJsonValue f = e["factor"];
        rule.factor = f.toDouble();
        const double magnitude = std::fabs(rule.factor);
        if (!f.isDouble() || !std::isfinite(rule.factor) || magnitude < 1e-30 || magnitude > 1e30)
            return fail("factor", "needs a number other than 0 (within 1e-30 to 1e30)");
        if (!e["unit"].isString()) return fail("unit", "needs the unit as text, e.g. \"m/s^2\"");
        rule.unit = e["unit"].toString().toStdString();
        if (!goodUnit(rule.unit))
            return fail("unit",
                        "1 to 32 characters with a letter or digit, no comma, quote, backslash or "
                        "control character");
        for (const ScaleRule& other : rules_)
            if (other.model == rule.model && other.quantity == rule.quantity &&
                other.range == rule.range)
                return fail("", "a second scale for the same model, quantity and range");
        rules_.push_back(std::move(rule));
    }
    return true;
}

tidy::Scales ScaleFile::scalesFor(const ScaleSubject& subject,
                                  std::vector<std::string>& notes) const {
    tidy::Scales scales;
    for (const Quantity& q : quantities()) {
        std::optional<int> range;
        if (q.rangeKey)
            range = std::string(q.rangeKey) == "accRange" ? subject.accRange : subject.gyroRange;
        bool forModel = false, matched = false;
        for (const ScaleRule& rule : rules_) {
            if (rule.model != subject.model || rule.quantity != q.name) continue;
            forModel = true;
            if (rule.range != range) continue;
            matched = true;
            for (const Slot& s : q.slots)
                scales.slots[size_t(s.dataType)][size_t(s.slot)] = {rule.factor, rule.unit};
        }
        if (forModel && !matched)
            notes.push_back(std::string(q.name) + " stays in counts: " +
                            (range ? "the scale file has no scale for " + std::string(q.rangeKey) +
                                         " " + std::to_string(*range)
                                   : "its range setting (" + std::string(q.rangeKey) +
                                         ") is not in the sidecar"));
    }
    return scales;
}

}  // namespace cli
