#include "store/Sidecar.h"

#include <cmath>
#include <filesystem>
#include <vector>

#include "store/FileIO.h"
#include "store/JsonText.h"
#include "store/Sha256.h"
#include "store/TidyColumns.h"
#include "store/VRAXSensorData.h"

namespace sidecar {
namespace {

void count(FileFacts& f, const SensorDataRecord& r) {
    ++f.records;
    const int kind = r.dataType;
    if (kind < 0 || kind > 6) return;
    ++f.perKind[size_t(kind)];
    for (int slot = 0; slot < valueCount(kind); ++slot) {
        const tidy::ValueRange range = tidy::valueRange(kind, slot);
        const int32_t v = r.values[slot];
        if (range.mayClip() && (v <= range.min || v >= range.max))
            ++f.saturated[size_t(kind)][size_t(slot)];
    }
    const auto ms = tidy::recordedMs(r);
    if (!f.firstMs) f.firstMs = ms;
    f.lastMs = ms;
}

bool scanBin(const std::string& path, FileFacts& facts, std::string& error) {
    uint64_t ignoredBytes = 0;
    return VRAXSensorData::readBinRecords(path, ignoredBytes, error,
                                          [&](const SensorDataRecord& r) { count(facts, r); });
}

const char* sourceName(ClockSource s) {
    return s == ClockSource::sensor ? "sensor clock" : "host clock";
}

std::string civilText(const timetext::CivilTime& t) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04d/%02d/%02d %02d:%02d:%02d.%03d", t.year, t.month, t.day,
                  t.hour, t.minute, t.second, t.millisecond);
    return buf;
}

}  // namespace

std::string pathFor(const std::string& dataPath) {
    return dataPath + ".json";
}

bool scanDataFile(const std::string& path, FileFacts& facts, std::string& error, bool records) {
    facts = FileFacts{};
    std::error_code ec;
    facts.bytes = std::filesystem::file_size(path, ec);
    if (!records) return !ec || (error = ec.message(), false);
    facts.sha256 = sha256OfFile(path, error);
    if (facts.sha256.empty()) return false;
    std::string ext = std::filesystem::path(path).extension().string();
    for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
    if (ext == ".bin") return scanBin(path, facts, error);
    CsvLoadReport report;
    const bool ok = VRAXSensorData::readCSVRecords(
        path, true, report, [&](const SensorDataRecord& r) { count(facts, r); });
    if (!ok) {
        error = report.error;
        return false;
    }
    facts.unreadLines = report.skippedLines;
    facts.filteredLines = report.filteredAD16;
    return true;
}

std::optional<CorrectedStart> correctedStart(const Description& d) {
    if (!d.start) return std::nullopt;
    const timetext::LocalInstant local = timetext::fromLocal(*d.start);
    if (!local.valid) return std::nullopt;
    CorrectedStart c;
    c.unixMs = local.unixMs;
    // Not measured, or measured on a clock set since: the start as given.
    if (!d.clockOffsetMs || !d.clockNotApplicable.empty()) return c;
    // The offset at the start: the measured one less the drift since then.
    double offset = *d.clockOffsetMs;
    if (d.driftPpm && d.measuredUtcMs)
        offset -= *d.driftPpm * 1e-6 * double(*d.measuredUtcMs - local.unixMs);
    c.unixMs = local.unixMs - int64_t(std::llround(offset));
    c.boundMs = d.clockBoundMs;
    return c;
}

