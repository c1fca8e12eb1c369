// HDF5 export through the library's in-memory ("core") file driver without a
// backing file: nothing is opened by name; the finished image is taken out
// with H5Fget_file_image.
#include "tools/vraxctl/Hdf5Export.h"

#ifdef VRAXCTL_HDF5
#include <hdf5.h>

#include <algorithm>
#include <vector>

#include "store/TidyColumns.h"
#include "store/TidyCsv.h"
#include "store/VRAXSensorData.h"
#endif

namespace hdf5out {

#ifndef VRAXCTL_HDF5

bool available() {
    return false;
}

bool buildImage(const VRAXSensorData&, bool, std::string&, std::string& error) {
    error = "this vraxctl was built without HDF5";
    return false;
}

#else

namespace {

// An HDF5 identifier, closed with its kind's close function.
class Id {
  public:
    Id(hid_t id, herr_t (*close)(hid_t)) : id(id), closeFn(close) {}
    ~Id() {
        if (id >= 0) closeFn(id);
    }
    Id(const Id&) = delete;
    Id& operator=(const Id&) = delete;
    bool ok() const { return id >= 0; }
    operator hid_t() const { return id; }

  private:
    hid_t id;
    herr_t (*closeFn)(hid_t);
};

// Rows converted and written per step: the whole table never sits in memory twice.
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

bool writeTable(hid_t file, const VRAXSensorData& store, const tidy::Table& table, bool filtered) {
    const std::vector<std::string> names = tidy::columnNames(table.dataType, filtered);
    const hsize_t columns = names.size();
    const hsize_t dims[2] = {table.rows, columns};
    Id space(H5Screate_simple(2, dims, nullptr), H5Sclose);
    if (!space.ok()) return false;
    Id dataset(H5Dcreate2(file, tidy::kindName(table.dataType), H5T_IEEE_F64LE, space, H5P_DEFAULT,
                          H5P_DEFAULT, H5P_DEFAULT),
               H5Dclose);
    if (!dataset.ok() || !writeColumnNames(dataset, names)) return false;

    const int64_t origin = tidy::timeOrigin(store);
    const int values = tidy::valueColumns(table.dataType, filtered);
    std::vector<double> block;
    block.reserve(size_t(std::min<hsize_t>(kRowsPerBlock, table.rows) * columns));
    hsize_t written = 0;
    auto flush = [&]() {
        const hsize_t rows = block.size() / columns;
        if (rows == 0) return true;
        const hsize_t start[2] = {written, 0};
        const hsize_t count[2] = {rows, columns};
        Id memory(H5Screate_simple(2, count, nullptr), H5Sclose);
        if (!memory.ok() ||
            H5Sselect_hyperslab(space, H5S_SELECT_SET, start, nullptr, count, nullptr) < 0 ||
            H5Dwrite(dataset, H5T_NATIVE_DOUBLE, memory, space, H5P_DEFAULT, block.data()) < 0)
            return false;
        written += rows;
        block.clear();
        return true;
    };
    for (uint64_t i = 0; i < store.count(); ++i) {
        const SensorDataRecord& r = *store.getDataByIndex(i);
        if (r.dataType != table.dataType) continue;
        const int64_t ms = tidy::recordedMs(r);
        block.push_back(double(ms));
        block.push_back(double(int64_t(uint64_t(ms) - uint64_t(origin))) / 1000.0);
        for (int v = 0; v < values; ++v) block.push_back(double(r.values[v]));
        if (block.size() >= kRowsPerBlock * columns && !flush()) return false;
    }
    return flush() && written == table.rows;
}

}  // namespace

bool available() {
    return true;
}

bool buildImage(const VRAXSensorData& store, bool filteredAd16, std::string& image,
                std::string& error) {
    // Failures come back as results; the library prints nothing itself.
    H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
    error = "the HDF5 library could not build the file";
    Id access(H5Pcreate(H5P_FILE_ACCESS), H5Pclose);
    if (!access.ok() || H5Pset_fapl_core(access, 1 << 20, false) < 0) return false;
    // The name only labels the in-memory file; nothing is made on disk.
    Id file(H5Fcreate("vraxctl-export.h5", H5F_ACC_TRUNC, H5P_DEFAULT, access), H5Fclose);
    if (!file.ok()) return false;
    for (const tidy::Table& table : tidy::tablesOf(store))
        if (!writeTable(file, store, table, filteredAd16)) return false;
    if (H5Fflush(file, H5F_SCOPE_GLOBAL) < 0) return false;
    const ssize_t size = H5Fget_file_image(file, nullptr, 0);
    if (size <= 0) return false;
    image.assign(size_t(size), '\0');
    if (H5Fget_file_image(file, image.data(), size_t(size)) != size) return false;
    error.clear();
    return true;
}

#endif

}  // namespace hdf5out
