// The virtual sensor's channel: opening and closing it, and what it has heard and holds.
#include "sim/VirtualSensor.h"

VirtualSensor::VirtualSensor(VirtualModel m) : model(m) {}

uint64_t VirtualSensor::recordsHeld() const {
    uint64_t n = 0;
    for (const VirtualEntry& e : entries) n += e.recordCount();
    return n;
}

std::vector<uint8_t> VirtualSensor::receivedCodes() const {
    std::vector<uint8_t> codes;
    for (const auto& f : hostFrames) codes.push_back(f[1]);
    return codes;
}

void VirtualSensor::open() {
    opened = true;
    silent = false;
    closeNow = false;
    input.clear();
    replies.clear();
    replyPos = 0;
    partial.clear();
    partialPos = 0;
    replay = Replay{};
    liveOut.clear();
    liveOutPos = 0;
}

void VirtualSensor::close() {
    open();
    opened = false;
}
