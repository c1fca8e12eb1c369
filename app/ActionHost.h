// What a panel that works on the window's selected sensor needs of the
// window: the sensor, the save folder, its actions run one at a time under
// the window's guard, each on a session of its own, and failures told the
// way the window tells them.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

#include "sensor/SensorSession.h"

class ActionHost : public QObject {
    Q_OBJECT
  public:
    using Work = std::function<session::Outcome(session::SensorSession&)>;
    using QObject::QObject;

    virtual QString saveFolder() const = 0;
    // Runs one user action under the window's guard (controls disabled, no
    // nested action).
    virtual void runGuarded(const std::function<void()>& action) = 0;
    // The selected sensor; false (having said why) when none is selected or
    // Bluetooth cannot reach it.
    virtual bool selectedSensor(QString& name, QString& address) = 0;
    // One session on the sensor: connects, works, disconnects, and hands the
    // session over with the records of the work.
    virtual std::unique_ptr<session::SensorSession> runSession(const QString& name,
                                                               const QString& address,
                                                               const Work& work,
                                                               session::Outcome& outcome) = 0;
    // The message of a failed outcome, by the step that failed.
    virtual void reportOutcome(const session::Outcome& outcome, const QString& name) = 0;
    // True when the running action is asked to stop (the window closes).
    virtual bool stopAsked() const = 0;

  Q_SIGNALS:
    // A user action began or ended.
    void busyChanged(bool running);
};
