// The virtual sensor's command side: host frames recognised in the bytes
// received, settings taken or refused, and the answers queued.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "protocol/CommandTable.h"
#include "protocol/DateTimeBytes.h"
#include "sim/VirtualSensor.h"

namespace {

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
constexpr uint8_t getd = 0x12;
constexpr uint8_t getaccrange = 0x23;
constexpr uint8_t getgyrrange = 0x26;
constexpr uint8_t getmementryinfo2 = 0x5C;
}  // namespace Cmd

// Start time and record count, the first 11 bytes of every entry answer.
void putEntryHead(const VirtualEntry& e, uint8_t* p) {
    datetime::encodeDateTime(
        {e.startYear, e.startMonth, e.startDay, e.startHour, e.startMin, e.startSec, e.startMs}, p);
    const uint32_t n = e.recordCount();
    p[8] = uint8_t(n);
    p[9] = uint8_t(n >> 8);
    p[10] = uint8_t(n >> 16);
}

// Sensor clock milliseconds (since 2000-01-01) of the date bytes year - 2000,
// month, day, hour, minute, second; -1 for an impossible date.
int64_t clockOf(const uint8_t* p, int ms) {
    const datetime::SensorDateTime t{2000 + p[0], p[1], p[2], p[3], p[4], p[5], ms};
    if (!datetime::isRealDateTime(t)) return -1;
    return datetime::msSinceEpoch(t) - VirtualSensor::epoch2000Ms();
}

}  // namespace

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
    r.due = nowMs + delayFor(command) + linkDelayMs;
    r.bytes.resize(n + 3);
    encodeFrame(code, payload, n, r.bytes.data());
    replies.push_back(std::move(r));
}

void VirtualSensor::answerStatus(uint8_t command, uint8_t status, uint64_t nowMs) {
    answer(command, 0x8F, &status, 1, nowMs);
}

bool VirtualSensor::handleSetting(uint8_t command, const uint8_t* p, uint64_t nowMs,
                                  uint64_t heardMs) {
    static const uint8_t kindCodes[7] = {commandCode("setags"),  commandCode("setgeo"),
                                         commandCode("setpres"), commandCode("setbatt"),
                                         commandCode("setext"),  commandCode("setqags"),
                                         commandCode("setext16")};
    for (int k = 0; k < 7; ++k) {
        if (command != kindCodes[k]) continue;
        KindSetting v;
        if (k == 3) {  // batt: on flag and memory flag
            if (p[0] > 1 || p[1] > 1) return false;
            v.rate = p[0];
            v.average = p[0];
            v.memory = p[1];
        } else {
            if (k == 6 && model != VirtualModel::VRAX650) return false;
            v = KindSetting{p[0], p[1], p[2]};
            if (v.on() && (v.average == 0 || (v.memory != 0 && v.memory != v.average)))
                return false;
            if (k == 6) std::memcpy(gains.data(), p + 3, 4);
        }
        kinds[size_t(k)] = v;
        return true;
    }
    if (command == commandCode("setaccrange") || command == commandCode("setgyrrange")) {
        if (p[0] > 3) return false;
        (command == commandCode("setaccrange") ? accRange : gyrRange) = p[0];
        return true;
    }
    if (command == commandCode("setextconf")) {
        for (int i = 0; i < 4; ++i)
            if (p[i] != 0x00 && p[i] != 0x01 && p[i] != 0x08 && p[i] != 0x09 && p[i] != 0x0A)
                return false;
        return true;
    }
    if (command == commandCode("setoverwritemode")) {
        if (p[0] > 1) return false;
        overwrite = p[0] == 0;
        return true;
    }
    if (command == commandCode("setd")) {
        const int64_t t = clockOf(p, p[6] | (p[7] << 8));
        if (t < 0) return false;
        setClock(t, heardMs);
        return true;
    }
    if (command == commandCode("sens")) {
        if (p[0] == 0) {
            startMeasuring(clockMs(nowMs));
            return true;
        }
        const int64_t t = p[0] == 1 ? clockOf(p + 1, 0) : -1;
        if (t < 0) return false;
        // A start time already past starts now: no sensor measures the past,
        // and catching up would make every sample since that time at once.
        startMeasuring(std::max(t, clockMs(nowMs)));
        return true;
    }
    return true;
}

void VirtualSensor::handleFrame(const uint8_t* frame, int length, uint64_t nowMs) {
    hostFrames.emplace_back(frame, frame + length);
    if (silent) return;
    advance(nowMs);
    const uint8_t command = frame[1];
    const int param = length > 3 ? frame[2] : 0;
    // Link latency: the command is heard `up` later, its answer arrives `down` after that.
    uint64_t heardMs = nowMs;
    linkDelayMs = 0;
    if (faults.latencyMs > 0 || faults.jitterMs > 0) {
        const uint64_t up = drawLatency();
        const uint64_t down = faults.independentJitter ? drawLatency() : up;
        heardMs = nowMs + up;
        linkDelayMs = up + down;
    }
    struct ResetDelay {
        uint64_t& delay;
        ~ResetDelay() { delay = 0; }
    } resetDelay{linkDelayMs};
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
        case Cmd::getd: {
            const int64_t clock = clockMs(heardMs);
            datetime::encodeDateTime(datetime::fromMsSinceEpoch(clock + epoch2000Ms()), p);
            answer(command, 0x92, p, datetime::kDateTimeBytes, nowMs);
            break;
        }
        case Cmd::getaccrange:
            p[0] = accRange;
            answer(command, 0xA3, p, 1, nowMs);
            break;
        case Cmd::getgyrrange:
            p[0] = gyrRange;
            answer(command, 0xA6, p, 1, nowMs);
            break;
        case Cmd::stop:
            replay.active = false;
            stopMeasuring(nowMs);
            if (liveOutPos < liveOut.size()) {  // frames measured before the stop go first
                replies.push_back(
                    Reply{nowMs, std::vector<uint8_t>(liveOut.begin() + std::ptrdiff_t(liveOutPos),
                                                      liveOut.end())});
                liveOut.clear();
                liveOutPos = 0;
            }
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
            answerStatus(command, handleSetting(command, frame + 2, nowMs, heardMs) ? 0 : 1, nowMs);
            break;
    }
}
