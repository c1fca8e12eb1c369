// Virtual sensors presented as paired devices. Opening one makes a
// socketpair(): the host end becomes an ordinary FdChannel, the far end is
// served on the event loop of the thread that opened the channel by a driver
// that feeds the virtual sensor the bytes written and writes back what it
// answers. Closing the channel ends its far end in that same thread, so
// sessions on worker threads each serve their own sensor.
#pragma once

#include <map>
#include <memory>
#include <mutex>

#include "link/platform/BluetoothPlatform.h"
#include "sim/VirtualSensor.h"

class SimulatedLink;

class SimulatedPlatform : public BluetoothPlatform {
  public:
    SimulatedPlatform();
    ~SimulatedPlatform() override;

    // Adds a device to the paired list (or, with paired false, one that is
    // known but not paired). Returns the sensor for tests to adjust (while no
    // session on another thread uses it); devices added with a null sensor
    // (a headset, say) cannot be opened.
    VirtualSensor* addDevice(const std::string& name, const std::string& address,
                             std::shared_ptr<VirtualSensor> sensor, bool paired = true);
    VirtualSensor* sensorAt(const std::string& address);
    // Forgets every device and closes every far end: call it while no
    // channel is open on another thread.
    void removeAll();
    // With false, pairedDevices() gives no list at all, as with no BlueZ.
    void setPairedListAvailable(bool available);
    // Plays a Bluetooth state (adapter off, no adapter, ...); listeners hear of it.
    void setState(BluetoothState state);
    // Unpairs a device; listeners hear of it.
    void removeDevice(const std::string& address);
    // Far ends currently open.
    size_t openLinks() const;

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
    // What sessions on several threads share, under `lock`. Channels hold it
    // weakly, so one that outlives the platform closes only its own end.
    struct Shared {
        Shared();
        ~Shared();
        std::mutex lock;
        std::vector<Device> devices;
        std::map<uint64_t, std::unique_ptr<SimulatedLink>> links;  // by number
        uint64_t nextLink = 1;
        bool listAvailable = true;
        BluetoothState simulatedState = BluetoothState::ready;
        // Ends far end `id` in the calling thread (the one that opened it);
        // with `drain`, it first takes what the host wrote.
        void endLink(uint64_t id, bool drain);
    };
    class Channel;
    // With shared->lock held.
    Device* find(const BluetoothAddress& address);
    // The serial port channel of a virtual sensor, and the socketpair to it.
    int32_t serialPortChannel(const BluetoothAddress& address, uint8_t& channel, bool& found);
    std::unique_ptr<BluetoothChannel> openChannel(const BluetoothAddress& address, uint8_t channel,
                                                  int32_t& status);

    std::shared_ptr<Shared> shared = std::make_shared<Shared>();
};
