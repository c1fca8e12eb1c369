// Runs the window's user actions one at a time. It owns the busy guard (an
// action asked for while another one waits in its event loop is dropped),
// the request to stop the running action, and the one sensor session that
// an action works on, with its connect phase (which the user can cancel).
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

#include "sensor/SensorSession.h"

class QTimer;

class ActionRunner : public QObject {
    Q_OBJECT
  public:
    using Work = std::function<session::Outcome(session::SensorSession&)>;

    explicit ActionRunner(QObject* parent = nullptr);
    ~ActionRunner() override;

    // Runs the action unless another one runs; false when it did not run.
    bool run(const std::function<void()>& action);
    bool busy() const { return running; }

    // Asks the running action to stop: its session's cancel check says yes.
    void cancel() { cancelAsked = true; }
    bool cancelRequested() const { return cancelAsked; }
    // Cancels a connect that waits; false when none waits.
    bool cancelConnect();

    // A new session on the sensor, after the current one is disconnected;
    // its connect phase begins.
    session::SensorSession& beginSession(const QString& name, const QString& address);
    // Disconnects the session and hands it over (its store keeps the records).
    std::unique_ptr<session::SensorSession> endSession();
    // Disconnects and drops the session.
    void dropSession() { endSession(); }
    session::SensorSession* session() const { return current.get(); }
    // One session on the sensor: connects, works, disconnects, and hands
    // the session over with the records of the work.
    std::unique_ptr<session::SensorSession> runSession(const QString& name, const QString& address,
                                                       const Work& work, session::Outcome& outcome);

    // True while the session's connect waits.
    bool connecting() const { return connectingNow; }
    QString connectingName() const { return connectingSensor; }

  Q_SIGNALS:
    // An action began or ended (after its session is gone).
    void busyChanged(bool running);
    // The connect phase began or ended.
    void connectingChanged(bool connecting);

  private:
    void endConnecting();

    std::unique_ptr<session::SensorSession> current;
    bool running = false;
    bool cancelAsked = false;
    bool connectingNow = false;
    QString connectingSensor;
    QTimer* connectPoll = nullptr;
};
