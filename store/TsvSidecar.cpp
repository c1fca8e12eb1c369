#include "store/TsvSidecar.h"

#include <chrono>
#include <cstdio>
#include <ctime>

bool TsvSidecar::open(const std::string& path, const std::string& header) {
    rowCount = 0;
    failed = false;
    if (!file.create(path)) {
        lastError = file.error();
        return false;
    }
    const std::string line = header + "\n";
    if (file.write(line.data(), line.size()) != line.size()) {
        lastError = file.error();
        file.discard();
        return false;
    }
    return true;
}

bool TsvSidecar::addRow(const std::string& row) {
    if (!file.isOpen()) return false;
    const off_t before = file.size();
    const std::string line = row + "\n";
    if (file.write(line.data(), line.size()) != line.size()) {
        // A part of a line is cut off again: the file keeps whole lines.
        file.truncate(before);
        failed = true;
        lastError = file.error();
        return false;
    }
    ++rowCount;
    return true;
}

std::string TsvSidecar::finish() {
    if (!file.pending()) return {};
    if (rowCount == 0) {
        file.discard();
        return {};
    }
    if (!file.publish(safeout::Existing::keepBoth)) {
        lastError = file.error();
        file.keep();
        return {};
    }
    return file.publishedPath();
}

int64_t hostUtcMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}
