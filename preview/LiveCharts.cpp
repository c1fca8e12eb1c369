#include "preview/LiveCharts.h"

#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <span>

#include "preview/AxisTicks.h"
#include "preview/ChartMargins.h"
#include "preview/PlotData.h"
#include "preview/PreviewTexts.h"
#include "store/VRAXSensorData.h"

namespace preview {
namespace {

const QColor kLiveColors[] = {QColor(0x1f, 0x77, 0xb4), QColor(0xd6, 0x27, 0x28),
                              QColor(0x2c, 0xa0, 0x2c), QColor(0x94, 0x67, 0xbd)};

constexpr int kMinChartHeight = 70;

}  // namespace

LiveCharts::LiveCharts(QWidget* parent) : QWidget(parent), charts(chartLayouts().size()) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setObjectName(QStringLiteral("liveCharts"));
    for (size_t k = 0; k < kinds.size(); ++k) kinds[k].values.resize(size_t(valueCount(int(k))));
}

void LiveCharts::clear() {
    for (KindSamples& k : kinds) {
        k.t.clear();
        for (auto& v : k.values) v.clear();
        k.gaps.clear();
        k.seen = false;
    }
    for (ChartState& c : charts) c = ChartState{};
    recordsInRange = 0;
    marks.clear();
    updateGeometry();
    update();
}

void LiveCharts::showRange(const VRAXSensorData& store, uint64_t from, uint64_t last,
                           uint64_t endMs, uint64_t windowMs) {
    windowSec = double(windowMs) / 1000.0;
    endStamp = endMs;
    for (KindSamples& k : kinds) {
        k.t.clear();
        for (auto& v : k.values) v.clear();
    }
    const bool wasSeen[7] = {kinds[0].seen, kinds[1].seen, kinds[2].seen, kinds[3].seen,
                             kinds[4].seen, kinds[5].seen, kinds[6].seen};
    recordsInRange = 0;
    const uint64_t end = std::min(last + 1, store.count());
    for (uint64_t i = from; i < end; ++i) {
        const SensorDataRecord* r = store.getDataByIndex(i);
        if (!r || r->dataType < 0 || r->dataType > 6) continue;
        KindSamples& k = kinds[size_t(r->dataType)];
        // Unsigned difference: exact for any pair of stamps; then signed.
        k.t.push_back(double(int64_t(r->msTime - endMs)) / 1000.0);
        for (size_t v = 0; v < k.values.size(); ++v) k.values[v].push_back(float(r->values[v]));
        k.seen = true;
        ++recordsInRange;
    }
    for (KindSamples& k : kinds) k.gaps = findGaps(k.t, typicalInterval(k.t));
    bool newKind = false;
    for (size_t k = 0; k < kinds.size(); ++k) newKind = newKind || (kinds[k].seen && !wasSeen[k]);
    if (newKind) updateGeometry();
    decimateAll();
    update();
}

void LiveCharts::showEmpty(uint64_t windowMs) {
    windowSec = double(windowMs) / 1000.0;
    for (KindSamples& k : kinds) {
        k.t.clear();
        for (auto& v : k.values) v.clear();
        k.gaps.clear();
    }
    recordsInRange = 0;
    decimateAll();
    update();
}

void LiveCharts::addMarker(uint64_t sensorMs, const QString& label) {
    marks.emplace_back(sensorMs, label);
    update();
}

std::vector<size_t> LiveCharts::visibleRows() const {
    std::vector<size_t> out;
    for (size_t i = 0; i < chartLayouts().size(); ++i)
        if (kinds[size_t(chartLayouts()[i].dataType)].seen) out.push_back(i);
    return out;
}

int LiveCharts::chartCount() const {
    return int(visibleRows().size());
}

std::vector<std::string> LiveCharts::chartTitles() const {
    std::vector<std::string> out;
    for (size_t i : visibleRows()) out.emplace_back(chartLayouts()[i].title);
    return out;
}

size_t LiveCharts::pointCount() const {
    size_t n = 0;
    for (size_t i : visibleRows())
        for (const Decimated& d : charts[i].tracks) n += d.points.size();
    return n;
}

int LiveCharts::plotColumns() const {
    return std::max(1, width() - margins::kLeft - margins::kRight);
}

void LiveCharts::decimateAll() {
    const int columns = plotColumns();
    for (size_t i = 0; i < chartLayouts().size(); ++i) {
        const ChartLayout& row = chartLayouts()[i];
        const KindSamples& k = kinds[size_t(row.dataType)];
        ChartState& c = charts[i];
        c.tracks.resize(row.names.size());
        if (!k.seen) continue;
        double lo = INFINITY, hi = -INFINITY;
        for (size_t n = 0; n < row.names.size(); ++n) {
            c.tracks[n] =
                decimate(k.t, k.values[size_t(row.first) + n], k.gaps, -windowSec, 0, columns);
            if (!c.tracks[n].points.empty()) {
                lo = std::min(lo, c.tracks[n].minValue);
                hi = std::max(hi, c.tracks[n].maxValue);
            }
        }
        if (!(lo <= hi)) {
            lo = c.lo, hi = c.hi;  // nothing in the window: keep the last scale
        } else if (hi - lo < 1e-9) {
            lo -= 1, hi += 1;
        } else {
            const double pad = (hi - lo) * 0.05;
            lo -= pad, hi += pad;
        }
        c.lo = lo, c.hi = hi;
    }
}

