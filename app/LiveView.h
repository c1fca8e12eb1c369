// The live part of the Measure panel: Live, Stop, the chart window, lines
// per file and Save As…, the line of rates and counts, and the scrolling
// charts of the last seconds of a session's records.
#pragma once

#include <QWidget>

#include "sensor/SensorSession.h"

class QComboBox;
class QLabel;
class QPushButton;
class QSpinBox;
namespace preview {
class LiveCharts;
}

class LiveView : public QWidget {
    Q_OBJECT
  public:
    explicit LiveView(QWidget* parent);

    QPushButton* liveButton() const { return live; }
    QPushButton* stopButton() const { return stop; }
    QPushButton* saveAsButton() const { return saveAs; }
    int windowSeconds() const;
    void setWindowSeconds(int seconds);
    // The longest window offered: what a session holds to draw.
    static int longestWindowSeconds();
    int linesPerFile() const;
    void setLinesPerFile(int lines);
    preview::LiveCharts* charts() const { return liveCharts; }

    // A new session: no charts, no rates.
    void restart();
    void showProgress(const session::LiveProgress& progress);
    // Draws the session's records of the chosen window.
    void draw(session::SensorSession& session);

  Q_SIGNALS:
    // The chart window changed (a session no longer streaming is to be drawn again).
    void windowChanged();

  private:
    QPushButton* live = nullptr;
    QPushButton* stop = nullptr;
    QComboBox* windowChoice = nullptr;
    QSpinBox* lines = nullptr;
    QPushButton* saveAs = nullptr;
    QLabel* ratesLabel = nullptr;
    preview::LiveCharts* liveCharts = nullptr;
    uint64_t drawCursor = 0;  // the window's first record at the last draw
};
