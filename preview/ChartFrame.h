// What every live chart draws around its tracks: the room it leaves, the
// value scale it keeps, the frame with its grid and labels, and markers.
#pragma once

#include <QColor>
#include <QRect>
#include <QString>
#include <vector>

#include "preview/AxisTicks.h"

class QPainter;

namespace preview::frame {

inline constexpr int kLeft = 64;  // value labels
inline constexpr int kRight = 10;
inline constexpr int kTitle = 18;
inline constexpr int kTimeLabel = 16;

// The value scale of a chart from the extremes of what it shows: 5 % of room
// around them, ±1 around a flat track, and the last scale when nothing shows
// (lo > hi).
void fitScale(double& lo, double& hi, double lastLo, double lastHi);

// One chart's plot: seconds and values to pixels.
struct PlotArea {
    PlotArea(const QRect& plot, double t0, double t1, double lo, double hi);
    double x(double t) const { return plot.left() + (t - t0) * tScale; }
    double y(double v) const { return plot.bottom() - (v - lo) * vScale; }

    QRect plot;
    double t0, t1, lo, hi;
    double tScale, vScale;
};

// The plot's frame, the grid lines of `timeTicks` and of the value scale,
// and their labels.
void drawFrame(QPainter& p, const PlotArea& a, const std::vector<AxisTick>& timeTicks,
               const QColor& grid, const QColor& text);

// A marker `t` seconds along the time axis: a dashed line across the plot,
// its label beside it at the top. Nothing outside the plot's time span.
void drawMarker(QPainter& p, const PlotArea& a, double t, const QString& label,
                const QColor& color);

}  // namespace preview::frame
