// The Measure panel: a window of its own beside the main window, for the
// sensor selected there. It holds the measurement configuration (every
// value is the sensor's own setting value), opens and saves it as JSON, and
// runs the measuring actions — set the clock, identify, calibrate the
// compass, start a recording now or at a set time, stop — each as one
// session under the main window's guard. "Live" streams the measurement
// into a CSV file under the save folder while scrolling charts show the
// last seconds; "Save As…" writes what a live session received as a binary
// dump or as CSV files of N lines. The panel lays out and wires its parts:
// the settings form, the sensor's commands and the live view.
#pragma once

#include <QVector>
#include <QWidget>
#include <functional>
#include <memory>

#include "app/LiveMarkers.h"
#include "app/SensorFleet.h"
#include "sensor/MeasureConfig.h"
#include "sensor/SensorSession.h"

class QLabel;
class ActionHost;
class LiveDriver;
class LiveSeveral;
class LiveView;
class MeasureActions;
class MeasureSettingsForm;
class SensorCommandsBox;
namespace preview {
class LiveCharts;
class SharedLiveCharts;
}  // namespace preview

class MeasurePanel : public QWidget {
    Q_OBJECT
  public:
    MeasurePanel(ActionHost* host, QWidget* parent);
    ~MeasurePanel() override;

    // The sensor the actions work on (empty: none selected).
    void setSensor(const QString& name);
    QString sensorName() const { return sensor; }
    // The sensors chosen elsewhere (the overview's selected rows): with two
    // or more, Live runs on all of them at once instead of the one sensor.
    using SelectionSource = std::function<QVector<SensorFleet::Sensor>()>;
    void setSelectionSource(SelectionSource source);
    // The chosen sensors changed: the controls follow.
    void selectionChanged() { updateControls(busy); }

    // The controls as a configuration, and back.
    measure::Config config() const;
    void setConfig(const measure::Config& config);
    // Opens or saves a configuration file; false after telling the user why.
    bool openConfig(const QString& path);
    bool saveConfig(const QString& path);

    // Actions (the buttons).
    void setClockClicked();
    void identifyClicked();
    void calibrateClicked();
    void startRecordingClicked();
    void liveClicked();
    void stopClicked();
    // A marker at this moment (the Mark button, key M); its label is typed
    // into the marker field and taken with Enter (empty: unnamed).
    void markClicked();
    void markerLabelEntered();
    // Saves the records of the last live session: a binary dump, or CSV
    // files of the lines per file chosen (0: one file); false after a message.
    bool saveLiveAs(const QString& path, bool binary);

    bool isLive() const;
    // Whether the last live session ran on several sensors.
    bool liveWasSeveral() const { return lastSeveral; }
    // The time maps and the events file the last live session wrote.
    QStringList liveTimeMaps() const;
    QString eventsFile() const { return lastEvents; }
    uint64_t markerCount() const { return markers.events(); }
    int windowSeconds() const;
    void setWindowSeconds(int seconds);
    void setLinesPerFile(int lines);
    // Where the last live session streamed its records.
    QStringList liveFiles() const;
    uint64_t liveRecords() const;
    QString statusText() const;
    preview::LiveCharts* charts() const;
    preview::SharedLiveCharts* sharedCharts() const;
    LiveView* live() const { return liveView; }

  protected:
    // Closing the panel during a live session stops it.
    void closeEvent(QCloseEvent* event) override;

  private:
    void build();
    void connectButtons();
    void updateControls(bool busy);
    bool isVRAX650() const;
    // The configuration, or none after telling the user what is wrong.
    std::optional<measure::Config> checkedConfig();
    void setStatus(const QString& text, bool problem = false);
    void saveAsPanel();
    QVector<SensorFleet::Sensor> severalChosen() const;
    bool running() const;
    // Ends the session's markers after it ended: events.tsv and its line.
    void finishMarkers();

    ActionHost* host;
    QString sensor;
    QLabel* sensorLabel = nullptr;
    MeasureSettingsForm* settings = nullptr;
    SensorCommandsBox* commands = nullptr;
    LiveView* liveView = nullptr;
    QLabel* statusLabel = nullptr;
    LiveDriver* liveDriver = nullptr;
    LiveSeveral* liveSeveral = nullptr;
    SelectionSource chosen;
    LiveMarkers markers;
    std::optional<TimePair> singlePair;  // the one-sensor session's latest pair
    QString lastEvents;
    bool lastSeveral = false;
    std::unique_ptr<MeasureActions> actions;
    bool busy = false;
};
