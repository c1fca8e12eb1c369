// One memory entry of a virtual sensor: its start time, the 16-bit AD gains
// and the samples it replays as measurement frames. Samples are either
// generated from a seed on demand (no storage, any length) or held in a list
// (built by hand).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "protocol/MeasurementKinds.h"

// Bit (1 << data type) per kind a generated entry mixes in.
inline constexpr uint8_t kAllKinds = 0x7F;
inline constexpr uint8_t kKindsWithoutExt16ad = 0x3F;

// One sample as it travels on the wire: the frame code, the 32-bit time
// stamp and the raw fields in frame order (ext: the port byte, then the two
// 16-bit values; ext16ad: the four raw 16-bit readings).
struct VirtualSample {
    uint8_t code = MeasurementCode::ags;
    int32_t time = 0;
    int32_t raw[10] = {};
};

// One sample as the host's decoders pass it on (time, data type, values).
struct HostSample {
    uint64_t time = 0;
    int dataType = 0;
    int valueCount = 0;
    int32_t values[12] = {};
};

class VirtualEntry {
  public:
    int startYear = 2024, startMonth = 1, startDay = 1;
    int startHour = 0, startMin = 0, startSec = 0, startMs = 0;
    // Gains of the four 16-bit AD ports (answered to getmementryinfo2).
    std::array<uint8_t, 4> ad16Gain{};

    // `recordCount` samples computed from `seed` and the sample index: a
    // repeating mix of the kinds in `kinds`, non-decreasing time stamps
    // (10 ms apart every second sample, from 0), plausible values including
    // negative 24-bit ones.
    static VirtualEntry generated(uint64_t seed, uint32_t recordCount, uint8_t kinds = kAllKinds);
    static VirtualEntry fromSamples(std::vector<VirtualSample> samples);

    void setStart(int year, int month, int day, int hour, int min, int sec, int ms);

    // The values of sample `index` of kind `type` (a data type number) of a
    // generated series of `count` samples; the time stamp is left at 0.
    // `extremes`: now and then a sample at the ends of the 24-bit range, to
    // test the decoders; a live measurement goes without, so that its charts
    // show the motion rather than the spikes.
    static VirtualSample generatedSample(uint64_t seed, int type, uint32_t index, uint32_t count,
                                         bool extremes = true);
    // Appends a sample to an entry built from samples.
    void append(const VirtualSample& s) {
        samples.push_back(s);
        count = uint32_t(samples.size());
    }

    uint32_t recordCount() const { return count; }
    VirtualSample sample(uint32_t index) const;
    // Writes the measurement frame of sample `index` to `out` (room for 33
    // bytes); returns its length.
    size_t encodeFrame(uint32_t index, uint8_t* out) const;
    // Every byte of a replay: all measurement frames, then the end frame.
    std::vector<uint8_t> replayBytes() const;
    // What the host's decoders hand on for each sample of a replay, with
    // the entry's gains and 16-bit AD baselines starting at 0.
    std::vector<HostSample> hostSamples() const;

  private:
    uint64_t seed = 0;
    uint32_t count = 0;
    uint8_t kinds = kAllKinds;
    bool isGenerated = false;
    std::vector<VirtualSample> samples;
};

// Frame helpers shared with the virtual sensor.
size_t encodeMeasurementFrame(const VirtualSample& s, uint8_t* out);
size_t encodeFrame(uint8_t code, const uint8_t* payload, size_t n, uint8_t* out);
