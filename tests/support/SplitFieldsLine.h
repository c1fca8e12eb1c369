// The straightforward reading of one CSV line into a record: split at every
// comma, then each field scanned on its own. Tests compare the store's
// one-pass reader against it.
#pragma once

#include <cstring>
#include <string_view>

#include "store/TextScan.h"
#include "store/VRAXSensorData.h"

// HHMMSSmmm by plain division, hours modulo 100.
inline void splitFieldsTimeStr(uint64_t msTime, char out[10]) {
    const uint64_t h = msTime / 3600000;
    const uint64_t m = msTime / 60000 - 60 * h;
    const uint64_t s = msTime / 1000 - 3600 * h - 60 * m;
    const uint64_t ms = msTime % 1000;
    const unsigned hh = unsigned(h % 100);
    const unsigned parts[] = {
        hh / 10,          hh % 10,          unsigned(m / 10),   unsigned(m % 10),
        unsigned(s / 10), unsigned(s % 10), unsigned(ms / 100), unsigned(ms / 10 % 10),
        unsigned(ms % 10)};
    for (int i = 0; i < 9; ++i) out[i] = char('0' + parts[i]);
    out[9] = '\0';
}

inline bool splitFieldsLine(std::string_view line, SensorDataRecord& r, bool readFiltered,
                            bool* hadFiltered) {
    constexpr int kMaxFields = 14;
    std::string_view fields[kMaxFields];
    int n = 0;
    for (size_t start = 0;;) {
        const size_t comma = line.find(',', start);
        if (n < kMaxFields) fields[n] = line.substr(start, comma - start);
        ++n;
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    const int code = VRAXSensorData::checkSensCommand(fields[0]);
    if (code == unknown) return false;
    const int needed = code == ext16ad ? 6 : 2 + kValuesPerType[code];
    if (n < needed) return false;
    // An empty field (white space at most) is a missing one.
    for (int i = 1; i < needed; ++i)
        if (fields[i].find_first_not_of(" \t\n\v\f\r") == std::string_view::npos) return false;
    auto hexDigit = [](char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        return 0;
    };
    std::memset(&r, 0, sizeof r);
    r.dataType = code;
    r.msTime = uint64_t(text::scanInt64(fields[1]));
    splitFieldsTimeStr(r.msTime, r.timeStr);
    if (code == ext16ad) {
        for (int i = 0; i < 4; ++i) r.values[i] = hexDigit(fields[0][size_t(3 + i)]);
        for (int i = 0; i < 4; ++i) r.values[4 + i] = text::scanInt32(fields[2 + i]);
        if (n >= 10) {
            if (hadFiltered) *hadFiltered = true;
            if (readFiltered)
                for (int i = 0; i < 4; ++i) r.values[8 + i] = text::scanInt32(fields[6 + i]);
        }
    } else {
        for (int i = 0; i < kValuesPerType[code]; ++i) r.values[i] = text::scanInt32(fields[2 + i]);
    }
    return true;
}
