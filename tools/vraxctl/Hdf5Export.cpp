// HDF5 export through the library's POSIX file driver, on the working file
// that the safe output made and holds: HDF5's own file locking is off (the
// safe output's lock is the one that counts), and the file HDF5 opened is
// checked to be that very working file.
#include "tools/vraxctl/Hdf5Export.h"

#ifdef VRAXCTL_HDF5
#include <hdf5.h>
#include <malloc.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "tools/vraxctl/Hdf5Objects.h"
#endif

namespace hdf5out {

#ifndef VRAXCTL_HDF5

bool available() {
    return false;
}

struct Writer::Impl {};
Writer::Writer() = default;
Writer::~Writer() = default;

bool Writer::open(const safeout::OutputFile&, const std::vector<Attribute>&, std::string& error) {
    error = "this vraxctl was built without HDF5";
    return false;
}

bool Writer::beginGroup(const Group&, std::string& error) {
    error = "this vraxctl was built without HDF5";
    return false;
}

void Writer::add(const SensorDataRecord&) {}

bool Writer::finish(std::string& error) {
    error = "this vraxctl was built without HDF5";
    return false;
}

#else

namespace {

// Rows per chunk, and per write: each write fills whole chunks.
constexpr hsize_t kRowsPerChunk = 8192;
// Fast deflate: the data are counts that vary little, and the export
// should keep up with the disk.
constexpr unsigned kDeflateLevel = 1;

enum class Source { timeMs, timeS, timeUtc, timeUnix, value, scaled };

// One column's dataset and the block of rows on its way into it.
struct Column {
    Source source = Source::value;
    int slot = 0;
    double factor = 0;
    size_t size = 0;  // bytes per row in memory
    hid_t memoryType = -1;
    Id dataset, space;
    std::vector<char> block;
};

// One kind's columns.
struct Table {
    hsize_t rows = 0, written = 0, pending = 0;
    std::vector<Column> columns;

    bool flush() {
        if (pending == 0) return true;
        if (written + pending > rows) return false;  // more rows than surveyed
        const hsize_t start = written, count = pending;
        Id memory(H5Screate_simple(1, &count, nullptr), H5Sclose);
        if (!memory.ok()) return false;
        for (Column& c : columns)
            if (H5Sselect_hyperslab(c.space, H5S_SELECT_SET, &start, nullptr, &count, nullptr) <
                    0 ||
                H5Dwrite(c.dataset, c.memoryType, memory, c.space, H5P_DEFAULT, c.block.data()) < 0)
                return false;
        written += pending;
        pending = 0;
        return true;
    }
};

}  // namespace

bool available() {
    return true;
}

struct Writer::Impl {
    Id file, group;
    std::array<std::unique_ptr<Table>, tidy::kKinds> tables;
    std::string path;
    int64_t origin = 0;
    std::optional<int64_t> utcStart;
    Id utcType;
    bool failed = false;
    bool allRows = true;
    int lastErrno = 0;  // of the write that failed, as the library left it

