// The straightforward decimation, one pixel column computed per sample:
// tests compare the fast one against it.
#pragma once

#include <algorithm>
#include <cmath>
#include <limits>

#include "preview/Decimate.h"

namespace preview {

// Indices at which the line breaks in this view, ascending.
inline std::vector<size_t> plainBreaksInView(const std::vector<Gap>& gaps, size_t lo, size_t hi,
                                             double minWidth) {
    std::vector<const Gap*> visible;
    for (const Gap& g : gaps)
        if (g.index > lo && g.index < hi && g.to - g.from >= minWidth) visible.push_back(&g);
    if (visible.size() > kMaxBreaks) {
        // Keep the widest ones.
        std::nth_element(
            visible.begin(), visible.begin() + std::ptrdiff_t(kMaxBreaks), visible.end(),
            [](const Gap* a, const Gap* b) { return a->to - a->from > b->to - b->from; });
        visible.resize(kMaxBreaks);
    }
    std::vector<size_t> breaks;
    breaks.reserve(visible.size());
    for (const Gap* g : visible) breaks.push_back(g->index);
    std::sort(breaks.begin(), breaks.end());
    return breaks;
}

inline Decimated plainDecimate(const std::vector<double>& t, const std::vector<float>& values,
                               const std::vector<Gap>& gaps, double t0, double t1, int columns) {
    Decimated out;
    const size_t n = std::min(t.size(), values.size());
    if (n == 0 || !(t1 > t0) || columns <= 0) return out;

    // [lo, hi): the points in range plus one neighbour on each side.
    size_t lo = size_t(std::lower_bound(t.begin(), t.begin() + std::ptrdiff_t(n), t0) - t.begin());
    size_t hi = size_t(std::upper_bound(t.begin(), t.begin() + std::ptrdiff_t(n), t1) - t.begin());
    if (lo > 0) --lo;
    if (hi < n) ++hi;

    const double width = (t1 - t0) / columns;
    const std::vector<size_t> breaks = plainBreaksInView(gaps, lo, hi, width);
    size_t nextBreak = 0;

    double minV = std::numeric_limits<double>::infinity();
    double maxV = -std::numeric_limits<double>::infinity();
    auto emit = [&](size_t i) {
        out.points.push_back({t[i], double(values[i])});
        if (t[i] >= t0 && t[i] <= t1) {
            minV = std::min(minV, double(values[i]));
            maxV = std::max(maxV, double(values[i]));
        }
    };

    out.segmentStarts.push_back(0);
    const bool thin = hi - lo <= size_t(2) * size_t(columns);
    long column = std::numeric_limits<long>::min();
    size_t minAt = lo, maxAt = lo;
    bool open = false;  // a column's extremes wait to be emitted
    auto flush = [&] {
        if (!open) return;
        if (minAt == maxAt) {
            emit(minAt);
        } else {
            emit(std::min(minAt, maxAt));
            emit(std::max(minAt, maxAt));
        }
        open = false;
    };
    for (size_t i = lo; i < hi; ++i) {
        if (nextBreak < breaks.size() && breaks[nextBreak] == i) {
            flush();
            out.segmentStarts.push_back(out.points.size());
            ++nextBreak;
            column = std::numeric_limits<long>::min();
        }
        if (thin) {
            emit(i);
            continue;
        }
        // Points left and right of the range each form a column of their own.
        const double x = std::floor((t[i] - t0) / width);
        const long c = long(std::clamp(x, -1.0, double(columns)));
        if (c != column) {
            flush();
            column = c;
            minAt = maxAt = i;
            open = true;
            continue;
        }
        if (values[i] < values[minAt]) minAt = i;
        if (values[i] > values[maxAt]) maxAt = i;
    }
    flush();
    // No empty segments (a break right at the end of the view).
    while (out.segmentStarts.size() > 1 && out.segmentStarts.back() == out.points.size())
        out.segmentStarts.pop_back();
    if (minV <= maxV) {
        out.minValue = minV;
        out.maxValue = maxV;
    }
    return out;
}

}  // namespace preview
