#include "sensor/DownloadNaming.h"

#include <charconv>
#include <cstdio>
#include <ctime>

std::string formatEntryStart(const EntryStart& s) {
    char text[96];
    std::snprintf(text, sizeof text, "%04d/%02d/%02d %02d:%02d:%02d.%03d", s.year, s.month, s.day,
                  s.hour, s.minute, s.second, s.millisecond);
    return text;
}

bool parseEntryStart(const std::string& text, EntryStart& s) {
    if (text.size() < 23) return false;
    auto field = [&](size_t at, size_t len, int& out) {
        out = 0;
        std::from_chars(text.data() + at, text.data() + at + len, out);
    };
    field(0, 4, s.year);
    field(5, 2, s.month);
    field(8, 2, s.day);
    field(11, 2, s.hour);
    field(14, 2, s.minute);
    field(17, 2, s.second);
    field(20, 3, s.millisecond);
    return true;
}

std::string dayFolderPath(const std::string& saveFolder, int year, int month, int day) {
    char tail[64];
    std::snprintf(tail, sizeof tail, "/memdata_%04d%02d%02d", year, month, day);
    return saveFolder + tail;
}

namespace {
// Length of the UTF-8 sequence starting at `p`, or 0 when it is not valid.
size_t utf8Length(const unsigned char* p, size_t left) {
    size_t n = p[0] < 0x80           ? 1
               : (p[0] >> 5) == 0x6  ? 2
               : (p[0] >> 4) == 0xE  ? 3
               : (p[0] >> 3) == 0x1E ? 4
                                     : 0;
    if (n == 0 || n > left) return 0;
    for (size_t i = 1; i < n; ++i)
        if ((p[i] & 0xC0) != 0x80) return 0;
    return n;
}
}  // namespace

std::string safeFileNamePart(const std::string& name) {
    constexpr size_t kMaxBytes = 100;
    std::string out;
    const auto* p = reinterpret_cast<const unsigned char*>(name.data());
    for (size_t i = 0; i < name.size();) {
        size_t n = utf8Length(p + i, name.size() - i);
        std::string piece;
        if (n == 0) {
            piece = "_";
            n = 1;
        } else if (n == 1 && (p[i] < 0x20 || p[i] == 0x7F || p[i] == '/')) {
            piece = "_";
        } else {
            piece.assign(name, i, n);
        }
        if (out.size() + piece.size() > kMaxBytes) break;
        out += piece;
        i += n;
    }
    return out;
}

std::string csvFilePath(const std::string& dayFolder, const std::string& sensorName,
                        const EntryStart& s, bool filtered, int entryNumber) {
    char number[24] = "";
    if (entryNumber > 0) std::snprintf(number, sizeof number, "-e%d", entryNumber);
    char tail[160];
    std::snprintf(tail, sizeof tail, "_%04d-%02d-%02d_%02d%02d%02d.%03d%s%s.csv", s.year, s.month,
                  s.day, s.hour, s.minute, s.second, s.millisecond, number,
                  filtered ? "-FILT" : "");
    return dayFolder + "/memdata_" + safeFileNamePart(sensorName) + tail;
}

bool entryNeedsNumber(const std::vector<std::string>& startTexts, size_t row) {
    if (row >= startTexts.size()) return false;
    for (size_t i = 0; i < startTexts.size(); ++i)
        if (i != row && startTexts[i] == startTexts[row]) return true;
    return false;
}

void localToday(int& year, int& month, int& day) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    year = local.tm_year + 1900;
    month = local.tm_mon + 1;
    day = local.tm_mday;
}
