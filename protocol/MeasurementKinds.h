// The kinds of measurement: the data type numbers of decoded samples and the
// codes of the frames that carry them. The receive side, the store and the
// virtual sensor all use this one table.
#pragma once

#include <cstdint>

enum SensorDataType : int32_t {
    ags = 0,
    geo = 1,
    press = 2,
    batt = 3,
    ext = 4,
    qags = 5,
    ext16ad = 6,
    unknown = 7,
};

// Measurement frame codes and their data type numbers (0..6).
namespace MeasurementCode {
inline constexpr uint8_t ags = 0x80;
inline constexpr uint8_t geo = 0x81;
inline constexpr uint8_t press = 0x82;
inline constexpr uint8_t batt = 0x83;
inline constexpr uint8_t ext = 0x84;
inline constexpr uint8_t qags = 0x8A;
inline constexpr uint8_t ext16ad = 0x8C;

inline constexpr uint8_t kByDataType[7] = {ags, geo, press, batt, ext, qags, ext16ad};

// Code of a data type 0..6, or 0 for another value.
constexpr uint8_t forDataType(int dataType) {
    return dataType >= 0 && dataType < 7 ? kByDataType[dataType] : 0;
}
// Data type of a measurement code, or -1.
constexpr int dataTypeOf(uint8_t code) {
    for (int type = 0; type < 7; ++type)
        if (kByDataType[type] == code) return type;
    return -1;
}
}  // namespace MeasurementCode