std::string toJson(const Description& d, const std::string& dataPath, const FileFacts& facts) {
    jsontext::Writer w;
    w.beginObject();
    w.beginObject("tool").field("name", d.tool).field("version", d.toolVersion).endObject();
    w.beginObject("file")
        .field("name", std::filesystem::path(dataPath).filename().string())
        .field("kind", d.fileKind)
        .field("complete", d.complete);
    if (!d.complete && !d.incompleteReason.empty()) w.field("incompleteReason", d.incompleteReason);
    if (d.part >= 0) w.field("part", d.part);
    w.field("bytes", facts.bytes);
    if (!facts.sha256.empty()) w.field("sha256", facts.sha256);
    w.endObject();

    w.beginObject("sensor")
        .field("name", d.sensorName)
        .field("address", d.sensorAddress)
        .field("model", d.sensorModel)
        .field("firmware", d.firmware);
    if (!d.label.empty()) w.field("label", d.label);
    w.endObject();
    if (d.entry) w.field("entry", *d.entry);

    w.beginObject("start");
    w.field("clockSource", sourceName(d.clockSource));
    if (d.start) {
        w.field("asGiven", civilText(*d.start));
        const timetext::LocalInstant local = timetext::fromLocal(*d.start);
        if (local.valid)
            w.field("local", timetext::isoWithOffset(local.unixMs, local.offsetSeconds));
        w.field("timeZone", timetext::zoneName());
        if (local.valid && !local.zoneAbbreviation.empty())
            w.field("zoneAbbreviation", local.zoneAbbreviation);
    }
    w.beginObject("clock");
    if (d.clockOffsetMs) w.field("offsetMs", *d.clockOffsetMs, 3);
    if (d.clockBoundMs) w.field("boundMs", *d.clockBoundMs, 3);
    if (d.driftPpm) w.field("driftPpm", *d.driftPpm, 3);
    if (d.measuredUtcMs) w.field("measuredUtc", timetext::isoUtc(*d.measuredUtcMs));
    if (!d.clockOffsetMs)
        w.field("note", "not measured: the start on UTC is as the clock gave it");
    else if (!d.clockNotApplicable.empty())
        w.field("note", d.clockNotApplicable + ": the start on UTC is as the clock gave it");
    w.endObject();
    if (const auto c = correctedStart(d)) {
        w.field("utc", timetext::isoUtc(c->unixMs)).field("unixMs", c->unixMs);
        if (c->boundMs) w.field("utcBoundMs", *c->boundMs, 3);
        w.field("utcCorrected", c->boundMs.has_value());
    }
    w.endObject();

    if (d.downloadLayout) {
        w.beginObject("records");
        if (d.expectedRecords >= 0) w.field("expected", d.expectedRecords);
        w.field("received", facts.records);
        if (facts.unreadLines > 0) w.field("unreadLines", facts.unreadLines);
        if (facts.firstMs)
            w.field("firstTimeMs", *facts.firstMs).field("lastTimeMs", *facts.lastMs);
        w.beginObject("perKind");
        for (int k = 0; k < 7; ++k)
            if (facts.perKind[size_t(k)] > 0) w.field(tidy::kindName(k), facts.perKind[size_t(k)]);
        w.endObject();
        // Per column of the kinds present: values at a limit of the field.
        w.beginObject("saturated");
        for (int k = 0; k < 7; ++k) {
            if (facts.perKind[size_t(k)] == 0) continue;
            const std::vector<std::string> names = tidy::columnNames(k, true);
            w.beginObject(tidy::kindName(k));
            for (int slot = 0; slot < valueCount(k); ++slot)
                if (tidy::valueRange(k, slot).mayClip())
                    w.field(names[size_t(slot) + 2], facts.saturated[size_t(k)][size_t(slot)]);
            w.endObject();
        }
        w.endObject();
        w.endObject();
    }

    w.beginObject("settings");
    if (!d.settingsSentJson.empty()) w.raw("sent", d.settingsSentJson);
    if (d.accRangeRead || d.gyroRangeRead) {
        w.beginObject("readAtDownload");
        if (d.accRangeRead) w.field("accRange", *d.accRangeRead);
        if (d.gyroRangeRead) w.field("gyroRange", *d.gyroRangeRead);
        w.field("note", kReadAtDownloadNote);
        w.endObject();
    }
    w.endObject();

    w.beginObject("ad16");
    if (d.ad16Gains) {
        w.beginArray("gains");
        bool above = false;
        for (int g : *d.ad16Gains) {
            w.value(int64_t(g));
            above = above || g > 15;
        }
        w.endArray();
        if (above)
            w.field("note",
                    "gains above 15 are written as F in the data lines; these are the real gains");
    }
    w.field("filtered", d.filtered || facts.filteredLines);
    w.endObject();

    if (!d.sourceFile.empty()) {
        w.beginObject("source").field("file", d.sourceFile);
        if (!d.sourceSidecarJson.empty()) w.raw("sidecar", d.sourceSidecarJson);
        w.endObject();
    }
    w.endObject();
    return w.text();
}

bool write(const std::string& dataPath, const Description& d, safeout::Existing existing,
           std::string& error) {
    FileFacts facts;
    if (!scanDataFile(dataPath, facts, error, d.downloadLayout)) return false;
    return safeout::writeWholeFile(pathFor(dataPath), toJson(d, dataPath, facts), existing, error);
}

}  // namespace sidecar
