#include "link/platform/BluetoothPlatform.h"

#include <QObject>
#include <QTimer>
#include <atomic>
#include <cerrno>

#include "link/platform/BlueZPlatform.h"

namespace PlatformStatus {
int32_t fromErrno(int err) {
    if (err == 0) return ok;
    if (err == EBUSY) return exclusiveAccess;
    return -err;
}
}  // namespace PlatformStatus

const char* describe(BluetoothState state) {
    switch (state) {
        case BluetoothState::ready:
            return "Bluetooth is on";
        case BluetoothState::noSystemBus:
            return "there is no system D-Bus";
        case BluetoothState::noBlueZ:
            return "BlueZ is not running";
        case BluetoothState::noAdapter:
            return "there is no Bluetooth adapter";
        case BluetoothState::adapterOff:
            return "Bluetooth is off (the adapter is powered off)";
        case BluetoothState::adapterBlocked:
            return "Bluetooth is off (the adapter is blocked by rfkill)";
    }
    return "Bluetooth is in an unknown state";
}

namespace {
// Read by sessions on worker threads; set by programs and tests while none runs.
std::atomic<BluetoothPlatform*> installed{nullptr};
}  // namespace

BluetoothPlatform::BluetoothPlatform() = default;
BluetoothPlatform::~BluetoothPlatform() = default;

void BluetoothPlatform::notifyChanged() {
    if (!changed || pendingCall) return;
    // Changes come in bursts (a device and its properties, an adapter and its
    // devices): the listener hears once. Dropping the context cancels the call.
    pendingCall = std::make_unique<QObject>();
    QTimer::singleShot(0, pendingCall.get(), [this] {
        pendingCall.reset();
        if (changed) changed();
    });
}

BluetoothPlatform& BluetoothPlatform::current() {
    if (BluetoothPlatform* p = installed.load()) return *p;
    static BlueZPlatform bluez;
    return bluez;
}

void BluetoothPlatform::setCurrent(BluetoothPlatform* platform) {
    installed = platform;
}

int32_t BluetoothPlatform::parseAddressText(const std::string& text, BluetoothAddress& address) {
    // Exactly "XX:XX:XX:XX:XX:XX", hex digits of either case.
    if (text.size() != 17) return PlatformStatus::fromErrno(EINVAL);
    auto hex = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    BluetoothAddress parsed{};
    for (size_t i = 0; i < 6; ++i) {
        const size_t p = i * 3;
        const int hi = hex(text[p]), lo = hex(text[p + 1]);
        if (hi < 0 || lo < 0 || (i < 5 && text[p + 2] != ':'))
            return PlatformStatus::fromErrno(EINVAL);
        parsed[i] = uint8_t(hi << 4 | lo);
    }
    address = parsed;
    return PlatformStatus::ok;
}

std::string BluetoothPlatform::addressText(const BluetoothAddress& address) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (size_t i = 0; i < 6; ++i) {
        if (i) text += ':';
        text += digits[address[i] >> 4];
        text += digits[address[i] & 15];
    }
    return text;
}
