#include "preview/PlotView.h"

#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>
#include <QWheelEvent>
#include <QtCharts/QCategoryAxis>
#include <QtCharts/QLegend>
#include <QtCharts/QLegendMarker>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>
#include <algorithm>
#include <cmath>

#include "preview/Decimate.h"
#include "preview/PreviewTexts.h"

namespace preview {
namespace {

const QColor kTrackColors[] = {QColor(0x1f, 0x77, 0xb4), QColor(0xd6, 0x27, 0x28),
                               QColor(0x2c, 0xa0, 0x2c), QColor(0xff, 0x7f, 0x0e),
                               QColor(0x94, 0x67, 0xbd), QColor(0x8c, 0x56, 0x4b)};

// The narrowest time span a zoom reaches: a millisecond.
constexpr double kMinSpan = 0.001;
// Chart margins before alignment adds to them.
constexpr int kMargin = 4;
// Space between neighbouring tick labels, in pixels.
constexpr int kLabelGap = 24;

QCategoryAxis* newTickAxis(QChart* chart) {
    auto* axis = new QCategoryAxis(chart);
    axis->setLabelsPosition(QCategoryAxis::AxisLabelsPositionOnValue);
    return axis;
}

bool allIntegers(const std::vector<Track>& tracks) {
    for (const Track& track : tracks)
        for (float v : track.values)
            if (v != std::floor(v)) return false;
    return true;
}

}  // namespace

// The view is made with its chart: a chart set later would leave the view's
// default one to the caller to delete.
PlotView::PlotView(const Chart& chart, double fullT0, double fullT1, QWidget* parent)
    : QChartView(new QChart, parent),
      chartData(chart),
      fullFrom(fullT0),
      fullTo(fullT1 > fullT0 ? fullT1 : fullT0 + 1.0) {
    setObjectName(QStringLiteral("plotView"));
    QChart* c = QChartView::chart();
    c->setTitle(QString::fromStdString(chart.title));
    c->setAnimationOptions(QChart::NoAnimation);
    c->legend()->setAlignment(Qt::AlignRight);
    c->setMargins(QMargins(kMargin, kMargin, kMargin, kMargin));
    setRenderHint(QPainter::Antialiasing, false);
    // The tracks are drawn over the whole plot area: a whole repaint keeps
    // the clip a single rectangle, where a region of changed items would
    // make every line of the tracks cut against many.
    setViewportUpdateMode(QGraphicsView::FullViewportUpdate);
    setRubberBand(QChartView::HorizontalRubberBand);

    xAxis = newTickAxis(c);
    xAxis->setTitleText(QString::fromUtf8(text::kTimeAxis));
    yAxis = newTickAxis(c);
    valueKind = allIntegers(chart.tracks) ? AxisKind::integerValues : AxisKind::values;
    c->addAxis(xAxis, Qt::AlignBottom);
    c->addAxis(yAxis, Qt::AlignLeft);
    xAxis->setRange(fullFrom, fullTo);

    segments.resize(chart.tracks.size());
    drawn.resize(chart.tracks.size());
    for (const Track& track : chart.tracks) extremes.push_back(blockExtremes(track.values));
    visibleTracks.assign(chart.tracks.size(), true);
    segmentsInUse.assign(chart.tracks.size(), 0);
    for (size_t k = 0; k < chart.tracks.size(); ++k) {
        QLineSeries* s = newSegmentSeries(k);
        s->setName(QString::fromStdString(chart.tracks[k].name));
        const auto markers = c->legend()->markers(s);
        if (!markers.isEmpty())
            connect(markers.first(), &QLegendMarker::clicked, this,
                    [this, k] { setTrackVisible(int(k), !visibleTracks[k]); });
    }
    fixLegend();

    connect(c, &QChart::plotAreaChanged, this, &PlotView::plotAreaChanged);
    // Zooms of the chart itself (rubber band, right click) come here too.
    connect(xAxis, &QValueAxis::rangeChanged, this, [this](qreal from, qreal to) {
        scheduleRedraw();
        Q_EMIT timeRangeChanged(from, to);
    });
}

QLineSeries* PlotView::newSegmentSeries(size_t track) {
    auto* s = new QLineSeries(this);
    QPen pen(kTrackColors[track % std::size(kTrackColors)]);
    pen.setWidthF(1.0);
    s->setPen(pen);
    s->setUseOpenGL(false);
    chart()->addSeries(s);
    s->attachAxis(xAxis);
    s->attachAxis(yAxis);
    segments[track].push_back(s);
    return s;
}

void PlotView::fixLegend() {
    for (size_t k = 0; k < segments.size(); ++k) {
        for (size_t i = 0; i < segments[k].size(); ++i) {
            for (QLegendMarker* m : chart()->legend()->markers(segments[k][i])) {
                m->setVisible(i == 0);
                if (i != 0) continue;
                // A hidden track keeps its entry, dimmed, so it can be shown again.
                QColor label = palette().color(QPalette::Text);
                QColor swatch = kTrackColors[k % std::size(kTrackColors)];
                if (!visibleTracks[k]) {
                    label.setAlphaF(0.4f);
                    swatch.setAlphaF(0.25f);
                }
                m->setLabelBrush(label);
                m->setBrush(swatch);
                m->setPen(QPen(swatch));
            }
        }
    }
}

double PlotView::timeFrom() const {
    return xAxis->min();
}

double PlotView::timeTo() const {
    return xAxis->max();
}

void PlotView::setTimeRange(double t0, double t1) {
    if (!(t1 - t0 >= kMinSpan)) {
        const double mid = (t0 + t1) / 2;
        t0 = mid - kMinSpan / 2;
        t1 = mid + kMinSpan / 2;
    }
    if (t0 == timeFrom() && t1 == timeTo()) return;
    xAxis->setRange(t0, t1);
}

void PlotView::resetZoom() {
    setTimeRange(fullFrom, fullTo);
}

int PlotView::plotWidth() const {
    const int w = int(chart()->plotArea().width());
    return w > 10 ? w : std::max(width() - 120, 100);
}

int PlotView::plotHeight() const {
    const int h = int(chart()->plotArea().height());
    return h > 10 ? h : std::max(height() - 90, 60);
}

void PlotView::updateTicks(QCategoryAxis* axis, AxisKind kind, int length, bool horizontal) {
    const QFontMetrics metrics(axis->labelsFont());
    std::vector<AxisTick> ticks;
    QStringList labels;
    // Fewer ticks while their labels would crowd; the chart cuts labels
    // wider than the axis length over the tick count (plus one).
    int maxTicks = std::max(2, length / (horizontal ? 50 : 25));
    for (;;) {
        ticks = axisTicks(axis->min(), axis->max(), maxTicks, kind);
        labels.clear();
        int room = horizontal ? 0 : metrics.height() + kLabelGap / 2;
        for (const AxisTick& t : ticks) {
            labels.append(QString::fromStdString(t.label));
            if (horizontal)
                room = std::max(room, metrics.horizontalAdvance(labels.back()) + kLabelGap);
        }
        const int fitting = length / std::max(room, 1) - 1;
        if (maxTicks == 2 || int(ticks.size()) <= fitting) break;
        maxTicks = std::clamp(fitting, 2, maxTicks - 1);
    }
    if (labels == axis->categoriesLabels()) return;
    for (const QString& old : axis->categoriesLabels()) axis->remove(old);
    if (ticks.empty()) return;
    axis->setStartValue(ticks.front().value);
    for (size_t i = 0; i < ticks.size(); ++i) axis->append(labels[qsizetype(i)], ticks[i].value);
}

void PlotView::scheduleRedraw() {
    if (redrawPending) return;
    redrawPending = true;
    QTimer::singleShot(0, this, [this] {
        if (redrawPending) redraw();
    });
}

void PlotView::redraw() {
    redrawPending = false;
    const double t0 = timeFrom(), t1 = timeTo();
    const int columns = plotWidth();
    double lo = INFINITY, hi = -INFINITY;
    for (size_t k = 0; k < segments.size(); ++k) {
        drawn[k] = decimate(chartData.t, chartData.tracks[k].values, chartData.gaps, t0, t1,
                            columns, extremes[k]);
        const Decimated& d = drawn[k];
        segmentsInUse[k] = d.points.empty() ? 0 : int(d.segmentStarts.size());
        segments[k].front()->setVisible(visibleTracks[k]);
        if (visibleTracks[k] && d.minValue <= d.maxValue && !d.points.empty()) {
            lo = std::min(lo, d.minValue);
            hi = std::max(hi, d.maxValue);
        }
    }
    if (lo <= hi) {
        const double pad = hi > lo ? (hi - lo) * 0.05 : std::max(1.0, std::abs(hi) * 0.05);
        yAxis->setRange(lo - pad, hi + pad);
    }
    updateTicks(xAxis, AxisKind::seconds, plotWidth(), true);
    updateTicks(yAxis, valueKind, plotHeight(), false);
    fixLegend();
    viewport()->update();
    Q_EMIT redrawn();
}

void PlotView::drawForeground(QPainter* painter, const QRectF& rect) {
    QChartView::drawForeground(painter, rect);
    // The tracks are drawn here rather than by line series: a series
    // recomputes its outline on every range or layout change, which costs
    // far more than drawing the few thousand points of a view.
    const QRectF area = chart()->mapRectToScene(chart()->plotArea());
    const double x0 = xAxis->min(), x1 = xAxis->max(), y0 = yAxis->min(), y1 = yAxis->max();
    if (area.isEmpty() || !(x1 > x0) || !(y1 > y0)) return;
    const double sx = area.width() / (x1 - x0);
    const double sy = area.height() / (y1 - y0);
    auto place = [&](const PlotPoint& p) {
        return QPointF(area.left() + (p.t - x0) * sx, area.bottom() - (p.v - y0) * sy);
    };
    // An end point beyond the plot area moved along its line to just outside
    // it, so that no coordinate grows without bound.
    const double left = area.left() - 2, right = area.right() + 2;
    auto pull = [](QPointF out, QPointF in, double x) {
        if (out.x() == in.x()) return out;
        return QPointF(x, in.y() + (out.y() - in.y()) * (x - in.x()) / (out.x() - in.x()));
    };
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, false);
    painter->setClipRect(area);
    for (size_t k = 0; k < drawn.size(); ++k) {
        if (!visibleTracks[k]) continue;
        const Decimated& d = drawn[k];
        QPen pen(kTrackColors[k % std::size(kTrackColors)]);
        pen.setWidthF(1.0);
        pen.setCosmetic(true);
        painter->setPen(pen);
        for (size_t s = 0; s < d.segmentStarts.size(); ++s) {
            const size_t from = d.segmentStarts[s];
            const size_t to =
                s + 1 < d.segmentStarts.size() ? d.segmentStarts[s + 1] : d.points.size();
            if (to <= from) continue;
            line.clear();
            for (size_t i = from; i < to; ++i) line.push_back(place(d.points[i]));
            if (line.size() >= 2) {
                if (line.front().x() < left) line.front() = pull(line.front(), line[1], left);
                if (line.back().x() > right)
                    line.back() = pull(line.back(), line[line.size() - 2], right);
            }
            if (line.size() == 1)
                painter->drawPoint(line.front());
            else
                painter->drawPolyline(line.data(), int(line.size()));
        }
    }
    painter->restore();
}

