// The Linux backend: paired devices from BlueZ on the system D-Bus, the
// serial port service's channel from the device's SDP server, and a kernel
// RFCOMM socket as the channel.
#pragma once

#include "link/platform/BluetoothPlatform.h"

class BlueZPlatform : public BluetoothPlatform {
  public:
    BluetoothState state() override;
    std::optional<std::vector<PairedDevice>> pairedDevices() override;
    int32_t parseAddress(const std::string& text, BluetoothAddress& address) override;
    int32_t serialPortChannel(const BluetoothAddress& address, uint8_t& channel,
                              bool& found) override;
    std::unique_ptr<BluetoothChannel> openChannel(const BluetoothAddress& address, uint8_t channel,
                                                  int32_t& status) override;
    std::function<ConnectAttempt()> connectJob(const BluetoothAddress& address) override;
    std::unique_ptr<BluetoothChannel> channelFor(const BluetoothAddress& address,
                                                 ConnectAttempt& attempt, int32_t& status) override;

    // Why the last pairedDevices() gave no list, for tools that say so.
    const std::string& lastError() const { return error; }

    // Time limits of the blocking steps.
    static constexpr int kBusTimeoutMs = 3000;
    static constexpr int kConnectTimeoutMs = 15000;

  private:
    std::string error;
};
