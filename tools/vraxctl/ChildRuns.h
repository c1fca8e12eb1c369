// Several sensors at once, one vraxctl child process per sensor: a session
// waits in nested event loops, so one sensor per process keeps each
// sequence exactly as it runs alone. The parent shows the children's lines,
// one progress line per running child (redrawn on a terminal, plain lines
// otherwise), hands their other marker lines to the caller and passes an
// interruption on to them.
#pragma once

#include <QProcess>
#include <QStringList>
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tools/vraxctl/SensorAccess.h"

namespace cli {

// The screen of the children: their lines as they come, and on a terminal
// one progress line per running child under them, redrawn in place;
// elsewhere a plain progress line every few seconds and the last.
class ParallelScreen {
  public:
    ParallelScreen();
    void print(const std::string& line, bool toStderr);
    // A progress marker line of the child `row` (see Progress).
    void progress(size_t row, const std::string& marker);
    void ended(size_t row);
    void resize(size_t n) { rows.resize(n); }
    // Leaves the terminal without progress lines.
    void finish() { clear(); }

  private:
    struct Row {
        std::string text;
        std::chrono::steady_clock::time_point lastPlain = std::chrono::steady_clock::now();
    };
    void clear();
    void draw();

    bool terminal;
    std::vector<Row> rows;
    int drawn = 0;
    std::chrono::steady_clock::time_point lastDrawn;
};

// One sensor and the child that works on it.
struct ChildRun {
    SensorRef ref;
    int code = 0;  // the child's exit code; negative: it ended by a signal
    bool started = false;
    bool running = false;
    bool done = false;
    std::unique_ptr<QProcess> process;
    std::string pending[2];  // partial lines: standard output, standard error
    // Marker lines other than progress ('P', 'F'), the marker byte included.
    std::function<void(const std::string& line)> onMarker;
};

// Runs `vraxctl <arguments(child)>` for the children, at most `atOnce` at
// a time, until all have ended or an interruption stopped them.
void runChildren(std::vector<ChildRun>& children, int atOnce,
                 const std::function<QStringList(const ChildRun&)>& arguments,
                 ParallelScreen& screen);

}  // namespace cli
