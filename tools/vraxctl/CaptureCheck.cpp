#include "tools/vraxctl/CaptureCheck.h"

#include <charconv>
#include <map>
#include <vector>

namespace capture {
namespace {

// Digits only, the whole text, no sign.
template <class T>
bool digits(const std::string& text, T& out) {
    if (text.empty() || text[0] < '0' || text[0] > '9') return false;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, out);
    return ec == std::errc{} && ptr == end;
}

bool leap(int year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

bool realDate(int year, int month, int day) {
    static const int kDays[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return year >= 2000 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
           day <= kDays[month - 1] && !(month == 2 && day == 29 && !leap(year));
}

// "YYYY/MM/DD hh:mm:ss.mmm", a real date and time of day.
bool entryStart(const std::string& text, EntryStart& s) {
    static const char kShape[] = "dddd/dd/dd dd:dd:dd.ddd";
    if (text.size() != sizeof kShape - 1) return false;
    for (size_t i = 0; i < text.size(); ++i)
        if (kShape[i] == 'd' ? (text[i] < '0' || text[i] > '9') : text[i] != kShape[i])
            return false;
    parseEntryStart(text, s);
    return realDate(s.year, s.month, s.day) && s.hour <= 23 && s.minute <= 59 && s.second <= 59;
}

bool flag(const Fields& f, const char* key, int& out) {
    const auto it = f.find(key);
    if (it == f.end()) return true;
    if (it->second != "0" && it->second != "1") return false;
    out = it->second == "1";
    return true;
}

}  // namespace

bool parseMarkerStrictly(const std::vector<uint8_t>& data, Fields& fields, std::string& why) {
    fields.clear();
    const std::string text(data.begin(), data.end());
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        if (line.empty()) continue;
        const size_t eq = line.find('=');
        if (eq == std::string::npos || eq == 0) {
            why = "a marker has a line that is not key=value";
            return false;
        }
        if (!fields.emplace(line.substr(0, eq), line.substr(eq + 1)).second) {
            why = "a marker gives \"" + line.substr(0, eq) + "\" twice";
            return false;
        }
    }
    return true;
}

bool parseTransfer(const Fields& f, Transfer& t, std::string& why) {
    auto field = [&](const char* key) {
        const auto it = f.find(key);
        return it == f.end() ? std::string() : it->second;
    };
    t = Transfer{};
    t.startText = field("start");
    if (!entryStart(t.startText, t.start)) {
        why = "a download marker has a bad start time (\"" + t.startText + "\")";
        return false;
    }
    if (!digits(field("entry"), t.entry) || t.entry < 1 || t.entry > 255) {
        why = "a download marker has a bad entry number";
        return false;
    }
    const std::string day = field("day");
    if (day.size() != 8 || !digits(day.substr(0, 4), t.year) ||
        !digits(day.substr(4, 2), t.month) || !digits(day.substr(6, 2), t.day) ||
        !realDate(t.year, t.month, t.day)) {
        why = "a download marker has a bad day (\"" + day + "\")";
        return false;
    }
    uint32_t records = 0;
    if (f.count("records")) {
        if (!digits(field("records"), records)) {
            why = "a download marker has a bad record count";
            return false;
        }
        t.expected = int64_t(records);
    }
    int filtered = 0;
    if (!flag(f, "filtered", filtered) || !flag(f, "numbered", t.numbered)) {
        why = "a download marker has a flag that is neither 0 nor 1";
        return false;
    }
    t.filtered = filtered == 1;
    return true;
}

bool checkCapture(const std::string& path, CheckedCapture& result, std::string& error) {
    result = CheckedCapture{};
    Reader reader;
    if (!reader.open(path)) {
        error = reader.error();
        return false;
    }
    auto damaged = [&](const std::string& what) {
        error = "the capture file " + path + " is damaged: " + what;
        return false;
    };
    int session = -1;
    // Per session: the start times of its downloads, by entry.
    std::map<int, std::map<int, std::string>> starts;
    Record r;
    for (;;) {
        const Reader::Next next = reader.next(r);
        if (next == Reader::Next::end) break;
        if (next == Reader::Next::cutShort) {
            result.cutShort = true;
            break;
        }
        if (next != Reader::Next::record) {
            error = reader.error();
            return false;
        }
        if (r.kind != Kind::marker) continue;
        Fields f;
        std::string why;
        if (!parseMarkerStrictly(r.data, f, why)) return damaged(why);
        const std::string event = f.count("event") ? f["event"] : "";
        if (event == "session") {
            if (f["sensor"].empty()) return damaged("a session marker has no sensor name");
            ++session;
        } else if (event == "transfer") {
            if (session < 0) return damaged("a download marker comes before its session");
            Transfer t;
            if (!parseTransfer(f, t, why)) return damaged(why);
            starts[session][t.entry] = t.startText;
            ++result.transfers;
        }
    }
    for (const auto& [s, entries] : starts)
        for (const auto& [entry, text] : entries)
            for (const auto& [other, otherText] : entries)
                if (other != entry && otherText == text) result.sameStart.insert({s, entry});
    return true;
}

}  // namespace capture
