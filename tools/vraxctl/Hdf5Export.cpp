// HDF5 export through the library's POSIX file driver, on the working file
// that the safe output made and holds: HDF5's own file locking is off (the
// safe output's lock is the one that counts), and the file HDF5 opened is
// checked to be that very working file.
#include "tools/vraxctl/Hdf5Export.h"

#ifdef VRAXCTL_HDF5
#include <hdf5.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "store/TidyColumns.h"
#endif

namespace hdf5out {

#ifndef VRAXCTL_HDF5

bool available() {
    return false;
}

struct Writer::Impl {};
Writer::Writer() = default;
Writer::~Writer() = default;

bool Writer::open(const safeout::OutputFile&, const std::vector<tidy::Table>&, int64_t, bool,
                  std::string& error) {
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

// An HDF5 identifier, closed with its kind's close function.
class Id {
  public:
    Id() = default;
    Id(hid_t id, herr_t (*close)(hid_t)) : id(id), closeFn(close) {}
    ~Id() { reset(); }
    Id(const Id&) = delete;
    Id& operator=(const Id&) = delete;
    Id& operator=(Id&& other) noexcept {
        reset();
        std::swap(id, other.id);
        std::swap(closeFn, other.closeFn);
        return *this;
    }
    bool ok() const { return id >= 0; }
    operator hid_t() const { return id; }
    // Closes it; false when closing failed (the last writes of a file).
    bool reset() {
        const bool closed = id < 0 || closeFn(id) >= 0;
        id = -1;
        return closed;
    }

  private:
    hid_t id = -1;
    herr_t (*closeFn)(hid_t) = nullptr;
};

// Rows converted and written per step.
constexpr hsize_t kRowsPerBlock = 8192;

bool writeColumnNames(hid_t dataset, const std::vector<std::string>& names) {
    Id type(H5Tcopy(H5T_C_S1), H5Tclose);
    if (!type.ok() || H5Tset_size(type, H5T_VARIABLE) < 0 || H5Tset_cset(type, H5T_CSET_UTF8) < 0)
        return false;
    const hsize_t count = names.size();
    Id space(H5Screate_simple(1, &count, nullptr), H5Sclose);
    if (!space.ok()) return false;
    Id attribute(H5Acreate2(dataset, "columns", type, space, H5P_DEFAULT, H5P_DEFAULT), H5Aclose);
    std::vector<const char*> texts;
    for (const std::string& n : names) texts.push_back(n.c_str());
    return attribute.ok() && H5Awrite(attribute, type, texts.data()) >= 0;
}

// One kind's dataset and the block of rows on its way into it.
struct Table {
    Id space, dataset;
    hsize_t rows = 0, columns = 0, written = 0;
    int values = 0;
    std::vector<double> block;

    bool flush() {
        const hsize_t n = block.size() / columns;
        if (n == 0) return true;
        if (written + n > rows) return false;  // more rows than surveyed
        const hsize_t start[2] = {written, 0};
        const hsize_t count[2] = {n, columns};
        Id memory(H5Screate_simple(2, count, nullptr), H5Sclose);
        if (!memory.ok() ||
            H5Sselect_hyperslab(space, H5S_SELECT_SET, start, nullptr, count, nullptr) < 0 ||
            H5Dwrite(dataset, H5T_NATIVE_DOUBLE, memory, space, H5P_DEFAULT, block.data()) < 0)
            return false;
        written += n;
        block.clear();
        return true;
    }
};

}  // namespace

bool available() {
    return true;
}

struct Writer::Impl {
    Id file;
    std::array<std::unique_ptr<Table>, tidy::kKinds> tables;
    std::string path;
    int64_t origin = 0;
    bool failed = false;
    int lastErrno = 0;  // of the write that failed, as the library left it
};

Writer::Writer() : d(std::make_unique<Impl>()) {}
Writer::~Writer() = default;

bool Writer::open(const safeout::OutputFile& out, const std::vector<tidy::Table>& tables,
                  int64_t origin, bool filteredAd16, std::string& error) {
    // The library's own clean-up at exit crashes on a file whose closing
    // failed (a full disk); every file is closed here, so it is not needed.
    H5dont_atexit();
    // Failures come back as results; the library prints nothing itself.
    H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
    error = "the HDF5 library could not make the file " + out.workingPath();
    d->origin = origin;
    d->path = out.workingPath();
    Id access(H5Pcreate(H5P_FILE_ACCESS), H5Pclose);
    if (!access.ok() || H5Pset_fapl_sec2(access) < 0) return false;
#if H5_VERSION_GE(1, 10, 7)
    if (H5Pset_file_locking(access, false, true) < 0) return false;
#else
    setenv("HDF5_USE_FILE_LOCKING", "FALSE", 1);
#endif
    d->file =
        Id(H5Fcreate(out.workingPath().c_str(), H5F_ACC_TRUNC, H5P_DEFAULT, access), H5Fclose);
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
    for (const tidy::Table& t : tables) {
        auto table = std::make_unique<Table>();
        const std::vector<std::string> names = tidy::columnNames(t.dataType, filteredAd16);
        table->rows = t.rows;
        table->columns = names.size();
        table->values = tidy::valueColumns(t.dataType, filteredAd16);
        const hsize_t dims[2] = {table->rows, table->columns};
        table->space = Id(H5Screate_simple(2, dims, nullptr), H5Sclose);
        if (!table->space.ok()) return false;
        table->dataset = Id(H5Dcreate2(d->file, tidy::kindName(t.dataType), H5T_IEEE_F64LE,
                                       table->space, H5P_DEFAULT, H5P_DEFAULT, H5P_DEFAULT),
                            H5Dclose);
        if (!table->dataset.ok() || !writeColumnNames(table->dataset, names)) return false;
        table->block.reserve(size_t(std::min<hsize_t>(kRowsPerBlock, t.rows) * table->columns));
        d->tables[size_t(t.dataType)] = std::move(table);
    }
    error.clear();
    return true;
}

void Writer::add(const SensorDataRecord& r) {
    if (d->failed || r.dataType < 0 || size_t(r.dataType) >= tidy::kKinds) return;
    Table* table = d->tables[size_t(r.dataType)].get();
    if (!table) return;
    const int64_t ms = tidy::recordedMs(r);
    table->block.push_back(double(ms));
    table->block.push_back(double(int64_t(uint64_t(ms) - uint64_t(d->origin))) / 1000.0);
    for (int v = 0; v < table->values; ++v) table->block.push_back(double(r.values[v]));
    if (table->block.size() >= kRowsPerBlock * table->columns && !table->flush()) {
        d->failed = true;
        d->lastErrno = errno;
    }
}

bool Writer::finish(std::string& error) {
    bool ok = !d->failed && d->file.ok();
    bool allRows = true;
    errno = 0;
    for (auto& table : d->tables) {
        if (!table) continue;
        ok = ok && table->flush();
        allRows = allRows && table->written == table->rows;
        table.reset();
    }
    ok = ok && H5Fflush(d->file, H5F_SCOPE_GLOBAL) >= 0;
    ok = d->file.reset() && ok;
    if (!ok && d->lastErrno == 0) d->lastErrno = errno;
    if (!ok)
        error = "cannot write " + d->path +
                (d->lastErrno ? ": " + std::string(std::strerror(d->lastErrno)) : std::string());
    else if (!allRows)
        error = "the input changed while it was read";
    return ok && allRows;
}

#endif

}  // namespace hdf5out
