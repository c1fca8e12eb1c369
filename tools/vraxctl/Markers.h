// Markers of a live session. Each line typed on standard input, or sent
// with `vraxctl mark` through the marker pipe in the --out folder, becomes
// one event in events.tsv of the session's day folder (store/MarkerLog).
#pragma once

#include <QSocketNotifier>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "store/MarkerLog.h"

namespace cli {

// The marker pipe's name in the --out folder.
inline constexpr const char* kMarkerPipe = "vraxctl-marks.fifo";
// The events writer is the store's, shared with the window.
using markers::eventRow;
using markers::kMarkerTextLimit;
using markers::markerField;
using markers::MarkerLog;

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
