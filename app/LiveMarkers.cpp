#include "app/LiveMarkers.h"

#include "sensor/DownloadNaming.h"
#include "sensor/SensorSession.h"

void LiveMarkers::begin(const std::string& saveFolder, const std::vector<std::string>& sensors,
                        int64_t startUtcMs) {
    const session::ClockTime now = session::localClockNow();
    log.emplace(dayFolderPath(saveFolder, now.year, now.month, now.day), sensors, startUtcMs);
    heldAt.reset();
    why.clear();
}

void LiveMarkers::setTimePair(size_t sensor, const TimePair& pair) {
    if (log) log->setTimePair(sensor, pair);
}

bool LiveMarkers::hold(int64_t utcMs) {
    if (!log) return false;
    const bool ok = !heldAt || commit(QString());
    heldAt = utcMs;
    return ok;
}

bool LiveMarkers::commit(const QString& label) {
    if (!heldAt) return true;
    const int64_t at = *heldAt;
    heldAt.reset();
    return add(label, at);
}

bool LiveMarkers::add(const QString& label, int64_t utcMs) {
    if (!log) return false;
    std::string text = markers::markerField(label.toStdString());
    if (text.empty()) text = markers::kUnnamed;
    if (log->add(text, utcMs)) return true;
    why = QString::fromStdString(log->error());
    return false;
}

QString LiveMarkers::finish(const QString& label) {
    if (!log) return {};
    commit(label);
    const std::string path = log->finish();
    if (path.empty() && !log->error().empty()) why = QString::fromStdString(log->error());
    log.reset();
    return QString::fromStdString(path);
}
