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

#include <QWidget>
#include <memory>

#include "sensor/MeasureConfig.h"
#include "sensor/SensorSession.h"

class QLabel;
class ActionHost;
class LiveDriver;
class LiveView;
class MeasureActions;
class MeasureSettingsForm;
class SensorCommandsBox;
namespace preview {
class LiveCharts;
}

class MeasurePanel : public QWidget {
    Q_OBJECT
  public:
    MeasurePanel(ActionHost* host, QWidget* parent);
    ~MeasurePanel() override;

    // The sensor the actions work on (empty: none selected).
    void setSensor(const QString& name);
    QString sensorName() const { return sensor; }

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
    // Saves the records of the last live session: a binary dump, or CSV
    // files of the lines per file chosen (0: one file); false after a message.
    bool saveLiveAs(const QString& path, bool binary);

    bool isLive() const;
    int windowSeconds() const;
    void setWindowSeconds(int seconds);
    void setLinesPerFile(int lines);
    // Where the last live session streamed its records.
    QStringList liveFiles() const;
    uint64_t liveRecords() const;
    QString statusText() const;
    preview::LiveCharts* charts() const;

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

    ActionHost* host;
    QString sensor;
    QLabel* sensorLabel = nullptr;
    MeasureSettingsForm* settings = nullptr;
    SensorCommandsBox* commands = nullptr;
    LiveView* liveView = nullptr;
    QLabel* statusLabel = nullptr;
    LiveDriver* liveDriver = nullptr;
    std::unique_ptr<MeasureActions> actions;
    bool busy = false;
};
