// The tidy CSV writer: one pass over the store, each row appended to the
// buffered working file of its kind.
#include "store/TidyCsv.h"

#include <unistd.h>

#include <array>
#include <charconv>
#include <memory>

#include "store/FileIO.h"
#include "store/TidyColumns.h"
#include "store/VRAXSensorData.h"

namespace tidy {
namespace {

constexpr size_t kKinds = 7;
// time_ms, time_s and twelve values: well below this.
constexpr size_t kMaxRowLength = 320;

template <class T>
char* number(char* at, T value) {
    return std::to_chars(at, at + 24, value).ptr;
}

}  // namespace

std::vector<Table> tablesOf(const VRAXSensorData& store) {
    std::array<uint64_t, kKinds> rows{};
    for (uint64_t i = 0; i < store.count(); ++i) {
        const int type = store.getDataByIndex(i)->dataType;
        if (type >= 0 && size_t(type) < kKinds) ++rows[size_t(type)];
    }
    std::vector<Table> tables;
    for (size_t k = 0; k < kKinds; ++k)
        if (rows[k] > 0) tables.push_back({int(k), rows[k]});
    return tables;
}

int64_t timeOrigin(const VRAXSensorData& store) {
    return store.count() > 0 ? recordedMs(*store.getDataByIndex(0)) : 0;
}

bool hasFilteredAd16(const VRAXSensorData& store) {
    for (uint64_t i = 0; i < store.count(); ++i) {
        const SensorDataRecord& r = *store.getDataByIndex(i);
        if (r.dataType == ext16ad && (r.values[8] | r.values[9] | r.values[10] | r.values[11]))
            return true;
    }
    return false;
}

std::string csvPath(const std::string& dir, const std::string& stem, int dataType) {
    std::string path = dir;
    if (!path.empty() && path.back() != '/') path += '/';
    return path + stem + "_" + kindName(dataType) + ".csv";
}

bool writeCsvFiles(const VRAXSensorData& store, const std::string& dir, const std::string& stem,
                   bool filteredAd16, safeout::Existing existing, CsvReport& report) {
    report = CsvReport{};
    std::array<std::unique_ptr<fileio::BufferedFile>, kKinds> files;
    std::vector<fileio::BufferedFile*> order;  // the files made, in code order
    auto fail = [&](fileio::BufferedFile& file) {
        report.error = file.output().error();
        return false;
    };
    for (const Table& t : tablesOf(store)) {
        auto file = std::make_unique<fileio::BufferedFile>(csvPath(dir, stem, t.dataType));
        if (!file->ok()) return fail(*file);
        std::string header;
        for (const std::string& name : columnNames(t.dataType, filteredAd16))
            header += (header.empty() ? "" : ",") + name;
        header += '\n';
        file->write(header.data(), header.size());
        order.push_back(file.get());
        files[size_t(t.dataType)] = std::move(file);
    }

    const int64_t origin = timeOrigin(store);
    std::string seconds;
    for (uint64_t i = 0; i < store.count(); ++i) {
        const SensorDataRecord& r = *store.getDataByIndex(i);
        if (r.dataType < 0 || size_t(r.dataType) >= kKinds) continue;
        fileio::BufferedFile& file = *files[size_t(r.dataType)];
        char* const start = file.reserve(kMaxRowLength);
        char* at = number(start, recordedMs(r));
        *at++ = ',';
        seconds.clear();
        // The difference as unsigned arithmetic: stamps far apart never overflow.
        appendSeconds(seconds, int64_t(uint64_t(recordedMs(r)) - uint64_t(origin)));
        for (char c : seconds) *at++ = c;
        for (int v = 0; v < valueColumns(r.dataType, filteredAd16); ++v) {
            *at++ = ',';
            at = number(at, r.values[v]);
        }
        *at++ = '\n';
        file.commit(size_t(at - start));
    }

    for (fileio::BufferedFile* file : order)
        if (!file->flush() || !file->output().close()) return fail(*file);
    // Every file is whole: now they take their names.
    for (size_t i = 0; i < order.size(); ++i) {
        safeout::OutputFile& out = order[i]->output();
        if (!out.publish(existing)) {
            report.error = out.error();
            // The files already moved are this export's own: removed again,
            // unless they replaced files (those are gone either way).
            if (existing != safeout::Existing::replace)
                for (size_t k = 0; k < i; ++k) ::unlink(order[k]->output().publishedPath().c_str());
            report.files.clear();
            return false;
        }
        report.files.push_back(out.publishedPath());
    }
    return true;
}

}  // namespace tidy
