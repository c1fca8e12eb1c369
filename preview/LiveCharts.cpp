#include "preview/LiveCharts.h"

#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <span>

#include "preview/AxisTicks.h"
#include "preview/ChartFrame.h"
#include "preview/PlotData.h"
#include "preview/PreviewTexts.h"
#include "store/VRAXSensorData.h"

namespace preview {
namespace {

const QColor kLiveColors[] = {QColor(0x1f, 0x77, 0xb4), QColor(0xd6, 0x27, 0x28),
                              QColor(0x2c, 0xa0, 0x2c), QColor(0x94, 0x67, 0xbd)};

constexpr int kLiveChartHeight = 120;  // each chart while there is room
constexpr int kMinLiveChartHeight = 70;

}  // namespace

LiveCharts::LiveCharts(QWidget* parent)
    : ChartStack(kLiveChartHeight, kMinLiveChartHeight, parent) {
    setObjectName(QStringLiteral("liveCharts"));
}

void LiveCharts::clear() {
    for (KindSamples& k : kinds) k.clear();
    forgetCharts();
    marks.clear();
    updateGeometry();
    update();
}

void LiveCharts::showRange(const VRAXSensorData& store, uint64_t from, uint64_t last,
                           uint64_t endMs, uint64_t windowMs) {
    windowSec = double(windowMs) / 1000.0;
    endStamp = endMs;
    for (KindSamples& k : kinds) k.clear();
    const std::array<bool, 7> wasSeen = seen;
    recordsInRange = 0;
    const uint64_t end = std::min(last + 1, store.count());
    for (uint64_t i = from; i < end; ++i) {
        const SensorDataRecord* r = store.getDataByIndex(i);
        if (!r || r->dataType < 0 || r->dataType > 6) continue;
        KindSamples& k = kinds[size_t(r->dataType)];
        // Unsigned difference: exact for any pair of stamps; then signed.
        k.t.push_back(double(int64_t(r->msTime - endMs)) / 1000.0);
        for (size_t v = 0; v < k.values.size(); ++v) k.values[v].push_back(float(r->values[v]));
        seen[size_t(r->dataType)] = true;
        ++recordsInRange;
    }
    for (KindSamples& k : kinds) k.gaps = findGaps(k.t, typicalInterval(k.t));
    bool newKind = false;
    for (size_t k = 0; k < kinds.size(); ++k) newKind = newKind || (seen[k] && !wasSeen[k]);
    if (newKind) updateGeometry();
    decimateAll();
    update();
}

void LiveCharts::showEmpty(uint64_t windowMs) {
    windowSec = double(windowMs) / 1000.0;
    for (KindSamples& k : kinds) k.clear();
    recordsInRange = 0;
    decimateAll();
    update();
}

void LiveCharts::addMarker(uint64_t sensorMs, const QString& label) {
    marks.emplace_back(sensorMs, label);
    update();
}

void LiveCharts::decimateAll() {
    const int columns = plotColumns();
    for (size_t i = 0; i < chartLayouts().size(); ++i) {
        const ChartLayout& row = chartLayouts()[i];
        const KindSamples& k = kinds[size_t(row.dataType)];
        ChartState& c = charts[i];
        c.tracks.resize(row.names.size());
        if (!seen[size_t(row.dataType)]) continue;
        double lo = INFINITY, hi = -INFINITY;
        for (size_t n = 0; n < row.names.size(); ++n) {
            c.tracks[n] =
                decimate(k.t, k.values[size_t(row.first) + n], k.gaps, -windowSec, 0, columns);
            if (!c.tracks[n].points.empty()) {
                lo = std::min(lo, c.tracks[n].minValue);
                hi = std::max(hi, c.tracks[n].maxValue);
            }
        }
        frame::fitScale(lo, hi, c.lo, c.hi);
        c.lo = lo, c.hi = hi;
    }
}

void LiveCharts::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().base());
    const std::vector<size_t> shown = visibleRows();
    const QFontMetrics fm = p.fontMetrics();
    p.setPen(palette().color(QPalette::Text));
    if (shown.empty()) return;

    const int chartHeight = shownChartHeight(shown.size());
    const double t0 = -windowSec, t1 = 0;
    const std::vector<AxisTick> timeTicks = axisTicks(t0, t1, 7, AxisKind::seconds);
    const QColor grid = palette().color(QPalette::Mid);
    const QColor textColor = palette().color(QPalette::Text);

    QPolygonF line;
    for (size_t n = 0; n < shown.size(); ++n) {
        const ChartLayout& row = chartLayouts()[shown[n]];
        const ChartState& c = charts[shown[n]];
        const int top = int(n) * chartHeight;
        const QRect plot = plotRect(top, chartHeight);
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
        const frame::PlotArea area(plot, t0, t1, c.lo, c.hi);
        frame::drawFrame(p, area, timeTicks, grid, textColor);

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
                    line << QPointF(area.x(d.points[i].t), area.y(d.points[i].v));
                if (line.size() == 1)
                    p.drawPoint(line.front());
                else if (line.size() > 1)
                    p.drawPolyline(line);
            }
        }
        for (const auto& [stamp, label] : marks)
            frame::drawMarker(p, area, double(int64_t(stamp - endStamp)) / 1000.0, label,
                              textColor);
        p.restore();
    }
}

}  // namespace preview
