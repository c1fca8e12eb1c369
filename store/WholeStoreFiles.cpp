// Whole-store files: the CSV save split by line count and the binary dump of
// the 96-byte record images. Saves return false when any file could not be
// created, written or closed; a failed binary load leaves the store as it was.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "store/CsvFormat.h"
#include "store/FileIO.h"
#include "store/VRAXSensorData.h"

bool VRAXSensorData::saveToFileByCSV(const std::string& path, int limitLines, int lineFeedCode) {
    const int64_t limit = limitLines > 0 ? limitLines : 0;
    const char* eol = csv::lineEnd(lineFeedCode);
    auto nameOf = [&](int64_t index) {
        return limit == 0 ? path + ".csv" : path + "-" + std::to_string(index) + ".csv";
    };

    int64_t fileIndex = 0;
    int64_t lines = 0;
    auto file = std::make_unique<fileio::BufferedFile>(nameOf(0));
    bool ok = file->ok();
    sensorData.forEachRun([&](const SensorDataRecord* first, uint64_t n) {
        for (uint64_t i = 0; i < n; ++i) {
            char* out = file->reserve(csv::kMaxLineLength);
            file->commit(csv::formatLine(first[i], csv::LineStyle::wholeStore, false, eol, out));
            if (limit > 0 && ++lines == limit) {
                ok = file->finish() && ok;
                file = std::make_unique<fileio::BufferedFile>(nameOf(++fileIndex));
                ok = ok && file->ok();
                lines = 0;
            }
        }
    });
    return file->finish() && ok;
}

bool VRAXSensorData::saveToFileByText(const std::string& /*path*/, VRAXSensor* /*sensor*/,
                                      int /*limitLines*/, int /*lineFeedCode*/, int /*interval*/,
                                      int64_t /*timeOffset*/, uint64_t /*startTimeMS*/,
                                      uint64_t /*endTimeMS*/, uint64_t /*dataChopTimeMS*/) {
    return true;
}

bool VRAXSensorData::saveToFileByBin(const std::string& path) {
    fileio::BufferedFile file(fileio::expandTilde(path + ".bin"));
    sensorData.forEachRun([&](const SensorDataRecord* first, uint64_t n) {
        file.write(reinterpret_cast<const char*>(first), size_t(n) * sizeof(SensorDataRecord));
    });
    return file.finish();
}

bool VRAXSensorData::loadFromFileByBin(const std::string& path) {
    lastLoadIgnoredBytes = 0;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;

    // Read into a new list so that a failed read leaves the store untouched.
    RecordList loaded;
    size_t have = 0;  // bytes of the record being filled
    bool ok = true;
    for (;;) {
        SensorDataRecord& r = loaded.next();
        const ssize_t got =
            ::read(fd, reinterpret_cast<char*>(&r) + have, sizeof(SensorDataRecord) - have);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            ok = false;
            break;
        }
        if (got == 0) break;
        have += size_t(got);
        if (have == sizeof(SensorDataRecord)) {
            loaded.push();
            have = 0;
        }
    }
    ::close(fd);
    if (!ok) return false;

    // A tail shorter than one record is not a record; it is counted, not kept.
    lastLoadIgnoredBytes = have;
    sensorData.swap(loaded);
    return true;
}
