// The tidy tables of a stream of records as one HDF5 file: a 2-D dataset of
// doubles per kind of record present ("/ags", "/press", ...), rows the
// samples, columns as in the tidy CSV files, with their names in the
// dataset's string-array attribute "columns". The file is written straight
// into the working file of a safe output, a block of rows at a time, so
// memory stays the same whatever the number of records.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "store/SafeOutput.h"
#include "store/SensorDataRecord.h"
#include "store/TidyCsv.h"

namespace hdf5out {

// True when the program was built with HDF5.
bool available();

class Writer {
  public:
    Writer();
    ~Writer();
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    // Makes the HDF5 file and its datasets in `out`'s working file (made
    // and held by `out`); false with `error` set.
    bool open(const safeout::OutputFile& out, const std::vector<tidy::Table>& tables,
              int64_t origin, bool filteredAd16, std::string& error);
    // One row into its kind's dataset.
    void add(const SensorDataRecord& r);
    // Writes the last rows and closes the file; false with `error` set when
    // anything failed or a table did not get the rows it was made for.
    bool finish(std::string& error);

  private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

}  // namespace hdf5out
