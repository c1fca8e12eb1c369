// The scrolling charts of a live session: one chart per measured quantity,
// drawn straight from a range of the sample store. The caller finds the
// records of the window (the last N seconds); the charts reduce each track
// to the minimum and maximum of every pixel column and paint them with
// QPainter, so that a full window at a high rate redraws in milliseconds.
#pragma once

#include <QString>
#include <QWidget>
#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "preview/Decimate.h"

class VRAXSensorData;

namespace preview {

class LiveCharts : public QWidget {
    Q_OBJECT
  public:
    explicit LiveCharts(QWidget* parent = nullptr);

    // Forgets every chart (a new session starts).
    void clear();
    // Draws records [from, last] of `store`, the window of `windowMs`
    // milliseconds that ends at `endMs` (record time stamps). A chart,
    // once its kind has been seen, stays until clear().
    void showRange(const VRAXSensorData& store, uint64_t from, uint64_t last, uint64_t endMs,
                   uint64_t windowMs);
    // Only the time axis moves: no record falls in the window.
    void showEmpty(uint64_t windowMs);
    // A marker at `sensorMs` (record time stamps): a dashed line with its label.
    void addMarker(uint64_t sensorMs, const QString& label);
    size_t markerCount() const { return marks.size(); }

    int chartCount() const;
    std::vector<std::string> chartTitles() const;
    size_t pointCount() const;  // points drawn now, over every track
    uint64_t recordsShown() const { return recordsInRange; }
    double windowSeconds() const { return windowSec; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    static constexpr int kChartHeight = 120;  // height of each chart while there is room

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    // The samples of one kind in the window: time (s, ≤ 0) and its value slots.
    struct KindSamples {
        std::vector<double> t;
        std::vector<std::vector<float>> values;
        std::vector<Gap> gaps;
        bool seen = false;
    };
    struct ChartState {
        std::vector<Decimated> tracks;
        double lo = 0, hi = 1;
    };
    void decimateAll();
    int plotColumns() const;
    std::vector<size_t> visibleRows() const;

    std::array<KindSamples, 7> kinds;
    std::vector<ChartState> charts;  // one per layout row
    double windowSec = 10;
    uint64_t recordsInRange = 0;
    uint64_t endStamp = 0;  // the window's end at the last draw (record time stamps)
    std::vector<std::pair<uint64_t, QString>> marks;
};

}  // namespace preview
