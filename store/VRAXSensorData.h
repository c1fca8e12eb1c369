// The sample store of one sensor: decoded samples as 96-byte records in
// arrival order, the streamed CSV save of a download, and the whole-store
// CSV and binary files.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "store/CsvFormat.h"
#include "store/RecordList.h"
#include "store/SafeOutput.h"
#include "store/SensorDataRecord.h"
#include "store/StoreReporter.h"

class VRAXSensor;

// How a streamed save ended.
struct SaveFileEnd {
    enum Kind {
        nothing,     // no save file, or an interrupted one that received nothing (removed)
        complete,    // under its final name (or a numbered one beside it)
        incomplete,  // kept under a name with "incomplete" in it
        working,     // could not be moved: what arrived stays under the working name
    };
    Kind kind = nothing;
    std::string path;         // where the file is
    std::string error;        // why it is not complete, when a file operation failed
    bool allWritten = false;  // every record stored while saving reached the file
};

// What a CSV load or count found.
struct CsvLoadReport {
    uint64_t records = 0;       // lines that gave a record
    uint64_t skippedLines = 0;  // lines, not empty, that gave none
    // Lines kept although a time or value in them was not a number or out
    // of its field's range (read as the loader reads them: 0, or the limit).
    uint64_t doubtfulLines = 0;
    bool filteredAD16 = false;  // some 16-bit AD line carried filtered values
    std::string error;          // why the file could not be read
};

// Options of the CSV save of the whole store.
struct CsvSaveOptions {
    int limitLines = 0;  // lines per file, 0 (or less): one file
    int lineFeedCode = 1;
    csv::LineStyle style = csv::LineStyle::wholeStore;
    bool filtered = false;  // download lines: 16-bit AD lines with the filtered values
    safeout::Existing existing = safeout::Existing::replace;
};

struct CsvSaveReport {
    std::vector<std::string> files;  // the files written, in order
    uint64_t lines = 0;              // lines written
    uint64_t leftOut = 0;            // records that give no line in the chosen style
    std::string error;
};

