// Whole-store files: the CSV save split by line count and the binary dump of
// the 96-byte record images. Every file is written under its working name
// and moved to its name only when all of them are whole: a failed save
// leaves nothing behind. A failed load leaves the store as it was.
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "store/CsvFormat.h"
#include "store/FileIO.h"
#include "store/VRAXSensorData.h"

std::vector<std::string> VRAXSensorData::csvFileNames(const std::string& path, int limitLines,
                                                      uint64_t records) {
    if (limitLines <= 0) return {path + ".csv"};
    // A new file starts after every `limit` records, unless none follow.
    const uint64_t files =
        std::max<uint64_t>(1, (records + uint64_t(limitLines) - 1) / uint64_t(limitLines));
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
    uint64_t left = records;
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
            --left;
            if (limit > 0 && ++lines == limit && left > 0) {
                ok = file.flush();
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
    if (!ok || !last.flush()) return fail(parts.back()->output());

    // Every part is whole: now they take their names, all or none.
    std::vector<safeout::OutputFile*> outputs;
    for (const auto& part : parts) outputs.push_back(&part->output());
    if (!safeout::publishAll(outputs, options.existing, report.error)) return false;
    for (const auto& part : parts) report.files.push_back(part->output().publishedPath());
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

bool VRAXSensorData::readBinRecords(const std::string& path, uint64_t& ignoredBytes,
                                    std::string& error,
                                    const std::function<void(const SensorDataRecord&)>& each) {
    ignoredBytes = 0;
    fileio::InputFile file;
    if (!file.open(path)) {
        error = file.error();
        return false;
    }
    std::vector<char> block(sizeof(SensorDataRecord) * 1024);
    size_t have = 0;  // bytes in the block not yet made into records
    SensorDataRecord r;
    for (;;) {
        const ssize_t got = file.read(block.data() + have, block.size() - have);
        if (got < 0) {
            error = file.error();
            return false;
        }
        if (got == 0) break;
        have += size_t(got);
        const size_t whole = have / sizeof(SensorDataRecord);
        for (size_t i = 0; i < whole; ++i) {
            std::memcpy(&r, block.data() + i * sizeof(SensorDataRecord), sizeof r);
            each(r);
        }
        const size_t used = whole * sizeof(SensorDataRecord);
        std::memmove(block.data(), block.data() + used, have - used);
        have -= used;
    }
    // A tail shorter than one record is not a record; it is counted, not kept.
    ignoredBytes = have;
    return true;
}

bool VRAXSensorData::loadFromFileByBin(const std::string& path) {
    lastLoadIgnoredBytes = 0;
    // Read into a new list so that a failed read leaves the store untouched.
    RecordList loaded;
    std::string error;
    uint64_t ignored = 0;
    if (!readBinRecords(path, ignored, error, [&](const SensorDataRecord& r) {
            std::memcpy(&loaded.next(), &r, sizeof r);
            loaded.push();
        }))
        return false;
    lastLoadIgnoredBytes = ignored;
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
