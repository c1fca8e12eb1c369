// The scrolling charts of several sensors live at once: one chart per
// measured quantity, every sensor's tracks in it on one time axis of host
// time, one colour per sensor (its components in lighter and darker shades
// of it), and the session's markers as vertical lines. Each sensor's
// records are placed on host time through its latest (sensor time, host
// receive time) pair; each track is reduced to the minimum and maximum of
// every pixel column, so a redraw costs about the records of the window.
#pragma once

#include <QColor>
#include <QString>
#include <QWidget>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "preview/Decimate.h"
#include "store/VRAXSensorData.h"

namespace preview {

// One sensor's records for the charts.
struct LiveSource {
    const VRAXSensorData* store = nullptr;  // none: nothing drawn for it
    std::optional<TimePair> map;            // none yet: nothing drawn for it
};

// A marker on host time.
struct ChartMarker {
    int64_t utcMs = 0;
    QString label;
};

class SharedLiveCharts : public QWidget {
    Q_OBJECT
  public:
    explicit SharedLiveCharts(QWidget* parent = nullptr);

    // The colour of sensor `index` (in the charts and the legend).
    static QColor sensorColor(size_t index);

    // A new session of `sensors` sensors: no charts, no markers.
    void start(size_t sensors);
    // Draws the window of `windowMs` milliseconds that ends at host UTC
    // `endUtcMs`; sources[i] is sensor i. A chart, once its kind has been
    // seen, stays until start().
    void showWindow(const std::vector<LiveSource>& sources, int64_t endUtcMs, uint64_t windowMs);
    void addMarker(const ChartMarker& marker);
    // Draws only component `index` of each quantity (the last one for a
    // quantity with fewer); -1: every component. Ten sensors' tracks of one
    // component read better, and draw in a third of the time.
    void setComponent(int index);
    int shownComponent() const { return component; }

    int chartCount() const;
    std::vector<std::string> chartTitles() const;
    size_t pointCount() const;  // points drawn now, over every track
    uint64_t recordsShown() const { return recordsInRange; }
    // Records of sensor `index` in the window.
    uint64_t recordsShownOf(size_t index) const;
    size_t markersShown() const;  // markers inside the window
    const std::vector<ChartMarker>& markers() const { return marks; }
    double windowSeconds() const { return windowSec; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    // The samples of one kind of one sensor in the window: time (s, ≤ 0) and its value slots.
    struct KindSamples {
        std::vector<double> t;
        std::vector<std::vector<float>> values;
        std::vector<Gap> gaps;
    };
    struct SensorState {
        std::array<KindSamples, 7> kinds;
        uint64_t cursor = 0;  // the window's first record at the last draw
        uint64_t shown = 0;
    };
    struct ChartState {
        std::vector<Decimated> tracks;  // sensor-major: sensor * components + component
        double lo = 0, hi = 1;
    };
    void collect(SensorState& sensor, const LiveSource& source, int64_t endUtcMs,
                 uint64_t windowMs);
    void decimateAll();
    int plotColumns() const;
    std::vector<size_t> visibleRows() const;

    std::vector<SensorState> sensors;
    std::array<bool, 7> seen{};
    std::vector<ChartState> charts;  // one per layout row
    std::vector<ChartMarker> marks;
    int64_t endUtc = 0;
    int component = -1;
    double windowSec = 10;
    uint64_t recordsInRange = 0;
};

}  // namespace preview
