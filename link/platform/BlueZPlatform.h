// The Linux backend: paired devices and the adapters' state from BlueZ on
// the system D-Bus, followed live through its signals; the serial port
// service's channel from the device's SDP server, and a kernel RFCOMM socket
// as the channel, both bound to the adapter that holds the device's pairing.
// Sessions on worker threads use it at once: its state is guarded, the
// watcher of BlueZ's signals lives in the main thread, and a channel belongs
// to the thread that opened it.
#pragma once

#include <map>
#include <memory>
#include <mutex>

#include "link/platform/BluetoothPlatform.h"

class BlueZWatcher;

class BlueZPlatform : public BluetoothPlatform {
  public:
    BlueZPlatform();
    ~BlueZPlatform() override;

    BluetoothState state() override;
    std::optional<std::vector<PairedDevice>> pairedDevices() override;
    int32_t parseAddress(const std::string& text, BluetoothAddress& address) override;
    std::function<ConnectAttempt()> connectJob(const BluetoothAddress& address) override;
    std::unique_ptr<BluetoothChannel> channelFor(const BluetoothAddress& address,
                                                 ConnectAttempt& attempt, int32_t& status) override;

    // Why the last look at BlueZ gave no list, for tools that say so.
    std::string lastError() const;

    // Time limits of the blocking steps.
    static constexpr int kBusTimeoutMs = 3000;
    static constexpr int kConnectTimeoutMs = 15000;

  private:
    // Asks BlueZ for its objects: the paired devices, their adapters and
    // the adapters' state. False when there is no answer (state says why).
    // Called with `lock` held.
    bool refresh();
    // The adapter that holds `address`'s pairing (zero: any adapter).
    BluetoothAddress adapterOf(const BluetoothAddress& address);
    void watch();

    mutable std::mutex lock;  // guards everything below
    std::string error;
    BluetoothState lastState = BluetoothState::noBlueZ;
    std::vector<PairedDevice> devices;
    std::map<std::string, BluetoothAddress> deviceAdapter;  // device address text -> adapter
    std::unique_ptr<BlueZWatcher> watcher;
};