QSize LiveCharts::sizeHint() const {
    return {720, std::max(1, chartCount()) * kChartHeight};
}

QSize LiveCharts::minimumSizeHint() const {
    return {320, std::max(1, chartCount()) * kMinChartHeight};
}

void LiveCharts::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    decimateAll();
}

void LiveCharts::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().base());
    const std::vector<size_t> shown = visibleRows();
    const QFontMetrics fm = p.fontMetrics();
    p.setPen(palette().color(QPalette::Text));
    if (shown.empty()) return;

    const int chartHeight = std::max(kMinChartHeight, height() / int(shown.size()));
    const double t0 = -windowSec, t1 = 0;
    const std::vector<AxisTick> timeTicks = axisTicks(t0, t1, 7, AxisKind::seconds);
    const QColor grid = palette().color(QPalette::Mid);
    const QColor textColor = palette().color(QPalette::Text);

    QPolygonF line;
    for (size_t n = 0; n < shown.size(); ++n) {
        const ChartLayout& row = chartLayouts()[shown[n]];
        const ChartState& c = charts[shown[n]];
        const int top = int(n) * chartHeight;
        const QRect plot(margins::kLeft, top + margins::kTitle, plotColumns(),
                         chartHeight - margins::kTitle - margins::kTimeLabel - 2);
        if (plot.height() < 10) continue;

        // Title and the tracks' names in their colours.
        p.setPen(textColor);
        int x = 4;
        const int baseline = top + fm.ascent() + 2;
        p.drawText(x, baseline, QString::fromUtf8(row.title));
        x += fm.horizontalAdvance(QString::fromUtf8(row.title)) + 16;
        for (size_t k = 0; k < row.names.size(); ++k) {
            p.setPen(kLiveColors[k % 4]);
            const QString name = QString::fromUtf8(row.names[k]);
            p.drawText(x, baseline, name);
            x += fm.horizontalAdvance(name) + 10;
        }

        // Frame, grid and labels.
        p.setPen(grid);
        p.drawRect(plot.adjusted(0, 0, -1, -1));
        const double tScale = plot.width() / (t1 - t0);
        const double vScale = plot.height() / (c.hi - c.lo);
        auto px = [&](double t) { return plot.left() + (t - t0) * tScale; };
        auto py = [&](double v) { return plot.bottom() - (v - c.lo) * vScale; };
        for (const AxisTick& tick : timeTicks) {
            const int tx = int(std::lround(px(tick.value)));
            p.setPen(grid);
            p.drawLine(tx, plot.top(), tx, plot.bottom());
            p.setPen(textColor);
            const QString label = QString::fromStdString(tick.label);
            p.drawText(tx - fm.horizontalAdvance(label) / 2, plot.bottom() + fm.ascent() + 2,
                       label);
        }
        const int maxValueTicks = std::max(2, plot.height() / (fm.height() + 6));
        for (const AxisTick& tick : axisTicks(c.lo, c.hi, maxValueTicks, AxisKind::values)) {
            const int ty = int(std::lround(py(tick.value)));
            p.setPen(grid);
            p.drawLine(plot.left(), ty, plot.right(), ty);
            p.setPen(textColor);
            const QString label = QString::fromStdString(tick.label);
            p.drawText(plot.left() - 4 - fm.horizontalAdvance(label), ty + fm.ascent() / 2, label);
        }

        // The tracks, clipped to the plot.
        p.save();
        p.setClipRect(plot);
        for (size_t k = 0; k < c.tracks.size(); ++k) {
            const Decimated& d = c.tracks[k];
            p.setPen(QPen(kLiveColors[k % 4], 1));
            for (size_t s = 0; s < d.segmentStarts.size(); ++s) {
                const size_t b = d.segmentStarts[s];
                const size_t e =
                    s + 1 < d.segmentStarts.size() ? d.segmentStarts[s + 1] : d.points.size();
                line.clear();
                for (size_t i = b; i < e; ++i)
                    line << QPointF(px(d.points[i].t), py(d.points[i].v));
                if (line.size() == 1)
                    p.drawPoint(line.front());
                else if (line.size() > 1)
                    p.drawPolyline(line);
            }
        }
        for (const auto& [stamp, label] : marks) {
            const double t = double(int64_t(stamp - endStamp)) / 1000.0;
            if (t < t0 || t > t1) continue;
            const int mx = int(std::lround(px(t)));
            p.setPen(QPen(textColor, 1, Qt::DashLine));
            p.drawLine(mx, plot.top(), mx, plot.bottom());
            p.setPen(textColor);
            if (!label.isEmpty()) p.drawText(mx + 3, plot.top() + fm.ascent() + 1, label);
        }
        p.restore();
    }
}

}  // namespace preview
