// Download progress on standard error: a redrawn bar with records, total and
// rate on a terminal, plain lines (one every few seconds, and the last) otherwise.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace cli {

class Progress {
  public:
    Progress(std::string label, int64_t expected);
    void start();
    void update(uint64_t records);
    // Final count; ends the bar's line.
    void finish(uint64_t records);

    // Text of one report, for both kinds of output.
    static std::string line(const std::string& label, uint64_t records, int64_t expected,
                            double seconds, bool bar);

    // A download that `download --parallel` runs as a child (kChildVariable
    // set): its reports go to the parent as marker lines on standard error,
    // kMarker, a kind letter ('P' progress, 'F' final), then
    // " <records> <expected> <seconds> <label>".
    static constexpr const char* kChildVariable = "VRAXCTL_PARALLEL_CHILD";
    static constexpr char kMarker = '\x1e';
    static bool forParent();

  private:
    using Clock = std::chrono::steady_clock;
    std::string label;
    int64_t expected;
    bool terminal;
    bool parent;
    bool started = false;
    Clock::time_point startedAt;
    Clock::time_point lastShown;
};

}  // namespace cli
