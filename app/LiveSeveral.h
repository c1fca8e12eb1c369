// Runs the Measure panel's live session on several sensors at once: one
// live session per sensor side by side in the window's event loop, each
// streaming into its own file with its time map. A session's streaming
// loop waits in a nested event loop that returns only when that session
// ends, so the sensors start one after the other, each inside the previous
// one's streaming wait: every one streams (its records arrive through its
// channel's callbacks) while only the innermost loop ticks. A timer of its
// own therefore draws every sensor's latest records on one host-time axis,
// keeps the legend (label, records per second, battery) and holds each
// session's memory to what the longest chart window shows. Stop ends them
// all, innermost first.
#pragma once

#include <QObject>
#include <QStringList>
#include <QVector>
#include <functional>
#include <optional>

#include "app/SensorFleet.h"
#include "sensor/MeasureConfig.h"
#include "store/VRAXSensorData.h"

class ActionHost;
class LiveView;
class QTimer;

class LiveSeveral : public QObject {
    Q_OBJECT
  public:
    using Status = std::function<void(const QString& text, bool problem)>;
    // Called at each redraw with the time pair of sensor `index`.
    using PairSeen = std::function<void(size_t index, const TimePair& pair)>;
    LiveSeveral(ActionHost* host, LiveView* view, Status status, QObject* parent);
    ~LiveSeveral() override;

    // One session on every sensor, run inside the host's guard until Stop
    // (or until every one has ended on its own).
    void run(const QVector<SensorFleet::Sensor>& sensors, const measure::Config& config,
             bool setClock, const PairSeen& pairSeen);
    void requestStop();

    bool isRunning() const { return running; }
    bool isLive() const { return liveCount > 0; }
    bool stopIsRequested() const { return stopRequested; }
    // The files and time maps the last run streamed, over every sensor.
    QStringList files() const { return lastFiles; }
    QStringList timeMaps() const { return lastMaps; }
    uint64_t records() const { return lastRecords; }
    // Draws every running sensor again (the chart window changed, a marker was added).
    void redraw();

  Q_SIGNALS:
    void stateChanged();

  private:
    struct Live {
        QString name;
        QString label;
        VRAXSensorData* store = nullptr;  // while its session streams
        uint64_t scanned = 0;             // records counted for the legend
        uint64_t counted = 0;
        double rate = 0;
        uint64_t countAtRate = 0;
        float battery = 0;
        bool ended = false;
        QString why;  // why it ended on its own
    };
    void tick();
    void updateLegend();

    ActionHost* host;
    LiveView* view;
    Status status;
    QTimer* timer;
    std::vector<Live> sensors;
    PairSeen pairSeen;
    bool running = false;
    bool stopRequested = false;
    int liveCount = 0;
    int ticks = 0;
    QStringList lastFiles, lastMaps;
    uint64_t lastRecords = 0;
};
