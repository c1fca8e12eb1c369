#include "sim/VirtualEntry.h"

#include "protocol/CommandTable.h"

namespace {

uint64_t mix(uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

// A value in [-span, span] drawn from 16 bits of `h`.
inline int32_t noise(uint64_t h, int shift, int32_t span) {
    const int32_t r = int32_t((h >> shift) & 0xFFFF);  // 0..65535
    return int32_t((int64_t(r) - 32768) * span / 32768);
}

// Triangle wave in [-amp, amp] with the given period (samples).
inline int32_t wave(uint32_t i, uint32_t period, int32_t amp) {
    const uint32_t p = i % period;
    const int64_t half = period / 2;
    const int64_t v = p < half ? int64_t(p) : int64_t(period - p);
    return int32_t((v * 4 * amp) / period - amp);
}

// The repeating order in which a generated entry mixes its kinds.
constexpr uint8_t kPattern[20] = {0, 5, 0, 6, 0, 1, 0, 4, 0, 2, 0, 5, 0, 6, 0, 3, 0, 1, 0, 4};

inline void put16(uint8_t* p, int32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
inline void put24(uint8_t* p, int32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
}
inline void put32(uint8_t* p, int32_t v) {
    put16(p, v);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}
inline int32_t sx16(int32_t v) {
    return int16_t(uint16_t(v));
}
inline int32_t sx24(int32_t v) {
    uint32_t u = uint32_t(v) & 0xFFFFFFu;
    if (u & 0x800000u) u |= 0xFF000000u;
    return int32_t(u);
}

}  // namespace

size_t encodeFrame(uint8_t code, const uint8_t* payload, size_t n, uint8_t* out) {
    out[0] = kFrameHeader;
    out[1] = code;
    uint8_t check = kFrameHeader ^ code;
    for (size_t i = 0; i < n; ++i) {
        out[2 + i] = payload[i];
        check ^= payload[i];
    }
    out[2 + n] = check;
    return n + 3;
}

size_t encodeMeasurementFrame(const VirtualSample& s, uint8_t* out) {
    uint8_t* p = out + 2;
    put32(p, s.time);
    size_t n = 0;
    switch (s.code) {
        case MeasurementCode::ags:
            for (int k = 0; k < 6; ++k) put24(p + 4 + 3 * k, s.raw[k]);
            n = 22;
            break;
        case MeasurementCode::geo:
            for (int k = 0; k < 3; ++k) put24(p + 4 + 3 * k, s.raw[k]);
            n = 13;
            break;
        case MeasurementCode::press:
            put24(p + 4, s.raw[0]);
            put16(p + 7, s.raw[1]);
            n = 9;
            break;
        case MeasurementCode::batt:
            put16(p + 4, s.raw[0]);
            p[6] = uint8_t(s.raw[1]);
            n = 7;
            break;
        case MeasurementCode::ext:
            p[4] = uint8_t(s.raw[0]);
            put16(p + 5, s.raw[1]);
            put16(p + 7, s.raw[2]);
            n = 9;
            break;
        case MeasurementCode::qags:
            for (int k = 0; k < 4; ++k) put16(p + 4 + 2 * k, s.raw[k]);
            for (int k = 0; k < 6; ++k) put24(p + 12 + 3 * k, s.raw[4 + k]);
            n = 30;
            break;
        case MeasurementCode::ext16ad:
            for (int k = 0; k < 4; ++k) put16(p + 4 + 2 * k, s.raw[k]);
            n = 12;
            break;
        default:
            n = 4;
            break;
    }
    out[0] = kFrameHeader;
    out[1] = s.code;
    uint8_t check = kFrameHeader ^ s.code;
    for (size_t i = 0; i < n; ++i) check ^= p[i];
    p[n] = check;
    return n + 3;
}

VirtualEntry VirtualEntry::generated(uint64_t seed, uint32_t recordCount, uint8_t kinds) {
    VirtualEntry e;
    e.seed = seed;
    e.count = recordCount;
    e.kinds = kinds & kAllKinds ? kinds & kAllKinds : uint8_t(1);
    e.isGenerated = true;
    return e;
}

VirtualEntry VirtualEntry::fromSamples(std::vector<VirtualSample> list) {
    VirtualEntry e;
    e.count = uint32_t(list.size());
    e.samples = std::move(list);
    return e;
}

void VirtualEntry::setStart(int year, int month, int day, int hour, int min, int sec, int ms) {
    startYear = year;
    startMonth = month;
    startDay = day;
    startHour = hour;
    startMin = min;
    startSec = sec;
    startMs = ms;
}

VirtualSample VirtualEntry::sample(uint32_t i) const {
    if (!isGenerated) return i < samples.size() ? samples[i] : VirtualSample{};

    int type = kPattern[i % 20];
    if (!(kinds & (1u << type))) {
        type = 0;
        while (!(kinds & (1u << type))) ++type;
    }
    VirtualSample s = generatedSample(seed, type, i, count);
    s.time = int32_t((i / 2) * 10);
    return s;
}

VirtualSample VirtualEntry::generatedSample(uint64_t seed, int type, uint32_t i, uint32_t count,
                                            bool extremes) {
    VirtualSample s;
    s.code = MeasurementCode::forDataType(type);
    const uint64_t h = mix(seed ^ (uint64_t(i) * 0xD1B54A32D192ED03ull));
    const uint64_t g = mix(h);
    switch (type) {
        case 0:  // acceleration (x, y, z) and angular velocity (x, y, z)
            s.raw[0] = wave(i, 400, 60000) + noise(h, 0, 800);
            s.raw[1] = -wave(i + 100, 400, 40000) + noise(h, 16, 800);
            s.raw[2] = 98000 + noise(h, 32, 1500);
            s.raw[3] = wave(i, 1000, 2000000) + noise(h, 48, 5000);
            s.raw[4] = -wave(i + 250, 1000, 1500000) + noise(g, 0, 5000);
            s.raw[5] = noise(g, 16, 300000);
            if (extremes && i % 1000 == 8) {  // the extremes of the 24-bit range now and then
                s.raw[2] = -8388608;
                s.raw[5] = 8388607;
            }
            break;
        case 1:  // geomagnetism
            s.raw[0] = wave(i, 2000, 3000) + noise(h, 0, 50);
            s.raw[1] = -1200 + noise(h, 16, 50);
            s.raw[2] = -wave(i, 3000, 2500) + noise(h, 32, 50);
            break;
        case 2:  // air pressure and temperature
            s.raw[0] = 1013250 + wave(i, 20000, 4000) + noise(h, 0, 30);
            s.raw[1] = 2350 + wave(i, 50000, 2900) + noise(h, 16, 5);
            break;
        case 3:  // battery voltage * 100 and level
            s.raw[0] = 420 - int32_t((uint64_t(i) * 60) / (uint64_t(count) + 1));
            s.raw[1] = 100 - int32_t((uint64_t(i) * 100) / (uint64_t(count) + 1));
            break;
        case 4:  // external port bits and two analogue inputs
            s.raw[0] = int32_t((h >> 8) & 0x0F);
            s.raw[1] = noise(h, 16, 32767);
            s.raw[2] = wave(i, 600, 20000);
            break;
        case 5:  // quaternion, acceleration, angular velocity
            s.raw[0] = 10000 - wave(i, 800, 3000) / 2 - 1500;
            s.raw[1] = wave(i, 800, 7000);
            s.raw[2] = -wave(i + 200, 800, 5000);
            s.raw[3] = noise(h, 0, 2000);
            for (int k = 0; k < 3; ++k)
                s.raw[4 + k] = wave(i + k * 50, 400, 60000) + noise(h, 16 * k, 800);
            for (int k = 0; k < 3; ++k)
                s.raw[7 + k] = -wave(i + k * 70, 1000, 1800000) + noise(g, 16 * k, 4000);
            break;
        case 6:  // four 16-bit analogue readings
            s.raw[0] = 12000 + noise(h, 0, 400);
            s.raw[1] = -8000 + wave(i, 500, 6000);
            s.raw[2] = noise(h, 16, 32767);
            s.raw[3] = wave(i, 3000, 30000) + noise(h, 32, 100);
            break;
    }
    return s;
}

size_t VirtualEntry::encodeFrame(uint32_t index, uint8_t* out) const {
    if (!isGenerated)
        return encodeMeasurementFrame(index < samples.size() ? samples[index] : VirtualSample{},
                                      out);
    return encodeMeasurementFrame(sample(index), out);
}

std::vector<uint8_t> VirtualEntry::replayBytes() const {
    std::vector<uint8_t> bytes;
    bytes.reserve(size_t(count) * 20 + 4);
    uint8_t frame[kMaxFrameLength];
    for (uint32_t i = 0; i < count; ++i) {
        const size_t n = encodeFrame(i, frame);
        bytes.insert(bytes.end(), frame, frame + n);
    }
    const uint8_t status = 0;
    const size_t n = ::encodeFrame(0xB9, &status, 1, frame);
    bytes.insert(bytes.end(), frame, frame + n);
    return bytes;
}

std::vector<HostSample> VirtualEntry::hostSamples() const {
    std::vector<HostSample> out;
    out.reserve(count);
    double baseline[4] = {0, 0, 0, 0};
    for (uint32_t i = 0; i < count; ++i) {
        const VirtualSample s = sample(i);
        HostSample h;
        h.time = uint64_t(int64_t(s.time));
        h.dataType = MeasurementCode::dataTypeOf(s.code);
        int32_t* v = h.values;
        switch (s.code) {
            case MeasurementCode::ags:
                for (int k = 0; k < 6; ++k) v[k] = sx24(s.raw[k]);
                h.valueCount = 6;
                break;
            case MeasurementCode::geo:
                for (int k = 0; k < 3; ++k) v[k] = sx24(s.raw[k]);
                h.valueCount = 3;
                break;
            case MeasurementCode::press:
                v[0] = sx24(s.raw[0]);
                v[1] = sx16(s.raw[1]);
                h.valueCount = 2;
                break;
            case MeasurementCode::batt:
                v[0] = sx16(s.raw[0]);
                v[1] = s.raw[1] & 0xFF;
                h.valueCount = 2;
                break;
            case MeasurementCode::ext:
                for (int k = 0; k < 4; ++k) v[k] = (s.raw[0] >> k) & 1;
                v[4] = sx16(s.raw[1]);
                v[5] = sx16(s.raw[2]);
                h.valueCount = 6;
                break;
            case MeasurementCode::qags:
                for (int k = 0; k < 4; ++k) v[k] = sx16(s.raw[k]);
                for (int k = 0; k < 6; ++k) v[4 + k] = sx24(s.raw[4 + k]);
                h.valueCount = 10;
                break;
            case MeasurementCode::ext16ad:
                for (int k = 0; k < 4; ++k) {
                    const double raw = sx16(s.raw[k]);
                    baseline[k] += (raw - baseline[k]) * 0.02;
                    v[k] = ad16Gain[size_t(k)];
                    v[4 + k] = int32_t(raw);
                    v[8 + k] = int32_t(raw - baseline[k]);
                }
                h.valueCount = 12;
                break;
            default:
                break;
        }
        out.push_back(h);
    }
    return out;
}
