#include "store/TextScan.h"

#include <cstdio>
#include <limits>

namespace text {

size_t integerPrefixLength(std::string_view s) {
    size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    const size_t digits = i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i;
    return i == digits ? 0 : i;
}

int64_t scanInt64(std::string_view s) {
    size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || (s[i] >= '\t' && s[i] <= '\r'))) ++i;
    s.remove_prefix(i);
    const size_t n = integerPrefixLength(s);
    if (n == 0) return 0;
    const bool negative = s[0] == '-';
    // Accumulate towards the negative side, which holds one more value.
    constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
    int64_t v = 0;
    for (size_t k = (s[0] == '+' || s[0] == '-') ? 1 : 0; k < n; ++k) {
        const int d = s[k] - '0';
        if (v < (kMin + d) / 10) return negative ? kMin : std::numeric_limits<int64_t>::max();
        v = v * 10 - d;
    }
    if (negative) return v;
    return v == kMin ? std::numeric_limits<int64_t>::max() : -v;
}

int32_t scanInt32(std::string_view s) {
    const int64_t v = scanInt64(s);
    if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (v < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return int32_t(v);
}

bool utf8Lead(unsigned c, int& extra, uint32_t& minimum, uint32_t& bits) {
    if ((c & 0xE0) == 0xC0)
        extra = 1, minimum = 0x80, bits = c & 0x1F;
    else if ((c & 0xF0) == 0xE0)
        extra = 2, minimum = 0x800, bits = c & 0x0F;
    else if ((c & 0xF8) == 0xF0)
        extra = 3, minimum = 0x10000, bits = c & 0x07;
    else
        return false;
    return true;
}

size_t decodeUtf8(std::string_view s, size_t at, uint32_t& cp) {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data()) + at;
    const size_t left = s.size() - at;
    if (p[0] < 0x80) {
        cp = p[0];
        return 1;
    }
    int extra = 0;
    uint32_t minimum = 0;
    if (!utf8Lead(p[0], extra, minimum, cp) || left <= size_t(extra)) return 0;
    for (int i = 1; i <= extra; ++i) {
        if ((p[i] & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (p[i] & 0x3Fu);
    }
    return utf8Allowed(cp, minimum) ? size_t(extra) + 1 : 0;
}

bool isControlOrBidi(uint32_t cp) {
    return cp < 0x20 || (cp >= 0x7F && cp <= 0x9F) || cp == 0x061C || cp == 0x200E ||
           cp == 0x200F || (cp >= 0x202A && cp <= 0x202E) || (cp >= 0x2066 && cp <= 0x2069);
}

std::string forTerminal(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    char escape[16];
    for (size_t i = 0; i < text.size();) {
        uint32_t cp = 0;
        const size_t n = decodeUtf8(text, i, cp);
        if (n == 0) {
            std::snprintf(escape, sizeof escape, "\\x%02x", unsigned(uint8_t(text[i])));
            out += escape;
            ++i;
            continue;
        }
        if (isControlOrBidi(cp)) {
            std::snprintf(escape, sizeof escape, cp < 0x100 ? "\\x%02x" : "\\u{%04x}",
                          unsigned(cp));
            out += escape;
        } else {
            out.append(text.substr(i, n));
        }
        i += n;
    }
    return out;
}

}  // namespace text
