// The few Bluetooth Classic operations the link and the paired-sensor lookup
// need. Backends: BlueZ (system D-Bus, kernel RFCOMM sockets) and a simulated
// one whose virtual sensors sit at the far end of a socketpair().
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QObject;

using BluetoothAddress = std::array<uint8_t, 6>;

struct PairedDevice {
    std::string name;     // may be empty when the device has no name
    std::string address;  // text form, "00:11:22:AA:BB:CC"
};

// Platform status words carried in the link's error word. 0 is success;
// otherwise a negative errno, except the values below.
namespace PlatformStatus {
inline constexpr int32_t ok = 0;
// The device is held by another client (EBUSY).
inline constexpr int32_t exclusiveAccess = int32_t(0xE00002C5u);
// The device has no serial port service record (-ENOENT).
inline constexpr int32_t noSerialPortService = -2;
// The adapter is off, blocked or absent (-ENETDOWN): nothing can connect.
inline constexpr int32_t bluetoothOff = -100;
// The user cancelled the connect (-ECANCELED).
inline constexpr int32_t cancelled = -125;
int32_t fromErrno(int err);
}  // namespace PlatformStatus

// An open RFCOMM channel (or any connected stream). Callbacks arrive on the
// Qt event loop of the thread that opened it.
class BluetoothChannel {
  public:
    virtual ~BluetoothChannel() = default;
    // Writes every byte; 0 on success, else a platform status. A failed or
    // short write closes the channel.
    virtual int32_t write(const uint8_t* data, size_t length) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;

    std::function<void(const uint8_t* data, size_t length)> onData;
    std::function<void()> onClosed;  // far end closed, or a read/write error
};

// Why sensors can or cannot be listed and reached.
enum class BluetoothState {
    ready,           // an adapter is powered: paired devices can be listed and opened
    noSystemBus,     // no system D-Bus to ask
    noBlueZ,         // BlueZ does not answer on the system bus
    noAdapter,       // BlueZ runs but has no Bluetooth adapter
    adapterOff,      // the adapter is powered off
    adapterBlocked,  // the adapter is blocked (rfkill)
};

// The state in a few English words, for command-line tools and logs.
const char* describe(BluetoothState state);

// What the slow part of a connect found: run on a worker thread, it looks up
// the serial port channel and (where the backend can) connects the socket.
struct ConnectAttempt {
    int32_t status = 0;  // a platform status
    bool found = false;  // the device has a serial port service
    uint8_t channel = 0;
    int fd = -1;  // a connected descriptor, or -1 where the channel is made afterwards
};

// Sessions on worker threads use the current platform at once: backends
// guard their own state, and a channel is used and destroyed in the thread
// that opened it. The change listener is told on the main thread.
class BluetoothPlatform {
  public:
    BluetoothPlatform();
    virtual ~BluetoothPlatform();

    // The state of Bluetooth as the platform sees it now.
    virtual BluetoothState state() = 0;
    // Called on the event loop whenever the paired list or the adapter state
    // may have changed (a device paired or removed, the adapter switched),
    // once per turn of the loop however many changes came together.
    void setChangeListener(std::function<void()> listener) { changed = std::move(listener); }

    // Paired devices in the platform's order; nullopt when the platform
    // gives no paired list at all (no bus, no BlueZ).
    virtual std::optional<std::vector<PairedDevice>> pairedDevices() = 0;
    // Parses "XX:XX:XX:XX:XX:XX"; returns a platform status.
    virtual int32_t parseAddress(const std::string& text, BluetoothAddress& address) = 0;
    // The slow part of connecting to `address` (SDP lookup, socket connect)
    // as a job for a worker thread: it holds copies of what it needs and
    // touches no Qt object and not the platform. Made on the event loop.
    virtual std::function<ConnectAttempt()> connectJob(const BluetoothAddress& address) = 0;
    // The channel of a finished attempt, on the event loop. On failure
    // returns null with `status` set (and closes attempt.fd).
    virtual std::unique_ptr<BluetoothChannel> channelFor(const BluetoothAddress& address,
                                                         ConnectAttempt& attempt,
                                                         int32_t& status) = 0;

    // The platform that the link and the lookup use. Never null: the BlueZ
    // backend unless a program or test installs another.
    static BluetoothPlatform& current();
    static void setCurrent(BluetoothPlatform* platform);  // null restores BlueZ

    // The address text form both backends use ("00:11:22:AA:BB:CC", as BlueZ
    // writes it); parsing accepts either letter case.
    static int32_t parseAddressText(const std::string& text, BluetoothAddress& address);
    static std::string addressText(const BluetoothAddress& address);

  protected:
    // Tells the listener, from the event loop, after the changes at hand.
    void notifyChanged();

  private:
    std::function<void()> changed;
    std::unique_ptr<QObject> pendingCall;  // context of a call not yet made
};
