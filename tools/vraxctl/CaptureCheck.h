// The checks a capture passes before `replay` writes anything: every record
// readable up to its end, every marker well formed, every download marker's
// fields valid as the sensor's own answers would be. A capture that fails
// them is refused before a file or folder appears.
#pragma once

#include <cstdint>
#include <set>
#include <string>
#include <utility>

#include "sensor/DownloadNaming.h"
#include "tools/vraxctl/Capture.h"

namespace capture {

// A marker's "key=value" lines; false with `why` set for a line without "="
// or a key given twice.
bool parseMarkerStrictly(const std::vector<uint8_t>& data, Fields& fields, std::string& why);

// The fields of a "transfer" marker, checked.
struct Transfer {
    int entry = 0;
    EntryStart start;
    std::string startText;
    int year = 0, month = 0, day = 0;  // the day of the download (its folder)
    int64_t expected = -1;             // the entry's record count; -1: not given
    bool filtered = false;
    int numbered = -1;  // "numbered": 1 or 0; -1 when the marker does not say
};
bool parseTransfer(const Fields& f, Transfer& t, std::string& why);

struct CheckedCapture {
    int transfers = 0;
    bool cutShort = false;
    // (session, entry) of downloads that share their start time with another
    // entry of their session, for markers that do not say "numbered".
    std::set<std::pair<int, int>> sameStart;
};

// Reads the whole capture; false with `error` set when it is to be refused.
bool checkCapture(const std::string& path, CheckedCapture& result, std::string& error);

}  // namespace capture
