// The live charts on the offscreen platform, drawn from a real store: which
// charts appear, which records a range draws, and that the tracks are painted.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>

#include "preview/LiveCharts.h"
#include "store/VRAXSensorData.h"

namespace preview {
namespace {

// 2 s of acceleration at 1 ms and geomagnetism at 20 ms, in arrival order.
void fill(VRAXSensorData& store) {
    int32_t v[14] = {};
    for (uint64_t ms = 0; ms < 2000; ++ms) {
        for (int k = 0; k < 6; ++k) v[k] = int32_t(ms % 100) * (k + 1);
        store.appendSensorData(ms, 0, v);
        if (ms % 20 == 0) store.appendSensorData(ms, 1, v);
    }
}

bool hasColour(const QImage& image, QRgb colour) {
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if ((image.pixel(x, y) & 0xFFFFFF) == (colour & 0xFFFFFF)) return true;
    return false;
}

TEST(LiveChartsTest, DrawsTheRangeOfEachKindSeen) {
    VRAXSensorData store;
    fill(store);
    LiveCharts charts;
    charts.resize(400, 600);
    EXPECT_EQ(charts.chartCount(), 0);

    // The whole store.
    charts.showRange(store, 0, store.count() - 1, 1999, 2000);
    EXPECT_EQ(
        charts.chartTitles(),
        (std::vector<std::string>{"Acceleration (ags)", "Angular velocity (ags)", "Geomagnetism"}));
    EXPECT_EQ(charts.recordsShown(), store.count());
    // Min/max per pixel column: bounded by the width, not by the records.
    const size_t columns = 400;
    EXPECT_GT(charts.pointCount(), 0u);
    EXPECT_LE(charts.pointCount(), 9 * (2 * columns + 4));

    // The last 0.5 s, found as the live view finds it.
    uint64_t from = 0, last = 0;
    ASSERT_TRUE(store.getDataByTheMSTime(1999 - 500, 0, from, false));
    ASSERT_TRUE(store.getDataByTheMSTime(1999, from, last, true));
    charts.showRange(store, from, last, 1999, 500);
    uint64_t inWindow = 0;
    for (uint64_t i = 0; i < store.count(); ++i) {
        const uint64_t t = store.getDataByIndex(i)->msTime;
        inWindow += t > 1999 - 500 && t <= 1999;
    }
    EXPECT_EQ(charts.recordsShown(), inWindow);
    EXPECT_EQ(charts.windowSeconds(), 0.5);

    // Painted: the first track's colour is on the picture.
    charts.show();
    QApplication::processEvents();
    EXPECT_TRUE(hasColour(charts.grab().toImage(), qRgb(0x1f, 0x77, 0xb4)));

    // A range past the store's end is cut to it; an empty window keeps the charts.
    charts.showRange(store, store.count() - 2, store.count() + 50, 1999, 500);
    EXPECT_EQ(charts.recordsShown(), 2u);
    charts.showEmpty(500);
    EXPECT_EQ(charts.chartCount(), 3);
    EXPECT_EQ(charts.recordsShown(), 0u);
    EXPECT_EQ(charts.pointCount(), 0u);
    charts.clear();
    EXPECT_EQ(charts.chartCount(), 0);
}

}  // namespace
}  // namespace preview
