// The tidy tables of a store as one HDF5 file: a 2-D dataset of doubles per
// kind of record present ("/ags", "/press", ...), rows the samples, columns
// as in the tidy CSV files, with their names in the dataset's string-array
// attribute "columns". The file is built in memory, so that the caller
// writes it through the safe-output helper like every other file.
#pragma once

#include <string>

class VRAXSensorData;

namespace hdf5out {

// True when the program was built with HDF5.
bool available();

// The HDF5 file's bytes into `image`; false with `error` set.
bool buildImage(const VRAXSensorData& store, bool filteredAd16, std::string& image,
                std::string& error);

}  // namespace hdf5out