double PlotView::naturalLeft() const {
    return chart()->plotArea().left() - alignLeft;
}

double PlotView::naturalRight() const {
    return chart()->plotArea().right() + alignRight;
}

void PlotView::setAlignment(double extraLeft, double extraRight) {
    if (extraLeft == alignLeft && extraRight == alignRight) return;
    alignLeft = extraLeft;
    alignRight = extraRight;
    chart()->setMargins(
        QMargins(kMargin + int(extraLeft), kMargin, kMargin + int(extraRight), kMargin));
}

int PlotView::pointCount() const {
    int n = 0;
    for (const Decimated& d : drawn) n += int(d.points.size());
    return n;
}

int PlotView::segmentCount(int track) const {
    return segmentsInUse.at(size_t(track));
}

void PlotView::setTrackVisible(int track, bool visible) {
    if (track < 0 || size_t(track) >= visibleTracks.size()) return;
    visibleTracks[size_t(track)] = visible;
    redraw();
}

void PlotView::resizeEvent(QResizeEvent* event) {
    QChartView::resizeEvent(event);
    scheduleRedraw();
}

void PlotView::showEvent(QShowEvent* event) {
    QChartView::showEvent(event);
    scheduleRedraw();
}

void PlotView::wheelEvent(QWheelEvent* event) {
    const double steps = event->angleDelta().y() / 120.0;
    if (steps == 0) return;
    const double factor = std::pow(0.8, steps);
    const double t0 = timeFrom(), t1 = timeTo();
    const double at = std::clamp(chart()->mapToValue(event->position(), nullptr).x(), t0, t1);
    double n0 = at - (at - t0) * factor;
    double n1 = at + (t1 - at) * factor;
    if (n1 - n0 > fullTo - fullFrom) {  // no further out than everything
        n0 = fullFrom;
        n1 = fullTo;
    }
    setTimeRange(n0, n1);
    event->accept();
}

void PlotView::mousePressEvent(QMouseEvent* event) {
    const bool pan =
        event->button() == Qt::MiddleButton ||
        (event->button() == Qt::LeftButton && (event->modifiers() & Qt::ControlModifier));
    if (pan) {
        panning = true;
        panFrom = event->pos();
        setCursor(Qt::ClosedHandCursor);
        event->accept();
        return;
    }
    QChartView::mousePressEvent(event);
}

void PlotView::mouseMoveEvent(QMouseEvent* event) {
    if (!panning) {
        QChartView::mouseMoveEvent(event);
        return;
    }
    const double dx = event->pos().x() - panFrom.x();
    panFrom = event->pos();
    const double shift = -dx * (timeTo() - timeFrom()) / std::max(plotWidth(), 1);
    setTimeRange(timeFrom() + shift, timeTo() + shift);
    event->accept();
}

void PlotView::mouseReleaseEvent(QMouseEvent* event) {
    if (panning) {
        panning = false;
        unsetCursor();
        event->accept();
        return;
    }
    QChartView::mouseReleaseEvent(event);
}

void PlotView::mouseDoubleClickEvent(QMouseEvent* event) {
    resetZoom();
    event->accept();
}

}  // namespace preview
