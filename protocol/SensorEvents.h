// What the receive parser and the event decoders call on their owner.
// The sensor object implements it; tests implement it with a recorder.
#pragma once

#include <cstdint>
#include <string>

#include "protocol/MeasurementKinds.h"

class SensorEvents {
  public:
    virtual ~SensorEvents() = default;

    virtual void setFirmVersion(const std::string& version) = 0;
    // `frame` starts at the header byte; the payload is frame[2 .. 2 + resLength - 1].
    virtual void setMEmEntryData(const uint8_t* frame, int resLength) = 0;
    virtual void setBatteryVoltage(float volts) = 0;
    virtual void setAd16Gain(int gain, int Port) = 0;
    virtual int getAd16Gain(int port) = 0;
    // One decoded sample; `data` holds as many values as the data type carries.
    virtual void appendSensorData(uint64_t time, SensorDataType dataType, const int32_t* data) = 0;
    // The 8 payload bytes of the answer to getd (protocol/DateTimeBytes.h).
    virtual void setSensorDateTime(const uint8_t* /*payload*/) {}
    // The one-byte answers to getaccrange and getgyrrange: the range setting.
    virtual void setAccRange(int /*range*/) {}
    virtual void setGyrRange(int /*range*/) {}
    // Called by the link when the channel closes: 0 = not connected.
    virtual void setSensorStatus(int status) = 0;
};
