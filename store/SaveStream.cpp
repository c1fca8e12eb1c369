// States of the streamed save: Off (no file), Saving (file and flag), and
// Stopped (file, no flag: late records are dropped).
#include "store/FileIO.h"
#include "store/VRAXSensorData.h"

void VRAXSensorData::setSaveFilename(const std::string& path) {
    // A save file still open is an interrupted one: kept as incomplete.
    if (saveFile && saveFile->pending()) finishSaveFile(false);
    saveFilename = path;
    writeCnt = 0;
    writeDataList.clear();
    writeFailed = false;
    inFailingRun = false;
    fileDamaged = false;
    retryAtQueueSize = 0;
    recordsWritten = 0;
    saveError.clear();
    partRecords = 0;
    createSaveFile();
}

void VRAXSensorData::setSavePartLimit(uint64_t lines, std::function<std::string(int)> nextName) {
    partLimit = nextName ? lines : 0;
    partName = std::move(nextName);
    partRecords = 0;
    partNumber = 0;
    partPaths.clear();
}

void VRAXSensorData::nextPart() {
    const SaveFileEnd end = finishSaveFile(true);
    if (!end.path.empty()) partPaths.push_back(end.path);
    const std::string keptError = end.error;
    setSaveFilename(partName(++partNumber));
    setSaveFlag();
    if (saveError.empty() && !keptError.empty()) saveError = keptError;
}

void VRAXSensorData::setSaveFilenameOnly(const std::string& path) {
    saveFilename = path;
}

void VRAXSensorData::clearSaveFilename() {
    // The records that arrived are not thrown away: an open save file is
    // kept as incomplete.
    if (saveFile && saveFile->pending()) finishSaveFile(false);
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

std::string VRAXSensorData::workingFilename() const {
    return saveFile ? saveFile->workingPath() : std::string();
}

void VRAXSensorData::queueForSave(const SensorDataRecord& record) {
    const int32_t n = writeCnt;
    writeCnt = n + 1;
    writeDataList.push_back(record);
    if (partLimit > 0 && ++partRecords >= partLimit) {
        nextPart();
        return;
    }
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

SaveFileEnd VRAXSensorData::finishSaveFile(bool transferComplete, safeout::Existing existing) {
    SaveFileEnd end;
    saveFlag = false;
    if (!saveFile || !saveFile->pending()) {
        saveFile.reset();
        saveFilename.reset();
        return end;
    }
    safeout::OutputFile& file = *saveFile;
    if (!writeDataList.empty()) writeBatch();
    end.allWritten = writeDataList.empty() && !fileDamaged;
    const bool complete = transferComplete && end.allWritten;

    bool moved = false;
    if (complete) {
        // Where replacing is refused or fails (a folder under that name),
        // the download takes a numbered name beside it: never lost.
        moved = file.publish(existing) || file.publishAsFirstFree([&](int n) {
            return safeout::numberedName(file.finalPath(), n);
        });
        end.kind = SaveFileEnd::complete;
    } else if (file.size() == 0) {
        file.discard();  // nothing arrived: no file
        end.kind = SaveFileEnd::nothing;
        moved = true;
    } else {
        moved = file.publishAsFirstFree(
            [&](int n) { return safeout::incompleteName(file.finalPath(), n); });
        end.kind = SaveFileEnd::incomplete;
    }
    if (!moved) {
        end.kind = SaveFileEnd::working;
        end.path = file.workingPath();
        end.error = file.error();
        file.keep();
    } else if (end.kind != SaveFileEnd::nothing) {
        end.path = file.publishedPath();
    }
    if (end.error.empty() && !end.allWritten) end.error = saveError;
    saveFile.reset();
    saveFilename.reset();
    writeCnt = 0;
    writeDataList.clear();
    writeDataList.shrink_to_fit();
    return end;
}
