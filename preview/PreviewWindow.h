// The preview of a download or a CSV file: one chart per quantity, time
// axes kept in step (zooming or panning one moves all), and a status line
// with the record count, the length and the number of missing stretches.
// The window opens no larger than the screen it is on (the charts scroll
// inside); Escape or Ctrl+W closes it.
#pragma once

#include <QImage>
#include <QList>
#include <QWidget>

#include "preview/PlotData.h"

class QLabel;

namespace preview {

class PlotView;

class PreviewWindow : public QWidget {
    Q_OBJECT
  public:
    // `scrolling`: charts in a scroll area (a window) or one under the
    // other at their full height (a picture).
    PreviewWindow(PlotData data, const QString& title, QWidget* parent = nullptr,
                  bool scrolling = true);

    // Loads the file and makes its window (not yet shown); null with a
    // message for the user when the file gives nothing to show.
    static PreviewWindow* openFile(const QString& path, QWidget* parent, QString& error);
    // `wanted` cut to the room on the screen a window of `parent` opens on
    // (the primary screen without a parent).
    static QSize fittingSize(QSize wanted, QWidget* parent);

    const PlotData& data() const { return plotData; }
    QList<PlotView*> views() const { return plotViews; }
    QString statusText() const;
    void resetZoom();
    // Rebuilds every chart's points now rather than from the event loop.
    void redrawAll();

  private:
    void syncTimeRange(PlotView* from, double t0, double t1);
    // Lines up the plot areas of all charts, whose value labels and legends
    // differ in width, so that equal times sit one above the other.
    void alignPlotAreas();
    void scheduleAlign();

    PlotData plotData;
    QList<PlotView*> plotViews;
    QLabel* statusLine = nullptr;
    bool syncing = false;
    bool alignPending = false;
};

// The charts of `data` drawn off screen into a picture `width` pixels wide,
// `chartHeight` pixels per chart, for reports.
QImage renderPreview(const PlotData& data, const QString& title, int width, int chartHeight);

// Height of one chart in the window.
inline constexpr int kChartHeight = 240;

}  // namespace preview
