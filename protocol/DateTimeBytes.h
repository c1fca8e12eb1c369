// The date and time bytes of the sensor clock, as setd sends them and as the
// getd answer is taken to carry them: year - 2000, month, day, hour, minute,
// second, then milliseconds as 16-bit little-endian (8 bytes). The getd
// answer's layout is an assumption (it mirrors setd); this is the one place
// that makes it.
#pragma once

#include <cstdint>

namespace datetime {

inline constexpr int kDateTimeBytes = 8;

struct SensorDateTime {
    int year = 2000, month = 1, day = 1, hour = 0, minute = 0, second = 0, msec = 0;
};

// Writes the 8 bytes of `t` (year is taken modulo 256 after 2000).
void encodeDateTime(const SensorDateTime& t, uint8_t* out);
// Reads 8 bytes; false when they are not a real date and time.
bool decodeDateTime(const uint8_t* bytes, SensorDateTime& t);
// True when `t` is a real date and time (no 31 April, no hour 24).
bool isRealDateTime(const SensorDateTime& t);

// Milliseconds since 1970-01-01 00:00:00 of `t` read as UTC, and back.
int64_t msSinceEpoch(const SensorDateTime& t);
SensorDateTime fromMsSinceEpoch(int64_t ms);
// Days since 1970-01-01 of a date of the proleptic Gregorian calendar, and back.
int64_t daysFromCivil(int64_t year, unsigned month, unsigned day);
void civilFromDays(int64_t days, int& year, int& month, int& day);

}  // namespace datetime
