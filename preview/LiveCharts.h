// The scrolling charts of a live session: one chart per measured quantity,
// drawn straight from a range of the sample store. The caller finds the
// records of the window (the last N seconds); the charts reduce each track
// to the minimum and maximum of every pixel column and paint them with
// QPainter, so that a full window at a high rate redraws in milliseconds.
#pragma once

#include <QString>
#include <array>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "preview/ChartStack.h"

class VRAXSensorData;

namespace preview {

class LiveCharts : public ChartStack {
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

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    void decimateAll() override;

    std::array<KindSamples, 7> kinds = emptyKinds();
    uint64_t endStamp = 0;  // the window's end at the last draw (record time stamps)
    std::vector<std::pair<uint64_t, QString>> marks;
};

}  // namespace preview
