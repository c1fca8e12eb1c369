#include "preview/PlotData.h"

#include <algorithm>
#include <array>
#include <limits>
#include <numeric>
#include <span>

#include "preview/PreviewTexts.h"
#include "store/VRAXSensorData.h"

namespace preview {

const std::vector<ChartLayout>& chartLayouts() {
    using namespace text;
    static const std::vector<ChartLayout> layouts = {
        {ags, kAccelerationAgs, 0, kAccTracks},
        {ags, kAngularVelocityAgs, 3, kGyroTracks},
        {qags, kQuaternionQags, 0, kQuaternionTracks},
        {qags, kAccelerationQags, 4, kAccTracks},
        {qags, kAngularVelocityQags, 7, kGyroTracks},
        {geo, kGeomagnetism, 0, kGeoTracks},
        {press, kPressure, 0, kPressureTracks},
        {press, kTemperature, 1, kTemperatureTracks},
        {batt, kBattery, 0, kBatteryTracks},
        {ext, kExternalPorts, 0, kPortTracks},
        {ext, kExternalAd, 4, kAdTracks},
        {ext16ad, kAd16Raw, 4, kAd16Tracks},
        {ext16ad, kAd16Filtered, 8, kAd16FilteredTracks, true},
    };
    return layouts;
}

namespace {

// Which value indexes of each kind some chart draws, as a bit mask.
const std::array<uint32_t, 7>& drawnValues() {
    static const std::array<uint32_t, 7> masks = [] {
        std::array<uint32_t, 7> m{};
        for (const ChartLayout& l : chartLayouts())
            for (size_t n = 0; n < l.names.size(); ++n)
                m[size_t(l.dataType)] |= 1u << (l.first + int(n));
        return m;
    }();
    return masks;
}

// The samples of one record kind, in file order: time stamps as they came
// and one column per value a chart draws. Only these columns are kept, never
// the whole records: a file of millions of records plots in a fraction of
// their size.
struct KindColumns {
    std::vector<int64_t> ms;
    std::vector<float> values[14];
    bool nonZero[14] = {};
    int drawn[14] = {};  // the indexes filled, ascending
    int drawnCount = 0;
};

class Columns {
  public:
    Columns() {
        for (int type = 0; type < 7; ++type)
            for (int i = 0; i < 14; ++i)
                if (drawnValues()[size_t(type)] & (1u << i))
                    kinds[type].drawn[kinds[type].drawnCount++] = i;
    }

    void add(const SensorDataRecord& r) {
        ++records;
        const auto ms = int64_t(r.msTime);
        // Time stamps are signed on the wire; the earliest is the origin.
        origin = std::min(origin, ms);
        last = std::max(last, ms);
        if (r.dataType < 0 || r.dataType > 6) return;
        KindColumns& k = kinds[r.dataType];
        k.ms.push_back(ms);
        for (int d = 0; d < k.drawnCount; ++d) {
            const int i = k.drawn[d];
            const int32_t v = r.values[i];
            k.nonZero[i] = k.nonZero[i] || v != 0;
            k.values[i].push_back(float(v));
        }
    }

    PlotData build();

  private:
    // Seconds from the origin. Differences of signed time stamps taken in
    // unsigned arithmetic: exact for any pair, where a signed subtraction
    // could overflow.
    double since(int64_t ms) const { return double(uint64_t(ms) - uint64_t(origin)) / 1000.0; }
    // The kind's time axis in seconds, its stamps released; samples put in
    // time order (most files are in order already).
    std::vector<double> timeAxis(KindColumns& k) const;

    KindColumns kinds[7];
    uint64_t records = 0;
    int64_t origin = std::numeric_limits<int64_t>::max();
    int64_t last = std::numeric_limits<int64_t>::min();
};

std::vector<double> Columns::timeAxis(KindColumns& k) const {
    std::vector<double> t(k.ms.size());
    for (size_t i = 0; i < t.size(); ++i) t[i] = since(k.ms[i]);
    std::vector<int64_t>().swap(k.ms);
    if (std::is_sorted(t.begin(), t.end())) return t;
    std::vector<size_t> order(t.size());
    std::iota(order.begin(), order.end(), size_t(0));
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return t[a] < t[b]; });
    std::vector<double> sorted(t.size());
    for (size_t i = 0; i < order.size(); ++i) sorted[i] = t[order[i]];
    for (int d = 0; d < k.drawnCount; ++d) {
        std::vector<float>& column = k.values[k.drawn[d]];
        std::vector<float> moved(column.size());
        for (size_t i = 0; i < order.size(); ++i) moved[i] = column[order[i]];
        column.swap(moved);
    }
    return sorted;
}

