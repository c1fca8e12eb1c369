// The straightforward way to write a record's CSV line: snprintf, field by
// field. Tests compare the fast formatter against it; the store benchmark
// measures it beside the streamed save.
#pragma once

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <string>

#include "store/CsvFormat.h"

inline size_t snprintfLine(const SensorDataRecord& r, csv::LineStyle style, bool filtered,
                           const char* eol, char* out) {
    static const char* const heads[] = {"ags", "geo", "press temp", "batt", "ext data", "qags"};
    const size_t room = csv::kMaxLineLength;
    int n = 0;
    auto values = [&](const int32_t* v, int count) {
        for (int i = 0; i < count; ++i)
            n += std::snprintf(out + n, room - size_t(n), ",%" PRId32, v[i]);
    };
    const auto time = int64_t(r.msTime);
    if (r.dataType >= 0 && r.dataType <= 4) {
        n = std::snprintf(out, room, "%s,%" PRId64, heads[r.dataType], time);
        values(r.values, kValuesPerType[r.dataType]);
    } else if (r.dataType == 5) {
        if (style == csv::LineStyle::wholeStore) return 0;
        n = std::snprintf(out, room, "qags,%" PRId64, time);
        values(r.values, 10);
    } else if (r.dataType == 6) {
        // One hex digit per gain: out-of-range gains are written as their nearest limit.
        unsigned gain[4];
        for (int i = 0; i < 4; ++i) gain[i] = unsigned(std::clamp(r.values[i], 0, 15));
        if (style == csv::LineStyle::streamed)
            n = std::snprintf(out, room, "ead%X%X%X%X,%" PRId64, gain[0], gain[1], gain[2], gain[3],
                              time);
        else
            n = std::snprintf(out, room, "e%x%x%x%x,%" PRId64, gain[0], gain[1], gain[2], gain[3],
                              time);
        values(r.values + 4, filtered && style == csv::LineStyle::streamed ? 8 : 4);
    } else {
        return 0;
    }
    n += std::snprintf(out + n, room - size_t(n), "%s", eol);
    return size_t(n);
}
