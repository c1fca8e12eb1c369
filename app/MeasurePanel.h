// The Measure panel: a window of its own beside the main window, for the
// sensor selected there. It holds the measurement configuration (every
// value is the sensor's own setting value), opens and saves it as JSON, and
// runs the measuring actions — set the clock, identify, calibrate the
// compass, start a recording now or at a set time, stop — each as one
// session under the main window's guard. "Live" streams the measurement
// into a CSV file under the save folder while scrolling charts show the
// last seconds; "Save As…" writes what a live session received as a binary
// dump or as CSV files of N lines.
#pragma once

#include <QWidget>
#include <array>
#include <memory>

#include "sensor/MeasureConfig.h"
#include "sensor/SensorSession.h"

class QCheckBox;
class QComboBox;
class QDateTimeEdit;
class QLabel;
class QPushButton;
class QRadioButton;
class QSpinBox;
class ActionHost;
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

    bool isLive() const { return live; }
    int windowSeconds() const;
    void setWindowSeconds(int seconds);
    void setLinesPerFile(int lines);
    // Where the last live session streamed its records.
    QStringList liveFiles() const { return lastLiveFiles; }
    uint64_t liveRecords() const;
    QString statusText() const;
    preview::LiveCharts* charts() const { return liveCharts; }

  protected:
    // Closing the panel during a live session stops it.
    void closeEvent(QCloseEvent* event) override;

  private:
    struct KindRow {
        QCheckBox* enabled;
        QSpinBox* rate;
        QSpinBox* average;
        QCheckBox* record;
    };
    void build();
    void updateControls(bool busy);
    bool isVRAX650() const;
    // The configuration, or none after telling the user what is wrong.
    std::optional<measure::Config> checkedConfig();
    // Runs one session action on the selected sensor; the outcome's failure
    // is said. `work` gets the fresh session.
    void runAction(const std::function<session::Outcome(session::SensorSession&)>& work,
                   const std::function<void()>& onSuccess);
    void runLive();
    // The charts from the records of the session.
    void redrawLive(session::SensorSession& session);
    void showProgress(const session::LiveProgress& progress);
    void setStatus(const QString& text, bool problem = false);
    void openConfigPanel();
    void saveConfigPanel();
    void saveAsPanel();

    ActionHost* host;
    QString sensor;
    std::array<KindRow, measure::kKindCount> kindRows{};
    QSpinBox* accRange = nullptr;
    QSpinBox* gyroRange = nullptr;
    QCheckBox* extPortsSet = nullptr;
    std::array<QSpinBox*, 4> extPorts{};
    std::array<QSpinBox*, 4> ad16Gains{};
    QSpinBox* buzzerVolume = nullptr;
    QSpinBox* overwriteMode = nullptr;
    QLabel* sensorLabel = nullptr;
    QPushButton* openButton = nullptr;
    QPushButton* saveButton = nullptr;
    QPushButton* clockButton = nullptr;
    QPushButton* identifyButton = nullptr;
    QPushButton* calibrateButton = nullptr;
    QRadioButton* startNow = nullptr;
    QRadioButton* startAt = nullptr;
    QDateTimeEdit* startTime = nullptr;
    QCheckBox* setClockFirst = nullptr;
    QPushButton* startButton = nullptr;
    QPushButton* liveButton = nullptr;
    QPushButton* stopButton = nullptr;
    QComboBox* windowChoice = nullptr;
    QSpinBox* linesPerFile = nullptr;
    QPushButton* saveAsButton = nullptr;
    QLabel* ratesLabel = nullptr;
    QLabel* statusLabel = nullptr;
    preview::LiveCharts* liveCharts = nullptr;

    bool busy = false;
    bool live = false;         // streaming
    bool liveRunning = false;  // connecting or streaming
    bool stopRequested = false;
    uint64_t drawCursor = 0;  // the window's first record at the last redraw
    // The session of the last live session, disconnected, with its records.
    std::unique_ptr<session::SensorSession> keptSession;
    QStringList lastLiveFiles;
};
