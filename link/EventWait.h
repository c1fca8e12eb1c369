// Waits that keep the Qt event loop running, so channel callbacks (and with
// them the receive parser) and user input are served while they last.
#pragma once

#include <functional>

namespace eventwait {

// Runs the event loop for `seconds` (nothing when seconds <= 0).
void runFor(double seconds);

// Runs the event loop in slices of `slice` seconds until `done()` is true or
// `seconds` have passed. Returns whether `done()` became true.
bool runUntil(const std::function<bool()>& done, double seconds, double slice = 0.01);

}  // namespace eventwait
