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
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

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
    ~Writer();
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    // Creates the file and writes the header; false with `error` set on failure.
    bool open(const std::string& path, std::string& error);
    bool isOpen() const { return file != nullptr; }
    void bytes(bool sent, const uint8_t* data, size_t length);
    void marker(const Fields& fields);
    // Writes the end record and closes; false when any write failed.
    bool close(std::string& error);

  private:
    void record(Kind kind, const uint8_t* data, size_t length);

    std::FILE* file = nullptr;
    std::string path;
    bool failed = false;
};

// Loads a whole capture. Strict: a foreign file, another version, a record
// cut short, an unknown kind or a missing end record is an error.
bool load(const std::string& path, std::vector<Record>& records, std::string& error);

}  // namespace capture
