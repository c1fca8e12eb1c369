#include "store/VRAXSensorData.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>

void makeTimeStr(uint64_t msTime, char out[10]) {
    // Three divisions by constants, then two-digit pairs from a table.
    static constexpr char kPairs[] =
        "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
        "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
        "8081828384858687888990919293949596979899";
    const uint64_t seconds = msTime / 1000;
    const auto ms = unsigned(msTime - seconds * 1000);
    const uint64_t minutes = seconds / 60;
    const auto s = unsigned(seconds - minutes * 60);
    const uint64_t hours = minutes / 60;
    const auto m = unsigned(minutes - hours * 60);
    const auto hh = unsigned(hours % 100);
    std::memcpy(out, kPairs + 2 * hh, 2);
    std::memcpy(out + 2, kPairs + 2 * m, 2);
    std::memcpy(out + 4, kPairs + 2 * s, 2);
    out[6] = char('0' + ms / 100);
    std::memcpy(out + 7, kPairs + 2 * (ms % 100), 2);
    out[9] = '\0';
}

VRAXSensorData::VRAXSensorData() {
    std::memcpy(curDateStr, "00000000", 9);
}

VRAXSensorData::~VRAXSensorData() {
    // A save file still open belongs to a download that never finished.
    if (saveFile && saveFile->pending()) finishSaveFile(false);
}

void VRAXSensorData::clearSensorData() {
    sensorData.clear();
    writeDataList.clear();
}

void VRAXSensorData::setCurDate(int year, int month, int day) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d%02d%02d", year, month, day);
    std::memcpy(curDateStr, text, 8);
    curDateStr[8] = '\0';
}

void VRAXSensorData::appendSensorData(uint64_t msTime, int dataType, const int32_t* data) {
    if (saveFilename && !saveFlag) return;  // download finished: late samples are not kept
    if (dataType < 0 || dataType > 6) return;

    SensorDataRecord& r = sensorData.next();
    std::memset(&r, 0, sizeof r);
    r.dataType = dataType;
    r.msTime = msTime;
    makeTimeStr(msTime, r.timeStr);
    std::memcpy(r.dateStr, curDateStr, sizeof r.dateStr);
    std::memcpy(r.values, data, sizeof(int32_t) * size_t(kValuesPerType[dataType]));
    sensorData.push();
    if (timePairEvery > 0 && (!havePair || msTime >= nextPairAt || msTime < lastPairMs)) {
        // Sensor time against the host's receive time, once in a while.
        using namespace std::chrono;
        const int64_t host =
            duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
        timePairs.push_back({msTime, host});
        latestPair = TimePair{msTime, host};
        havePair = true;
        lastPairMs = msTime;
        nextPairAt = msTime + timePairEvery;
    }

    if (saveFilename && saveFlag) queueForSave(r);
}

bool VRAXSensorData::getDataByTheMSTime(uint64_t msTime, uint64_t afterIndex, uint64_t& dataIndex,
                                        bool before) const {
    const uint64_t n = count();
    if (n <= afterIndex) return false;
    dataIndex = std::max(afterIndex, sensorData.firstHeld());
    while (dataIndex < n) {
        if (sensorData.at(dataIndex)->msTime > msTime) {
            if (!before) return true;
            if (dataIndex == sensorData.firstHeld()) return false;
            --dataIndex;
            return true;
        }
        ++dataIndex;
    }
    if (!before) {
        if (sensorData.back().msTime != msTime) return false;
    }
    --dataIndex;
    return true;
}

void VRAXSensorData::keepLatest(uint64_t records) {
    if (count() > records) sensorData.dropBefore(count() - records);
}

void VRAXSensorData::noteTimePairs(uint64_t everyMs) {
    timePairEvery = everyMs;
    havePair = false;
    timePairs.clear();
    latestPair.reset();
}

std::vector<TimePair> VRAXSensorData::takeTimePairs() {
    std::vector<TimePair> taken;
    taken.swap(timePairs);
    return taken;
}

uint64_t VRAXSensorData::getPassedMSTimeFirstSample() const {
    const SensorDataRecord* first = sensorData.at(sensorData.firstHeld());
    return first ? first->msTime : 0;
}

uint64_t VRAXSensorData::getPassedMSTimeLastSample() const {
    return sensorData.empty() ? 0 : sensorData.back().msTime;
}

bool VRAXSensorData::getFirstDataTime(uint64_t& /*time*/, uint64_t& /*date*/) const {
    return !sensorData.empty();
}

bool VRAXSensorData::getLastDataTime(uint64_t& /*time*/, uint64_t& /*date*/) const {
    return !sensorData.empty();
}
