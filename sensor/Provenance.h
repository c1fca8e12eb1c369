// The sidecars of the files a session writes: what the session knows about
// the sensor, the entry, the clock and the settings, handed to the sidecar
// writer (store/Sidecar.h) once a data file is final.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "sensor/SensorSession.h"
#include "store/Sidecar.h"

namespace provenance {

// The program named in every sidecar; front ends set it once at start.
void setTool(const std::string& name, const std::string& version);
const std::string& toolName();
const std::string& toolVersion();

// What every sidecar of a sensor's file says about the sensor and the tool.
sidecar::Description describeSensor(VRAXSensor& sensor, const std::string& saveFolder);

// The sidecar of a download's file (complete or incomplete); false with
// `error` set when it could not be written.
bool writeDownloadSidecar(VRAXSensor& sensor, const session::DownloadRequest& request,
                          const session::DownloadReport& report, session::Result result,
                          std::string& error);

// The sidecars of a live session's files, in order.
struct LiveStart {
    session::ClockTime start;  // host local time at the start
    double boundMs = 0;        // half the start command's round trip
    int64_t startUtcMs = 0;
    bool lastComplete = true;  // false: the last file was kept as incomplete
};
bool writeLiveSidecars(VRAXSensor& sensor, const session::LiveRequest& request,
                       const measure::Config& config, const LiveStart& start,
                       const std::vector<std::string>& files, std::string& error);

}  // namespace provenance
