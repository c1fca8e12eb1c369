#include "preview/Decimate.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace preview {
namespace {

// Indices at which the line breaks in this view, ascending.
std::vector<size_t> breaksInView(const std::vector<Gap>& gaps, size_t lo, size_t hi,
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

// The smallest and largest of n values folded into `lowest` and `highest`,
// eight at a time.
void columnExtremes(const float* v, size_t n, float& lowest, float& highest) {
    using Lanes = float __attribute__((vector_size(16)));
    size_t k = 0;
    if (n >= 8) {
        Lanes lo0 = {lowest, lowest, lowest, lowest}, hi0 = {highest, highest, highest, highest};
        Lanes lo1 = lo0, hi1 = hi0;
        for (; k + 8 <= n; k += 8) {
            Lanes a, b;
            std::memcpy(&a, v + k, sizeof a);
            std::memcpy(&b, v + k + 4, sizeof b);
            lo0 = a < lo0 ? a : lo0;
            hi0 = a > hi0 ? a : hi0;
            lo1 = b < lo1 ? b : lo1;
            hi1 = b > hi1 ? b : hi1;
        }
        lo0 = lo1 < lo0 ? lo1 : lo0;
        hi0 = hi1 > hi0 ? hi1 : hi0;
        for (int j = 0; j < 4; ++j) {
            lowest = std::min(lowest, lo0[j]);
            highest = std::max(highest, hi0[j]);
        }
    }
    for (; k < n; ++k) {
        lowest = std::min(lowest, v[k]);
        highest = std::max(highest, v[k]);
    }
}

}  // namespace

std::vector<BlockExtremes> blockExtremes(const std::vector<float>& values) {
    std::vector<BlockExtremes> blocks;
    blocks.reserve(values.size() / kExtremesBlock + 1);
    for (size_t from = 0; from < values.size(); from += kExtremesBlock) {
        const size_t to = std::min(values.size(), from + kExtremesBlock);
        BlockExtremes b{values[from], values[from], uint32_t(from), uint32_t(from)};
        for (size_t k = from + 1; k < to; ++k) {
            if (values[k] < b.min) b.min = values[k], b.minAt = uint32_t(k);
            if (values[k] > b.max) b.max = values[k], b.maxAt = uint32_t(k);
        }
        blocks.push_back(b);
    }
    return blocks;
}

Decimated decimate(const std::vector<double>& t, const std::vector<float>& values,
                   const std::vector<Gap>& gaps, double t0, double t1, int columns) {
    return decimate(t, values, gaps, t0, t1, columns, {});
}

Decimated decimate(const std::vector<double>& t, const std::vector<float>& values,
                   const std::vector<Gap>& gaps, double t0, double t1, int columns,
                   const std::vector<BlockExtremes>& extremes) {
    const bool blocked = values.size() < (size_t(1) << 32) &&
                         extremes.size() == (values.size() + kExtremesBlock - 1) / kExtremesBlock;
    Decimated out;
    const size_t n = std::min(t.size(), values.size());
    if (n == 0 || !(t1 > t0) || columns <= 0) return out;

    // [lo, hi): the points in range plus one neighbour on each side.
    size_t lo = size_t(std::lower_bound(t.begin(), t.begin() + std::ptrdiff_t(n), t0) - t.begin());
    size_t hi = size_t(std::upper_bound(t.begin(), t.begin() + std::ptrdiff_t(n), t1) - t.begin());
    if (lo > 0) --lo;
    if (hi < n) ++hi;

    const double width = (t1 - t0) / columns;
    const std::vector<size_t> breaks = breaksInView(gaps, lo, hi, width);
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
    if (thin) {
        for (size_t i = lo; i < hi; ++i) {
            if (nextBreak < breaks.size() && breaks[nextBreak] == i) {
                out.segmentStarts.push_back(out.points.size());
                ++nextBreak;
            }
            emit(i);
        }
    } else {
        // Points left and right of the range each form a column of their own.
        auto columnOf = [&](size_t i) {
            return long(std::clamp(std::floor((t[i] - t0) / width), -1.0, double(columns)));
        };
        size_t lastRun = 0;
        for (size_t i = lo; i < hi;) {
            if (nextBreak < breaks.size() && breaks[nextBreak] == i) {
                flush();
                out.segmentStarts.push_back(out.points.size());
                ++nextBreak;
            }
            // The run of samples in i's column: from where the last run's
            // length ends it, galloping up or down to the column's end and
            // then halving (columns grow with time), ending at the next break.
            const size_t limit = nextBreak < breaks.size() ? breaks[nextBreak] : hi;
            const long c = columnOf(i);
            size_t inside = i, outside = limit;
            if (lastRun > 1 && i + lastRun - 1 < limit) {
                const size_t probe = i + lastRun - 1;
                if (columnOf(probe) == c) {
                    inside = probe;
                } else {
                    outside = probe;
                    for (size_t step = 1; outside - step > inside; step *= 2) {
                        if (columnOf(outside - step) == c) {
                            inside = outside - step;
                            break;
                        }
                        outside -= step;
                    }
                }
            }
            if (outside == limit) {
                size_t step = 1;
                while (inside + step < limit && columnOf(inside + step) == c) {
                    inside += step;
                    step *= 2;
                }
                outside = std::min(inside + step, limit);
            }
            while (outside - inside > 1) {
                const size_t mid = inside + (outside - inside) / 2;
                (columnOf(mid) == c ? inside : outside) = mid;
            }
            lastRun = outside - i;
            // The column's extremes, the first of each where values repeat.
            flush();
            open = true;
            if (blocked && outside - i >= 4 * kExtremesBlock) {
                // Samples before the first whole block, the whole blocks,
                // the samples after them: in order, so that ties keep the first.
                const size_t firstBlock = (i + kExtremesBlock - 1) / kExtremesBlock;
                const size_t endBlock = outside / kExtremesBlock;
                float lowest = values[i], highest = values[i];
                minAt = maxAt = i;
                auto take = [&](size_t k) {
                    if (values[k] < lowest) lowest = values[k], minAt = k;
                    if (values[k] > highest) highest = values[k], maxAt = k;
                };
                for (size_t k = i + 1; k < firstBlock * kExtremesBlock; ++k) take(k);
                for (size_t b = firstBlock; b < endBlock; ++b) {
                    const BlockExtremes& e = extremes[b];
                    if (e.min < lowest) lowest = e.min, minAt = e.minAt;
                    if (e.max > highest) highest = e.max, maxAt = e.maxAt;
                }
                for (size_t k = endBlock * kExtremesBlock; k < outside; ++k) take(k);
                i = outside;
                continue;
            }
            float lowest = values[i], highest = values[i];
            columnExtremes(values.data() + i + 1, outside - i - 1, lowest, highest);
            minAt = maxAt = i;
            while (minAt + 1 < outside && values[minAt] != lowest) ++minAt;
            while (maxAt + 1 < outside && values[maxAt] != highest) ++maxAt;
            i = outside;
        }
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
