// The Bluetooth backend of a program run: BlueZ, or the demo's virtual
// sensors. The chosen one is the current platform while the object lives.
#pragma once

#include <string>
#include <vector>

#include "link/platform/BlueZPlatform.h"
#include "link_sim/SimulatedPlatform.h"

class BackendChoice {
  public:
    // Adjusts the demo's sensors for tests (demo::applyFaults).
    static constexpr const char* kFaultVariable = "VRAXCTL_DEMO_FAULT";

    // With `demo`, the demo's sensors, adjusted by VRAXCTL_DEMO_FAULT when it
    // is set; otherwise BlueZ.
    explicit BackendChoice(bool demo);
    ~BackendChoice();
    BackendChoice(const BackendChoice&) = delete;
    BackendChoice& operator=(const BackendChoice&) = delete;

    bool isDemo() const { return demo; }
    BluetoothPlatform& platform();
    // Why BlueZ gave no paired list; empty with the demo.
    std::string lastError() const;
    // The items of VRAXCTL_DEMO_FAULT that are not faults (ignored).
    const std::vector<std::string>& rejectedFaults() const { return rejected; }

  private:
    bool demo;
    SimulatedPlatform simulated;
    BlueZPlatform bluez;
    std::vector<std::string> rejected;
};
