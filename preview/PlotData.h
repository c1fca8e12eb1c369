// The samples of a download arranged for plotting: one chart per measured
// quantity, each with its time axis in seconds from the first sample, its
// value columns and the gaps in its time stamps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

class VRAXSensorData;

namespace preview {

// Which values of a record kind make up each chart, in the order the charts
// are stacked; the preview and the live view draw the same charts.
struct ChartLayout {
    int dataType;
    const char* title;
    int first;  // index of the first value
    std::span<const char* const> names;
    bool onlyWhenNonZero = false;  // filtered 16-bit AD values are absent from unfiltered files
};
const std::vector<ChartLayout>& chartLayouts();

struct Track {
    std::string name;
    std::vector<float> values;  // one per time stamp of the chart
};

// A stretch without samples: between t[index - 1] and t[index].
struct Gap {
    size_t index = 0;
    double from = 0;
    double to = 0;
};

struct Chart {
    std::string title;
    int dataType = 0;
    std::vector<double> t;  // seconds from the first sample of the file, ascending
    std::vector<Track> tracks;
    double interval = 0;  // typical sample interval in seconds, 0 when unknown
    std::vector<Gap> gaps;
};

struct PlotData {
    std::vector<Chart> charts;
    uint64_t records = 0;
    double duration = 0;  // seconds from the first to the last sample
    // Stretches missing in the data: the gaps of all charts, overlapping
    // ones counted once.
    int missingStretches = 0;
    uint64_t skippedLines = 0;  // lines of the file that gave no record
};

// A time step larger than this many typical intervals is a gap.
inline constexpr double kGapIntervals = 10.0;

// Typical interval of ascending time stamps: the median of the positive
// steps, 0 with fewer than two distinct stamps.
double typicalInterval(const std::vector<double>& t);
std::vector<Gap> findGaps(const std::vector<double>& t, double interval);
// Number of separate stretches covered by the gaps of all charts.
int countMissingStretches(const std::vector<Chart>& charts);

PlotData buildPlotData(const VRAXSensorData& store);

// Why a file gives nothing to plot.
enum class LoadFailure {
    none,
    unreadable,  // missing, unreadable or not text
    noSamples,   // read, but no record of a kind the preview draws
};

// Loads a CSV file of our formats through the store's loader; `none` when
// it gives something to plot.
LoadFailure loadPlotFile(const std::string& path, PlotData& out);
// The reason in English, without the path, for command lines: "cannot be
// read, or it is not a text file"; empty for `none`.
const char* loadFailureReason(LoadFailure failure);
// The message for the user (Japanese) with the path on a line of its own;
// empty for `none`.
std::string loadFailureMessage(LoadFailure failure, const std::string& path);
// Loads the file; false with the message for the user in `error`.
bool loadPlotFile(const std::string& path, PlotData& out, std::string& error);

}  // namespace preview
