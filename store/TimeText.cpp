#include "store/TimeText.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>

namespace timetext {

namespace {

int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = unsigned(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + int64_t(doe) - 719468;
}

// The date of a day count since 1970-01-01 (proleptic Gregorian).
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

int64_t floorDiv(int64_t a, int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

}  // namespace

LocalInstant fromLocal(const CivilTime& t) {
    LocalInstant out;
    if (t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31 || t.hour < 0 || t.hour > 23 ||
        t.minute < 0 || t.minute > 59 || t.second < 0 || t.second > 60)
        return out;
    std::tm tm{};
    tm.tm_year = t.year - 1900;
    tm.tm_mon = t.month - 1;
    tm.tm_mday = t.day;
    tm.tm_hour = t.hour;
    tm.tm_min = t.minute;
    tm.tm_sec = t.second;
    tm.tm_isdst = -1;
    const std::time_t secs = std::mktime(&tm);
    if (secs == std::time_t(-1) && tm.tm_mday != t.day) return out;
    if (tm.tm_mday != t.day || tm.tm_mon != t.month - 1) return out;  // no such date
    out.valid = true;
    out.unixMs = int64_t(secs) * 1000 + t.millisecond;
    out.offsetSeconds = tm.tm_gmtoff;
    out.zoneAbbreviation = tm.tm_zone ? tm.tm_zone : "";
    return out;
}

int64_t civilAsUtcMs(const CivilTime& t) {
    const int64_t days = daysFromCivil(t.year, unsigned(t.month), unsigned(t.day));
    return ((days * 24 + t.hour) * 60 + t.minute) * 60000 + int64_t(t.second) * 1000 +
           t.millisecond;
}

std::string isoWithOffset(int64_t unixMs, int64_t offsetSeconds) {
    const int64_t localMs = unixMs + offsetSeconds * 1000;
    const int64_t days = floorDiv(localMs, 86400000);
    const int64_t inDay = localMs - days * 86400000;
    int y = 0, m = 0, d = 0;
    civilFromDays(days, y, m, d);
    char buf[48];
    const int n = std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", y, m, d,
                                int(inDay / 3600000), int(inDay / 60000 % 60),
                                int(inDay / 1000 % 60), int(inDay % 1000));
    std::string out(buf, size_t(n));
    const int64_t a = offsetSeconds < 0 ? -offsetSeconds : offsetSeconds;
    std::snprintf(buf, sizeof buf, "%c%02d:%02d", offsetSeconds < 0 ? '-' : '+', int(a / 3600),
                  int(a / 60 % 60));
    return out + buf;
}

std::string isoUtc(int64_t unixMs) {
    std::string s = isoWithOffset(unixMs, 0);
    s.resize(s.size() - 6);
    return s + "Z";
}

std::string zoneName() {
    if (const char* tz = std::getenv("TZ"); tz && *tz) return *tz == ':' ? tz + 1 : tz;
    std::error_code ec;
    const std::string target = std::filesystem::read_symlink("/etc/localtime", ec).string();
    if (!ec) {
        const auto at = target.find("zoneinfo/");
        if (at != std::string::npos) return target.substr(at + 9);
    }
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    return tm.tm_zone && *tm.tm_zone ? tm.tm_zone : "UTC";
}

}  // namespace timetext
