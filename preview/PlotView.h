// One chart of the preview: the tracks of one quantity over time, drawn
// from decimated points that are rebuilt whenever the time range or the
// width changes. Drag to zoom in on a time span, wheel to zoom around the
// pointer, middle button (or Ctrl and the left button) to pan, double-click
// to see everything; a click on a legend entry shows or hides its track.
#pragma once

#include <QtCharts/QChartView>
#include <vector>

#include "preview/AxisTicks.h"
#include "preview/Decimate.h"
#include "preview/PlotData.h"

class QCategoryAxis;
class QLineSeries;

namespace preview {

class PlotView : public QChartView {
    Q_OBJECT
  public:
    // `chart` must outlive the view. The full time range is shared by all
    // charts of a preview so that their time axes line up.
    PlotView(const Chart& chart, double fullT0, double fullT1, QWidget* parent = nullptr);

    const Chart& data() const { return chartData; }
    double timeFrom() const;
    double timeTo() const;
    void setTimeRange(double t0, double t1);
    void resetZoom();

    // Rebuilds the points of every track for the current range and width.
    void redraw();
    int pointCount() const;  // points of the tracks as drawn now
    int segmentCount(int track) const;
    bool trackVisible(int track) const { return visibleTracks.at(size_t(track)); }
    void setTrackVisible(int track, bool visible);
    // Both axes carry their ticks as categories labelled at their values.
    QCategoryAxis* timeAxis() const { return xAxis; }
    QCategoryAxis* valueAxis() const { return yAxis; }

    // Where the plot area would be without alignment, in view coordinates,
    // and the extra margins that line it up with the other charts.
    double naturalLeft() const;
    double naturalRight() const;
    void setAlignment(double extraLeft, double extraRight);

  Q_SIGNALS:
    void timeRangeChanged(double t0, double t1);
    void redrawn();
    // The plot area moved or changed size, as when tick labels change width.
    void plotAreaChanged();

  protected:
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void drawForeground(QPainter* painter, const QRectF& rect) override;

  private:
    void scheduleRedraw();
    QLineSeries* newSegmentSeries(size_t track);
    // One legend entry per track, whatever the number of segments.
    void fixLegend();
    int plotWidth() const;
    int plotHeight() const;
    // Ticks for the axis' range, as many as fit `length` pixels with their
    // labels apart.
    void updateTicks(QCategoryAxis* axis, AxisKind kind, int length, bool horizontal);

    const Chart& chartData;
    double fullFrom;
    double fullTo;
    QCategoryAxis* xAxis;
    QCategoryAxis* yAxis;
    AxisKind valueKind = AxisKind::integerValues;
    // Per track: its series, empty, which gives the legend entry and the
    // axes; the points drawn over it, one line per segment.
    std::vector<std::vector<QLineSeries*>> segments;
    std::vector<Decimated> drawn;
    std::vector<std::vector<BlockExtremes>> extremes;  // per track, for decimating
    std::vector<QPointF> line;                         // one segment's points on screen, reused
    std::vector<bool> visibleTracks;
    std::vector<int> segmentsInUse;
    bool redrawPending = false;
    double alignLeft = 0;
    double alignRight = 0;
    bool panning = false;
    QPoint panFrom;
};

}  // namespace preview
