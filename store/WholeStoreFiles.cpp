// Whole-store files: the CSV save split by line count and the binary dump of
// the 96-byte record images. Every file is written under its working name
// and moved to its name only when all of them are whole: a failed save
// leaves nothing behind. A failed load leaves the store as it was.
#include <unistd.h>

#include <cstring>
#include <memory>
#include <vector>

#include "store/CsvFormat.h"
#include "store/FileIO.h"
#include "store/VRAXSensorData.h"

std::vector<std::string> VRAXSensorData::csvFileNames(const std::string& path, int limitLines,
                                                      uint64_t records) {
    if (limitLines <= 0) return {path + ".csv"};
    // A new file starts after every `limit` records, also after the last.
    const uint64_t files = records / uint64_t(limitLines) + 1;
    std::vector<std::string> names;
    names.reserve(files);
    for (uint64_t i = 0; i < files; ++i) names.push_back(path + "-" + std::to_string(i) + ".csv");
    return names;
}

bool VRAXSensorData::saveToFileByCSV(const std::string& path, int limitLines, int lineFeedCode) {
    CsvSaveOptions options;
    options.limitLines = limitLines;
    options.lineFeedCode = lineFeedCode;
    CsvSaveReport report;
    return saveCSVFiles(path, options, report);
}

bool VRAXSensorData::saveCSVFiles(const std::string& path, const CsvSaveOptions& options,
                                  CsvSaveReport& report) const {
    return saveCSVFilesFrom(
        [this](const RecordRun& f) {
            sensorData.forEachRun(f);
            return true;
        },
        count(), path, options, report);
}

bool VRAXSensorData::saveCSVFilesFrom(const RecordRuns& runs, uint64_t records,
                                      const std::string& path, const CsvSaveOptions& options,
                                      CsvSaveReport& report) {
    report = CsvSaveReport{};
    const int64_t limit = options.limitLines > 0 ? options.limitLines : 0;
    const std::vector<std::string> names = csvFileNames(path, options.limitLines, records);
    const char* eol = csv::lineEnd(options.lineFeedCode);

    // Written parts wait, closed, under their working names.
    std::vector<std::unique_ptr<fileio::BufferedFile>> parts;
    auto fail = [&](safeout::OutputFile& where) {
        report.error = where.error();
        return false;
    };
    parts.push_back(std::make_unique<fileio::BufferedFile>(names[0]));
    if (!parts.back()->ok()) return fail(parts.back()->output());
    int64_t lines = 0;
    bool ok = true;
    const bool read = runs([&](const SensorDataRecord* first, uint64_t n) {
        for (uint64_t i = 0; i < n && ok; ++i) {
            fileio::BufferedFile& file = *parts.back();
            char* out = file.reserve(csv::kMaxLineLength);
            const size_t length =
                csv::formatLine(first[i], options.style, options.filtered, eol, out);
            file.commit(length);
            if (length > 0)
                ++report.lines;
            else
                ++report.leftOut;
            if (limit > 0 && ++lines == limit) {
                ok = file.flush() && file.output().close();
                if (!ok) return;
                // More records than counted (a file that grew): no part to take them.
                ok = parts.size() < names.size();
                if (!ok) return;
                parts.push_back(std::make_unique<fileio::BufferedFile>(names[parts.size()]));
                ok = parts.back()->ok();
                lines = 0;
            }
        }
    });
    if (!read) {
        report.error = "the records could not be read back";
        return false;
    }
    fileio::BufferedFile& last = *parts.back();
    if (!ok || !last.flush() || !last.output().close()) return fail(parts.back()->output());

    // Every part is whole: now they take their names.
    for (size_t i = 0; i < parts.size(); ++i) {
        safeout::OutputFile& out = parts[i]->output();
        if (!out.publish(options.existing)) {
            report.error = out.error();
            // The parts already moved are this save's own files: removed again,
            // unless they replaced files (those are gone either way).
            if (options.existing != safeout::Existing::replace)
                for (size_t k = 0; k < i; ++k) ::unlink(parts[k]->output().publishedPath().c_str());
            return false;
        }
        report.files.push_back(out.publishedPath());
    }
    return true;
}

bool VRAXSensorData::saveToFileByText(const std::string& /*path*/, VRAXSensor* /*sensor*/,
                                      int /*limitLines*/, int /*lineFeedCode*/, int /*interval*/,
                                      int64_t /*timeOffset*/, uint64_t /*startTimeMS*/,
                                      uint64_t /*endTimeMS*/, uint64_t /*dataChopTimeMS*/) {
    return true;
}

bool VRAXSensorData::saveToFileByBin(const std::string& path) {
    std::string error;
    return saveBinFile(fileio::expandTilde(path + ".bin"), safeout::Existing::replace, error);
}

bool VRAXSensorData::saveBinFile(const std::string& fileName, safeout::Existing existing,
                                 std::string& error) const {
    return saveBinFileFrom(
        [this](const RecordRun& f) {
            sensorData.forEachRun(f);
            return true;
        },
        fileName, existing, error);
}

bool VRAXSensorData::saveBinFileFrom(const RecordRuns& runs, const std::string& fileName,
                                     safeout::Existing existing, std::string& error) {
    fileio::BufferedFile file(fileName);
    const bool read = runs([&](const SensorDataRecord* first, uint64_t n) {
        file.write(reinterpret_cast<const char*>(first), size_t(n) * sizeof(SensorDataRecord));
    });
    if (!read) {
        error = "the records could not be read back";
        return false;
    }
    if (!file.flush() || !file.output().publish(existing)) {
        error = file.output().error();
        return false;
    }
    return true;
}

bool VRAXSensorData::loadFromFileByBin(const std::string& path) {
    lastLoadIgnoredBytes = 0;
    fileio::InputFile file;
    if (!file.open(path)) return false;

    // Read into a new list so that a failed read leaves the store untouched.
    RecordList loaded;
    std::vector<char> block(sizeof(SensorDataRecord) * 1024);
    size_t have = 0;  // bytes in the block not yet made into records
    for (;;) {
        const ssize_t got = file.read(block.data() + have, block.size() - have);
        if (got < 0) return false;
        if (got == 0) break;
        have += size_t(got);
        const size_t whole = have / sizeof(SensorDataRecord);
        for (size_t i = 0; i < whole; ++i) {
            std::memcpy(&loaded.next(), block.data() + i * sizeof(SensorDataRecord),
                        sizeof(SensorDataRecord));
            loaded.push();
        }
        const size_t used = whole * sizeof(SensorDataRecord);
        std::memmove(block.data(), block.data() + used, have - used);
        have -= used;
    }
    // A tail shorter than one record is not a record; it is counted, not kept.
    lastLoadIgnoredBytes = have;
    sensorData.swap(loaded);
    return true;
}

VRAXSensorData::RecordRuns VRAXSensorData::recordsOfCSVFiles(const std::vector<std::string>& files,
                                                             std::string& error) {
    return [&files, &error](const RecordRun& f) {
        for (const std::string& path : files) {
            CsvLoadReport report;
            if (!readCSVRecords(path, false, report,
                                [&](const SensorDataRecord& r) { f(&r, 1); })) {
                error = report.error;
                return false;
            }
        }
        return true;
    };
}
