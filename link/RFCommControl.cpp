#include "link/RFCommControl.h"

#include <cerrno>

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

ConnectResult RFCommControl::connectSensor(const std::string& address, int32_t& errCode) {
    errCode = PlatformStatus::ok;
    if (!checkPairedDevice(address)) return kNotPaired;
    BluetoothPlatform& platform = BluetoothPlatform::current();

    BluetoothAddress parsed{};
    errCode = platform.parseAddress(address, parsed);
    if (errCode != PlatformStatus::ok) return kCannotOpen;  // no device for this text
    bluetoothAddress = parsed;

    bool found = false;
    uint8_t channelId = 0;
    errCode = platform.serialPortChannel(bluetoothAddress, channelId, found);
    eventwait::runFor(0.1);
    if (errCode != PlatformStatus::ok) return kCannotOpen;
    // Without a serial port record there is no channel worth trying.
    if (!found) {
        errCode = PlatformStatus::noSerialPortService;
        return kCannotOpen;
    }
    rfcommChannelID = channelId;
    eventwait::runFor(0.1);

    int32_t status = PlatformStatus::ok;
    std::unique_ptr<BluetoothChannel> channel =
        platform.openChannel(bluetoothAddress, rfcommChannelID, status);
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
