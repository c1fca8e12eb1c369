// Streamed CSV save: queued records go to the save file in batches, one
// write per batch. A batch that cannot be written completely keeps its
// unwritten records queued, in order, and the file keeps only whole lines.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

#include "store/CsvFormat.h"
#include "store/FileIO.h"
#include "store/VRAXSensorData.h"

namespace {
const char* const kWriteErrorMessage = "データ書き込み中にエラーが発生しました．\n";
const char* const kErrorTitle = "Error";
}  // namespace

void VRAXSensorData::createSaveFile() {
    const std::string path = fileio::expandTilde(*saveFilename);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || !fileio::closeChecked(fd)) {
        writeFailed = true;
        inFailingRun = true;
        if (reporter) reporter->storeMessage(kWriteErrorMessage, kErrorTitle);
    }
}

bool VRAXSensorData::writeBatch() {
    if (writingBatch || !saveFilename) return false;
    writingBatch = true;
    writeCnt = 0;

    // Lines of the whole queue in one buffer, with the end offset of each.
    static thread_local std::vector<char> buffer;
    static thread_local std::vector<size_t> lineEnds;
    buffer.resize(writeDataList.size() * csv::kMaxLineLength);
    lineEnds.clear();
    size_t used = 0;
    const char* eol = csv::lineEnd(1);
    for (const SensorDataRecord& r : writeDataList) {
        used += csv::formatLine(r, csv::LineStyle::streamed, writeAD16FilterdData, eol,
                                buffer.data() + used);
        lineEnds.push_back(used);
    }

    size_t written = 0;
    bool ok = false;
    const std::string path = fileio::expandTilde(*saveFilename);
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd >= 0) {
        struct stat st {};
        const bool sized = ::fstat(fd, &st) == 0;
        written = fileio::writeAll(fd, buffer.data(), used);
        if (written < used && sized) {
            // Cut a torn last line so that the file holds whole lines only.
            const size_t whole = size_t(
                std::upper_bound(lineEnds.begin(), lineEnds.end(), written) - lineEnds.begin());
            written = whole ? lineEnds[whole - 1] : 0;
            if (::ftruncate(fd, st.st_size + off_t(written)) != 0) written = 0;
        }
        const bool closed = fileio::closeChecked(fd);
        ok = written == used && closed;
    }

    // Drop the records whose lines reached the file.
    const size_t done =
        ok ? writeDataList.size()
           : size_t(std::upper_bound(lineEnds.begin(), lineEnds.end(), written) - lineEnds.begin());
    writeDataList.erase(writeDataList.begin(), writeDataList.begin() + std::ptrdiff_t(done));

    bool report = false;
    if (ok) {
        inFailingRun = false;
    } else {
        writeFailed = true;
        report = !inFailingRun;
        inFailingRun = true;
        retryAtQueueSize = 2 * writeDataList.size();
    }
    writingBatch = false;
    // The reporter may run an event loop in which more records arrive.
    if (report && reporter) reporter->storeMessage(kWriteErrorMessage, kErrorTitle);
    return ok;
}
