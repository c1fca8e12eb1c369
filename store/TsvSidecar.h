// A tab-separated file written beside a session's data while the session
// runs (the time map of a live file, the events of a session): a header,
// then whole lines, each in one write to the working file; published under
// its name (never over another file) when the session ends. A run that is
// killed leaves the working file with whole lines.
#pragma once

#include <cstdint>
#include <string>

#include "store/SafeOutput.h"

class TsvSidecar {
  public:
    // Creates the working file of `path` and writes `header` (without line end).
    bool open(const std::string& path, const std::string& header);
    bool isOpen() const { return file.isOpen(); }
    // One row (without line end): written whole, or not at all.
    bool addRow(const std::string& row);
    uint64_t rows() const { return rowCount; }
    // Publishes the file (a numbered name when `path` is taken) when it
    // holds rows, or removes it when it holds none. The published name, or
    // empty; `error` says why it failed.
    std::string finish();
    const std::string& error() const { return lastError; }

  private:
    safeout::OutputFile file;
    uint64_t rowCount = 0;
    bool failed = false;
    std::string lastError;
};

// Milliseconds since 1970 on the host's UTC clock.
int64_t hostUtcMs();
