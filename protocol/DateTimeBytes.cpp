#include "protocol/DateTimeBytes.h"

namespace datetime {
namespace {
constexpr int64_t kDayMs = 86400000;
}

int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = unsigned(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + int64_t(doe) - 719468;
}

void civilFromDays(int64_t z, int& y, int& m, int& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = unsigned(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = int(doy - (153 * mp + 2) / 5 + 1);
    m = int(mp < 10 ? mp + 3 : mp - 9);
    y = int(int64_t(yoe) + era * 400 + (m <= 2));
}

void encodeDateTime(const SensorDateTime& t, uint8_t* out) {
    out[0] = uint8_t(t.year - 2000);
    out[1] = uint8_t(t.month);
    out[2] = uint8_t(t.day);
    out[3] = uint8_t(t.hour);
    out[4] = uint8_t(t.minute);
    out[5] = uint8_t(t.second);
    out[6] = uint8_t(t.msec & 0xFF);
    out[7] = uint8_t(t.msec >> 8);
}

bool isRealDateTime(const SensorDateTime& v) {
    if (v.month < 1 || v.month > 12 || v.day < 1 || v.hour < 0 || v.hour > 23 || v.minute < 0 ||
        v.minute > 59 || v.second < 0 || v.second > 59 || v.msec < 0 || v.msec > 999)
        return false;
    int y, m, d;
    civilFromDays(daysFromCivil(v.year, unsigned(v.month), unsigned(v.day)), y, m, d);
    return d == v.day;  // 31 April and the like
}

bool decodeDateTime(const uint8_t* p, SensorDateTime& t) {
    const SensorDateTime v{2000 + p[0], p[1], p[2], p[3], p[4], p[5], p[6] | (p[7] << 8)};
    if (!isRealDateTime(v)) return false;
    t = v;
    return true;
}

int64_t msSinceEpoch(const SensorDateTime& t) {
    return daysFromCivil(t.year, unsigned(t.month), unsigned(t.day)) * kDayMs +
           ((int64_t(t.hour) * 60 + t.minute) * 60 + t.second) * 1000 + t.msec;
}

SensorDateTime fromMsSinceEpoch(int64_t ms) {
    const int64_t days = ms >= 0 ? ms / kDayMs : (ms - kDayMs + 1) / kDayMs;
    const int64_t of = ms - days * kDayMs;
    SensorDateTime t;
    civilFromDays(days, t.year, t.month, t.day);
    t.hour = int(of / 3600000);
    t.minute = int(of / 60000 % 60);
    t.second = int(of / 1000 % 60);
    t.msec = int(of % 1000);
    return t;
}

}  // namespace datetime
