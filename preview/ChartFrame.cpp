#include "preview/ChartFrame.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace preview::frame {

void fitScale(double& lo, double& hi, double lastLo, double lastHi) {
    if (!(lo <= hi)) {
        lo = lastLo, hi = lastHi;
    } else if (hi - lo < 1e-9) {
        lo -= 1, hi += 1;
    } else {
        const double pad = (hi - lo) * 0.05;
        lo -= pad, hi += pad;
    }
}

PlotArea::PlotArea(const QRect& plot_, double t0_, double t1_, double lo_, double hi_)
    : plot(plot_),
      t0(t0_),
      t1(t1_),
      lo(lo_),
      hi(hi_),
      tScale(plot_.width() / (t1_ - t0_)),
      vScale(plot_.height() / (hi_ - lo_)) {}

void drawFrame(QPainter& p, const PlotArea& a, const std::vector<AxisTick>& timeTicks,
               const QColor& grid, const QColor& text) {
    const QFontMetrics fm = p.fontMetrics();
    const QRect& plot = a.plot;
    p.setPen(grid);
    p.drawRect(plot.adjusted(0, 0, -1, -1));
    for (const AxisTick& tick : timeTicks) {
        const int tx = int(std::lround(a.x(tick.value)));
        p.setPen(grid);
        p.drawLine(tx, plot.top(), tx, plot.bottom());
        p.setPen(text);
        const QString label = QString::fromStdString(tick.label);
        p.drawText(tx - fm.horizontalAdvance(label) / 2, plot.bottom() + fm.ascent() + 2, label);
    }
    const int maxValueTicks = std::max(2, plot.height() / (fm.height() + 6));
    for (const AxisTick& tick : axisTicks(a.lo, a.hi, maxValueTicks, AxisKind::values)) {
        const int ty = int(std::lround(a.y(tick.value)));
        p.setPen(grid);
        p.drawLine(plot.left(), ty, plot.right(), ty);
        p.setPen(text);
        const QString label = QString::fromStdString(tick.label);
        p.drawText(plot.left() - 4 - fm.horizontalAdvance(label), ty + fm.ascent() / 2, label);
    }
}

void drawMarker(QPainter& p, const PlotArea& a, double t, const QString& label,
                const QColor& color) {
    if (t < a.t0 || t > a.t1) return;
    const int mx = int(std::lround(a.x(t)));
    p.setPen(QPen(color, 1, Qt::DashLine));
    p.drawLine(mx, a.plot.top(), mx, a.plot.bottom());
    p.setPen(color);
    if (!label.isEmpty()) p.drawText(mx + 3, a.plot.top() + p.fontMetrics().ascent() + 1, label);
}

}  // namespace preview::frame
