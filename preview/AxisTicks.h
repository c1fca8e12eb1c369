// Ticks and labels of a chart axis: a "nice" step (1, 2 or 5 times a power
// of ten), the ticks inside the range at its multiples, and labels as plain
// decimal numbers with as many decimals as the step needs — never in
// exponent notation, so that a glance reads them.
#pragma once

#include <string>
#include <vector>

namespace preview {

enum class AxisKind {
    seconds,        // time: plain numbers at any magnitude
    values,         // measured values: large magnitudes scaled with k, M, G
    integerValues,  // as `values`, and no step finer than 1
};

struct AxisTick {
    double value;
    std::string label;
};

// From this magnitude on value labels are scaled: "250k" rather than
// "250000", "-1.8M" rather than "-1810330".
inline constexpr double kScaledFrom = 1e5;

// At most `maxTicks` (two or more) ticks inside [lo, hi], ascending, with
// distinct labels; none for an empty or non-finite range.
std::vector<AxisTick> axisTicks(double lo, double hi, int maxTicks, AxisKind kind);

}  // namespace preview
