// Markers of a live session. Each line typed on standard input, or sent
// with `vraxctl mark` through the marker pipe in the --out folder, becomes
// one event in events.tsv of the session's day folder: onset (seconds from
// the session's start), duration, trial_type (the text), utc, and the time
// on each sensor's axis (its records' time stamps), mapped through the
// latest (sensor time, host receive time) pair of that sensor.
#pragma once

#include <QSocketNotifier>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "store/TsvSidecar.h"
#include "store/VRAXSensorData.h"

namespace cli {

// The marker pipe's name in the --out folder.
inline constexpr const char* kMarkerPipe = "vraxctl-marks.fifo";
// The longest marker text kept (bytes); a longer line is cut.
inline constexpr size_t kMarkerTextLimit = 400;

// Text of a marker as one TSV field: tabs, line ends and other control
// characters become spaces, the ends are trimmed, and it is cut at
// kMarkerTextLimit (at a character's start).
std::string markerField(const std::string& text);

// The first columns of an event row: onset (seconds from `startUtcMs`),
// duration 0, the label, and the UTC time.
std::string eventRow(const std::string& label, int64_t utcMs, int64_t startUtcMs);

class MarkerLog {
  public:
    MarkerLog(std::string dayFolder, std::vector<std::string> sensors, int64_t startUtcMs);
    void setTimePair(size_t sensor, const TimePair& pair);
    // One event at `utcMs`; an empty text is no event. False when it could
    // not be written (error() says why).
    bool add(const std::string& text, int64_t utcMs);
    uint64_t events() const { return file.rows(); }
    // Publishes events.tsv (a numbered name when taken); its name, or empty.
    std::string finish();
    const std::string& error() const { return why; }

  private:
    std::string folder;
    std::vector<std::string> sensors;
    std::vector<std::optional<TimePair>> pairs;
    int64_t startUtc;
    TsvSidecar file;
    std::string why;
};

// Reads marker lines from standard input and the marker pipe on the event
// loop and hands each to `take` with the host UTC time it stands for.
class MarkerInput {
  public:
    using Take = std::function<void(const std::string& text, int64_t utcMs)>;
    MarkerInput(const std::string& outFolder, Take take);
    ~MarkerInput();
    MarkerInput(const MarkerInput&) = delete;
    MarkerInput& operator=(const MarkerInput&) = delete;
    // Lines still held without a line end (at the end of input) are taken.
    void flush();

  private:
    void readFrom(int fd, std::string& held, bool fromPipe);
    void takeLine(const std::string& line, bool fromPipe);

    Take take;
    std::unique_ptr<QSocketNotifier> inputNote, pipeNote;
    std::string inputHeld, pipeHeld;
    bool inputDropping = false, pipeDropping = false;
    int pipeFd = -1;
    std::string pipePath;
};

// `vraxctl mark`: sends one marker to the live session that listens in
// `outFolder`; with none, adds it on host time to the recording session
// noted there last. 0 or the exit code; messages on standard error.
int sendMarker(const std::string& outFolder, const std::string& text);

}  // namespace cli
