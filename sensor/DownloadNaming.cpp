#include "sensor/DownloadNaming.h"

#include <charconv>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string_view>

#include "store/TextScan.h"
#include "store/VRAXSensorData.h"

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

// FNV-1a: a short, stable fingerprint of a name.
uint32_t fingerprint(const std::string& text) {
    uint32_t h = 2166136261u;
    for (unsigned char c : text) h = (h ^ c) * 16777619u;
    return h;
}

}  // namespace

std::string safeFileNamePart(const std::string& name) {
    constexpr size_t kMaxBytes = 100;
    std::string out;
    bool changed = false;
    for (size_t i = 0; i < name.size();) {
        uint32_t cp = 0;
        size_t n = text::decodeUtf8(name, i, cp);
        std::string_view piece;
        if (n == 0 || text::isControlOrBidi(cp) || cp == '/' || cp == '~') {
            piece = "_";
            n = n ? n : 1;
            changed = true;
        } else {
            piece = std::string_view(name).substr(i, n);
        }
        if (out.size() + piece.size() > kMaxBytes) {
            changed = true;
            break;
        }
        out += piece;
        i += n;
    }
    // Two names that became the same text (A/B and A_B) must not share
    // files: a changed name carries a fingerprint of the original. "~"
    // appears in no unchanged name, so the two kinds never meet.
    if (changed) {
        char tag[16];
        std::snprintf(tag, sizeof tag, "~%08x", fingerprint(name));
        out += tag;
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

std::string liveFilePath(const std::string& dayFolder, const std::string& sensorName,
                         const EntryStart& s, int part) {
    char number[24] = "";
    if (part >= 0) std::snprintf(number, sizeof number, "-%d", part);
    char tail[160];
    std::snprintf(tail, sizeof tail, "_%04d-%02d-%02d_%02d%02d%02d.%03d%s.csv", s.year, s.month,
                  s.day, s.hour, s.minute, s.second, s.millisecond, number);
    return dayFolder + "/live_" + safeFileNamePart(sensorName) + tail;
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

std::optional<std::string> completeDownload(const std::string& saveFolder,
                                            const std::string& todayPath, int64_t expected) {
    namespace fs = std::filesystem;
    std::vector<std::string> candidates{todayPath};
    const std::string fileName = fs::path(todayPath).filename().string();
    std::error_code ec;
    for (fs::directory_iterator it(saveFolder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string dir = it->path().filename().string();
        const std::string path = (it->path() / fileName).string();
        if (dir.size() == 16 && dir.rfind("memdata_", 0) == 0 && path != todayPath)
            candidates.push_back(path);
    }
    for (const std::string& path : candidates) {
        // A file under a download's name is complete unless it was made by
        // hand or by an older version: its records must be the entry's count.
        CsvLoadReport counted;
        if (!VRAXSensorData::countRecordsInCSV(path, counted)) continue;
        if (expected <= 0 || int64_t(counted.records) == expected) return path;
    }
    return std::nullopt;
}
