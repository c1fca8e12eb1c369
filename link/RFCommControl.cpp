#include "link/RFCommControl.h"

#include <unistd.h>

#include <cerrno>
#include <memory>
#include <mutex>
#include <thread>

#include "link/EventWait.h"

RFCommControl::RFCommControl(SensorEvents* owner) : ownerObject(owner), parser(owner) {}

RFCommControl::~RFCommControl() {
    detachChannel();
}

void RFCommControl::detachChannel() {
    if (!bluetoothChannel) return;
    bluetoothChannel->onData = nullptr;
    bluetoothChannel->onClosed = nullptr;
    bluetoothChannel.reset();  // closes it: the descriptor must not outlive the link
}

bool RFCommControl::checkPairedDevice(const std::string& address) {
    const auto devices = BluetoothPlatform::current().pairedDevices();
    if (!devices) return false;
    for (const PairedDevice& d : *devices)
        if (d.address == address) return true;
    return false;
}

namespace {

// Longest wait for the slow part of a connect; the backends' own time-outs
// (SDP, page, RFCOMM connect) end it well before.
constexpr double kConnectJobSeconds = 120.0;

// A worker's result, shared with the waiting thread. A cancelled wait
// abandons it: the worker then closes what it opened.
struct ConnectJobState {
    std::mutex lock;
    bool done = false;
    bool abandoned = false;
    ConnectAttempt result;
};

}  // namespace

bool RFCommControl::runConnectJob(std::function<ConnectAttempt()> job, ConnectAttempt& attempt) {
    auto state = std::make_shared<ConnectJobState>();
    std::thread([state, job = std::move(job)] {
        ConnectAttempt a = job();
        std::lock_guard<std::mutex> hold(state->lock);
        if (state->abandoned) {
            if (a.fd >= 0) ::close(a.fd);
            return;
        }
        state->result = a;
        state->done = true;
    }).detach();
    // The event loop runs while the worker works: the window repaints and
    // a Cancel can be pressed.
    eventwait::runUntil(
        [&] {
            {
                std::lock_guard<std::mutex> hold(state->lock);
                if (state->done) return true;
            }
            return cancelConnect && cancelConnect();
        },
        kConnectJobSeconds);
    std::lock_guard<std::mutex> hold(state->lock);
    if (!state->done) {
        state->abandoned = true;
        return false;
    }
    attempt = state->result;
    return true;
}

ConnectResult RFCommControl::connectSensor(const std::string& address, int32_t& errCode) {
    errCode = PlatformStatus::ok;
    if (!checkPairedDevice(address)) return kNotPaired;
    BluetoothPlatform& platform = BluetoothPlatform::current();
    // With the adapter off, blocked or gone nothing can be reached: say so
    // rather than blame the sensor.
    const BluetoothState state = platform.state();
    if (state != BluetoothState::ready) {
        errCode = PlatformStatus::bluetoothOff;
        return kCannotOpen;
    }

    BluetoothAddress parsed{};
    errCode = platform.parseAddress(address, parsed);
    if (errCode != PlatformStatus::ok) return kCannotOpen;  // no device for this text
    bluetoothAddress = parsed;

    // The SDP lookup and the channel's connect can take many seconds (a
    // sensor that is off or out of range): they run on a worker thread.
    ConnectAttempt attempt;
    if (!runConnectJob(platform.connectJob(bluetoothAddress), attempt)) {
        errCode = PlatformStatus::cancelled;
        return kCannotOpen;
    }
    auto fail = [&](int32_t status) {
        if (attempt.fd >= 0) ::close(attempt.fd);
        errCode = status;
        return kCannotOpen;
    };
    eventwait::runFor(0.1);
    if (attempt.status != PlatformStatus::ok) return fail(attempt.status);
    // Without a serial port record there is no channel worth trying.
    if (!attempt.found) return fail(PlatformStatus::noSerialPortService);
    rfcommChannelID = attempt.channel;
    eventwait::runFor(0.1);

    int32_t status = PlatformStatus::ok;
    std::unique_ptr<BluetoothChannel> channel =
        platform.channelFor(bluetoothAddress, attempt, status);
    errCode = status;
    if (status != PlatformStatus::ok || !channel) {
        if (errCode == PlatformStatus::ok) errCode = PlatformStatus::fromErrno(EIO);
        return kCannotOpen;
    }

    // A new connect replaces the previous channel.
    detachChannel();
    bluetoothChannel = std::move(channel);
    bluetoothChannel->onData = [this](const uint8_t* data, size_t length) {
        rfcommChannelData(data, length);
    };
    bluetoothChannel->onClosed = [this] { rfcommChannelClosed(); };
    closedByPeer = false;
    connected = true;
    return kConnected;
}

SendResult RFCommControl::sendBinCommand(const uint8_t* frame, int length, int32_t& errCode) {
    // A channel that the far end closed takes nothing more, and saying the
    // frame went out would be untrue.
    if (!connected || closedByPeer || !bluetoothChannel || !bluetoothChannel->isOpen())
        return kNotConnected;
    if (length <= 0) return kSent;
    if (tap) tap(true, frame, size_t(length));
    const int32_t status = bluetoothChannel->write(frame, size_t(length));
    if (status != PlatformStatus::ok) {
        errCode = status;
        return kWriteFailed;
    }
    return kSent;
}

void RFCommControl::disconnect() {
    detachChannel();
    connected = false;
}

void RFCommControl::rfcommChannelData(const uint8_t* data, size_t length) {
    bytesReceived += length;
    if (tap) tap(false, data, length);
    parser.receive(data, length);
}

void RFCommControl::rfcommChannelClosed() {
    closedByPeer = true;
    if (ownerObject) ownerObject->setSensorStatus(0);
}
