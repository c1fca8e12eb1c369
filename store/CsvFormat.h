// CSV lines of records, formatted without printf or iostreams.
#pragma once

#include <cstddef>

#include "store/SensorDataRecord.h"

namespace csv {

// The longest line any record can give, line end included.
inline constexpr size_t kMaxLineLength = 256;

enum class LineStyle {
    streamed,    // download files: "ead%X..." heads, qags lines
    wholeStore,  // whole-store save: "e%x..." heads, never filtered values
};

// Line end for a line-feed code: 0 LF, 1 CR LF, anything else CR.
const char* lineEnd(int lineFeedCode);

// Writes the record's line (with `eol`) to `out`, which has room for
// kMaxLineLength bytes; returns its length, 0 for a record that gives no line.
size_t formatLine(const SensorDataRecord& record, LineStyle style, bool filtered, const char* eol,
                  char* out);

}  // namespace csv
