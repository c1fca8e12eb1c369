// Virtual sensors presented as paired devices. Opening one makes a
// socketpair(): the host end becomes an ordinary FdChannel, the far end is
// served on the event loop by a driver that feeds the virtual sensor the
// bytes written and writes back what it answers.
#pragma once

#include <map>
#include <memory>

#include "link/platform/BluetoothPlatform.h"
#include "sim/VirtualSensor.h"

class SimulatedLink;

class SimulatedPlatform : public BluetoothPlatform {
  public:
    SimulatedPlatform();
    ~SimulatedPlatform() override;

    // Adds a device to the paired list (or, with paired false, one that is
    // known but not paired). Returns the sensor for tests to adjust; devices
    // added with a null sensor (a headset, say) cannot be opened.
    VirtualSensor* addDevice(const std::string& name, const std::string& address,
                             std::shared_ptr<VirtualSensor> sensor, bool paired = true);
    VirtualSensor* sensorAt(const std::string& address);
    void removeAll();
    // With false, pairedDevices() gives no list at all, as with no BlueZ.
    void setPairedListAvailable(bool available) { listAvailable = available; }
    // Plays a Bluetooth state (adapter off, no adapter, ...); listeners hear of it.
    void setState(BluetoothState state);
    // Unpairs a device; listeners hear of it.
    void removeDevice(const std::string& address);
    // Far ends currently open.
    size_t openLinks() const { return links.size(); }

    BluetoothState state() override;
    std::optional<std::vector<PairedDevice>> pairedDevices() override;
    int32_t parseAddress(const std::string& text, BluetoothAddress& address) override;
    std::function<ConnectAttempt()> connectJob(const BluetoothAddress& address) override;
    std::unique_ptr<BluetoothChannel> channelFor(const BluetoothAddress& address,
                                                 ConnectAttempt& attempt, int32_t& status) override;

    // The channel id every virtual sensor's serial port service has.
    static constexpr uint8_t kChannel = 1;

  private:
    struct Device {
        std::string name;
        std::string address;
        std::shared_ptr<VirtualSensor> sensor;
        bool paired = true;
    };
    Device* find(const BluetoothAddress& address);
    // The serial port channel of a virtual sensor, and the socketpair to it.
    int32_t serialPortChannel(const BluetoothAddress& address, uint8_t& channel, bool& found);
    std::unique_ptr<BluetoothChannel> openChannel(const BluetoothAddress& address, uint8_t channel,
                                                  int32_t& status);
    void linkEnded(SimulatedLink* link);

    std::vector<Device> devices;
    std::map<SimulatedLink*, std::unique_ptr<SimulatedLink>> links;
    bool listAvailable = true;
    BluetoothState simulatedState = BluetoothState::ready;
};