// A record's sensor time (its msTime) and the host's UTC time when it arrived.
struct TimePair {
    uint64_t sensorMs = 0;
    int64_t hostUtcMs = 0;
};

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
    // Null for an index past the end, or given back by keepLatest.
    const SensorDataRecord* getDataByIndex(uint64_t index) const { return sensorData.at(index); }
    // Holds at least the latest `records` records and gives back the memory
    // of older ones (indexes stay those of arrival): a live session keeps
    // what it shows, the file keeps the rest.
    void keepLatest(uint64_t records);
    uint64_t firstHeldIndex() const { return sensorData.firstHeld(); }
    // Notes a (sensor time, host receive time) pair for the first record and
    // then once every `everyMs` of sensor time (and when the sensor's time
    // goes back); 0 stops. takeTimePairs hands over the pairs noted since.
    void noteTimePairs(uint64_t everyMs);
    std::vector<TimePair> takeTimePairs();
    // The pair noted last (taken or not): to place the latest records on
    // host time while they arrive.
    std::optional<TimePair> latestTimePair() const { return latestPair; }
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

    // Streamed save of a download. The records go to a working file next
    // to the save file's name ("<name>.part"); finishSaveFile moves it to
    // that name once the download is complete, or keeps it as incomplete.
    void setSaveFilename(const std::string& path);
    void setSaveFilenameOnly(const std::string& path);
    void clearSaveFilename();
    void setSaveFlag();
    void clearSaveFlag() { saveFlag = false; }
    // Writes the queue to the save file. True when every queued record
    // reached the file (or nothing was to be written).
    bool flashWriteBuffer();
    std::optional<std::string> filename() const { return saveFilename; }
    std::string workingFilename() const;
    bool isSaving() const { return saveFilename.has_value() && saveFlag; }
    // Ends the save file: the records still queued are written, the file is
    // synced and moved to its final name when `transferComplete` and every
    // record reached it, as `existing` says; otherwise it is kept under the
    // incomplete name. Saving is Off afterwards.
    SaveFileEnd finishSaveFile(bool transferComplete,
                               safeout::Existing existing = safeout::Existing::keepBoth);
    // Splits the streamed save into parts of `lines` records: a full part
    // is finished under its final name at once (nothing it holds can be lost
    // any more) and saving goes on into nextName(1), nextName(2), ... 0: one
    // file. setSaveFilename keeps the limit; the finished parts' paths are
    // collected until the limit is set again.
    void setSavePartLimit(uint64_t lines, std::function<std::string(int)> nextName);
    const std::vector<std::string>& finishedParts() const { return partPaths; }
    // Why the save file could not be made or written, in words.
    const std::string& saveFileError() const { return saveError; }
    // Records that reached the save file.
    uint64_t writtenRecords() const { return recordsWritten; }
    // True when creating or writing the current save file failed at some
    // point (records may since have gone out with a later batch).
    bool hadWriteError() const { return writeFailed; }
    // True while writing keeps failing (until a batch gets through again).
    bool isWriteFailing() const { return inFailingRun; }
    uint64_t queuedRecords() const { return writeDataList.size(); }

    // Whole-store files. Saves return false when a file could not be
    // created, written or closed; then no file is left behind. Loads return
    // false when nothing exists at the path, it is not a regular file or it
    // cannot be read; the store is then left as it was.
    bool saveToFileByCSV(const std::string& path, int limitLines, int lineFeedCode);
    // The CSV save with its options: every file is written first and only
    // then moved to its name, so a failed save leaves nothing behind.
    bool saveCSVFiles(const std::string& path, const CsvSaveOptions& options,
                      CsvSaveReport& report) const;
    // The names saveCSVFiles gives `records` records.
    static std::vector<std::string> csvFileNames(const std::string& path, int limitLines,
                                                 uint64_t records);
    // The same saves of records that come from elsewhere: `runs` hands them
    // over in runs, oldest first, and says whether it could read them all;
    // saveCSVFilesFrom names the parts for `records` records.
    using RecordRun = std::function<void(const SensorDataRecord* first, uint64_t n)>;
    using RecordRuns = std::function<bool(const RecordRun&)>;
    static bool saveCSVFilesFrom(const RecordRuns& runs, uint64_t records, const std::string& path,
                                 const CsvSaveOptions& options, CsvSaveReport& report);
    static bool saveBinFileFrom(const RecordRuns& runs, const std::string& fileName,
                                safeout::Existing existing, std::string& error);
    // The records of CSV files, read one at a time, in file order (a live
    // session's files: saved again without holding them). `files` and
    // `error` must outlive the result.
    static RecordRuns recordsOfCSVFiles(const std::vector<std::string>& files, std::string& error);
    bool saveToFileByText(const std::string& path, VRAXSensor* sensor, int limitLines,
                          int lineFeedCode, int interval, int64_t timeOffset, uint64_t startTimeMS,
                          uint64_t endTimeMS, uint64_t dataChopTimeMS);
    bool saveToFileByBin(const std::string& path);
    // The binary dump without a name change; false with `error` set.
    bool saveBinFile(const std::string& fileName, safeout::Existing existing,
                     std::string& error) const;
    bool loadFromFileByBin(const std::string& path);
    bool loadFromFileByCSV(const std::string& path);
    // Off by default: 16-bit AD lines load their four raw values only. On,
    // the CSV load also reads the filtered values of 8-value lines into
    // values[8..11] (the plot preview shows them).
    void setReadAD16FilterdData(bool value) { readAD16FilterdData = value; }
    static int checkSensCommand(std::string_view head);
    // What the last CSV load found (lines it skipped, why it failed).
    const CsvLoadReport& lastCSVLoad() const { return lastCsvLoad; }
    // Counts the records of a CSV file without keeping them.
    static bool countRecordsInCSV(const std::string& path, CsvLoadReport& report);
    // Gives each record of a CSV file to `each`, in file order, keeping none
    // (for readers that keep their own form of them). False with
    // report.error when the file cannot be read or turns out not to be
    // UTF-8 text: what `each` was given is then to be dropped.
    static bool readCSVRecords(const std::string& path, bool readFiltered, CsvLoadReport& report,
                               const std::function<void(const SensorDataRecord&)>& each);
    // Bytes at the end of the last binary file loaded that made no whole record.
    uint64_t ignoredBytesOfLastLoad() const { return lastLoadIgnoredBytes; }
    // Gives each record of a binary dump to `each`, in file order, keeping
    // none. `ignoredBytes`: the tail that makes no whole record. False with
    // `error` set when the file cannot be read.
    static bool readBinRecords(const std::string& path, uint64_t& ignoredBytes, std::string& error,
                               const std::function<void(const SensorDataRecord&)>& each);

    // Where write failures are reported; may be null (nothing is shown).
    void setReporter(StoreReporter* reporter) { this->reporter = reporter; }

  private:
    void queueForSave(const SensorDataRecord& record);
    // Finishes a full part and opens the next.
    void nextPart();
    // Creates the working file of the save file; records a failure to do so.
    void createSaveFile();
    // Appends the whole queue to the save file; unwritten records stay queued.
    bool writeBatch();
    void reportWriteFailure();
    // One CSV line into `r`; false for a line that gives no record.
    // `doubtful` is set when a time or value was not a number or out of range.
    static bool loadRecordFromCSVLine(std::string_view line, SensorDataRecord& r, bool readFiltered,
                                      bool* hadFiltered, bool* doubtful = nullptr);
    // Reads a CSV file's records into `into` (or only counts them).
    static bool readCSV(const std::string& path, RecordList* into, CsvLoadReport& report,
                        bool readFiltered,
                        const std::function<void(const SensorDataRecord&)>* each = nullptr);

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
    std::unique_ptr<safeout::OutputFile> saveFile;  // the working file of the save file
    std::string saveError;
    uint64_t recordsWritten = 0;
    bool fileDamaged = false;       // a torn line could not be cut off
    bool writeFailed = false;       // a batch of the current save file failed
    bool inFailingRun = false;      // reported already; quiet until a batch succeeds
    bool writingBatch = false;      // guards the batch write against re-entry
    uint64_t retryAtQueueSize = 0;  // in a failing run, the queue size of the next retry
    uint64_t lastLoadIgnoredBytes = 0;
    uint64_t partLimit = 0;
    uint64_t partRecords = 0;
    int partNumber = 0;
    std::function<std::string(int)> partName;
    std::vector<std::string> partPaths;
    CsvLoadReport lastCsvLoad;
    uint64_t timePairEvery = 0;
    bool havePair = false;
    uint64_t lastPairMs = 0;
    uint64_t nextPairAt = 0;
    std::vector<TimePair> timePairs;
    std::optional<TimePair> latestPair;
};

// A reporter set on a store for a scope: unset again on every way out, so
// the store never keeps a pointer to a reporter that is gone.
class ScopedReporter {
  public:
    ScopedReporter(VRAXSensorData& store, StoreReporter& reporter) : store(store) {
        store.setReporter(&reporter);
    }
    ~ScopedReporter() { store.setReporter(nullptr); }
    ScopedReporter(const ScopedReporter&) = delete;
    ScopedReporter& operator=(const ScopedReporter&) = delete;

  private:
    VRAXSensorData& store;
};
