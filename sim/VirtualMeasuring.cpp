// The virtual sensor's measuring: samples generated as the sensor clock
// passes their time, recorded into an entry and queued for streaming.
#include "protocol/DateTimeBytes.h"
#include "sim/VirtualSensor.h"

namespace {

// Milliseconds between samples of a kind; batt has a fixed second.
int64_t periodOf(int dataType, uint8_t rate) {
    return dataType == SensorDataType::batt ? 1000 : int64_t(rate);
}

}  // namespace

void VirtualSensor::startMeasuring(int64_t startClock) {
    measure = Measurement{};
    measure.armed = true;
    measure.startClock = startClock;
    measure.seed = 0x5EED0000 + ++measurements;
}

void VirtualSensor::record(const VirtualSample& s) {
    if (!measure.recording) return;
    const uint64_t held = recordsHeld() + measure.entry.recordCount();
    if (held >= memoryRecords) {
        // Full: in overwrite mode the oldest entry makes room, else recording ends.
        if (overwrite && !entries.empty()) {
            entries.erase(entries.begin());
            record(s);
            return;
        }
        measure.recording = false;
        entries.push_back(std::move(measure.entry));
        measure.entry = VirtualEntry{};
        return;
    }
    measure.entry.append(s);
}

void VirtualSensor::advance(uint64_t nowMs) {
    if (!measure.armed) return;
    const int64_t clock = clockMs(nowMs);
    if (!measure.running) {
        if (clock < measure.startClock) return;
        measure.running = true;
        for (int k = 0; k < 7; ++k) measure.next[size_t(k)] = measure.startClock;
        bool anyRecorded = false;
        for (int k = 0; k < 7; ++k) anyRecorded |= kinds[size_t(k)].on() && kinds[size_t(k)].memory;
        if (anyRecorded && (int(entries.size()) < maxEntries || (overwrite && !entries.empty()))) {
            if (int(entries.size()) >= maxEntries) entries.erase(entries.begin());
            measure.recording = true;
            const datetime::SensorDateTime t =
                datetime::fromMsSinceEpoch(measure.startClock + epoch2000Ms());
            measure.entry = VirtualEntry::fromSamples({});
            measure.entry.setStart(t.year, t.month, t.day, t.hour, t.minute, t.second, t.msec);
            measure.entry.ad16Gain = gains;
        }
    }
    if (!measure.recording && (!opened || silent || closeNow)) {
        // Nobody hears the samples and none are kept: skip them, however long the gap.
        for (size_t k = 0; k < 7; ++k) {
            if (!kinds[k].on() || measure.next[k] > clock) continue;
            const int64_t period = periodOf(int(k), kinds[k].rate);
            const int64_t steps = (clock - measure.next[k]) / period + 1;
            measure.next[k] += steps * period;
            measure.index[k] += uint32_t(steps);
        }
        return;
    }
    uint8_t frame[kMaxMeasurementFrame];
    for (;;) {
        int kind = -1;
        for (int k = 0; k < 7; ++k)
            if (kinds[size_t(k)].on() && measure.next[size_t(k)] <= clock &&
                (kind < 0 || measure.next[size_t(k)] < measure.next[size_t(kind)]))
                kind = k;
        if (kind < 0) break;
        const size_t k = size_t(kind);
        VirtualSample s = VirtualEntry::generatedSample(measure.seed + k, kind, measure.index[k],
                                                        1u << 24, false);
        s.time = int32_t(measure.next[k] - measure.startClock);
        ++measure.index[k];
        measure.next[k] += periodOf(kind, kinds[k].rate);
        if (kinds[k].memory) record(s);
        if (!opened || silent || closeNow) continue;
        if (faults.closeAfterFrames >= 0 && int64_t(measure.streamed) >= faults.closeAfterFrames) {
            closeNow = true;
            continue;
        }
        if (faults.silentAfterFrames >= 0 &&
            int64_t(measure.streamed) >= faults.silentAfterFrames) {
            silent = true;
            continue;
        }
        ++measure.streamed;
        const size_t n = encodeMeasurementFrame(s, frame);
        liveOut.insert(liveOut.end(), frame, frame + n);
    }
}

void VirtualSensor::stopMeasuring(uint64_t nowMs) {
    advance(nowMs);
    if (measure.recording) entries.push_back(std::move(measure.entry));
    measure = Measurement{};
}
