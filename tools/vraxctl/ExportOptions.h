// vraxctl export: its options, read by the table writers and the BIDS writer.
#pragma once

#include <string>
#include <vector>

#include "store/TidyColumns.h"

namespace cli {

class ScaleFile;
struct ExportSource;

struct ExportOptions {
    std::vector<std::string> files;  // every input, in order
    std::string file;                // the first input
    bool force = false;
    std::string tidyDir;    // empty: no tidy CSV files
    std::string hdf5File;   // empty: no HDF5 file
    bool utc = false;       // time_utc and time_unix columns
    std::string scaleFile;  // the user's scale factors; empty: raw counts only
    std::string bidsDir;    // a BIDS motion dataset there; empty: none
    std::string subject, session, task;
};

// Reads --scale's file into `scales` (nothing when none was given); an exit code.
int loadScales(const ExportOptions& o, ScaleFile& scales);
// The scales of one source, with a warning for what its sidecar leaves out.
tidy::Scales scalesOf(const ScaleFile& scales, const ExportSource& source);

// export --bids: the inputs as a BIDS motion dataset; an exit code.
int bidsExportCommand(const ExportOptions& o);

}  // namespace cli
