// Capture files: every byte sent to and received from a sensor, with time
// stamps, plus markers that say which sensor a session talked to and where a
// download began and ended, so that `replay` can rebuild the download's CSV.
//
// Layout (all integers little-endian):
//   header  8 bytes  "VRAXCAP" 0x1A
//           2 bytes  format version (1)
//           2 bytes  zero
//   records, each:
//           1 byte   kind: 'S' sent, 'R' received, 'M' marker, 'E' end
//           8 bytes  time stamp, microseconds since 1970-01-01 UTC
//           4 bytes  length of the data that follows (at most 16 MiB)
//           length bytes of data (a marker holds "key=value" lines, UTF-8)
//   The last record is 'E' with no data; nothing may follow it.
//
// The writer puts every record on disk as it comes, so a capture of a run
// that was killed holds everything up to its last whole record; the reader
// replays such a file up to there.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "store/FileIO.h"
#include "store/SafeOutput.h"

namespace capture {

inline constexpr char kMagic[8] = {'V', 'R', 'A', 'X', 'C', 'A', 'P', 0x1A};
inline constexpr uint16_t kVersion = 1;
inline constexpr uint32_t kMaxRecordLength = 16u << 20;

enum class Kind : uint8_t { sent = 'S', received = 'R', marker = 'M', end = 'E' };

struct Record {
    Kind kind = Kind::end;
    uint64_t timeUs = 0;
    std::vector<uint8_t> data;
};

using Fields = std::map<std::string, std::string>;

// Marker payloads: "key=value" lines; "event" says what the marker is.
std::string formatMarker(const Fields& fields);
Fields parseMarker(const std::vector<uint8_t>& data);

class Writer {
  public:
    Writer() = default;
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    // Creates the file (never over an existing one) and writes the header
    // at once; false with `error` set on failure.
    bool open(const std::string& path, std::string& error);
    bool isOpen() const { return file.isOpen(); }
    void bytes(bool sent, const uint8_t* data, size_t length);
    void marker(const Fields& fields);
    // Writes the end record and gives the file its name; false when any
    // write failed (what was written stays under the working name).
    bool close(std::string& error);

  private:
    void record(Kind kind, const uint8_t* data, size_t length);

    safeout::OutputFile file;
    std::string path;
    bool failed = false;
};

// Reads a capture record by record: memory stays within one record.
class Reader {
  public:
    enum class Next {
        record,    // `r` holds the next record
        end,       // the end record, and nothing after it
        cutShort,  // the file ends before its end record (the capture was cut off)
        damaged,   // not a capture record here (message in error())
        failed,    // the file could not be read
    };

    // Opens the file and checks its header before reading anything more;
    // false with error() set for anything that is not a capture of this version.
    bool open(const std::string& path);
    Next next(Record& r);
    uint64_t offset() const { return at; }
    const std::string& error() const { return error_; }

  private:
    // Reads exactly `n` bytes; false at the end of the file (got() says how
    // many came) or on an error.
    bool readExactly(uint8_t* out, size_t n, size_t& got);

    fileio::InputFile in;
    std::string path;
    std::string error_;
    uint64_t at = 0;
    bool readFailed = false;
};

}  // namespace capture
