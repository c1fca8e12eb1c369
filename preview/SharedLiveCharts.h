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
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "preview/ChartStack.h"
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

class SharedLiveCharts : public ChartStack {
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

    // Records of sensor `index` in the window.
    uint64_t recordsShownOf(size_t index) const;
    size_t markersShown() const;  // markers inside the window
    const std::vector<ChartMarker>& markers() const { return marks; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    struct SensorState {
        std::array<KindSamples, 7> kinds = emptyKinds();
        uint64_t cursor = 0;  // the window's first record at the last draw
        uint64_t shown = 0;
    };
    void collect(SensorState& sensor, const LiveSource& source, int64_t endUtcMs,
                 uint64_t windowMs);
    // A chart's tracks are sensor-major: sensor * components + component.
    void decimateAll() override;

    std::vector<SensorState> sensors;
    std::vector<ChartMarker> marks;
    int64_t endUtc = 0;
    int component = -1;
};

}  // namespace preview
