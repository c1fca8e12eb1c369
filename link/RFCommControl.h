// The link between one sensor object and one sensor: connects to the
// sensor's serial port channel, writes command frames, and feeds received
// bytes to the receive parser.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "link/LinkResults.h"
#include "link/platform/BluetoothPlatform.h"
#include "protocol/ReceiveParser.h"
#include "protocol/SensorEvents.h"

class RFCommControl {
  public:
    explicit RFCommControl(SensorEvents* owner);
    ~RFCommControl();
    RFCommControl(const RFCommControl&) = delete;
    RFCommControl& operator=(const RFCommControl&) = delete;

    // errCode receives the platform status.
    ConnectResult connectSensor(const std::string& address, int32_t& errCode);
    bool checkPairedDevice(const std::string& address);
    // errCode is set when the write failed.
    SendResult sendBinCommand(const uint8_t* frame, int length, int32_t& errCode);
    void disconnect();

    // Channel callbacks.
    void rfcommChannelData(const uint8_t* data, size_t length);
    void rfcommChannelClosed();

    bool isConnected() const { return connected; }
    // True once the channel was closed by the far end, the system or a failed
    // write; waits end at once when they see it.
    bool channelClosed() const { return closedByPeer; }
    // Bytes received since creation; waits use it to notice a silent sensor.
    uint64_t receivedBytes() const { return bytesReceived; }

    // Parser state.
    void clearStream() { parser.clearStream(); }
    void clearFlags() { parser.clearFlags(); }
    uint8_t okFlag() const { return parser.okFlag(); }
    uint8_t ngFlag() const { return parser.ngFlag(); }
    uint8_t memDataReadCompleat() const { return parser.memDataReadCompleat(); }
    void setMemDataReadCompleat(bool value) { parser.setMemDataReadCompleat(value); }
    ReceiveParser& receiveParser() { return parser; }

    // Asked while a connect waits for its slow part; true ends the connect
    // with PlatformStatus::cancelled.
    std::function<bool()> cancelConnect;

    // Sees every byte written (sent = true) and received, for captures.
    std::function<void(bool sent, const uint8_t* data, size_t length)> tap;

  private:
    void detachChannel();
    // Runs the slow part of a connect on a worker thread while the event
    // loop runs; false when the connect was cancelled meanwhile.
    bool runConnectJob(std::function<ConnectAttempt()> job, ConnectAttempt& attempt);

    SensorEvents* ownerObject;
    ReceiveParser parser;
    std::unique_ptr<BluetoothChannel> bluetoothChannel;
    BluetoothAddress bluetoothAddress{};
    uint8_t rfcommChannelID = 0;
    bool connected = false;
    bool closedByPeer = false;
    uint64_t bytesReceived = 0;
};
