// Runs one sensor action on several sensors at once, each sensor on a
// session of its own, reporting each one's end as it comes.
//
// runEach runs them side by side in the window's event loop: a session waits
// in nested event loops, so an action started while another waits runs
// inside that wait and must end before the outer one can go on. That suits
// actions that ask the user on the way (downloads); sensors likely to keep a
// connect waiting (not reachable last time) are best given first, so that
// they wait outermost.
//
// runEachOnThreads gives every sensor a thread of its own with its own event
// loop: the session, its link and channel are made, used and destroyed
// there, so one sensor's waits never hold up another's. The work runs on
// those threads; the ends are told on the calling (main) thread.
#pragma once

#include <QObject>
#include <QString>
#include <QVector>
#include <atomic>
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
    // The same with each sensor's session on a thread of its own. `work` is
    // called on those threads at once: it may touch only its session and
    // what belongs to its index alone. `ended` is called on this thread, in
    // the order the actions end, while the event loop runs between them.
    bool runEachOnThreads(const QVector<Sensor>& sensors, const Work& work, const Ended& ended);

    bool running() const { return active; }
    // Cancels the connects that wait.
    void cancel() { cancelAsked = true; }
    // Polled while a run waits; true cancels it (the window closing).
    void setStopCheck(std::function<bool()> check) { stopCheck = std::move(check); }

  private:
    bool active = false;
    std::atomic<bool> cancelAsked{false};
    std::function<bool()> stopCheck;
};
