// The virtual sensor's output: answers, streamed frames and memory replays,
// pulled when due; a replay is generated frame by frame as it is pulled.
#include <algorithm>
#include <cstring>

#include "sim/VirtualSensor.h"

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
    advance(nowMs);
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
        if (liveOutPos < liveOut.size()) {
            const size_t k = std::min(limit - n, liveOut.size() - liveOutPos);
            std::memcpy(out + n, liveOut.data() + liveOutPos, k);
            liveOutPos += k;
            n += k;
            if (liveOutPos == liveOut.size()) {
                liveOut.clear();
                liveOutPos = 0;
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
    if (liveOutPos < liveOut.size()) return 0;
    if (measure.armed && opened && !closeNow) {
        int64_t next = measure.startClock;
        if (measure.running) {
            next = INT64_MAX;
            for (int k = 0; k < 7; ++k)
                if (kinds[size_t(k)].on()) next = std::min(next, measure.next[size_t(k)]);
        }
        if (next != INT64_MAX) due = std::min(due, monotonicOf(next));
    }
    return due;
}
