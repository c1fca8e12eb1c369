// The sample store of one sensor: decoded samples as 96-byte records in
// arrival order, the streamed CSV save of a download, and the whole-store
// CSV and binary files.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "store/RecordList.h"
#include "store/SensorDataRecord.h"
#include "store/StoreReporter.h"

class VRAXSensor;

class VRAXSensorData {
  public:
    VRAXSensorData();
    ~VRAXSensorData();
    VRAXSensorData(const VRAXSensorData&) = delete;
    VRAXSensorData& operator=(const VRAXSensorData&) = delete;

    // Records.
    void clearSensorData();
    void setCurDate(int year, int month, int day);
    uint64_t count() const { return sensorData.size(); }
    void appendSensorData(uint64_t msTime, int dataType, const int32_t* data);
    const SensorDataRecord* getDataByIndex(uint64_t index) const { return sensorData.at(index); }
    bool getDataByTheMSTime(uint64_t msTime, uint64_t afterIndex, uint64_t& dataIndex,
                            bool before) const;
    uint64_t getPassedMSTimeFirstSample() const;
    uint64_t getPassedMSTimeLastSample() const;
    bool getFirstDataTime(uint64_t& time, uint64_t& date) const;
    bool getLastDataTime(uint64_t& time, uint64_t& date) const;
    void setWriteAD16FilterdData(bool value) { writeAD16FilterdData = value; }
    bool getWriteAD16FilterdData() const { return writeAD16FilterdData; }
    std::string getAXISString() const { return "dummy"; }
    const char* curDate() const { return curDateStr; }

    // Streamed save of a download.
    void setSaveFilename(const std::string& path);
    void setSaveFilenameOnly(const std::string& path);
    void clearSaveFilename();
    void setSaveFlag();
    void clearSaveFlag() { saveFlag = false; }
    // Writes the queue to the save file. True when every queued record
    // reached the file (or nothing was to be written).
    bool flashWriteBuffer();
    std::optional<std::string> filename() const { return saveFilename; }
    bool isSaving() const { return saveFilename.has_value() && saveFlag; }
    // True when creating or writing the current save file failed at some
    // point (records may since have gone out with a later batch).
    bool hadWriteError() const { return writeFailed; }
    uint64_t queuedRecords() const { return writeDataList.size(); }

    // Whole-store files. Saves return false when a file could not be
    // created, written or closed. Loads return false when nothing exists at
    // the path or it cannot be read; the store is then left as it was.
    bool saveToFileByCSV(const std::string& path, int limitLines, int lineFeedCode);
    bool saveToFileByText(const std::string& path, VRAXSensor* sensor, int limitLines,
                          int lineFeedCode, int interval, int64_t timeOffset, uint64_t startTimeMS,
                          uint64_t endTimeMS, uint64_t dataChopTimeMS);
    bool saveToFileByBin(const std::string& path);
    bool loadFromFileByBin(const std::string& path);
    bool loadFromFileByCSV(const std::string& path);
    // Off by default: 16-bit AD lines load their four raw values only. On,
    // the CSV load also reads the filtered values of 8-value lines into
    // values[8..11] (the plot preview shows them).
    void setReadAD16FilterdData(bool value) { readAD16FilterdData = value; }
    static int checkSensCommand(std::string_view head);
    // Bytes at the end of the last binary file loaded that made no whole record.
    uint64_t ignoredBytesOfLastLoad() const { return lastLoadIgnoredBytes; }

    // Where write failures are reported; may be null (nothing is shown).
    void setReporter(StoreReporter* reporter) { this->reporter = reporter; }

  private:
    void queueForSave(const SensorDataRecord& record);
    // Creates (or empties) the save file; records a failure to do so.
    void createSaveFile();
    // Appends the whole queue to the save file; unwritten records stay queued.
    bool writeBatch();
    // One CSV line into `r`; false for a line that gives no record.
    static bool loadRecordFromCSVLine(std::string_view line, SensorDataRecord& r,
                                      bool readFiltered);

    RecordList sensorData;
    char curDateStr[9];
    std::optional<std::string> saveFilename;
    bool saveFlag = false;
    int32_t lastTimeStampHour = 0;
    int32_t writeCnt = 0;
    std::vector<SensorDataRecord> writeDataList;
    bool writeAD16FilterdData = false;
    bool readAD16FilterdData = false;

    StoreReporter* reporter = nullptr;
    bool writeFailed = false;       // a batch of the current save file failed
    bool inFailingRun = false;      // reported already; quiet until a batch succeeds
    bool writingBatch = false;      // guards the batch write against re-entry
    uint64_t retryAtQueueSize = 0;  // in a failing run, the queue size of the next retry
    uint64_t lastLoadIgnoredBytes = 0;
};
