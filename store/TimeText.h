// Wall times as ISO 8601 text: a local date and time of this computer with
// its UTC offset and zone name, and UTC instants.
#pragma once

#include <cstdint>
#include <string>

namespace timetext {

struct CivilTime {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
};

// A local date and time of this computer, placed on UTC.
struct LocalInstant {
    bool valid = false;
    int64_t unixMs = 0;            // ms since 1970 UTC
    int64_t offsetSeconds = 0;     // local time - UTC at that instant
    std::string zoneAbbreviation;  // "JST", "CEST"
};

// Reads `t` as the computer's local time (daylight saving as the zone has
// it then). Not valid for a date that does not exist.
LocalInstant fromLocal(const CivilTime& t);

// `t` read as the computer's local time, in ms since 1970 UTC, as mktime
// places it (no check that the date exists).
int64_t localAsUtcMs(const CivilTime& t);

// The date and time read as if it were UTC, in ms since 1970 (the form
// the clock probe gives a sensor's time in).
int64_t civilAsUtcMs(const CivilTime& t);

// "2026-06-07T08:09:10.123+09:00" of an instant at a given offset.
std::string isoWithOffset(int64_t unixMs, int64_t offsetSeconds);
// "2026-06-07T08:09:10.123Z".
std::string isoUtc(int64_t unixMs);
// The computer's time zone: TZ when set, else the zoneinfo name that
// /etc/localtime points at, else the abbreviation; never empty.
std::string zoneName();

}  // namespace timetext
