// Waits that keep the Qt event loop running, so channel callbacks (and with
// them the receive parser) and user input are served while they last.
#pragma once

#include <functional>

namespace eventwait {

// Runs the event loop for `seconds` (nothing when seconds <= 0).
void runFor(double seconds);

// The one polling wait: runs the event loop in slices of `slice` seconds and
// asks `done()` after each, for `seconds` worth of slices. The elapsed time
// is summed in single precision, as the sensor's waits have always counted
// it (a 2.0 s wait is 200 slices). Returns whether `done()` became true.
bool runUntil(const std::function<bool()>& done, double seconds, double slice = 0.01);

}  // namespace eventwait
