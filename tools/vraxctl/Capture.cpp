#include "tools/vraxctl/Capture.h"

#include <chrono>
#include <cstring>

namespace capture {
namespace {

constexpr size_t kHeaderSize = 12;
constexpr size_t kRecordHead = 13;

uint64_t nowUs() {
    using namespace std::chrono;
    return uint64_t(duration_cast<microseconds>(system_clock::now().time_since_epoch()).count());
}

void putLE(uint8_t* out, uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out[i] = uint8_t(v >> (8 * i));
}

uint64_t getLE(const uint8_t* p, int bytes) {
    uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}

}  // namespace

std::string formatMarker(const Fields& fields) {
    std::string text;
    for (const auto& [key, value] : fields) {
        std::string clean = value;
        for (char& c : clean)
            if (c == '\n' || c == '\r') c = ' ';
        text += key + "=" + clean + "\n";
    }
    return text;
}

Fields parseMarker(const std::vector<uint8_t>& data) {
    Fields fields;
    std::string text(data.begin(), data.end());
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(at, end - at);
        const size_t eq = line.find('=');
        if (eq != std::string::npos) fields[line.substr(0, eq)] = line.substr(eq + 1);
        at = end + 1;
    }
    return fields;
}

bool Writer::open(const std::string& target, std::string& error) {
    path = target;
    if (fileio::exists(target)) {
        error = "the capture file " + target + " exists already; choose another name";
        return false;
    }
    // The capture of a run that was stopped is not a leftover: it may be
    // all there is to tell what happened.
    if (fileio::exists(safeout::workingPathFor(target))) {
        error = safeout::workingPathFor(target) +
                " is the capture of a run that was stopped; replay it or move it away, or "
                "choose another name";
        return false;
    }
    if (!file.create(target)) {
        error = "cannot create the capture file " + target + ": " + file.error();
        return false;
    }
    uint8_t head[kHeaderSize];
    std::memcpy(head, kMagic, sizeof kMagic);
    putLE(head + 8, kVersion, 2);
    putLE(head + 10, 0, 2);
    failed = file.write(reinterpret_cast<const char*>(head), sizeof head) != sizeof head;
    return true;
}

void Writer::record(Kind kind, const uint8_t* data, size_t length) {
    if (!file.isOpen()) return;
    // One write a record, so that the file is whole up to its last record
    // whenever the program stops.
    std::vector<char> bytes(kRecordHead + length);
    bytes[0] = char(kind);
    putLE(reinterpret_cast<uint8_t*>(bytes.data()) + 1, nowUs(), 8);
    putLE(reinterpret_cast<uint8_t*>(bytes.data()) + 9, length, 4);
    if (length) std::memcpy(bytes.data() + kRecordHead, data, length);
    if (file.write(bytes.data(), bytes.size()) != bytes.size()) failed = true;
}

void Writer::bytes(bool sent, const uint8_t* data, size_t length) {
    // Longer pieces than a record may hold are split; nothing is lost.
    do {
        const size_t n = length < kMaxRecordLength ? length : kMaxRecordLength;
        record(sent ? Kind::sent : Kind::received, data, n);
        data += n;
        length -= n;
    } while (length > 0);
}

void Writer::marker(const Fields& fields) {
    const std::string text = formatMarker(fields);
    record(Kind::marker, reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

bool Writer::close(std::string& error) {
    if (!file.isOpen()) return true;
    record(Kind::end, nullptr, 0);
    if (failed || !file.publish(safeout::Existing::refuse)) {
        error = "writing the capture file " + path + " failed" +
                (file.error().empty() ? "" : " (" + file.error() + ")") +
                "; what was written is in " + file.workingPath();
        file.keep();
        return false;
    }
    return true;
}

bool Reader::readExactly(uint8_t* out, size_t n, size_t& got) {
    got = 0;
    while (got < n) {
        const ssize_t r = in.read(reinterpret_cast<char*>(out) + got, n - got);
        if (r < 0) {
            readFailed = true;
            return false;
        }
        if (r == 0) return false;
        got += size_t(r);
    }
    at += n;
    return true;
}

bool Reader::open(const std::string& file) {
    path = file;
    at = 0;
    readFailed = false;
    if (!in.open(file)) {
        error_ = "cannot open the capture file " + file + ": " + in.error();
        return false;
    }
    // The magic first: nothing more is read from a file that is not a capture.
    uint8_t head[kHeaderSize];
    size_t got = 0;
    const bool whole = readExactly(head, kHeaderSize, got);
    if (readFailed) {
        error_ = "cannot read the capture file " + file + ": " + in.error();
        return false;
    }
    if (got < sizeof kMagic || std::memcmp(head, kMagic, sizeof kMagic) != 0) {
        error_ = file + " is not a vraxctl capture file";
        return false;
    }
    if (!whole) {
        error_ = "the capture file " + file + " is cut short inside its header";
        return false;
    }
    const uint64_t version = getLE(head + 8, 2);
    if (version != kVersion) {
        error_ = "the capture file " + file + " has format version " + std::to_string(version) +
                 "; this vraxctl reads version " + std::to_string(kVersion);
        return false;
    }
    return true;
}

Reader::Next Reader::next(Record& r) {
    const uint64_t start = at;
    uint8_t head[kRecordHead];
    size_t got = 0;
    if (!readExactly(head, kRecordHead, got)) {
        if (readFailed) {
            error_ = "cannot read the capture file " + path + ": " + in.error();
            return Next::failed;
        }
        return Next::cutShort;
    }
    const uint8_t kind = head[0];
    if (kind != 'S' && kind != 'R' && kind != 'M' && kind != 'E') {
        error_ = "the capture file " + path + " is damaged: unknown record kind at byte " +
                 std::to_string(start);
        return Next::damaged;
    }
    r.kind = Kind(kind);
    r.timeUs = getLE(head + 1, 8);
    const uint64_t length = getLE(head + 9, 4);
    if (length > kMaxRecordLength || (r.kind == Kind::end && length != 0)) {
        error_ = "the capture file " + path + " is damaged: bad record length at byte " +
                 std::to_string(start);
        return Next::damaged;
    }
    r.data.resize(size_t(length));
    if (length && !readExactly(r.data.data(), size_t(length), got)) {
        if (readFailed) {
            error_ = "cannot read the capture file " + path + ": " + in.error();
            return Next::failed;
        }
        at = start;  // the last whole record ends here
        return Next::cutShort;
    }
    if (r.kind != Kind::end) return Next::record;
    uint8_t extra = 0;
    if (readExactly(&extra, 1, got)) {
        error_ = "the capture file " + path + " is damaged: data after its end record";
        return Next::damaged;
    }
    return Next::end;
}

}  // namespace capture
