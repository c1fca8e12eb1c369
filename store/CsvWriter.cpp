// Streamed CSV save: queued records go to the save file's working file in
// batches. A batch that cannot be written completely keeps its unwritten
// records queued, in order, and the file keeps only whole lines.
#include <algorithm>
#include <vector>

#include "store/CsvFormat.h"
#include "store/FileIO.h"
#include "store/VRAXSensorData.h"

namespace {
const char* const kWriteErrorMessage = "データ書き込み中にエラーが発生しました．\n";
const char* const kErrorTitle = "Error";
// Records formatted per write: bounds the line buffer, however long the
// queue grew while the disk was full.
constexpr size_t kRecordsPerWrite = 1024;
}  // namespace

void VRAXSensorData::createSaveFile() {
    saveFile = std::make_unique<safeout::OutputFile>();
    if (!saveFile->create(fileio::expandTilde(*saveFilename))) {
        saveError = saveFile->error();
        writeFailed = true;
        inFailingRun = true;
        if (reporter) reporter->storeMessage(kWriteErrorMessage, kErrorTitle);
    }
}

void VRAXSensorData::reportWriteFailure() {
    writeFailed = true;
    const bool report = !inFailingRun;
    inFailingRun = true;
    retryAtQueueSize = 2 * writeDataList.size();
    // The reporter may run an event loop in which more records arrive.
    if (report && reporter) reporter->storeMessage(kWriteErrorMessage, kErrorTitle);
}

bool VRAXSensorData::writeBatch() {
    if (writingBatch || !saveFilename) return false;
    writeCnt = 0;
    if (!saveFile || !saveFile->isOpen() || fileDamaged) {
        if (saveFile && saveError.empty()) saveError = saveFile->error();
        reportWriteFailure();
        return false;
    }
    writingBatch = true;

    // The lines of up to kRecordsPerWrite records in one buffer, with the
    // end offset of each; one write per buffer.
    static thread_local std::vector<char> buffer(kRecordsPerWrite * csv::kMaxLineLength);
    size_t lineEnds[kRecordsPerWrite];
    const char* eol = csv::lineEnd(1);
    size_t done = 0;
    bool ok = true;
    while (done < writeDataList.size()) {
        const size_t n = std::min(kRecordsPerWrite, writeDataList.size() - done);
        size_t used = 0;
        for (size_t i = 0; i < n; ++i) {
            used += csv::formatLine(writeDataList[done + i], csv::LineStyle::streamed,
                                    writeAD16FilterdData, eol, buffer.data() + used);
            lineEnds[i] = used;
        }
        const off_t before = saveFile->size();
        const size_t written = saveFile->write(buffer.data(), used);
        if (written == used) {
            done += n;
            continue;
        }
        // Cut a torn last line so that the file holds whole lines only.
        const size_t whole = size_t(std::upper_bound(lineEnds, lineEnds + n, written) - lineEnds);
        const size_t keep = whole ? lineEnds[whole - 1] : 0;
        if (!saveFile->truncate(before + off_t(keep))) fileDamaged = true;
        done += whole;
        saveError = saveFile->error();
        ok = false;
        break;
    }

    // Drop the records whose lines reached the file.
    recordsWritten += done;
    if (done == writeDataList.size()) {
        writeDataList.clear();
        // A queue that grew during a failing run gives its memory back.
        if (writeDataList.capacity() > 4 * kRecordsPerWrite) writeDataList.shrink_to_fit();
    } else {
        writeDataList.erase(writeDataList.begin(), writeDataList.begin() + std::ptrdiff_t(done));
    }
    writingBatch = false;
    if (ok) {
        inFailingRun = false;
    } else {
        reportWriteFailure();
    }
    return ok;
}
