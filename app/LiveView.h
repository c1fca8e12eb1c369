// The live part of the Measure panel: Live, Stop, Mark (with the marker's
// label field), the chart window, lines per file and Save As…, the line of
// rates and counts (or the legend of several sensors), and the scrolling
// charts of the last seconds: one sensor's, or several sensors' on one
// host-time axis.
#pragma once

#include <QWidget>

#include "sensor/SensorSession.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QStackedWidget;
namespace preview {
class LiveCharts;
class SharedLiveCharts;
struct LiveSource;
}  // namespace preview

class LiveView : public QWidget {
    Q_OBJECT
  public:
    explicit LiveView(QWidget* parent);

    QPushButton* liveButton() const { return live; }
    QPushButton* stopButton() const { return stop; }
    QPushButton* saveAsButton() const { return saveAs; }
    QPushButton* markButton() const { return mark; }
    // The label of the marker that waits (shown from Mark until Enter).
    QLineEdit* markerEdit() const { return markerLabel; }
    int windowSeconds() const;
    void setWindowSeconds(int seconds);
    // The longest window offered: what a session holds to draw.
    static int longestWindowSeconds();
    int linesPerFile() const;
    void setLinesPerFile(int lines);
    preview::LiveCharts* charts() const { return liveCharts; }
    preview::SharedLiveCharts* sharedCharts() const { return shared; }

    // A new session: no charts, no rates.
    void restart();
    void showProgress(const session::LiveProgress& progress);
    // Draws the session's records of the chosen window.
    void draw(session::SensorSession& session);
    // A new session of several sensors: the shared charts, no legend yet.
    void restartShared(size_t sensors);
    // Draws the sensors' records of the chosen window ending at host UTC `endUtcMs`.
    void drawShared(const std::vector<preview::LiveSource>& sources, int64_t endUtcMs);
    // The legend of several sensors (rich text).
    void setLegend(const QString& html);

  Q_SIGNALS:
    // The chart window changed (a session no longer streaming is to be drawn again).
    void windowChanged();

  private:
    QPushButton* live = nullptr;
    QPushButton* stop = nullptr;
    QComboBox* windowChoice = nullptr;
    QComboBox* componentChoice = nullptr;  // several sensors: which component
    QLabel* componentLabel = nullptr;
    QSpinBox* lines = nullptr;
    QPushButton* saveAs = nullptr;
    QPushButton* mark = nullptr;
    QLineEdit* markerLabel = nullptr;
    QStackedWidget* chartPages = nullptr;
    preview::SharedLiveCharts* shared = nullptr;
    QLabel* ratesLabel = nullptr;
    preview::LiveCharts* liveCharts = nullptr;
    uint64_t drawCursor = 0;  // the window's first record at the last draw
};
