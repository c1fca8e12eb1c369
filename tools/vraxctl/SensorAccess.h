// What the sensor commands share: the paired sensors of the run's backend,
// found by name or address, and the --capture file of their sessions.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "link/BtUtilClass.h"
#include "link_sim/BackendChoice.h"
#include "sensor/SensorSession.h"
#include "tools/vraxctl/Capture.h"
#include "tools/vraxctl/Cli.h"

namespace cli {

// The options of every command that talks to one sensor.
struct SensorOptions {
    bool demo = false;
    std::string capturePath;  // empty: no capture
    std::string sensor;       // name or address
};

struct SensorRef {
    std::string name;
    std::string address;
    const char* model() const { return BtUtilClass::modelName(name); }
};

// ASCII letters in lower case.
std::string lower(std::string s);

// The Bluetooth backend of this run (BlueZ, or with --demo the virtual
// sensors); warns of VRAXCTL_DEMO_FAULT items that are not faults.
class SensorBackend {
  public:
    explicit SensorBackend(bool demo);

    // The paired supported sensors; false with a message when there is no list.
    bool sensors(std::vector<SensorRef>& out);
    // Finds a sensor by name or address; sets `code` when it cannot.
    std::optional<SensorRef> find(const std::string& key, int& code);

  private:
    BackendChoice choice;
};

// --capture: the bytes of every session of this run, with markers.
class CaptureSink {
  public:
    explicit CaptureSink(const std::string& path);
    bool failedToOpen() const { return failed; }

    void attach(session::SensorSession& s, const std::string& command);
    void marker(const capture::Fields& fields) {
        if (writer.isOpen()) writer.marker(fields);
    }
    // Closes the file; `code` becomes a file error when writing failed.
    void close(int& code);

  private:
    capture::Writer writer;
    bool failed = false;
};

// Reads the --config file and checks it for this sensor's model; 0 or the
// exit code of the failure, which it has reported.
int loadConfig(const std::string& configPath, const SensorRef& ref, measure::Config& config);

// Runs `body(ref, session)` on the sensor named in the options, with the
// run's backend and capture; returns its exit code.
template <typename Body>
int withSensor(const SensorOptions& o, const char* command, Body body) {
    SensorBackend backend(o.demo);
    CaptureSink capture(o.capturePath);
    if (capture.failedToOpen()) return Exit::fileError;
    int code = Exit::ok;
    std::optional<SensorRef> ref = backend.find(o.sensor, code);
    if (ref) {
        session::SensorSession s(ref->name, ref->address);
        capture.attach(s, command);
        code = body(*ref, s);
    }
    capture.close(code);
    return code;
}

}  // namespace cli
