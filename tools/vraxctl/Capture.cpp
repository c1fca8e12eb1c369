#include "tools/vraxctl/Capture.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fstream>
#include <iterator>

namespace capture {
namespace {

constexpr size_t kHeaderSize = 12;
constexpr size_t kRecordHead = 13;

uint64_t nowUs() {
    using namespace std::chrono;
    return uint64_t(duration_cast<microseconds>(system_clock::now().time_since_epoch()).count());
}

void putLE(std::vector<uint8_t>& out, uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(uint8_t(v >> (8 * i)));
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

Writer::~Writer() {
    if (file) std::fclose(file);
}

bool Writer::open(const std::string& target, std::string& error) {
    path = target;
    file = std::fopen(target.c_str(), "wb");
    if (!file) {
        error = "cannot create the capture file " + target + ": " + std::strerror(errno);
        return false;
    }
    std::vector<uint8_t> head(kMagic, kMagic + sizeof kMagic);
    putLE(head, kVersion, 2);
    putLE(head, 0, 2);
    failed = std::fwrite(head.data(), 1, head.size(), file) != head.size();
    return true;
}

void Writer::record(Kind kind, const uint8_t* data, size_t length) {
    if (!file) return;
    std::vector<uint8_t> head;
    head.reserve(kRecordHead);
    head.push_back(uint8_t(kind));
    putLE(head, nowUs(), 8);
    putLE(head, length, 4);
    if (std::fwrite(head.data(), 1, head.size(), file) != head.size()) failed = true;
    if (length && std::fwrite(data, 1, length, file) != length) failed = true;
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
    if (!file) return true;
    record(Kind::end, nullptr, 0);
    if (std::fclose(file) != 0) failed = true;
    file = nullptr;
    if (failed) error = "writing the capture file " + path + " failed";
    return !failed;
}

bool load(const std::string& path, std::vector<Record>& records, std::string& error) {
    records.clear();
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot open the capture file " + path + ": " + std::strerror(errno);
        return false;
    }
    const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
    if (in.bad()) {
        error = "cannot read the capture file " + path;
        return false;
    }
    if (bytes.size() < sizeof kMagic || std::memcmp(bytes.data(), kMagic, sizeof kMagic) != 0) {
        error = path + " is not a vraxctl capture file";
        return false;
    }
    if (bytes.size() < kHeaderSize) {
        error = "the capture file " + path + " is truncated (header cut short)";
        return false;
    }
    const uint64_t version = getLE(bytes.data() + 8, 2);
    if (version != kVersion) {
        error = "the capture file " + path + " has format version " + std::to_string(version) +
                "; this vraxctl reads version " + std::to_string(kVersion);
        return false;
    }
    size_t at = kHeaderSize;
    while (true) {
        if (at == bytes.size()) {
            error = "the capture file " + path +
                    " is truncated: it ends without its end record (was the capture cut off?)";
            return false;
        }
        if (bytes.size() - at < kRecordHead) {
            error = "the capture file " + path + " is truncated at byte " + std::to_string(at);
            return false;
        }
        const uint8_t kind = bytes[at];
        if (kind != 'S' && kind != 'R' && kind != 'M' && kind != 'E') {
            error = "the capture file " + path + " is damaged: unknown record kind at byte " +
                    std::to_string(at);
            return false;
        }
        Record r;
        r.kind = Kind(kind);
        r.timeUs = getLE(bytes.data() + at + 1, 8);
        const uint64_t length = getLE(bytes.data() + at + 9, 4);
        if (length > kMaxRecordLength || (r.kind == Kind::end && length != 0)) {
            error = "the capture file " + path + " is damaged: bad record length at byte " +
                    std::to_string(at);
            return false;
        }
        if (bytes.size() - at - kRecordHead < length) {
            error = "the capture file " + path + " is truncated at byte " + std::to_string(at);
            return false;
        }
        const uint8_t* data = bytes.data() + at + kRecordHead;
        r.data.assign(data, data + length);
        at += kRecordHead + length;
        if (r.kind == Kind::end) {
            if (at != bytes.size()) {
                error = "the capture file " + path + " is damaged: data after its end record";
                return false;
            }
            return true;
        }
        records.push_back(std::move(r));
    }
}

}  // namespace capture
