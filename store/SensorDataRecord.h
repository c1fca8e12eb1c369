// One decoded sample: a fixed 96-byte little-endian image, the unit of the
// store and of the binary dump file.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

#include "protocol/MeasurementKinds.h"

// Values each data type carries (index = type code 0..6).
inline constexpr int kValuesPerType[7] = {6, 3, 2, 2, 6, 10, 12};
inline constexpr int valueCount(int dataType) {
    return dataType >= 0 && dataType <= 6 ? kValuesPerType[dataType] : 0;
}

struct SensorDataRecord {
    int32_t dataType;
    uint32_t padding0;
    uint64_t msTime;
    char dateStr[9];   // YYYYMMDD and NUL
    char timeStr[10];  // HHMMSSmmm and NUL
    uint8_t padding1;
    int32_t values[14];
    uint32_t padding2;
};

static_assert(std::endian::native == std::endian::little, "the record image is little-endian");
static_assert(sizeof(SensorDataRecord) == 96);
static_assert(offsetof(SensorDataRecord, dataType) == 0);
static_assert(offsetof(SensorDataRecord, msTime) == 8);
static_assert(offsetof(SensorDataRecord, dateStr) == 16);
static_assert(offsetof(SensorDataRecord, timeStr) == 25);
static_assert(offsetof(SensorDataRecord, padding1) == 35);
static_assert(offsetof(SensorDataRecord, values) == 36);
static_assert(offsetof(SensorDataRecord, padding2) == 92);

// HHMMSSmmm of a millisecond time; hours are taken modulo 100 so that the
// text is always nine digits and a NUL.
void makeTimeStr(uint64_t msTime, char out[10]);
