// vraxctl export: its options, read by the table writers and the BIDS writer.
#pragma once

#include <string>
#include <vector>

namespace cli {

struct ExportOptions {
    std::vector<std::string> files;  // every input, in order
    std::string file;                // the first input
    bool force = false;
    std::string tidyDir;   // empty: no tidy CSV files
    std::string hdf5File;  // empty: no HDF5 file
    bool utc = false;      // time_utc and time_unix columns
    std::string bidsDir;   // a BIDS motion dataset there; empty: none
    std::string subject, session, task;
};

// export --bids: the inputs as a BIDS motion dataset; an exit code.
int bidsExportCommand(const ExportOptions& o);

}  // namespace cli
