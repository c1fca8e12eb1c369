// Loading CSV files of the download line formats back into the store. The
// file is read in blocks: memory grows with the records kept, not with the
// size of the file.
#include <cstring>
#include <string_view>

#include "store/FileIO.h"
#include "store/LineReader.h"
#include "store/TextScan.h"
#include "store/VRAXSensorData.h"

int VRAXSensorData::checkSensCommand(std::string_view head) {
    static constexpr std::string_view heads[] = {"ags",  "geo",      "press temp",
                                                 "batt", "ext data", "qags"};
    for (int i = 0; i < 6; ++i)
        if (head == heads[i]) return i;
    if (head.size() == 7 && head.substr(0, 3) == "ead") return ext16ad;
    return unknown;
}

namespace {

// Fields each kind needs: the head, the time stamp and the values it reads.
int fieldsNeeded(int code) {
    return code == ext16ad ? 6 : 2 + kValuesPerType[code];
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return 0;
}

}  // namespace

bool VRAXSensorData::loadRecordFromCSVLine(std::string_view line, SensorDataRecord& r,
                                           bool readFiltered, bool* hadFiltered) {
    constexpr int kMaxFields = 14;
    std::string_view fields[kMaxFields];
    int n = 0;
    for (size_t start = 0;;) {
        const size_t comma = line.find(',', start);
        if (n < kMaxFields) fields[n] = line.substr(start, comma - start);
        ++n;
        if (comma == std::string_view::npos) break;
        start = comma + 1;
    }
    const int code = checkSensCommand(fields[0]);
    if (code == unknown) return false;
    // A line cut short (a torn write, a hand-edited file) is not loaded as zeros.
    if (n < fieldsNeeded(code)) return false;

    std::memset(&r, 0, sizeof r);
    r.dataType = code;
    r.msTime = uint64_t(text::scanInt64(fields[1]));
    makeTimeStr(r.msTime, r.timeStr);
    if (code == ext16ad) {
        for (int i = 0; i < 4; ++i) r.values[i] = hexDigit(fields[0][size_t(3 + i)]);
        for (int i = 0; i < 4; ++i) r.values[4 + i] = text::scanInt32(fields[2 + i]);
        if (n >= 10) {
            if (hadFiltered) *hadFiltered = true;
            if (readFiltered)
                for (int i = 0; i < 4; ++i) r.values[8 + i] = text::scanInt32(fields[6 + i]);
        }
    } else {
        for (int i = 0; i < kValuesPerType[code]; ++i) r.values[i] = text::scanInt32(fields[2 + i]);
    }
    return true;
}

bool VRAXSensorData::readCSV(const std::string& path, RecordList* into, CsvLoadReport& report,
                             bool readFiltered) {
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
    while (lines.next(line, overlong)) {
        SensorDataRecord& r = into ? into->next() : scratch;
        if (!overlong && loadRecordFromCSVLine(line, r, readFiltered, &report.filteredAD16)) {
            if (into) into->push();
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

bool VRAXSensorData::countRecordsInCSV(const std::string& path, CsvLoadReport& report) {
    return readCSV(path, nullptr, report, false);
}