PlotData Columns::build() {
    PlotData out;
    out.records = records;
    if (records == 0) return out;
    out.duration = since(last);

    const auto& layouts = chartLayouts();
    for (size_t l = 0; l < layouts.size();) {
        // The charts of one kind follow each other in the layout list.
        const int type = layouts[l].dataType;
        size_t endOfKind = l;
        while (endOfKind < layouts.size() && layouts[endOfKind].dataType == type) ++endOfKind;
        KindColumns& k = kinds[type];
        if (k.ms.empty()) {
            l = endOfKind;
            continue;
        }
        std::vector<double> t = timeAxis(k);
        const double interval = typicalInterval(t);
        const std::vector<Gap> gaps = findGaps(t, interval);
        std::vector<Chart> charts;
        for (; l < endOfKind; ++l) {
            const ChartLayout& layout = layouts[l];
            bool anyNonZero = false;
            for (size_t n = 0; n < layout.names.size(); ++n)
                anyNonZero = anyNonZero || k.nonZero[layout.first + int(n)];
            if (layout.onlyWhenNonZero && !anyNonZero) continue;
            Chart c;
            c.title = layout.title;
            c.dataType = type;
            c.interval = interval;
            c.gaps = gaps;
            for (size_t n = 0; n < layout.names.size(); ++n) {
                Track track;
                track.name = layout.names[n];
                track.values.swap(k.values[layout.first + int(n)]);
                track.values.shrink_to_fit();
                c.tracks.push_back(std::move(track));
            }
            charts.push_back(std::move(c));
        }
        // Each chart its own copy of the time axis; the last takes it.
        for (size_t i = 0; i < charts.size(); ++i) {
            if (i + 1 < charts.size())
                charts[i].t = t;
            else
                charts[i].t = std::move(t);
            out.charts.push_back(std::move(charts[i]));
        }
    }
    out.missingStretches = countMissingStretches(out.charts);
    return out;
}

}  // namespace

double typicalInterval(const std::vector<double>& t) {
    std::vector<double> steps;
    steps.reserve(t.size());
    for (size_t i = 1; i < t.size(); ++i)
        if (t[i] > t[i - 1]) steps.push_back(t[i] - t[i - 1]);
    if (steps.empty()) return 0;
    auto mid = steps.begin() + std::ptrdiff_t(steps.size() / 2);
    std::nth_element(steps.begin(), mid, steps.end());
    return *mid;
}

std::vector<Gap> findGaps(const std::vector<double>& t, double interval) {
    std::vector<Gap> gaps;
    if (interval <= 0) return gaps;
    const double limit = interval * kGapIntervals;
    for (size_t i = 1; i < t.size(); ++i)
        if (t[i] - t[i - 1] > limit) gaps.push_back({i, t[i - 1], t[i]});
    return gaps;
}

int countMissingStretches(const std::vector<Chart>& charts) {
    std::vector<std::pair<double, double>> spans;
    for (const Chart& c : charts)
        for (const Gap& g : c.gaps) spans.emplace_back(g.from, g.to);
    std::sort(spans.begin(), spans.end());
    int count = 0;
    double end = -std::numeric_limits<double>::infinity();
    for (const auto& [from, to] : spans) {
        if (from >= end) ++count;  // starts after every stretch so far
        end = std::max(end, to);
    }
    return count;
}

PlotData buildPlotData(const VRAXSensorData& store) {
    Columns columns;
    for (uint64_t i = 0; i < store.count(); ++i) columns.add(*store.getDataByIndex(i));
    return columns.build();
}

LoadFailure loadPlotFile(const std::string& path, PlotData& out) {
    // Straight from the file into the charts' columns.
    Columns columns;
    CsvLoadReport report;
    if (!VRAXSensorData::readCSVRecords(path, true, report,
                                        [&](const SensorDataRecord& r) { columns.add(r); }))
        return LoadFailure::unreadable;
    out = columns.build();
    out.skippedLines = report.skippedLines;
    return out.charts.empty() ? LoadFailure::noSamples : LoadFailure::none;
}

const char* loadFailureReason(LoadFailure failure) {
    switch (failure) {
        case LoadFailure::unreadable:
            return text::kUnreadableFileEnglish;
        case LoadFailure::noSamples:
            return text::kNoSamplesEnglish;
        case LoadFailure::none:
            break;
    }
    return "";
}

std::string loadFailureMessage(LoadFailure failure, const std::string& path) {
    switch (failure) {
        case LoadFailure::unreadable:
            return text::withPath(text::kUnreadableFile, path);
        case LoadFailure::noSamples:
            return text::withPath(text::kNoSamples, path);
        case LoadFailure::none:
            break;
    }
    return {};
}

bool loadPlotFile(const std::string& path, PlotData& out, std::string& error) {
    const LoadFailure failure = loadPlotFile(path, out);
    if (failure == LoadFailure::none) return true;
    error = loadFailureMessage(failure, path);
    return false;
}

}  // namespace preview
