// The sensors overview's actions on the selected rows.
#include <QCheckBox>
#include <QDateTime>
#include <QDateTimeEdit>
#include <QInputDialog>
#include <QTableView>
#include <cmath>
#include <map>

#include "app/ActionHost.h"
#include "app/ClockTimes.h"
#include "app/MyTools.h"
#include "app/OverviewText.h"
#include "app/SensorsOverview.h"
#include "link/BtUtilClass.h"
#include "store/ClockLog.h"
#include "store/SensorLabels.h"

namespace {

// Far beyond any clock crystal's drift.
constexpr double kMaxCrystalPpm = 1000;

bool recordingHere(const OverviewRow& r) {
    return r.state == OverviewRow::State::recording || r.state == OverviewRow::State::scheduled;
}

// The clock log line of a reading, with the drift since the last set; the
// row keeps the drift. The log is best effort: a failure leaves the row as read.
void logClock(const QString& folder, OverviewRow& r, const timebase::ClockReading& c,
              const char* event) {
    const std::string dir = folder.toStdString();
    timebase::ClockLogLine line =
        timebase::logLineFor(c, r.name.toStdString(), r.address.toStdString(), event);
    std::string why;
    r.driftPpm.reset();
    if (c.answered && std::string(event) == timebase::event::probe) {
        const auto earlier = timebase::readClockLog(dir, r.address.toStdString(), why);
        if (const auto base = timebase::driftBase(earlier)) {
            line.driftPpm = timebase::driftPpm(*base, line);
            // A clock set without a line in the log (by another program)
            // shows as an impossible drift: it is not shown.
            if (line.driftPpm && std::fabs(*line.driftPpm) <= kMaxCrystalPpm)
                r.driftPpm = line.driftPpm;
        }
    }
    timebase::appendClockLog(dir, line, why);
}

}  // namespace

void SensorsOverview::refresh() {
    reloadSensors();
    QStringList chosen = selectedAddresses();
    if (chosen.isEmpty())
        for (const OverviewRow& r : rows->rows()) chosen << r.address;
    // A recording is stopped by every connect: those rows are left as they are.
    QStringList toRead;
    for (const QString& a : chosen) {
        const OverviewRow& r = rows->row(rows->rowOf(a));
        if (recordingHere(r)) {
            rows->update(rows->rowOf(a), [](OverviewRow& row) {
                row.result = overview::notReadWhileRecording();
                row.failed = false;
            });
        } else {
            toRead << a;
        }
    }
    // Each sensor is read on a thread of its own, so one that is off or out
    // of range holds up none of the others. One place per sensor, made
    // before the threads start: each fills its own.
    std::map<std::string, session::SensorStatus> found;
    for (const QString& a : toRead) found[a.toStdString()];
    const QString folder = host->saveFolder();
    runOn(
        toRead,
        [&](session::SensorSession& s, int) {
            session::SensorStatus status;
            const session::Outcome o = s.readStatus(status);
            found.at(s.sensor().address()) = status;
            return o;
        },
        [&](OverviewRow& r, const session::Outcome&) {
            const session::SensorStatus& status = found[r.address.toStdString()];
            r.status = status;
            r.clock = status.clock;
            r.state = OverviewRow::State::idle;
            r.why.clear();
            r.lastRead = QDateTime::currentDateTime();
            r.result = overview::read();
            logClock(folder, r, status.clock, timebase::event::probe);
        },
        Together::onThreads);
}

void SensorsOverview::setClocks() {
    const QStringList chosen = selectedAddresses();
    if (chosen.isEmpty()) return MyTools::dispMessageOK(overview::nothingSelected(), "Warning");
    // One place per sensor, made before the threads start: each fills its own.
    std::map<std::string, timebase::ClockReading> achieved;
    for (const QString& a : chosen) achieved[a.toStdString()];
    const QString folder = host->saveFolder();
    runOn(
        chosen,
        [&](session::SensorSession& s, int) {
            timebase::ClockReading reading;
            const session::Outcome o = s.setClock(reading);
            achieved.at(s.sensor().address()) = reading;
            return o;
        },
        [&](OverviewRow& r, const session::Outcome&) {
            r.clock = achieved[r.address.toStdString()];
            r.state = OverviewRow::State::idle;
            r.result = overview::clockSet();
            logClock(folder, r, *r.clock, timebase::event::set);
        },
        Together::onThreads);
}