    bool makeColumn(hid_t kindGroup, Table& table, const std::string& name, Column column,
                    hid_t fileType, const std::string& units);
    // Flushes and closes the current group's datasets; false when a write failed.
    bool endGroup();
    // Makes a source's group, its attributes and its datasets.
    bool makeGroup(const Group& g);
};

bool Writer::Impl::makeColumn(hid_t kindGroup, Table& table, const std::string& name, Column column,
                              hid_t fileType, const std::string& units) {
    const hsize_t rows = table.rows, chunk = std::min(rows, kRowsPerChunk);
    column.space = Id(H5Screate_simple(1, &rows, nullptr), H5Sclose);
    Id create(H5Pcreate(H5P_DATASET_CREATE), H5Pclose);
    // No chunk cache: every write is of whole chunks, which go straight to
    // the file, so memory does not grow with the number of columns.
    Id access(H5Pcreate(H5P_DATASET_ACCESS), H5Pclose);
    if (!column.space.ok() || !create.ok() || !access.ok() || H5Pset_chunk(create, 1, &chunk) < 0 ||
        H5Pset_shuffle(create) < 0 || H5Pset_deflate(create, kDeflateLevel) < 0 ||
        H5Pset_chunk_cache(access, 0, 0, H5D_CHUNK_CACHE_W0_DEFAULT) < 0)
        return false;
    column.dataset =
        Id(H5Dcreate2(kindGroup, name.c_str(), fileType, column.space, H5P_DEFAULT, create, access),
           H5Dclose);
    if (!column.dataset.ok() || !writeText(column.dataset, "units", units)) return false;
    column.block.resize(size_t(chunk) * column.size);
    table.columns.push_back(std::move(column));
    return true;
}

Writer::Writer() : d(std::make_unique<Impl>()) {}
Writer::~Writer() = default;

bool Writer::open(const safeout::OutputFile& out, const std::vector<Attribute>& attributes,
                  std::string& error) {
    // The library's own clean-up at exit crashes on a file whose closing
    // failed (a full disk); every file is closed here, so it is not needed.
    H5dont_atexit();
    // Failures come back as results; the library prints nothing itself.
    H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
    // The deflate filter takes and frees a buffer of a chunk's size or more
    // for every chunk; from the heap rather than fresh mappings, so the
    // same pages serve again instead of faulting in anew each time.
    mallopt(M_MMAP_THRESHOLD, 8 << 20);
    mallopt(M_TRIM_THRESHOLD, 32 << 20);
    error = "the HDF5 library could not make the file " + out.workingPath();
    d->path = out.workingPath();
    Id access(H5Pcreate(H5P_FILE_ACCESS), H5Pclose);
    if (!access.ok() || H5Pset_fapl_sec2(access) < 0 ||
        H5Pset_libver_bounds(access, H5F_LIBVER_V18, H5F_LIBVER_LATEST) < 0)
        return false;
#if H5_VERSION_GE(1, 10, 7)
    if (H5Pset_file_locking(access, false, true) < 0) return false;
#else
    setenv("HDF5_USE_FILE_LOCKING", "FALSE", 1);
#endif
    Id create = denseAttributes(H5P_FILE_CREATE);
    if (!create.ok()) return false;
    d->file = Id(H5Fcreate(out.workingPath().c_str(), H5F_ACC_TRUNC, create, access), H5Fclose);
    if (!d->file.ok()) return false;
    // The file HDF5 opened must be the working file the safe output holds.
    void* handle = nullptr;
    struct stat opened {
    }, held{};
    if (H5Fget_vfd_handle(d->file, access, &handle) < 0 || !handle ||
        ::fstat(*static_cast<int*>(handle), &opened) != 0 || ::fstat(out.fd(), &held) != 0 ||
        opened.st_dev != held.st_dev || opened.st_ino != held.st_ino) {
        error = out.workingPath() + " was replaced while it was written";
        return false;
    }
    d->utcType = textType(tidy::kIsoUtcLength);
    if (!d->utcType.ok()) return false;
    for (const Attribute& a : attributes)
        if (!writeAttribute(d->file, a)) return false;
    error.clear();
    return true;
}

bool Writer::Impl::endGroup() {
    bool ok = !failed;
    for (auto& table : tables) {
        if (!table) continue;
        ok = ok && table->flush();
        allRows = allRows && table->written == table->rows;
        table.reset();
    }
    group.reset();
    return ok;
}

bool Writer::Impl::makeGroup(const Group& g) {
    origin = g.origin;
    utcStart = g.utcStart;
    Id create = denseAttributes(H5P_GROUP_CREATE);
    if (!create.ok()) return false;
    group = Id(H5Gcreate2(file, g.name.c_str(), H5P_DEFAULT, create, H5P_DEFAULT), H5Gclose);
    if (!group.ok()) return false;
    for (const Attribute& a : g.attributes)
        if (!writeAttribute(group, a)) return false;
    for (const tidy::Table& t : g.tables) {
        auto table = std::make_unique<Table>();
        table->rows = t.rows;
        const std::vector<std::string> names = tidy::columnNames(t.dataType, g.filteredAd16);
        Id kind(
            H5Gcreate2(group, tidy::kindName(t.dataType), H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT),
            H5Gclose);
        if (!kind.ok()) return false;
        std::vector<std::string> order;
        // A column: where its values come from, their size and type in memory.
        auto make = [&](const std::string& name, Source source, int slot, double factor,
                        size_t size, hid_t memoryType, hid_t fileType, const std::string& units) {
            order.push_back(name);
            Column c;
            c.source = source;
            c.slot = slot;
            c.factor = factor;
            c.size = size;
            c.memoryType = memoryType;
            return makeColumn(kind, *table, name, std::move(c), fileType, units);
        };
        if (!make(tidy::kTimeMs, Source::timeMs, 0, 0, 8, H5T_NATIVE_INT64, H5T_STD_I64LE, "ms") ||
            !make(tidy::kTimeS, Source::timeS, 0, 0, 8, H5T_NATIVE_DOUBLE, H5T_IEEE_F64LE, "s"))
            return false;
        if (g.utcStart && (!make(tidy::kTimeUtc, Source::timeUtc, 0, 0, tidy::kIsoUtcLength,
                                 utcType, utcType, "ISO 8601 UTC") ||
                           !make(tidy::kTimeUnix, Source::timeUnix, 0, 0, 8, H5T_NATIVE_DOUBLE,
                                 H5T_IEEE_F64LE, "s")))
            return false;
        const int values = tidy::valueColumns(t.dataType, g.filteredAd16);
        for (int v = 0; v < values; ++v) {
            const std::string& name = names[size_t(v) + 2];
            if (!make(name, Source::value, v, 0, 4, H5T_NATIVE_INT32, H5T_STD_I32LE,
                      tidy::kCountUnit))
                return false;
            const tidy::ValueRange range = tidy::valueRange(t.dataType, v);
            const hid_t dataset = table->columns.back().dataset;
            if (!writeNumbers(dataset, "valid_range", H5T_STD_I64LE, H5T_NATIVE_INT64,
                              std::vector<int64_t>{range.min, range.max}, false) ||
                (range.bits > 0 && !writeNumbers(dataset, "bits", H5T_STD_I64LE, H5T_NATIVE_INT64,
                                                 std::vector<int64_t>{range.bits}, true)))
                return false;
        }
        for (int v = 0; v < values; ++v) {
            const tidy::ColumnScale& s = g.scales.of(t.dataType, v);
            if (!s.set()) continue;
            const std::string& raw = names[size_t(v) + 2];
            if (!make(tidy::scaledName(raw, s.unit), Source::scaled, v, s.factor, 8,
                      H5T_NATIVE_DOUBLE, H5T_IEEE_F64LE, s.unit))
                return false;
            const hid_t dataset = table->columns.back().dataset;
            if (!writeNumbers(dataset, "scale_factor", H5T_IEEE_F64LE, H5T_NATIVE_DOUBLE,
                              std::vector<double>{s.factor}, true) ||
                !writeText(dataset, "scaled_from", raw))
                return false;
        }
        if (!writeTexts(kind, "columns", order)) return false;
        tables[size_t(t.dataType)] = std::move(table);
    }
    return true;
}

bool Writer::beginGroup(const Group& g, std::string& error) {
    errno = 0;
    if (d->file.ok() && d->endGroup() && d->makeGroup(g)) return true;
    const int why = d->lastErrno ? d->lastErrno : errno;
    error = why ? "cannot write " + d->path + ": " + std::strerror(why)
                : "the HDF5 library could not make the group " + g.name + " in " + d->path;
    return false;
}

void Writer::add(const SensorDataRecord& r) {
    if (d->failed || r.dataType < 0 || size_t(r.dataType) >= tidy::kKinds) return;
    Table* table = d->tables[size_t(r.dataType)].get();
    if (!table) return;
    // More rows than the first pass counted: the input changed in between.
    if (table->written + table->pending >= table->rows) {
        d->allRows = false;
        return;
    }
    const int64_t ms = tidy::recordedMs(r);
    const size_t row = size_t(table->pending);
    for (Column& c : table->columns) {
        char* at = c.block.data() + row * c.size;
        switch (c.source) {
            case Source::timeMs:
                std::memcpy(at, &ms, 8);
                break;
            case Source::timeS: {
                // The difference as unsigned arithmetic: stamps far apart never overflow.
                const double s = double(int64_t(uint64_t(ms) - uint64_t(d->origin))) / 1000.0;
                std::memcpy(at, &s, 8);
                break;
            }
            case Source::timeUtc: {
                std::memset(at, 0, c.size);
                tidy::isoUtcInto(at, *d->utcStart + ms);
                break;
            }
            case Source::timeUnix: {
                const double s = double(*d->utcStart + ms) / 1000.0;
                std::memcpy(at, &s, 8);
                break;
            }
            case Source::value:
                std::memcpy(at, &r.values[c.slot], 4);
                break;
            case Source::scaled: {
                const double x = double(r.values[c.slot]) * c.factor;
                std::memcpy(at, &x, 8);
                break;
            }
        }
    }
    if (++table->pending == kRowsPerChunk && !table->flush()) {
        d->failed = true;
        d->lastErrno = errno;
    }
}

bool Writer::finish(std::string& error) {
    errno = 0;
    bool ok = d->file.ok() && d->endGroup();
    ok = ok && H5Fflush(d->file, H5F_SCOPE_GLOBAL) >= 0;
    ok = d->file.reset() && ok;
    if (!ok && d->lastErrno == 0) d->lastErrno = errno;
    if (!ok)
        error = "cannot write " + d->path +
                (d->lastErrno ? ": " + std::string(std::strerror(d->lastErrno)) : std::string());
    else if (!d->allRows)
        error = "the input changed while it was read";
    return ok && d->allRows;
}

#endif

}  // namespace hdf5out
