// A BluetoothChannel over any connected stream file descriptor: an RFCOMM
// socket for a real sensor, one end of a socketpair() for a virtual one.
#pragma once

#include <memory>

#include "link/platform/BluetoothPlatform.h"

class QSocketNotifier;

class FdChannel : public BluetoothChannel {
  public:
    // Takes ownership of `fd` and makes it non-blocking.
    explicit FdChannel(int fd);
    ~FdChannel() override;
    FdChannel(const FdChannel&) = delete;
    FdChannel& operator=(const FdChannel&) = delete;

    int32_t write(const uint8_t* data, size_t length) override;
    void close() override;
    bool isOpen() const override { return fd >= 0; }

    // Longest time a write waits for room in the socket before it fails.
    static constexpr int kWriteWaitMs = 5000;

  private:
    void readAvailable();
    // Closes because of the far end or an error, and says so once.
    void closeFromFar();

    int fd = -1;
    std::unique_ptr<QSocketNotifier> notifier;
    // Shared with running callbacks so they notice when the channel is gone.
    std::shared_ptr<bool> alive = std::make_shared<bool>(true);
};
