// Reduces a long series to what a chart of a given width can show: the
// minimum and the maximum of each pixel column, in time order, so that
// peaks stay visible while the point count stays bounded by the width.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "preview/PlotData.h"

namespace preview {

struct PlotPoint {
    double t;
    double v;
};

struct Decimated {
    std::vector<PlotPoint> points;
    // Where each line segment starts in `points`; a segment ends at a gap.
    std::vector<size_t> segmentStarts;
    double minValue = 0;
    double maxValue = 0;  // of the points in [t0, t1]; equal to minValue when none
};

// At most this many gaps break the line in one view; narrower ones are
// joined when there are more.
inline constexpr size_t kMaxBreaks = 100;

// The points of `values` (over ascending `t`) for the time range [t0, t1]
// drawn `columns` pixels wide. One point on each side of the range is kept
// so that lines run to the edges. Gaps narrower than a pixel column are not
// drawn as breaks.
Decimated decimate(const std::vector<double>& t, const std::vector<float>& values,
                   const std::vector<Gap>& gaps, double t0, double t1, int columns);

// The smallest and the largest value of each block of kExtremesBlock
// samples, with where each first occurs: a pixel column over many samples
// is then read a block at a time. Values are finite.
struct BlockExtremes {
    float min;
    float max;
    uint32_t minAt;
    uint32_t maxAt;
};
inline constexpr size_t kExtremesBlock = 64;
std::vector<BlockExtremes> blockExtremes(const std::vector<float>& values);

// The same points as above, faster over long columns with the block
// extremes of `values` (ignored when they are not of that length).
Decimated decimate(const std::vector<double>& t, const std::vector<float>& values,
                   const std::vector<Gap>& gaps, double t0, double t1, int columns,
                   const std::vector<BlockExtremes>& extremes);

}  // namespace preview
