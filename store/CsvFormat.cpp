#include "store/CsvFormat.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace csv {
namespace {

template <size_t N>
char* put(char* p, const char (&text)[N]) {
    std::memcpy(p, text, N - 1);
    return p + N - 1;
}

char* putEol(char* p, const char* eol) {
    while (*eol) *p++ = *eol++;
    return p;
}

char* putInt(char* p, int64_t v) {
    // Most time stamps fit 32 bits, whose conversion is cheaper.
    if (v >= 0 && v <= INT32_MAX) return std::to_chars(p, p + 24, int32_t(v)).ptr;
    return std::to_chars(p, p + 24, v).ptr;
}

char* putInt32(char* p, int32_t v) {
    return std::to_chars(p, p + 12, v).ptr;
}

char* putHex(char* p, int32_t v, bool upper) {
    char* end = std::to_chars(p, p + 8, uint32_t(v), 16).ptr;
    if (upper)
        for (char* c = p; c < end; ++c)
            if (*c >= 'a') *c = char(*c - 'a' + 'A');
    return end;
}

char* putValues(char* p, const int32_t* v, int n) {
    for (int i = 0; i < n; ++i) {
        *p++ = ',';
        p = putInt32(p, v[i]);
    }
    return p;
}

}  // namespace

const char* lineEnd(int lineFeedCode) {
    if (lineFeedCode == 0) return "\n";
    if (lineFeedCode == 1) return "\r\n";
    return "\r";
}

size_t formatLine(const SensorDataRecord& r, LineStyle style, bool filtered, const char* eol,
                  char* out) {
    // Heads with the comma after them, and their lengths.
    static constexpr std::string_view heads[] = {"ags,", "geo,", "press temp,", "batt,",
                                                 "ext data,"};
    char* p = out;
    const int64_t time = int64_t(r.msTime);
    switch (r.dataType) {
        case ags:
        case geo:
        case press:
        case batt:
        case ext:
            std::memcpy(p, heads[r.dataType].data(), heads[r.dataType].size());
            p += heads[r.dataType].size();
            p = putInt(p, time);
            p = putValues(p, r.values, kValuesPerType[r.dataType]);
            break;
        case qags:
            if (style == LineStyle::wholeStore) return 0;  // that save has no qags line
            p = put(p, "qags,");
            p = putInt(p, time);
            p = putValues(p, r.values, 10);
            break;
        case ext16ad: {
            const bool upper = style == LineStyle::streamed;
            p = upper ? put(p, "ead") : put(p, "e");
            // One digit per gain: a gain the sensor gave above 15 is written
            // as F (the sidecar keeps the real one), so the line stays readable.
            for (int i = 0; i < 4; ++i) p = putHex(p, std::clamp(r.values[i], 0, 15), upper);
            *p++ = ',';
            p = putInt(p, time);
            const bool withFiltered = filtered && style == LineStyle::streamed;
            p = putValues(p, r.values + 4, withFiltered ? 8 : 4);
            break;
        }
        default:
            return 0;
    }
    p = putEol(p, eol);
    return size_t(p - out);
}

}  // namespace csv
