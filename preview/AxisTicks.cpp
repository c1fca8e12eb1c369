#include "preview/AxisTicks.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "preview/PreviewTexts.h"

namespace preview {
namespace {

// A step of `mantissa` × 10^`exponent`, mantissa 1, 2 or 5.
struct Step {
    int mantissa;
    int exponent;
    double value() const { return times(1); }
    // i steps, computed so that decimal steps give the nearest double
    // (3 × 0.1 gives 0.30000000000000004, 3 / 10 gives 0.3).
    double times(double i) const {
        const double mantissaSteps = i * mantissa;
        return exponent >= 0 ? mantissaSteps * std::pow(10.0, exponent)
                             : mantissaSteps / std::pow(10.0, -exponent);
    }
};

// The smallest nice step not below `atLeast` (> 0).
Step niceStep(double atLeast) {
    int exponent = int(std::floor(std::log10(atLeast)));
    for (int guard = 0; guard < 4; ++guard, ++exponent) {
        for (int mantissa : {1, 2, 5}) {
            const Step s{mantissa, exponent};
            if (s.value() >= atLeast * (1 - 1e-6)) return s;  // allows for rounding in atLeast
        }
    }
    return {1, exponent};
}

}  // namespace

std::vector<AxisTick> axisTicks(double lo, double hi, int maxTicks, AxisKind kind) {
    std::vector<AxisTick> ticks;
    if (!std::isfinite(lo) || !std::isfinite(hi) || !(hi > lo)) return ticks;
    maxTicks = std::max(maxTicks, 2);

    // No step finer than the precision of the values allows, so that
    // neighbouring ticks stay distinct and tick indexes whole numbers.
    const double magnitude = std::max(std::abs(lo), std::abs(hi));
    Step step = niceStep(std::max((hi - lo) / (maxTicks - 1), magnitude * 1e-12));
    if (kind == AxisKind::integerValues && step.exponent < 0) step = {1, 0};
    // Indexes of the multiples of the step inside the range, allowing for
    // rounding at the ends.
    const double slack = 1e-6;
    const double first = std::ceil(lo / step.value() - slack);
    const double last = std::min(std::floor(hi / step.value() + slack), first + maxTicks - 1);

    // Values scaled by 10^3, 10^6 or 10^9 from kScaledFrom on, after the
    // largest tick.
    int scaleExponent = 0;
    const double largest = std::max(std::abs(step.times(first)), std::abs(step.times(last)));
    if (kind != AxisKind::seconds && largest >= kScaledFrom) {
        const int thousands = int(std::floor(std::log10(largest) / 3));
        scaleExponent = 3 * std::clamp(thousands, 1, int(text::kThousandsSuffixes.size()));
    }
    const char* suffix =
        scaleExponent > 0 ? text::kThousandsSuffixes[size_t(scaleExponent / 3 - 1)] : "";
    const double scale = std::pow(10.0, scaleExponent);
    const int decimals = std::max(0, scaleExponent - step.exponent);

    for (int n = 0; first + n <= last; ++n) {
        const double value = step.times(first + n) + 0.0;  // + 0.0: ceil(-0.3) is -0, "-0"
        char label[64];
        if (value == 0 && scaleExponent > 0)
            std::snprintf(label, sizeof label, "0");  // reads better than "0k" or "0.0M"
        else
            std::snprintf(label, sizeof label, "%.*f%s", decimals, value / scale, suffix);
        ticks.push_back({value, label});
    }
    return ticks;
}

}  // namespace preview
