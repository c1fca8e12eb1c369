#include "store/TimeText.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "protocol/DateTimeBytes.h"

namespace timetext {

namespace {

// Fills `tm` with `t` as the computer's local time and places it on UTC;
// mktime moves a time in a daylight saving gap past the gap.
std::time_t placeLocal(const CivilTime& t, std::tm& tm) {
    tm = std::tm{};
    tm.tm_year = t.year - 1900;
    tm.tm_mon = t.month - 1;
    tm.tm_mday = t.day;
    tm.tm_hour = t.hour;
    tm.tm_min = t.minute;
    tm.tm_sec = t.second;
    tm.tm_isdst = -1;
    return std::mktime(&tm);
}

datetime::SensorDateTime dateTimeOf(const CivilTime& t) {
    return {t.year, t.month, t.day, t.hour, t.minute, t.second, t.millisecond};
}

}  // namespace

LocalInstant fromLocal(const CivilTime& t) {
    LocalInstant out;
    if (t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31 || t.hour < 0 || t.hour > 23 ||
        t.minute < 0 || t.minute > 59 || t.second < 0 || t.second > 60)
        return out;
    std::tm tm{};
    const std::time_t secs = placeLocal(t, tm);
    if (secs == std::time_t(-1) && tm.tm_mday != t.day) return out;
    if (tm.tm_mday != t.day || tm.tm_mon != t.month - 1) return out;  // no such date
    out.valid = true;
    out.unixMs = int64_t(secs) * 1000 + t.millisecond;
    out.offsetSeconds = tm.tm_gmtoff;
    out.zoneAbbreviation = tm.tm_zone ? tm.tm_zone : "";
    return out;
}

int64_t localAsUtcMs(const CivilTime& t) {
    std::tm tm{};
    return int64_t(placeLocal(t, tm)) * 1000 + t.millisecond;
}

int64_t civilAsUtcMs(const CivilTime& t) {
    return datetime::msSinceEpoch(dateTimeOf(t));
}

std::string isoWithOffset(int64_t unixMs, int64_t offsetSeconds) {
    const datetime::SensorDateTime t = datetime::fromMsSinceEpoch(unixMs + offsetSeconds * 1000);
    char buf[48];
    const int n = std::snprintf(buf, sizeof buf, "%04d-%02d-%02dT%02d:%02d:%02d.%03d", t.year,
                                t.month, t.day, t.hour, t.minute, t.second, t.msec);
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
