// A column of charts over a time window that ends now, one chart per
// measured quantity seen so far: what the live charts of one sensor and of
// several share (their charts' state, sizes and visible rows).
#pragma once

#include <QWidget>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "preview/Decimate.h"

namespace preview {

class ChartStack : public QWidget {
    Q_OBJECT
  public:
    int chartCount() const;
    std::vector<std::string> chartTitles() const;
    size_t pointCount() const;  // points drawn now, over every track
    uint64_t recordsShown() const { return recordsInRange; }
    double windowSeconds() const { return windowSec; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  protected:
    // Each chart `chartHeight` pixels high while there is room, and never
    // less than `minChartHeight`.
    ChartStack(int chartHeight, int minChartHeight, QWidget* parent);

    struct ChartState {
        std::vector<Decimated> tracks;
        double lo = 0, hi = 1;
    };
    // The samples of one kind in the window: time (s, ≤ 0) and its value slots.
    struct KindSamples {
        std::vector<double> t;
        std::vector<std::vector<float>> values;
        std::vector<Gap> gaps;
        void clear();
    };
    // Every kind, each with its value slots and no samples.
    static std::array<KindSamples, 7> emptyKinds();
    void resizeEvent(QResizeEvent* event) override;
    // Reduces every chart's tracks to the plot's pixel columns.
    virtual void decimateAll() = 0;
    int plotColumns() const;
    std::vector<size_t> visibleRows() const;  // the layout rows whose kind has been seen
    int shownChartHeight(size_t shownCharts) const;
    // The plot of the chart whose top is `top`: inside the room for its
    // title, value labels and time labels.
    QRect plotRect(int top, int chartHeight) const;
    // Forgets the kinds seen and every chart's tracks and scale.
    void forgetCharts();

    std::array<bool, 7> seen{};
    std::vector<ChartState> charts;  // one per layout row
    double windowSec = 10;
    uint64_t recordsInRange = 0;

  private:
    const int chartHeight;
    const int minChartHeight;
};

}  // namespace preview
