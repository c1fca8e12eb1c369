// Session outcomes as vraxctl tells them: a message naming the sensor, and
// the exit code.
#pragma once

#include <string>

#include "sensor/SensorSession.h"

namespace cli {

// Says what went wrong, in the sensor's name, and gives the exit code.
// The download's own failures are told by the download (it names the file).
int report(const session::Outcome& o, const std::string& rawName);

// How a download ended, in a few words (the capture's transfer-end marker).
const char* resultText(session::Result result);

}  // namespace cli
