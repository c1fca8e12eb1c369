#include "preview/PlotData.h"

#include <algorithm>
#include <limits>
#include <numeric>
#include <span>

#include "preview/PreviewTexts.h"
#include "store/VRAXSensorData.h"

namespace preview {
namespace {

// Which values of a record kind make up each chart.
struct ChartLayout {
    int dataType;
    const char* title;
    int first;  // index of the first value
    std::span<const char* const> names;
    bool onlyWhenNonZero = false;  // filtered 16-bit AD values are absent from unfiltered files
};

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

// The samples of one record kind, in file order.
struct KindSamples {
    std::vector<double> t;
    std::vector<const SensorDataRecord*> records;
};

// Puts the samples in time order; most files are in order already.
void sortByTime(KindSamples& k) {
    if (std::is_sorted(k.t.begin(), k.t.end())) return;
    std::vector<size_t> order(k.t.size());
    std::iota(order.begin(), order.end(), size_t(0));
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return k.t[a] < k.t[b]; });
    KindSamples sorted;
    sorted.t.reserve(order.size());
    sorted.records.reserve(order.size());
    for (size_t i : order) {
        sorted.t.push_back(k.t[i]);
        sorted.records.push_back(k.records[i]);
    }
    k = std::move(sorted);
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
    PlotData out;
    out.records = store.count();
    if (out.records == 0) return out;

    // Time stamps are signed on the wire; the earliest is the origin.
    int64_t origin = std::numeric_limits<int64_t>::max();
    int64_t last = std::numeric_limits<int64_t>::min();
    for (uint64_t i = 0; i < out.records; ++i) {
        const int64_t ms = int64_t(store.getDataByIndex(i)->msTime);
        origin = std::min(origin, ms);
        last = std::max(last, ms);
    }
    // Differences of signed time stamps taken in unsigned arithmetic: exact
    // for any pair, where a signed subtraction could overflow.
    auto since = [origin](int64_t ms) { return double(uint64_t(ms) - uint64_t(origin)) / 1000.0; };
    out.duration = since(last);

    KindSamples kinds[7];
    for (uint64_t i = 0; i < out.records; ++i) {
        const SensorDataRecord* r = store.getDataByIndex(i);
        if (r->dataType < 0 || r->dataType > 6) continue;
        KindSamples& k = kinds[r->dataType];
        k.t.push_back(since(int64_t(r->msTime)));
        k.records.push_back(r);
    }

    int lastType = -1;
    double interval = 0;
    std::vector<Gap> gaps;
    for (const ChartLayout& layout : chartLayouts()) {
        KindSamples& k = kinds[layout.dataType];
        if (k.t.empty()) continue;
        if (layout.dataType != lastType) {
            sortByTime(k);
            interval = typicalInterval(k.t);
            gaps = findGaps(k.t, interval);
            lastType = layout.dataType;
        }
        Chart c;
        c.title = layout.title;
        c.dataType = layout.dataType;
        c.interval = interval;
        c.gaps = gaps;
        bool anyNonZero = false;
        for (size_t n = 0; n < layout.names.size(); ++n) {
            Track track;
            track.name = layout.names[n];
            track.values.reserve(k.records.size());
            for (const SensorDataRecord* r : k.records) {
                const int32_t v = r->values[layout.first + int(n)];
                anyNonZero = anyNonZero || v != 0;
                track.values.push_back(float(v));
            }
            c.tracks.push_back(std::move(track));
        }
        if (layout.onlyWhenNonZero && !anyNonZero) continue;
        c.t = k.t;
        out.charts.push_back(std::move(c));
    }
    out.missingStretches = countMissingStretches(out.charts);
    return out;
}

LoadFailure loadPlotFile(const std::string& path, PlotData& out) {
    VRAXSensorData store;
    store.setReadAD16FilterdData(true);
    if (!store.loadFromFileByCSV(path)) return LoadFailure::unreadable;
    out = buildPlotData(store);
    out.skippedLines = store.lastCSVLoad().skippedLines;
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
