#include "app/MeasureActions.h"

#include "app/ActionHost.h"
#include "app/Messages.h"
#include "app/MyTools.h"

namespace {

QString clockText(const session::ClockTime& t) {
    return QStringLiteral("%1/%2/%3 %4:%5:%6.%7")
        .arg(t.year, 4, 10, QLatin1Char('0'))
        .arg(t.month, 2, 10, QLatin1Char('0'))
        .arg(t.day, 2, 10, QLatin1Char('0'))
        .arg(t.hour, 2, 10, QLatin1Char('0'))
        .arg(t.minute, 2, 10, QLatin1Char('0'))
        .arg(t.second, 2, 10, QLatin1Char('0'))
        .arg(t.msec, 3, 10, QLatin1Char('0'));
}

}  // namespace

MeasureActions::MeasureActions(ActionHost* host, Status status)
    : host(host), status(std::move(status)) {}

void MeasureActions::run(const std::function<session::Outcome(session::SensorSession&)>& work,
                         const std::function<void()>& onSuccess) {
    host->runGuarded([&] {
        QString name, address;
        if (!host->selectedSensor(name, address)) return;
        session::Outcome o;
        host->runSession(name, address, work, o);
        if (!o.ok()) {
            status({});
            host->reportOutcome(o, name);
            return;
        }
        onSuccess();
    });
}

void MeasureActions::setClock() {
    session::ClockTime now{};
    run(
        [&](session::SensorSession& s) {
            // The time of the moment of sending (not of before connecting), then a probe.
            timebase::ClockReading achieved;
            return s.setClock(achieved, &now);
        },
        [&] { status(msg::clockSet(clockText(now))); });
}

void MeasureActions::identify() {
    run([](session::SensorSession& s) { return s.identify(); },
        [this] { status(msg::identified()); });
}

void MeasureActions::calibrateCompass(const QString& sensor) {
    if (MyTools::askQuestion(msg::calibrateQuestion(sensor), msg::warning(),
                             msg::calibrateButtons()) != msg::kCalibrate)
        return;
    run([](session::SensorSession& s) { return s.calibrateCompass(); },
        [this] { status(msg::calibrationStarted()); });
}

void MeasureActions::startRecording(const measure::Config& config,
                                    const session::RecordingStart& start, const QString& when) {
    run([&](session::SensorSession& s) { return s.startRecording(config, start); },
        [&] { status(when.isEmpty() ? msg::recordingStarted() : msg::recordingScheduled(when)); });
}

void MeasureActions::stopMeasuring() {
    run([](session::SensorSession& s) { return s.stopMeasuring(); },
        [this] { status(msg::measuringStopped()); });
}
