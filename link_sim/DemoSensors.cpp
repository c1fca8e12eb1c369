#include "link_sim/DemoSensors.h"

namespace demo {

// Replays run at about the pace of a Bluetooth serial link, so that a
// download shows its progress.
constexpr uint32_t kDemoFramesPerSecond = 15000;

void addDemoSensors(SimulatedPlatform& platform) {
    auto s610 = std::make_shared<VirtualSensor>(VirtualModel::VRAX610);
    const uint32_t sizes[3] = {1500, 24000, 180000};
    for (int i = 0; i < 3; ++i) {
        VirtualEntry e = VirtualEntry::generated(610 + uint64_t(i), sizes[i], kKindsWithoutExt16ad);
        e.setStart(2026, 11, 28 + i, 9 + i, 15 * i, 30, 250 * i);
        s610->entries.push_back(e);
    }
    s610->faults.framesPerSecond = kDemoFramesPerSecond;
    platform.addDevice(kSensor610, kAddress610, s610);

    platform.addDevice("Lab Headset", "00:1B:DC:AA:00:03", nullptr);

    auto s650 = std::make_shared<VirtualSensor>(VirtualModel::VRAX650);
    VirtualEntry e650 = VirtualEntry::generated(650, 60000, kAllKinds);
    e650.setStart(2026, 12, 1, 14, 5, 0, 0);
    e650.ad16Gain = {1, 2, 4, 8};
    s650->entries.push_back(e650);
    s650->batteryVoltage = 3.71f;
    s650->faults.framesPerSecond = kDemoFramesPerSecond;
    platform.addDevice(kSensor650, kAddress650, s650);

    auto busy = std::make_shared<VirtualSensor>(VirtualModel::VRAX610);
    busy->faults.busy = true;
    platform.addDevice(kSensorBusy, kAddressBusy, busy);
}

}  // namespace demo
