// Loading CSV files of the download line formats back into the store. The
// file is read in blocks: memory grows with the records kept, not with the
// size of the file.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "store/FileIO.h"
#include "store/LineReader.h"
#include "store/TextScan.h"
#include "store/VRAXSensorData.h"

int VRAXSensorData::checkSensCommand(std::string_view head) {
    // By length first: one comparison per line.
    switch (head.size()) {
        case 3:
            return head == "ags" ? ags : head == "geo" ? geo : unknown;
        case 4:
            return head == "batt" ? batt : head == "qags" ? qags : unknown;
        case 7:
            return head.substr(0, 3) == "ead" ? ext16ad : unknown;
        case 8:
            return head == "ext data" ? ext : unknown;
        case 10:
            return head == "press temp" ? press : unknown;
        default:
            return unknown;
    }
}

namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return 0;
}

bool isSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// The comma-separated fields after a line's head, read in one pass: each
// field's leading integer as text::scanInt64 reads it (white space, sign,
// digits, the rest of the field ignored, saturating at the limits). An
// empty field is a missing one. A field that starts with no number, or
// whose number lies beyond its range, is read all the same (0, or the
// limit) and marks the line as doubtful.
class Fields {
  public:
    Fields(const char* at, const char* end) : p(at), e(end) {}

    // The next field's integer; false when the line has no further field.
    [[gnu::always_inline]] inline bool next(int64_t& v) {
        if (!more) return false;
        const char* q = p;
        while (q < e && isSpace(*q)) [[unlikely]]++ q;
        const bool negative = q < e && *q == '-';
        const bool sign = q < e && (*q == '-' || *q == '+');
        if (sign) ++q;
        const char* const digits = q;
        // Up to 18 digits cannot overflow; longer numbers take the careful scan.
        const char* limit = e - q > 18 ? q + 18 : e;
        uint64_t u = 0;
        while (q < limit && unsigned(*q - '0') < 10) u = u * 10 + unsigned(*q++ - '0');
        if (q == digits) [[unlikely]] {
            if (!sign && (q == e || *q == ',')) {  // nothing in it
                more = q < e;
                p = more ? q + 1 : e;
                return false;
            }
            doubtful = true;
        }
        if (q < e && unsigned(*q - '0') < 10) [[unlikely]] {
            skipField(q);
            v = text::scanInt64(std::string_view(start, size_t(fieldEnd - start)));
            if (v == INT64_MAX || v == INT64_MIN) doubtful = true;
            return true;
        }
        v = negative ? -int64_t(u) : int64_t(u);
        if (q < e && *q == ',') {
            p = q + 1;  // the common case: the number is the whole field
            return true;
        }
        skipField(q);
        return true;
    }
    [[gnu::always_inline]] inline bool next(int32_t& v) {
        int64_t wide = 0;
        if (!next(wide)) return false;
        v = int32_t(std::clamp<int64_t>(wide, INT32_MIN, INT32_MAX));
        if (wide != v) [[unlikely]]
            doubtful = true;
        return true;
    }
    // Whether at least `n` more fields follow.
    bool atLeast(int n) const {
        if (!more) return n <= 0;
        int found = 1;
        for (const char* q = p; found < n; ++q) {
            q = static_cast<const char*>(std::memchr(q, ',', size_t(e - q)));
            if (!q) return false;
            ++found;
        }
        return true;
    }

    bool doubtful = false;

  private:
    // Moves past the field that starts at `p` and in which `q` lies.
    void skipField(const char* q) {
        start = p;
        const auto* comma = static_cast<const char*>(std::memchr(q, ',', size_t(e - q)));
        fieldEnd = comma ? comma : e;
        more = comma != nullptr;
        p = comma ? comma + 1 : e;
    }

    const char* p;
    const char* e;
    bool more = true;
    const char* start = nullptr;
    const char* fieldEnd = nullptr;
};

}  // namespace

bool VRAXSensorData::loadRecordFromCSVLine(std::string_view line, SensorDataRecord& r,
                                           bool readFiltered, bool* hadFiltered, bool* doubtful) {
    const char* begin = line.data();
    const char* end = begin + line.size();
    const auto* comma = static_cast<const char*>(std::memchr(begin, ',', line.size()));
    const int code =
        checkSensCommand(std::string_view(begin, size_t((comma ? comma : end) - begin)));
    if (code == unknown || !comma) return false;

    // A line cut short (a torn write, a hand-edited file) is not loaded as zeros.
    Fields fields(comma + 1, end);
    int64_t time = 0;
    if (!fields.next(time)) return false;
    if (time < 0) fields.doubtful = true;  // before 1970: no time of this store
    int32_t v[kValuesPerType[ext16ad]] = {};
    const int count = code == ext16ad ? 4 : kValuesPerType[code];
    for (int i = 0; i < count; ++i)
        if (!fields.next(v[i])) return false;
    bool filtered = false;
    int32_t f[4] = {};
    if (code == ext16ad && fields.atLeast(4)) {
        filtered = true;
        if (hadFiltered) *hadFiltered = true;
        if (readFiltered)
            for (int32_t& x : f) fields.next(x);
    }

    std::memset(&r, 0, sizeof r);
    r.dataType = code;
    r.msTime = uint64_t(time);
    makeTimeStr(r.msTime, r.timeStr);
    if (code == ext16ad) {
        for (int i = 0; i < 4; ++i) r.values[i] = hexDigit(begin[3 + i]);
        std::memcpy(r.values + 4, v, sizeof(int32_t) * 4);
        if (filtered && readFiltered) std::memcpy(r.values + 8, f, sizeof f);
    } else {
        std::memcpy(r.values, v, sizeof(int32_t) * size_t(count));
    }
    if (doubtful) *doubtful = fields.doubtful;
    return true;
}

bool VRAXSensorData::readCSV(const std::string& path, RecordList* into, CsvLoadReport& report,
                             bool readFiltered,
                             const std::function<void(const SensorDataRecord&)>* each) {
    report = CsvLoadReport{};
    fileio::InputFile file;
    if (!file.open(path)) {
        report.error = file.error();
        return false;
    }
    text::LineReader lines(file);
    SensorDataRecord scratch;
    std::string_view line;
    bool overlong = false;
    bool doubtful = false;
    while (lines.next(line, overlong)) {
        SensorDataRecord& r = into ? into->next() : scratch;
        if (!overlong &&
            loadRecordFromCSVLine(line, r, readFiltered, &report.filteredAD16, &doubtful)) {
            report.doubtfulLines += doubtful;
            if (into) into->push();
            if (each) (*each)(r);
            ++report.records;
        } else if (overlong || !line.empty()) {
            ++report.skippedLines;
        }
    }
    if (lines.readFailed()) {
        report.error = file.error();
        return false;
    }
    if (!lines.validUtf8()) {
        report.error = "it is not UTF-8 text";
        return false;
    }
    return true;
}

bool VRAXSensorData::loadFromFileByCSV(const std::string& path) {
    // A missing or unreadable file, or one that is not UTF-8 text, leaves
    // the store as it was.
    RecordList loaded;
    if (!readCSV(path, &loaded, lastCsvLoad, readAD16FilterdData)) return false;
    sensorData.swap(loaded);
    return true;
}

bool VRAXSensorData::readCSVRecords(const std::string& path, bool readFiltered,
                                    CsvLoadReport& report,
                                    const std::function<void(const SensorDataRecord&)>& each) {
    return readCSV(path, nullptr, report, readFiltered, &each);
}

bool VRAXSensorData::countRecordsInCSV(const std::string& path, CsvLoadReport& report) {
    return readCSV(path, nullptr, report, false);
}
