// Axis ticks and labels: nice steps, plain numbers, integer and scaled values.
#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>

#include "preview/AxisTicks.h"

namespace preview {
namespace {

using Labels = std::vector<std::string>;
constexpr AxisKind kSeconds = AxisKind::seconds, kIntegers = AxisKind::integerValues;

Labels labels(double lo, double hi, int maxTicks, AxisKind kind) {
    Labels out;
    for (const AxisTick& t : axisTicks(lo, hi, maxTicks, kind)) out.push_back(t.label);
    return out;
}

// For any range: at most maxTicks ticks inside it, at least (maxTicks - 1)
// / 2.5 of them for times where precision allows, and distinct labels
// without exponent that read back as their values to their last decimal.
void expectWellFormed(double lo, double hi, int maxTicks, AxisKind kind) {
    SCOPED_TRACE(testing::Message() << "[" << lo << ", " << hi << "] max " << maxTicks);
    const std::vector<AxisTick> ticks = axisTicks(lo, hi, maxTicks, kind);
    ASSERT_LE(int(ticks.size()), maxTicks);
    if (kind == kSeconds && hi - lo > std::abs(hi) * 1e-9) {
        EXPECT_GE(int(ticks.size()), (maxTicks - 1) * 2 / 5);
    }
    std::set<std::string> seen;
    for (const AxisTick& t : ticks) {
        EXPECT_TRUE(t.value >= lo - (hi - lo) * 1e-6 && t.value <= hi + (hi - lo) * 1e-6);
        EXPECT_TRUE(seen.insert(t.label).second) << t.label;
        EXPECT_EQ(t.label.find_first_of("eE"), std::string::npos) << t.label;
        std::string number = t.label;
        const size_t suffix = std::string("kMG").find(number.back());
        const double scale = suffix == std::string::npos ? 1 : std::pow(1000.0, suffix + 1);
        if (suffix != std::string::npos) number.pop_back();
        const size_t dot = number.find('.');
        const int decimals = dot == std::string::npos ? 0 : int(number.size() - dot - 1);
        EXPECT_NEAR(std::stod(number) * scale, t.value, 0.5 * std::pow(10.0, -decimals) * scale);
    }
}

TEST(AxisTicks, TimeHasNiceStepsAndPlainSeconds) {
    EXPECT_EQ(labels(0, 20, 6, kSeconds), (Labels{"0", "5", "10", "15", "20"}));
    EXPECT_EQ(labels(5, 6, 6, kSeconds), (Labels{"5.0", "5.2", "5.4", "5.6", "5.8", "6.0"}));
    EXPECT_EQ(labels(-0.3, 0.7, 3, kSeconds), (Labels{"0.0", "0.5"}));  // never "-0.0"
    // A millisecond late in a long file.
    EXPECT_EQ(labels(86400.0003, 86400.0013, 3, kSeconds), (Labels{"86400.0005", "86400.0010"}));
    for (auto [lo, hi] : {std::pair{1.0, 1.0}, {2.0, 1.0}, {0.0, NAN}, {-INFINITY, 0.0}})
        EXPECT_TRUE(axisTicks(lo, hi, 10, kSeconds).empty()) << lo << " " << hi;

    for (double span : {0.001, 0.0037, 0.5, 7.3, 20.0, 999.0, 3600.0, 1e7})
        for (double from : {0.0, -span / 3, 12.345, 86400.0, 1e6})
            for (int maxTicks : {2, 5, 11, 17})
                expectWellFormed(from, from + span, maxTicks, kSeconds);
    expectWellFormed(0, 18446744073709551.615, 12, kSeconds);  // all the wire's time stamps
}

TEST(AxisTicks, ValuesAreIntegersOrScaledWithASuffix) {
    EXPECT_EQ(labels(3.6, 6.4, 12, kIntegers), (Labels{"4", "5", "6"}));  // no "4.5"
    EXPECT_EQ(labels(-32768, 32767, 5, kIntegers), (Labels{"-20000", "0", "20000"}));
    EXPECT_EQ(labels(0, 250000, 6, kIntegers),
              (Labels{"0", "50k", "100k", "150k", "200k", "250k"}));
    EXPECT_EQ(labels(-1.85e6, -1.75e6, 3, kIntegers), (Labels{"-1.85M", "-1.80M", "-1.75M"}));
    EXPECT_EQ(labels(-2147483648.0, 2147483647.0, 5, kIntegers), (Labels{"-2G", "0", "2G"}));

    for (AxisKind kind : {AxisKind::values, kIntegers})
        for (double span : {0.5, 3.0, 80.0, 65535.0, 2e5, 3.7e6, 4.2e9})
            for (double from : {0.0, -span / 2, -1.81033e6, 123456789.0})
                for (int maxTicks : {2, 6, 13}) expectWellFormed(from, from + span, maxTicks, kind);
}

}  // namespace
}  // namespace preview
