// Runs one sensor action on several sensors side by side in the window's
// event loop: each sensor gets a session of its own, every action starts at
// once, and each one's end is reported as it comes. A session waits in
// nested event loops, so an action started while another waits runs inside
// that wait; sensors likely to keep a connect waiting (not reachable last
// time) are best given first, so that they wait outermost.
#pragma once

#include <QObject>
#include <QString>
#include <QVector>
#include <functional>

#include "sensor/SensorSession.h"

class SensorFleet : public QObject {
    Q_OBJECT
  public:
    struct Sensor {
        QString name;
        QString address;
    };
    using Work = std::function<session::Outcome(session::SensorSession&, int index)>;
    using Ended = std::function<void(int index, const session::Outcome&)>;

    using QObject::QObject;

    // Runs `work` on each sensor, calling `ended` as each action ends;
    // returns once all have ended. False (nothing run) while a run goes on.
    bool runEach(const QVector<Sensor>& sensors, const Work& work, const Ended& ended);
    bool running() const { return active; }
    // Cancels the connects that wait.
    void cancel() { cancelAsked = true; }

  private:
    bool active = false;
    bool cancelAsked = false;
};
