// Lines of a text file read in blocks: memory stays the same whatever the
// size of the file. The line end is chosen for the whole file as the CSV
// loader reads it: "\r\n" when the file holds one, else "\r" when it holds
// one, else "\n". A UTF-8 byte-order mark at the start is skipped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "store/FileIO.h"

namespace text {

// Checks UTF-8 piece by piece: a sequence may be split between pieces.
class Utf8Check {
  public:
    void feed(const char* data, size_t n);
    // True when everything fed so far is valid and no sequence is left open.
    bool valid() const { return ok && need == 0; }

  private:
    bool ok = true;
    int need = 0;          // continuation bytes still expected
    uint32_t cp = 0;       // code point being built
    uint32_t minimum = 0;  // smallest code point the sequence's length may carry
};

class LineReader {
  public:
    // Lines longer than this are not kept: next() reports them as overlong.
    static constexpr size_t kMaxLine = 4096;

    // Reads `file` from its start; chooses the line end first (one extra
    // pass over the file, stopping at the first "\r\n").
    explicit LineReader(fileio::InputFile& file);

    // The next line, without its end. An overlong line comes back empty with
    // `overlong` set. False when there are no more lines, or on a read error.
    bool next(std::string_view& line, bool& overlong);

    bool readFailed() const { return failed; }
    bool validUtf8() const { return utf8.valid(); }
    std::string_view separator() const { return sep; }

  private:
    bool fill();  // reads one more block; false at the end or on an error

    fileio::InputFile& file;
    std::string_view sep;
    std::vector<char> buffer;
    size_t pos = 0, end = 0;
    bool atEnd = false;
    bool failed = false;
    bool started = false;
    bool done = false;
    Utf8Check utf8;
};

}  // namespace text