void SensorsOverview::startRecording() {
    const QStringList chosen = selectedAddresses();
    if (chosen.isEmpty()) return MyTools::dispMessageOK(overview::nothingSelected(), "Warning");
    std::optional<measure::Config> config = fileConfig;
    if (!config && panelConfig) config = panelConfig();
    if (!config) return;
    session::RecordingStart start;
    QDateTime at;
    if (startAtBox->isChecked()) {
        at = startAtEdit->dateTime();
        at.setTime(QTime(at.time().hour(), at.time().minute(), at.time().second()));
        if (at <= QDateTime::currentDateTime())
            return MyTools::dispMessageOK(overview::startInPast(), "Warning");
        start.at = clockTimeOf(at);
    }
    // The threads only read the configuration and the start.
    runOn(
        chosen,
        [&](session::SensorSession& s, int) {
            // The settings are checked against each sensor's model.
            const std::string why =
                measure::validate(*config, BtUtilClass::checkSensorType2(s.sensor().name()) == 2);
            if (!why.empty())
                return session::Outcome::aboutSetting(session::Result::badSetting,
                                                      session::Step::setting, why);
            return s.startRecording(*config, start);
        },
        [&](OverviewRow& r, const session::Outcome&) {
            if (at.isValid()) {
                r.state = OverviewRow::State::scheduled;
                r.startAt = at;
                r.result = overview::recordingScheduled(at.toString(QStringLiteral("HH:mm:ss")));
            } else {
                r.state = OverviewRow::State::recording;
                r.result = overview::recordingStarted();
            }
        },
        Together::onThreads);
}

void SensorsOverview::stop() {
    const QStringList chosen = selectedAddresses();
    if (chosen.isEmpty()) return MyTools::dispMessageOK(overview::nothingSelected(), "Warning");
    runOn(
        chosen, [](session::SensorSession& s, int) { return s.stopMeasuring(); },
        [](OverviewRow& r, const session::Outcome&) {
            r.state = OverviewRow::State::idle;
            r.result = overview::stopped();
        },
        Together::onThreads);
}

void SensorsOverview::identify() {
    const QStringList chosen = selectedAddresses();
    if (chosen.isEmpty()) return MyTools::dispMessageOK(overview::nothingSelected(), "Warning");
    runOn(
        chosen, [](session::SensorSession& s, int) { return s.identify(); },
        [](OverviewRow& r, const session::Outcome&) {
            // Every connect stops a recording.
            r.state = OverviewRow::State::idle;
            r.result = overview::beeped();
        },
        Together::onThreads);
}

void SensorsOverview::erase() {
    const QStringList chosen = selectedAddresses();
    if (chosen.isEmpty()) return MyTools::dispMessageOK(overview::nothingSelected(), "Warning");
    // First each sensor's entries, and which of them are in the save folder.
    const std::map<std::string, session::MemoryListing> listed = listEach(chosen);
    const std::string folder = host->saveFolder().toStdString();
    QStringList lines, toErase;
    for (const QString& a : chosen) {
        const OverviewRow& r = rows->row(rows->rowOf(a));
        const auto it = listed.find(a.toStdString());
        if (r.failed || it == listed.end()) {
            lines << overview::eraseNotListed(r.name);
            continue;
        }
        const auto& entries = it->second.entries;
        int downloaded = 0;
        for (size_t i = 0; i < entries.size(); ++i) {
            bool found = false;
            for (bool filtered : {false, true}) {
                const session::DownloadRequest request = entryRequest(folder, entries, i, filtered);
                const std::string target = session::targetPathOf(request, r.name.toStdString());
                found = found || completeDownload(folder, target, entries[i].records).has_value();
            }
            downloaded += found ? 1 : 0;
        }
        lines << overview::eraseLine(r.name, int(entries.size()), downloaded);
        toErase << a;
    }
    if (toErase.isEmpty()) return;
    if (MyTools::askQuestion(overview::eraseQuestion(lines), "Warning", overview::eraseButtons()) !=
        1)
        return;
    runOn(
        toErase, [](session::SensorSession& s, int) { return s.eraseMemory(); },
        [](OverviewRow& r, const session::Outcome&) {
            r.state = OverviewRow::State::idle;
            if (r.status) r.status->memory.entryCount = 0;
            r.result = overview::erased();
        },
        Together::onThreads);
}

bool SensorsOverview::setLabel(const QString& address, const QString& label) {
    const int i = rows->rowOf(address);
    if (i < 0) return false;
    std::string why;
    if (!labels::setLabel(host->saveFolder().toStdString(), rows->row(i).name.toStdString(),
                          label.trimmed().toStdString(), why)) {
        MyTools::dispMessageOK(overview::labelNotSaved(QString::fromStdString(why)), "Error");
        return false;
    }
    reloadSensors();
    return true;
}

void SensorsOverview::editLabel() {
    const QStringList chosen = selectedAddresses();
    if (chosen.size() != 1) return MyTools::dispMessageOK(overview::selectOne(), "Warning");
    const OverviewRow& r = rows->row(rows->rowOf(chosen.first()));
    bool ok = false;
    const QString text = QInputDialog::getText(
        this, QStringLiteral("Label"), QStringLiteral("Body location or label of %1:").arg(r.name),
        QLineEdit::Normal, r.label, &ok);
    if (ok) setLabel(chosen.first(), text);
}
