// Small pieces over the HDF5 C library for the HDF5 export: an identifier
// that closes itself, and attributes of text, texts and numbers.
#pragma once

#include <hdf5.h>

#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "tools/vraxctl/Hdf5Export.h"

namespace hdf5out {

// An HDF5 identifier, closed with its kind's close function.
class Id {
  public:
    Id() = default;
    Id(hid_t id, herr_t (*close)(hid_t)) : id(id), closeFn(close) {}
    ~Id() { reset(); }
    Id(const Id&) = delete;
    Id& operator=(const Id&) = delete;
    Id(Id&& other) noexcept : id(other.id), closeFn(other.closeFn) { other.id = -1; }
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

inline Id textType(size_t size) {
    Id type(H5Tcopy(H5T_C_S1), H5Tclose);
    if (type.ok() && (H5Tset_size(type, size) < 0 || H5Tset_cset(type, H5T_CSET_UTF8) < 0 ||
                      (size != H5T_VARIABLE && H5Tset_strpad(type, H5T_STR_NULLPAD) < 0)))
        type.reset();
    return type;
}

inline bool writeText(hid_t object, const char* name, const std::string& value) {
    Id type = textType(H5T_VARIABLE);
    Id space(H5Screate(H5S_SCALAR), H5Sclose);
    if (!type.ok() || !space.ok()) return false;
    Id attribute(H5Acreate2(object, name, type, space, H5P_DEFAULT, H5P_DEFAULT), H5Aclose);
    const char* text = value.c_str();
    return attribute.ok() && H5Awrite(attribute, type, &text) >= 0;
}

inline bool writeTexts(hid_t object, const char* name, const std::vector<std::string>& values) {
    Id type = textType(H5T_VARIABLE);
    const hsize_t count = values.size();
    Id space(H5Screate_simple(1, &count, nullptr), H5Sclose);
    if (!type.ok() || !space.ok()) return false;
    Id attribute(H5Acreate2(object, name, type, space, H5P_DEFAULT, H5P_DEFAULT), H5Aclose);
    std::vector<const char*> texts;
    for (const std::string& v : values) texts.push_back(v.c_str());
    return attribute.ok() && H5Awrite(attribute, type, texts.data()) >= 0;
}

template <class T>
inline bool writeNumbers(hid_t object, const char* name, hid_t fileType, hid_t memoryType,
                         const std::vector<T>& values, bool scalar) {
    const hsize_t count = values.size();
    Id space(scalar ? H5Screate(H5S_SCALAR) : H5Screate_simple(1, &count, nullptr), H5Sclose);
    if (!space.ok()) return false;
    Id attribute(H5Acreate2(object, name, fileType, space, H5P_DEFAULT, H5P_DEFAULT), H5Aclose);
    return attribute.ok() && H5Awrite(attribute, memoryType, values.data()) >= 0;
}

inline bool writeAttribute(hid_t object, const Attribute& a) {
    if (H5Aexists(object, a.name.c_str()) > 0) return true;  // the first of two same names
    if (const auto* n = std::get_if<int64_t>(&a.value))
        return writeNumbers(object, a.name.c_str(), H5T_STD_I64LE, H5T_NATIVE_INT64,
                            std::vector<int64_t>{*n}, true);
    if (const auto* x = std::get_if<double>(&a.value))
        return writeNumbers(object, a.name.c_str(), H5T_IEEE_F64LE, H5T_NATIVE_DOUBLE,
                            std::vector<double>{*x}, true);
    return writeText(object, a.name.c_str(), std::get<std::string>(a.value));
}

// Attributes past 64 KiB go to dense storage, so a long sidecar text fits.
inline Id denseAttributes(hid_t propertyClass) {
    Id list(H5Pcreate(propertyClass), H5Pclose);
    if (list.ok() && H5Pset_attr_phase_change(list, 0, 0) < 0) list.reset();
    return list;
}

}  // namespace hdf5out
