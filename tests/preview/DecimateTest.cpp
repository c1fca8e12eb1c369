// Point reduction, gap finding and the arrangement of a store's samples
// into charts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <random>

#include "preview/Decimate.h"
#include "preview/PlotData.h"
#include "store/VRAXSensorData.h"
#include "support/Files.h"
#include "support/PlainDecimate.h"

namespace preview {
namespace {

std::vector<double> regularTimes(size_t n, double step) {
    std::vector<double> t(n);
    for (size_t i = 0; i < n; ++i) t[i] = double(i) * step;
    return t;
}

TEST(Decimate, KeepsPeaksAndBoundsThePointsByTheWidth) {
    const size_t n = 1'000'000;
    const std::vector<double> t = regularTimes(n, 1.0 / 1024);  // exact in binary
    std::vector<float> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = float(1000 * std::sin(double(i) / 5000));
    v[123'457] = 90000;  // one-sample spikes must survive
    v[876'543] = -70000;
    const int columns = 500;
    Decimated d = decimate(t, v, {}, 0, t.back(), columns);
    EXPECT_LE(d.points.size(), size_t(2 * (columns + 2)));
    EXPECT_GT(d.points.size(), size_t(columns));
    auto maxIt = std::max_element(d.points.begin(), d.points.end(),
                                  [](auto& a, auto& b) { return a.v < b.v; });
    auto minIt = std::min_element(d.points.begin(), d.points.end(),
                                  [](auto& a, auto& b) { return a.v < b.v; });
    EXPECT_EQ(maxIt->v, 90000);
    EXPECT_DOUBLE_EQ(maxIt->t, t[123'457]);
    EXPECT_EQ(minIt->v, -70000);
    EXPECT_EQ(d.maxValue, 90000);
    EXPECT_EQ(d.minValue, -70000);
    EXPECT_TRUE(std::is_sorted(d.points.begin(), d.points.end(),
                               [](auto& a, auto& b) { return a.t < b.t; }));
    ASSERT_EQ(d.segmentStarts, std::vector<size_t>{0});

    // Zoomed in: the same bound for a part, with lines running past both edges.
    d = decimate(t, v, {}, 100.0, 300.0, columns);
    EXPECT_LE(d.points.size(), size_t(2 * (columns + 2)));
    EXPECT_LT(d.points.front().t, 100.0);
    EXPECT_GT(d.points.back().t, 300.0);
    for (size_t i = 1; i + 1 < d.points.size(); ++i) {
        EXPECT_GE(d.points[i].t, 100.0);
        EXPECT_LE(d.points[i].t, 300.0);
    }

    // Closer still: fewer samples than pixels are all kept as they are.
    d = decimate(t, v, {}, 500.0, 500.0 + 200.0 / 1024, columns);
    ASSERT_EQ(d.points.size(), 203u);
    for (size_t i = 0; i < d.points.size(); ++i) EXPECT_EQ(d.points[i].v, v[511'999 + i]);

    // Nothing to draw.
    EXPECT_TRUE(decimate(t, v, {}, 5000.0, 6000.0, columns).points.size() <= 1);
    EXPECT_TRUE(decimate({}, {}, {}, 0, 1, columns).points.empty());
    EXPECT_TRUE(decimate(t, v, {}, 1, 1, columns).points.empty());
}

TEST(Decimate, GapsBreakTheLineWhereTheyCanBeSeen) {
    // 10 ms samples with a 2 s hole after sample 999 and a mild 50 ms step
    // (five intervals: late, not missing) after sample 1499.
    std::vector<double> t = regularTimes(3000, 0.01);
    for (size_t i = 1000; i < t.size(); ++i) t[i] += 2.0;
    for (size_t i = 1500; i < t.size(); ++i) t[i] += 0.04;
    const std::vector<float> v(t.size(), 1.0f);
    EXPECT_NEAR(typicalInterval(t), 0.01, 1e-9);
    const std::vector<Gap> gaps = findGaps(t, typicalInterval(t));
    ASSERT_EQ(gaps.size(), 1u);
    EXPECT_EQ(gaps[0].index, 1000u);
    EXPECT_NEAR(gaps[0].to - gaps[0].from, 2.01, 1e-9);

    for (int columns : {100, 5000}) {  // decimated and raw
        const Decimated d = decimate(t, v, gaps, 0, t.back(), columns);
        ASSERT_EQ(d.segmentStarts.size(), 2u) << columns;
        const size_t second = d.segmentStarts[1];
        EXPECT_LE(d.points[second - 1].t, gaps[0].from);
        EXPECT_GE(d.points[second].t, gaps[0].to);
    }
    // A hole narrower than one pixel column is not drawn as a break.
    EXPECT_EQ(decimate(t, v, gaps, 0, 10000, 100).segmentStarts.size(), 1u);

    // Very many gaps: only the widest break the line.
    std::vector<double> many = regularTimes(20000, 0.01);
    double shift = 0;
    for (size_t i = 1; i < many.size(); ++i) {
        if (i % 100 == 0) shift += (i == 10000 ? 50.0 : 1.0);
        many[i] += shift;
    }
    const std::vector<Gap> manyGaps = findGaps(many, 0.01);
    ASSERT_EQ(manyGaps.size(), 199u);
    const Decimated d =
        decimate(many, std::vector<float>(many.size(), 0.0f), manyGaps, 0, many.back(), 4000);
    EXPECT_EQ(d.segmentStarts.size(), kMaxBreaks + 1);
    EXPECT_NE(std::find_if(d.segmentStarts.begin(), d.segmentStarts.end(),
                           [&](size_t s) { return s > 0 && d.points[s].t >= many[10000]; }),
              d.segmentStarts.end());

    // No interval, no gaps.
    EXPECT_EQ(typicalInterval({1.0, 1.0, 1.0}), 0.0);
    EXPECT_TRUE(findGaps({1.0, 1.0, 1.0}, 0).empty());
}

void add(VRAXSensorData& store, int64_t ms, int type, std::vector<int32_t> values) {
    values.resize(14);
    store.appendSensorData(uint64_t(ms), type, values.data());
}

TEST(PlotData, OneChartPerQuantityOnTheFileTimeAxis) {
    VRAXSensorData store;
    // ags every 10 ms, battery every 100 ms, a 3 s hole in both, a geo
    // record out of order, and a stamp that was negative on the wire.
    for (int64_t ms = 0; ms < 10000; ms += 10) {
        if (ms >= 4000 && ms < 7000) continue;
        add(store, ms, ags, {int32_t(ms), 2, 3, 4, 5, 6});
        if (ms % 100 == 0) add(store, ms, batt, {300, 90});
    }
    add(store, 500, geo, {1, 2, 3});
    add(store, -20, geo, {7, 8, 9});
    add(store, 100, geo, {4, 5, 6});
    add(store, 200, ext16ad, {1, 2, 3, 4, 10, 20, 30, 40, 0, 0, 0, 0});

    const PlotData p = buildPlotData(store);
    std::vector<std::string> titles;
    for (const Chart& c : p.charts) titles.push_back(c.title);
    EXPECT_EQ(titles, (std::vector<std::string>{"Acceleration (ags)", "Angular velocity (ags)",
                                                "Geomagnetism", "Battery", "16-bit AD raw"}));
    EXPECT_EQ(p.records, store.count());
    EXPECT_DOUBLE_EQ(p.duration, 10.01);

    const Chart& acc = p.charts[0];
    EXPECT_DOUBLE_EQ(acc.t.front(), 0.02);  // from the earliest stamp, -20 ms
    EXPECT_EQ(acc.tracks.size(), 3u);
    EXPECT_EQ(acc.tracks[0].values[1], 10.0f);
    EXPECT_EQ(p.charts[1].tracks[2].values[0], 6.0f);
    EXPECT_NEAR(acc.interval, 0.01, 1e-9);
    ASSERT_EQ(acc.gaps.size(), 1u);

    const Chart& geoChart = p.charts[2];
    EXPECT_EQ(geoChart.t, (std::vector<double>{0.0, 0.12, 0.52}));
    EXPECT_EQ(geoChart.tracks[0].values, (std::vector<float>{7, 4, 1}));
    EXPECT_EQ(p.charts[4].tracks[3].values[0], 40.0f);

    // The hole shows in ags and in the battery: one missing stretch.
    EXPECT_EQ(p.charts[3].gaps.size(), 1u);
    EXPECT_EQ(p.missingStretches, 1);

    // Filtered 16-bit AD values give their chart when the file has them.
    add(store, 210, ext16ad, {1, 2, 3, 4, 10, 20, 30, 40, 9, 8, 7, 6});
    EXPECT_EQ(buildPlotData(store).charts.back().title, "16-bit AD filtered");
}

TEST(PlotData, FilesThatGiveNothingToShowSaySo) {
    const std::string dir = testing::TempDir();
    PlotData p;
    std::string why;
    EXPECT_EQ(loadPlotFile(dir + "/no-such-file.csv", p), LoadFailure::unreadable);
    EXPECT_FALSE(loadPlotFile(dir + "/no-such-file.csv", p, why));
    EXPECT_NE(why.find("no-such-file.csv"), std::string::npos);
    EXPECT_EQ(why.rfind("ファイル", 0), 0u) << why;  // Japanese, like the window's messages

    const std::string binary = dir + "/binary.csv";
    writeFile(binary, std::string("\xff\xfe\x00\x81\xc3", 5));
    EXPECT_EQ(loadPlotFile(binary, p), LoadFailure::unreadable);
    EXPECT_FALSE(loadPlotFile(binary, p, why));

    const std::string other = dir + "/other.csv";
    writeFile(other, "time,value\r\n1,2\r\n");
    why.clear();
    EXPECT_EQ(loadPlotFile(other, p), LoadFailure::noSamples);
    EXPECT_FALSE(loadPlotFile(other, p, why));
    EXPECT_EQ(why.rfind("ファイル", 0), 0u) << why;
    // The reason in English, for command lines.
    EXPECT_NE(std::string(loadFailureReason(LoadFailure::noSamples)).find("no samples"),
              std::string::npos);

    // Time stamps at the ends of their range: the time axis is exact, not
    // an overflow; lines it cannot read are counted for the status line.
    const std::string extreme = dir + "/extreme.csv";
    writeFile(extreme,
              "\xEF\xBB\xBF"
              "ags,-9223372036854775808,1,2,3,4,5,6\r\n"
              "ags,9223372036854775807,1,2,3,4,5,6\r\n"
              "garbage\r\n");
    ASSERT_TRUE(loadPlotFile(extreme, p, why)) << why;
    EXPECT_EQ(p.records, 2u);
    EXPECT_EQ(p.skippedLines, 1u);
    EXPECT_DOUBLE_EQ(p.duration, 18446744073709551615.0 / 1000.0);
    EXPECT_EQ(p.charts[0].t.front(), 0.0);
}

// A file of every kind, some stamps out of order, read straight into the
// charts' columns: each chart holds its kind's samples in stable time order
// with the values of the records the store loads from the same file.
TEST(PlotData, FileColumnsHoldTheRecordsValuesInTimeOrder) {
    const std::string path = testing::TempDir() + "/columns.csv";
    {
        VRAXSensorData store;
        store.setWriteAD16FilterdData(true);
        store.setSaveFilename(path);
        store.setSaveFlag();
        std::mt19937 rng(5);
        for (int i = 0; i < 20000; ++i) {
            std::vector<int32_t> v(14);
            for (int32_t& x : v) x = int32_t(rng() % 20001) - 10000;
            const int type = int(rng() % 7);
            if (type == ext16ad)
                for (int g = 0; g < 4; ++g) v[size_t(g)] = int32_t(rng() % 16);
            const int64_t ms = i % 97 == 0 ? int64_t(rng() % 200000) : int64_t(i) * 10;
            add(store, ms, type, v);
        }
        ASSERT_EQ(store.finishSaveFile(true, safeout::Existing::replace).kind,
                  SaveFileEnd::complete);
    }
    PlotData p;
    std::string why;
    ASSERT_TRUE(loadPlotFile(path, p, why)) << why;
    VRAXSensorData store;
    store.setReadAD16FilterdData(true);
    ASSERT_TRUE(store.loadFromFileByCSV(path));
    EXPECT_EQ(p.records, store.count());
    int64_t origin = INT64_MAX;
    for (uint64_t i = 0; i < store.count(); ++i)
        origin = std::min(origin, int64_t(store.getDataByIndex(i)->msTime));

    // Where each chart's values start in a record.
    const std::map<std::string, int> first = {{"Acceleration (ags)", 0},
                                              {"Angular velocity (ags)", 3},
                                              {"Quaternion (qags)", 0},
                                              {"Acceleration (qags)", 4},
                                              {"Angular velocity (qags)", 7},
                                              {"Geomagnetism", 0},
                                              {"Pressure", 0},
                                              {"Temperature", 1},
                                              {"Battery", 0},
                                              {"External inputs: ports", 0},
                                              {"External inputs: AD", 4},
                                              {"16-bit AD raw", 4},
                                              {"16-bit AD filtered", 8}};
    ASSERT_EQ(p.charts.size(), first.size());
    for (const Chart& c : p.charts) {
        SCOPED_TRACE(c.title);
        std::vector<const SensorDataRecord*> kind;
        for (uint64_t i = 0; i < store.count(); ++i)
            if (store.getDataByIndex(i)->dataType == c.dataType)
                kind.push_back(store.getDataByIndex(i));
        std::stable_sort(kind.begin(), kind.end(),
                         [](auto* a, auto* b) { return int64_t(a->msTime) < int64_t(b->msTime); });
        ASSERT_EQ(c.t.size(), kind.size());
        ASSERT_TRUE(first.count(c.title));
        for (size_t i = 0; i < kind.size(); ++i) {
            ASSERT_EQ(c.t[i], double(uint64_t(kind[i]->msTime) - uint64_t(origin)) / 1000.0);
            for (size_t n = 0; n < c.tracks.size(); ++n)
                ASSERT_EQ(c.tracks[n].values[i],
                          float(kind[i]->values[first.at(c.title) + int(n)]));
        }
    }
}

// The column runs found by halving, also read a block of extremes at a
// time, give the points, segments and value range of the straightforward
// per-sample decimation: random series with repeated stamps and values,
// gaps, ranges inside, across and beyond them.
TEST(Decimate, ColumnRunsGiveWhatPerSampleColumnsGive) {
    std::mt19937_64 rng(3);
    for (int round = 0; round < 300; ++round) {
        const size_t n = 1 + rng() % 20000;
        std::vector<double> t(n);
        std::vector<float> v(n);
        double now = 0;
        for (size_t i = 0; i < n; ++i) {
            const int kind = int(rng() % 100);
            now += kind < 2 ? double(rng() % 5000) / 10 : kind < 10 ? 0.0 : 0.01;
            t[i] = now;
            v[i] = rng() % 4 == 0 ? v[i > 0 ? i - 1 : 0] : float(int(rng() % 2001) - 1000);
        }
        const std::vector<Gap> gaps = findGaps(t, typicalInterval(t));
        const double span = std::max(t.back(), 0.01);
        const double t0 = double(int64_t(rng() % 1200) - 100) / 1000 * span;
        const double t1 = t0 + double(1 + rng() % 1500) / 1000 * span;
        const int columns = 1 + int(rng() % (round % 2 ? 40 : 1500));  // long columns too
        SCOPED_TRACE("round " + std::to_string(round));
        const Decimated plain = plainDecimate(t, v, gaps, t0, t1, columns);
        for (bool blocks : {false, true}) {
            const Decimated fast = blocks ? decimate(t, v, gaps, t0, t1, columns, blockExtremes(v))
                                          : decimate(t, v, gaps, t0, t1, columns);
            ASSERT_EQ(fast.points.size(), plain.points.size()) << blocks;
            for (size_t i = 0; i < fast.points.size(); ++i) {
                ASSERT_EQ(fast.points[i].t, plain.points[i].t) << i;
                ASSERT_EQ(fast.points[i].v, plain.points[i].v) << i;
            }
            ASSERT_EQ(fast.segmentStarts, plain.segmentStarts);
            ASSERT_EQ(fast.minValue, plain.minValue);
            ASSERT_EQ(fast.maxValue, plain.maxValue);
        }
    }
}

}  // namespace
}  // namespace preview
