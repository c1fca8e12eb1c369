#include "sim/VirtualSensor.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

#include "protocol/CommandTable.h"

namespace {

constexpr size_t kMaxMeasurementFrame = 33;

// Row of a host command code (rows 0 to 54, first match), or -1.
struct HostRows {
    int16_t row[256];
    HostRows() {
        std::fill(std::begin(row), std::end(row), int16_t(-1));
        for (int r = kFirstSensorRow - 1; r >= 0; --r)
            row[CommandTable[size_t(r)].code] = int16_t(r);
    }
};
const HostRows& hostRows() {
    static const HostRows rows;
    return rows;
}

namespace Cmd {
constexpr uint8_t devinfo = 0x10;
constexpr uint8_t stop = 0x15;
constexpr uint8_t clearmem = 0x35;
constexpr uint8_t memcount = 0x36;
constexpr uint8_t getmementry = 0x37;
constexpr uint8_t getmementryinfo = 0x38;
constexpr uint8_t readmemdata = 0x39;
constexpr uint8_t getmemfreesize = 0x3A;
constexpr uint8_t getbattstatus = 0x3B;
constexpr uint8_t getmementryinfo2 = 0x5C;
}  // namespace Cmd

// Start time and record count, the first 11 bytes of every entry answer.
void putEntryHead(const VirtualEntry& e, uint8_t* p) {
    p[0] = uint8_t(e.startYear - 2000);
    p[1] = uint8_t(e.startMonth);
    p[2] = uint8_t(e.startDay);
    p[3] = uint8_t(e.startHour);
    p[4] = uint8_t(e.startMin);
    p[5] = uint8_t(e.startSec);
    p[6] = uint8_t(e.startMs);
    p[7] = uint8_t(e.startMs >> 8);
    const uint32_t n = e.recordCount();
    p[8] = uint8_t(n);
    p[9] = uint8_t(n >> 8);
    p[10] = uint8_t(n >> 16);
}

}  // namespace

VirtualSensor::VirtualSensor(VirtualModel m) : model(m) {}

