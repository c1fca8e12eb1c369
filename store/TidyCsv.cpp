// The tidy CSV writer: one pass over the store, each row appended to the
// buffered working file of its kind.
#include "store/TidyCsv.h"

#include <array>
#include <charconv>
#include <memory>

#include "store/FileIO.h"
#include "store/TidyColumns.h"
#include "store/VRAXSensorData.h"

namespace tidy {
namespace {

// time_ms, time_s, time_utc, time_unix, twelve values and twelve scaled
// values (at most 24 characters each): well below this.
constexpr size_t kMaxRowLength = 800;

template <class T>
char* number(char* at, T value) {
    return std::to_chars(at, at + 24, value).ptr;
}

}  // namespace

// "YYYY-MM-DDThh:mm:ss.mmmZ" without snprintf: this runs once per row.
char* isoUtcInto(char* at, int64_t unixMs) {
    int64_t days = unixMs / 86400000;
    int64_t inDay = unixMs % 86400000;
    if (inDay < 0) {
        inDay += 86400000;
        --days;
    }
    // Days to civil date (proleptic Gregorian).
    int64_t z = days + 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t doe = z - era * 146097;
    const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const int64_t mp = (5 * doy + 2) / 153;
    const int d = int(doy - (153 * mp + 2) / 5 + 1);
    const int m = int(mp < 10 ? mp + 3 : mp - 9);
    const int64_t y = yoe + era * 400 + (m <= 2);
    if (y < 0 || y > 9999) return std::to_chars(at, at + 24, unixMs).ptr;  // no such ISO year
    auto two = [&](int v) {
        *at++ = char('0' + v / 10);
        *at++ = char('0' + v % 10);
    };
    two(int(y / 100));
    two(int(y % 100));
    *at++ = '-';
    two(m);
    *at++ = '-';
    two(d);
    *at++ = 'T';
    two(int(inDay / 3600000));
    *at++ = ':';
    two(int(inDay / 60000 % 60));
    *at++ = ':';
    two(int(inDay / 1000 % 60));
    *at++ = '.';
    const int ms = int(inDay % 1000);
    *at++ = char('0' + ms / 100);
    two(ms % 100);
    *at++ = 'Z';
    return at;
}

void Survey::add(const SensorDataRecord& r) {
    if (records_ == 0) origin_ = recordedMs(r);
    ++records_;
    if (r.dataType < 0 || size_t(r.dataType) >= kKinds) return;
    ++rows_[size_t(r.dataType)];
    if (r.dataType == ext16ad && (r.values[8] | r.values[9] | r.values[10] | r.values[11]))
        filtered_ = true;
}

std::vector<Table> Survey::tables() const {
    std::vector<Table> tables;
    for (size_t k = 0; k < kKinds; ++k)
        if (rows_[k] > 0) tables.push_back({int(k), rows_[k]});
    return tables;
}

namespace {
Survey surveyOf(const VRAXSensorData& store) {
    Survey survey;
    for (uint64_t i = 0; i < store.count(); ++i) survey.add(*store.getDataByIndex(i));
    return survey;
}
}  // namespace

std::vector<Table> tablesOf(const VRAXSensorData& store) {
    return surveyOf(store).tables();
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

CsvTables::CsvTables() = default;
CsvTables::~CsvTables() = default;

bool CsvTables::open(const std::string& dir, const std::string& stem,
                     const std::vector<Table>& tables, int64_t timeOrigin, bool filteredAd16,
                     std::string& error) {
    origin = timeOrigin;
    filtered = filteredAd16;
    for (const Table& t : tables) {
        auto file = std::make_unique<fileio::BufferedFile>(csvPath(dir, stem, t.dataType));
        if (!file->ok()) {
            error = file->output().error();
            return false;
        }
        std::string header;
        for (const std::string& name : columnNames(t.dataType, filtered)) {
            header += (header.empty() ? "" : ",") + name;
            if (utcStart && name == kTimeS) header += std::string(",") + kTimeUtc + "," + kTimeUnix;
        }
        const std::vector<std::string> names = columnNames(t.dataType, filtered);
        for (int v = 0; v < valueColumns(t.dataType, filtered); ++v)
            if (const ColumnScale& s = scales.of(t.dataType, v); s.set())
                header += "," + scaledName(names[size_t(v) + 2], s.unit);
        header += '\n';
        file->write(header.data(), header.size());
        order.push_back(file.get());
        files[size_t(t.dataType)] = std::move(file);
    }
    return true;
}

void CsvTables::add(const SensorDataRecord& r) {
    if (r.dataType < 0 || size_t(r.dataType) >= kKinds || !files[size_t(r.dataType)]) return;
    fileio::BufferedFile& file = *files[size_t(r.dataType)];
    char* const start = file.reserve(kMaxRowLength);
    char* at = number(start, recordedMs(r));
    *at++ = ',';
    seconds.clear();
    // The difference as unsigned arithmetic: stamps far apart never overflow.
    appendSeconds(seconds, int64_t(uint64_t(recordedMs(r)) - uint64_t(origin)));
    for (char c : seconds) *at++ = c;
    if (utcStart) {
        const int64_t unixMs = *utcStart + recordedMs(r);
        *at++ = ',';
        at = isoUtcInto(at, unixMs);
        *at++ = ',';
        seconds.clear();
        appendSeconds(seconds, unixMs);
        for (char c : seconds) *at++ = c;
    }
    const int values = valueColumns(r.dataType, filtered);
    for (int v = 0; v < values; ++v) {
        *at++ = ',';
        at = number(at, r.values[v]);
    }
    for (int v = 0; v < values; ++v)
        if (const ColumnScale& s = scales.of(r.dataType, v); s.set()) {
            *at++ = ',';
            at = number(at, double(r.values[v]) * s.factor);
        }
    *at++ = '\n';
    file.commit(size_t(at - start));
}

bool CsvTables::flush(std::string& error) {
    for (fileio::BufferedFile* file : order)
        if (!file->flush()) {
            error = file->output().error();
            return false;
        }
    return true;
}

std::vector<safeout::OutputFile*> CsvTables::outputs() const {
    std::vector<safeout::OutputFile*> out;
    for (fileio::BufferedFile* file : order) out.push_back(&file->output());
    return out;
}

bool writeCsvFiles(const VRAXSensorData& store, const std::string& dir, const std::string& stem,
                   bool filteredAd16, safeout::Existing existing, CsvReport& report,
                   const std::vector<safeout::OutputFile*>& alongWith) {
    report = CsvReport{};
    CsvTables tables;
    if (!tables.open(dir, stem, tablesOf(store), timeOrigin(store), filteredAd16, report.error))
        return false;
    for (uint64_t i = 0; i < store.count(); ++i) tables.add(*store.getDataByIndex(i));
    if (!tables.flush(report.error)) return false;
    // Every file is whole: now they take their names, all or none.
    std::vector<safeout::OutputFile*> outputs = tables.outputs();
    outputs.insert(outputs.end(), alongWith.begin(), alongWith.end());
    if (!safeout::publishAll(outputs, existing, report.error)) return false;
    for (safeout::OutputFile* out : tables.outputs()) report.files.push_back(out->publishedPath());
    return true;
}

}  // namespace tidy
