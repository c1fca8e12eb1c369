// States of the streamed save: Off (no file), Saving (file and flag), and
// Stopped (file, no flag: late records are dropped).
#include "store/VRAXSensorData.h"

void VRAXSensorData::setSaveFilename(const std::string& path) {
    saveFilename = path;
    writeCnt = 0;
    writeDataList.clear();
    writeFailed = false;
    inFailingRun = false;
    retryAtQueueSize = 0;
    createSaveFile();
}

void VRAXSensorData::setSaveFilenameOnly(const std::string& path) {
    saveFilename = path;
}

void VRAXSensorData::clearSaveFilename() {
    saveFilename.reset();
    saveFlag = false;
    writeCnt = 0;
    writeDataList.clear();
}

void VRAXSensorData::setSaveFlag() {
    saveFlag = true;
    writeCnt = 0;
    writeDataList.clear();
}

void VRAXSensorData::queueForSave(const SensorDataRecord& record) {
    const int32_t n = writeCnt;
    writeCnt = n + 1;
    writeDataList.push_back(record);
    if (n < 99) return;
    // While the file keeps failing, retry only each time the queue has
    // doubled, so that a long failing run does not reformat the queue every
    // 100 records; the final flashWriteBuffer always tries.
    if (inFailingRun && writeDataList.size() < retryAtQueueSize) {
        writeCnt = 0;
        return;
    }
    writeBatch();
}

bool VRAXSensorData::flashWriteBuffer() {
    if (!saveFilename || !saveFlag) return true;
    return writeBatch();
}