uint64_t VirtualSensor::steadyMs() {
    using namespace std::chrono;
    return uint64_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

uint64_t VirtualSensor::recordsHeld() const {
    uint64_t n = 0;
    for (const VirtualEntry& e : entries) n += e.recordCount();
    return n;
}

std::vector<uint8_t> VirtualSensor::receivedCodes() const {
    std::vector<uint8_t> codes;
    for (const auto& f : hostFrames) codes.push_back(f[1]);
    return codes;
}

void VirtualSensor::open() {
    opened = true;
    silent = false;
    closeNow = false;
    input.clear();
    replies.clear();
    replyPos = 0;
    partial.clear();
    partialPos = 0;
    replay = Replay{};
}

void VirtualSensor::close() {
    open();
    opened = false;
}

void VirtualSensor::receive(const uint8_t* data, size_t length, uint64_t nowMs) {
    input.insert(input.end(), data, data + length);
    const HostRows& rows = hostRows();
    size_t pos = 0;
    const size_t size = input.size();
    while (pos < size) {
        const void* hit = std::memchr(input.data() + pos, kFrameHeader, size - pos);
        if (!hit) {
            pos = size;
            break;
        }
        const size_t h = size_t(static_cast<const uint8_t*>(hit) - input.data());
        if (h + 1 >= size) {
            pos = h;
            break;
        }
        const int row = rows.row[input[h + 1]];
        if (row < 0) {
            pos = h + 1;
            continue;
        }
        const size_t n = size_t(CommandTable[size_t(row)].parameterSize);
        const size_t e = h + n + 2;
        if (e >= size) {
            pos = h;
            break;
        }
        uint8_t check = kFrameHeader;
        for (size_t i = h + 1; i < e; ++i) check ^= input[i];
        if (check != input[e]) {
            pos = h + 1;
            continue;
        }
        handleFrame(input.data() + h, int(n + 3), nowMs);
        pos = e + 1;
    }
    input.erase(input.begin(), input.begin() + std::ptrdiff_t(pos));
}

uint64_t VirtualSensor::delayFor(uint8_t command) const {
    const auto it = faults.commandDelayMs.find(command);
    const int ms = it != faults.commandDelayMs.end() ? it->second : faults.replyDelayMs;
    return ms > 0 ? uint64_t(ms) : 0;
}

bool VirtualSensor::takeNg(uint8_t command) {
    auto it = faults.ngCommands.find(command);
    if (it == faults.ngCommands.end() || it->second == 0) return false;
    if (it->second > 0) --it->second;
    return true;
}

const VirtualEntry* VirtualSensor::entryAt(int number) const {
    if (number < 1 || size_t(number) > entries.size()) return nullptr;
    return &entries[size_t(number) - 1];
}

void VirtualSensor::answer(uint8_t command, uint8_t code, const uint8_t* payload, size_t n,
                           uint64_t nowMs) {
    Reply r;
    r.due = nowMs + delayFor(command);
    r.bytes.resize(n + 3);
    encodeFrame(code, payload, n, r.bytes.data());
    replies.push_back(std::move(r));
}

void VirtualSensor::answerStatus(uint8_t command, uint8_t status, uint64_t nowMs) {
    answer(command, 0x8F, &status, 1, nowMs);
}

void VirtualSensor::handleFrame(const uint8_t* frame, int length, uint64_t nowMs) {
    hostFrames.emplace_back(frame, frame + length);
    if (silent) return;
    const uint8_t command = frame[1];
    const int param = length > 3 ? frame[2] : 0;
    if (takeNg(command)) {
        answerStatus(command, 1, nowMs);
        return;
    }
    if (auto it = faults.unansweredCommands.find(command);
        it != faults.unansweredCommands.end() && it->second != 0) {
        if (it->second > 0) --it->second;
        return;  // heard, never answered
    }
    uint8_t p[60] = {};
    switch (command) {
        case Cmd::stop:
            replay.active = false;
            answerStatus(command, 0, nowMs);
            break;
        case Cmd::devinfo: {
            const char* name = model == VirtualModel::VRAX650 ? "VRAX650" : "VRAX610";
            std::memcpy(p, name, 7);
            std::memcpy(p + 16, firmware.data(), 4);
            answer(command, 0x90, p, 30, nowMs);
            break;
        }
        case Cmd::memcount:
            p[0] = uint8_t(std::min<size_t>(entries.size(), 255));
            answer(command, 0xB6, p, 1, nowMs);
            break;
        case Cmd::getmemfreesize: {
            const int freeEntries = std::max(0, maxEntries - int(entries.size()));
            const uint64_t held = recordsHeld();
            const uint32_t freeRecords = uint32_t(
                std::min<uint64_t>(memoryRecords > held ? memoryRecords - held : 0, 0x7FFFFF));
            p[0] = uint8_t(std::min(freeEntries, 255));
            p[1] = uint8_t(freeRecords);
            p[2] = uint8_t(freeRecords >> 8);
            p[3] = uint8_t(freeRecords >> 16);
            answer(command, 0xBA, p, 5, nowMs);
            break;
        }
        case Cmd::getmementry:
        case Cmd::getmementryinfo:
        case Cmd::getmementryinfo2: {
            const VirtualEntry* e = entryAt(param);
            if (!e) {
                answerStatus(command, 1, nowMs);
                break;
            }
            putEntryHead(*e, p);
            if (command == Cmd::getmementry) {
                answer(command, 0xB7, p, 24, nowMs);
            } else if (command == Cmd::getmementryinfo) {
                answer(command, 0xB8, p, 60, nowMs);
            } else {
                std::memcpy(p + 28, e->ad16Gain.data(), 4);
                answer(command, 0xDC, p, 32, nowMs);
            }
            break;
        }
        case Cmd::readmemdata:
            if (!entryAt(param)) {
                answerStatus(command, 1, nowMs);
                break;
            }
            replay = Replay{true, size_t(param) - 1, 0, nowMs + delayFor(command)};
            replay.startMs = replay.due;
            break;
        case Cmd::clearmem:
            entries.clear();
            replay.active = false;
            answerStatus(command, 0, nowMs);
            break;
        case Cmd::getbattstatus: {
            const long v = std::lround(double(batteryVoltage) * 100.0);
            p[0] = uint8_t(v);
            p[1] = uint8_t(v >> 8);
            p[2] = uint8_t(batteryLevel);
            answer(command, 0xBB, p, 3, nowMs);
            break;
        }
        default:
            answerStatus(command, 0, nowMs);
            break;
    }
}

bool VirtualSensor::isDropped(uint32_t frame) const {
    if (faults.dropEveryNth && (frame + 1) % faults.dropEveryNth == 0) return true;
    return !faults.dropFrames.empty() && faults.dropFrames.count(frame);
}

bool VirtualSensor::isCorrupt(uint32_t frame) const {
    if (faults.corruptEveryNth && (frame + 1) % faults.corruptEveryNth == 0) return true;
    return !faults.corruptFrames.empty() && faults.corruptFrames.count(frame);
}

size_t VirtualSensor::pull(uint8_t* out, size_t max, uint64_t nowMs) {
    if (silent) return 0;
    const size_t limit = faults.chunkSize ? std::min(max, faults.chunkSize) : max;
    size_t n = 0;
    while (n < limit) {
        if (partialPos < partial.size()) {
            const size_t k = std::min(limit - n, partial.size() - partialPos);
            std::memcpy(out + n, partial.data() + partialPos, k);
            partialPos += k;
            n += k;
            continue;
        }
        if (!replies.empty() && replies.front().due <= nowMs) {
            const Reply& r = replies.front();
            const size_t k = std::min(limit - n, r.bytes.size() - replyPos);
            std::memcpy(out + n, r.bytes.data() + replyPos, k);
            replyPos += k;
            n += k;
            if (replyPos == r.bytes.size()) {
                replies.pop_front();
                replyPos = 0;
            }
            continue;
        }
        if (!replay.active || replay.due > nowMs || closeNow) break;
        if (replay.entry >= entries.size()) {
            replay.active = false;
            break;
        }
        const VirtualEntry& entry = entries[replay.entry];
        const bool direct = limit - n >= kMaxMeasurementFrame;
        uint8_t* dst = direct ? out + n : nullptr;
        if (!direct) {
            partial.resize(kMaxMeasurementFrame);
            partialPos = 0;
            dst = partial.data();
        }
        size_t len;
        if (replay.next < entry.recordCount()) {
            if (faults.closeAfterFrames >= 0 && replay.next >= faults.closeAfterFrames) {
                closeNow = true;
                replay.active = false;
                partial.clear();
                break;
            }
            if (faults.silentAfterFrames >= 0 && replay.next >= faults.silentAfterFrames) {
                silent = true;
                replay.active = false;
                partial.clear();
                break;
            }
            const uint32_t index = replay.next++;
            if (faults.framesPerSecond > 0)  // paced like a radio link
                replay.due = replay.startMs + uint64_t(replay.next) * 1000 / faults.framesPerSecond;
            if (isDropped(index)) {
                partial.clear();
                continue;
            }
            len = entry.encodeFrame(index, dst);
            if (isCorrupt(index)) dst[len - 1] ^= 0x01;
        } else {
            const uint8_t status = 0;
            len = encodeFrame(0xB9, &status, 1, dst);
            replay.active = false;
            ++completedReplays;
        }
        if (direct)
            n += len;
        else
            partial.resize(len);
    }
    return n;
}

uint64_t VirtualSensor::nextDueMs() const {
    if (silent) return kNever;
    if (partialPos < partial.size()) return 0;
    uint64_t due = kNever;
    if (!replies.empty()) due = replies.front().due;
    if (replay.active && !closeNow) due = std::min(due, replay.due);
    return due;
}
