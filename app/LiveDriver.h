// Runs the Measure panel's live session: streams the measurement of the
// selected sensor into a CSV file under the save folder, shows its progress
// and charts at each tick, and keeps the ended session (its latest records)
// and the names of the files it streamed.
#pragma once

#include <QObject>
#include <QStringList>
#include <functional>
#include <memory>

#include "sensor/MeasureConfig.h"
#include "sensor/SensorSession.h"

class ActionHost;
class LiveView;

class LiveDriver : public QObject {
    Q_OBJECT
  public:
    using Status = std::function<void(const QString& text, bool problem)>;
    LiveDriver(ActionHost* host, LiveView* view, Status status, QObject* parent);
    ~LiveDriver() override;

    // Told the sensor's name once the session is about to start, and each
    // new (sensor time, host receive time) pair while it streams.
    using Began = std::function<void(const QString& name)>;
    using PairSeen = std::function<void(const TimePair& pair)>;
    void setHooks(Began began, PairSeen pairSeen);

    // One session, run inside the host's guard: until stop is asked, or
    // until it ends on its own (then the user is told why and where the records are).
    void run(const measure::Config& config, bool setClock);
    // The running session (connecting or streaming) sends the stop command and ends its file.
    void requestStop();

    bool isLive() const { return live; }        // streaming
    bool isRunning() const { return running; }  // connecting or streaming
    bool stopIsRequested() const { return stopRequested; }
    // Where the last session streamed its records.
    QStringList files() const { return lastFiles; }
    // Records the ended session still holds.
    uint64_t records() const;
    // Draws the ended session again (the chart window changed).
    void redrawEnded();

  Q_SIGNALS:
    // Live, running or stop requested changed.
    void stateChanged();

  private:
    ActionHost* host;
    LiveView* view;
    Status status;
    Began began;
    PairSeen pairSeen;
    bool live = false;
    bool running = false;
    bool stopRequested = false;
    // The last session, disconnected, with its records.
    std::unique_ptr<session::SensorSession> kept;
    QStringList lastFiles;
};
