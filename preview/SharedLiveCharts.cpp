#include "preview/SharedLiveCharts.h"

#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "preview/AxisTicks.h"
#include "preview/ChartFrame.h"
#include "preview/PlotData.h"

namespace preview {
namespace {

constexpr int kMinSharedChartHeight = 80;
constexpr int kSharedChartHeight = 140;
constexpr size_t kKinds = 7;

// A shade of a sensor's colour for each of its components.
QColor componentShade(const QColor& base, size_t component) {
    switch (component % 4) {
        case 0:
            return base;
        case 1:
            return base.lighter(150);
        case 2:
            return base.darker(160);
        default:
            return base.lighter(200);
    }
}

}  // namespace

SharedLiveCharts::SharedLiveCharts(QWidget* parent)
    : ChartStack(kSharedChartHeight, kMinSharedChartHeight, parent) {
    setObjectName(QStringLiteral("sharedLiveCharts"));
}

QColor SharedLiveCharts::sensorColor(size_t index) {
    // Ten colours told apart easily; more sensors take them again.
    static const QColor colors[] = {QColor(0x1f, 0x77, 0xb4), QColor(0xd6, 0x27, 0x28),
                                    QColor(0x2c, 0xa0, 0x2c), QColor(0x94, 0x67, 0xbd),
                                    QColor(0xff, 0x7f, 0x0e), QColor(0x8c, 0x56, 0x4b),
                                    QColor(0xe3, 0x77, 0xc2), QColor(0x7f, 0x7f, 0x7f),
                                    QColor(0xbc, 0xbd, 0x22), QColor(0x17, 0xbe, 0xcf)};
    return colors[index % (sizeof colors / sizeof colors[0])];
}

void SharedLiveCharts::start(size_t count) {
    sensors.assign(count, SensorState{});
    forgetCharts();
    marks.clear();
    updateGeometry();
    update();
}

void SharedLiveCharts::collect(SensorState& sensor, const LiveSource& source, int64_t endUtcMs,
                               uint64_t windowMs) {
    for (KindSamples& k : sensor.kinds) k.clear();
    sensor.shown = 0;
    if (!source.store || !source.map) return;
    const VRAXSensorData& store = *source.store;
    const TimePair map = *source.map;
    // The window in the sensor's time: host time minus the pair's offset.
    const int64_t startSensor =
        int64_t(map.sensorMs) + (endUtcMs - int64_t(windowMs) - map.hostUtcMs);
    const uint64_t n = store.count();
    uint64_t i = std::max(sensor.cursor, store.firstHeldIndex());
    if (i > n) i = store.firstHeldIndex();
    for (; i < n; ++i) {
        const SensorDataRecord* r = store.getDataByIndex(i);
        if (r && int64_t(r->msTime) >= startSensor) break;
    }
    sensor.cursor = i;
    for (; i < n; ++i) {
        const SensorDataRecord* r = store.getDataByIndex(i);
        if (!r || r->dataType < 0 || r->dataType >= int(kKinds)) continue;
        KindSamples& k = sensor.kinds[size_t(r->dataType)];
        const int64_t host = map.hostUtcMs + (int64_t(r->msTime) - int64_t(map.sensorMs));
        k.t.push_back(double(host - endUtcMs) / 1000.0);
        for (size_t v = 0; v < k.values.size(); ++v) k.values[v].push_back(float(r->values[v]));
        seen[size_t(r->dataType)] = true;
        ++sensor.shown;
    }
    for (KindSamples& k : sensor.kinds)
        if (!k.t.empty()) k.gaps = findGaps(k.t, typicalInterval(k.t));
}

void SharedLiveCharts::showWindow(const std::vector<LiveSource>& sources, int64_t endUtcMs,
                                  uint64_t windowMs) {
    if (sources.size() != sensors.size()) start(sources.size());
    windowSec = double(windowMs) / 1000.0;
    endUtc = endUtcMs;
    const std::array<bool, kKinds> wasSeen = seen;
    recordsInRange = 0;
    for (size_t s = 0; s < sensors.size(); ++s) {
        collect(sensors[s], sources[s], endUtcMs, windowMs);
        recordsInRange += sensors[s].shown;
    }
    if (seen != wasSeen) updateGeometry();
    decimateAll();
    update();
}

void SharedLiveCharts::setComponent(int index) {
    component = index < 0 ? -1 : index;
    decimateAll();
    update();
}

void SharedLiveCharts::addMarker(const ChartMarker& marker) {
    marks.push_back(marker);
    update();
}

uint64_t SharedLiveCharts::recordsShownOf(size_t index) const {
    return index < sensors.size() ? sensors[index].shown : 0;
}

size_t SharedLiveCharts::markersShown() const {
    const int64_t from = endUtc - int64_t(std::llround(windowSec * 1000));
    return size_t(std::count_if(marks.begin(), marks.end(), [&](const ChartMarker& m) {
        return m.utcMs >= from && m.utcMs <= endUtc;
    }));
}

void SharedLiveCharts::decimateAll() {
    const int columns = plotColumns();
    for (size_t i = 0; i < chartLayouts().size(); ++i) {
        const ChartLayout& row = chartLayouts()[i];
        ChartState& c = charts[i];
        const size_t components = row.names.size();
        c.tracks.assign(sensors.size() * components, Decimated{});
        if (!seen[size_t(row.dataType)]) continue;
        double lo = INFINITY, hi = -INFINITY;
        for (size_t s = 0; s < sensors.size(); ++s) {
            const KindSamples& k = sensors[s].kinds[size_t(row.dataType)];
            if (k.t.empty()) continue;
            for (size_t n = 0; n < components; ++n) {
                if (component >= 0 && n != std::min(size_t(component), components - 1)) continue;
                Decimated& d = c.tracks[s * components + n];
                d = decimate(k.t, k.values[size_t(row.first) + n], k.gaps, -windowSec, 0, columns);
                if (!d.points.empty()) {
                    lo = std::min(lo, d.minValue);
                    hi = std::max(hi, d.maxValue);
                }
            }
        }
        frame::fitScale(lo, hi, c.lo, c.hi);
        c.lo = lo, c.hi = hi;
    }
}

void SharedLiveCharts::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().base());
    const std::vector<size_t> shown = visibleRows();
    if (shown.empty()) return;
    const QFontMetrics fm = p.fontMetrics();
    const int chartHeight = shownChartHeight(shown.size());
    const double t0 = -windowSec, t1 = 0;
    const std::vector<AxisTick> timeTicks = axisTicks(t0, t1, 7, AxisKind::seconds);
    const QColor grid = palette().color(QPalette::Mid);
    const QColor textColor = palette().color(QPalette::Text);
    const QColor markColor(0x30, 0x30, 0x30);

    // Whole pixels: the raster engine's fastest path for thin lines.
    QPolygon line;
    for (size_t n = 0; n < shown.size(); ++n) {
        const ChartLayout& row = chartLayouts()[shown[n]];
        const ChartState& c = charts[shown[n]];
        const int top = int(n) * chartHeight;
        const QRect plot = plotRect(top, chartHeight);
        if (plot.height() < 10) continue;

        // Title and the components' order (shades of each sensor's colour).
        p.setPen(textColor);
        const int baseline = top + fm.ascent() + 2;
        QStringList names;
        for (size_t k = 0; k < row.names.size(); ++k)
            if (component < 0 || k == std::min(size_t(component), row.names.size() - 1))
                names << QString::fromUtf8(row.names[k]);
        p.drawText(4, baseline,
                   QString::fromUtf8(row.title) + QStringLiteral("   ") +
                       names.join(QStringLiteral(" · ")));

        const frame::PlotArea area(plot, t0, t1, c.lo, c.hi);
        frame::drawFrame(p, area, timeTicks, grid, textColor);

        p.save();
        p.setClipRect(plot);
        const size_t components = row.names.size();
        for (size_t k = 0; k < c.tracks.size(); ++k) {
            const Decimated& d = c.tracks[k];
            p.setPen(QPen(componentShade(sensorColor(k / components), k % components), 1));
            for (size_t s = 0; s < d.segmentStarts.size(); ++s) {
                const size_t b = d.segmentStarts[s];
                const size_t e =
                    s + 1 < d.segmentStarts.size() ? d.segmentStarts[s + 1] : d.points.size();
                line.clear();
                for (size_t i = b; i < e; ++i)
                    line << QPoint(int(std::lround(area.x(d.points[i].t))),
                                   int(std::lround(area.y(d.points[i].v))));
                if (line.size() == 1)
                    p.drawPoint(line.front());
                else if (line.size() > 1)
                    p.drawPolyline(line);
            }
        }
        for (const ChartMarker& m : marks)
            frame::drawMarker(p, area, double(m.utcMs - endUtc) / 1000.0, m.label, markColor);
        p.restore();
    }
}

}  // namespace preview
