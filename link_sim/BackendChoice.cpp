#include "link_sim/BackendChoice.h"

#include <cstdlib>

#include "link_sim/DemoSensors.h"

BackendChoice::BackendChoice(bool demo) : demo(demo) {
    if (demo) {
        demo::addDemoSensors(simulated);
        if (const char* faults = std::getenv(kFaultVariable))
            demo::applyFaults(simulated, faults, rejected);
    }
    BluetoothPlatform::setCurrent(&platform());
}

BackendChoice::~BackendChoice() {
    BluetoothPlatform::setCurrent(nullptr);
}

BluetoothPlatform& BackendChoice::platform() {
    if (demo) return simulated;
    return bluez;
}

std::string BackendChoice::lastError() const {
    return demo ? std::string() : bluez.lastError();
}
