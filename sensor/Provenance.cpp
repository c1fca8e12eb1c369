#include "sensor/Provenance.h"

#include "link/BtUtilClass.h"
#include "store/SensorLabels.h"

namespace provenance {
namespace {

std::string& toolNameText() {
    static std::string name = "vraxctl";
    return name;
}
std::string& toolVersionText() {
    static std::string version;
    return version;
}

const char* resultText(session::Result r) {
    using session::Result;
    switch (r) {
        case Result::done:
            return "complete";
        case Result::cancelled:
            return "cancelled by the user";
        case Result::timedOut:
            return "the sensor went silent";
        case Result::channelClosed:
            return "the connection closed";
        case Result::missingRecords:
            return "the record count differs from the entry's";
        case Result::fileError:
            return "writing the file failed";
        default:
            return "the transfer did not finish";
    }
}

// The offset measured at download describes the clock the entry was
// recorded on only if that clock ran on since: it must not read earlier
// than the entry's start, and must not have been set after it.
std::string clockChangedSince(const sidecar::Description& d,
                              const session::DownloadReport& report) {
    if (!d.start) return {};
    if (timetext::civilAsUtcMs(*d.start) > report.clock.sensorMs)
        return "the sensor clock reads earlier than the entry's start (it was reset since)";
    if (report.lastSetUtcMs) {
        const timetext::LocalInstant local = timetext::fromLocal(*d.start);
        if (local.valid && local.unixMs - int64_t(report.clock.offsetMs) < *report.lastSetUtcMs)
            return "the sensor clock was set after the entry started";
    }
    return {};
}

}  // namespace

void setTool(const std::string& name, const std::string& version) {
    toolNameText() = name;
    toolVersionText() = version;
}
const std::string& toolName() {
    return toolNameText();
}
const std::string& toolVersion() {
    return toolVersionText();
}

sidecar::Description describeSensor(VRAXSensor& sensor, const std::string& saveFolder) {
    sidecar::Description d;
    d.tool = toolName();
    d.toolVersion = toolVersion();
    d.sensorName = sensor.name();
    d.sensorAddress = sensor.address();
    d.sensorModel = BtUtilClass::modelName(sensor.name());
    d.firmware = sensor.firmVersion();
    d.label = labels::labelOf(saveFolder, sensor.name());
    return d;
}

bool writeDownloadSidecar(VRAXSensor& sensor, const session::DownloadRequest& request,
                          const session::DownloadReport& report, session::Result result,
                          std::string& error) {
    if (report.filePath.empty()) return true;  // no file, no sidecar
    sidecar::Description d = describeSensor(sensor, request.saveFolder);
    d.fileKind = "download";
    d.complete = report.complete;
    if (!report.complete) d.incompleteReason = resultText(result);
    d.entry = request.entryRow + 1;
    EntryStart start;
    if (parseEntryStart(request.startText, start))
        d.start = timetext::CivilTime{start.year,   start.month,  start.day,        start.hour,
                                      start.minute, start.second, start.millisecond};
    d.clockSource = sidecar::ClockSource::sensor;
    if (report.clock.answered) {
        d.clockOffsetMs = report.clock.offsetMs;
        d.clockBoundMs = report.clock.boundMs;
        d.measuredUtcMs = report.clock.hostUtcMs;
        d.driftPpm = report.driftPpm;
        d.clockNotApplicable = clockChangedSince(d, report);
    }
    d.expectedRecords = request.expectedRecords > 0 ? request.expectedRecords : -1;
    d.accRangeRead = report.accRange;
    d.gyroRangeRead = report.gyrRange;
    d.ad16Gains = report.ad16Gains;
    d.filtered = request.filtered;
    const safeout::Existing existing = request.existing == safeout::Existing::replace
                                           ? safeout::Existing::replace
                                           : safeout::Existing::refuse;
    return sidecar::write(report.filePath, d, existing, error);
}

bool writeLiveSidecars(VRAXSensor& sensor, const session::LiveRequest& request,
                       const measure::Config& config, const LiveStart& start,
                       const std::vector<std::string>& files, std::string& error) {
    sidecar::Description d = describeSensor(sensor, request.saveFolder);
    d.fileKind = "live";
    const session::ClockTime& t = start.start;
    d.start = timetext::CivilTime{t.year, t.month, t.day, t.hour, t.minute, t.second, t.msec};
    d.clockSource = sidecar::ClockSource::host;
    d.clockOffsetMs = 0.0;
    d.clockBoundMs = start.boundMs;
    d.measuredUtcMs = start.startUtcMs;
    d.settingsSentJson = measure::toJson(config);
    d.filtered = false;
    bool ok = true;
    for (size_t i = 0; i < files.size(); ++i) {
        d.part = request.lineLimit > 0 ? int(i) : -1;
        d.complete = i + 1 < files.size() || start.lastComplete;
        if (!d.complete) d.incompleteReason = "writing the file failed";
        std::string why;
        if (!sidecar::write(files[i], d, safeout::Existing::refuse, why)) {
            if (ok) error = files[i] + ": " + why;
            ok = false;
        }
    }
    return ok;
}

}  // namespace provenance
