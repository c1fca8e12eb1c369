// Decoders of the seven measurement frames. Each reads the frame's time
// stamp and values and makes exactly one appendSensorData call on the owner.
#pragma once

#include <array>
#include <cstdint>

#include "protocol/SensorEvents.h"

class EventDecoders {
  public:
    explicit EventDecoders(SensorEvents* owner) : ownerObject(owner) {}

    // Each takes the frame buffer with the header byte at index 0.
    void ags_event(const uint8_t* frame);
    void geo_event(const uint8_t* frame);
    void press_event(const uint8_t* frame);
    void batt_event(const uint8_t* frame);
    void ext_event(const uint8_t* frame);
    void qags_event(const uint8_t* frame);
    void ext16ad_event(const uint8_t* frame);

    // Baselines of the four 16-bit AD inputs (exponential moving average).
    std::array<double, 4> ad16Offset{};
    void resetAd16Filter() { ad16Offset.fill(0.0); }

  private:
    SensorEvents* ownerObject;
};

// Time stamp of a measurement frame: signed 32-bit, widened with its sign.
uint64_t frameTimeStamp(const uint8_t* frame);
