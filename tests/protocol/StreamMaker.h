// Random sensor streams: valid frames of random codes, junk bytes, frames
// with a corrupted check byte, stray header bytes.
#pragma once

#include <random>
#include <vector>

#include "protocol/CommandTable.h"
#include "protocol/Frame.h"

struct StreamMix {
    int junkPercent = 5;     // chance of a run of junk before a frame
    int corruptPercent = 5;  // chance that a frame's check byte is wrong
    int strayPercent = 3;    // chance of a lone 0x9A
    bool measurementsOnly = false;
};

inline std::vector<uint8_t> makeFrame(std::mt19937& rng, int row) {
    const int n = CommandTable[row].parameterSize;
    std::vector<uint8_t> message(size_t(n) + 1);
    message[0] = CommandTable[row].code;
    for (int i = 1; i <= n; ++i) message[size_t(i)] = uint8_t(rng());
    std::vector<uint8_t> frame(size_t(n) + 3);
    buildSendPacket(message.data(), n + 1, frame.data());
    return frame;
}

inline std::vector<uint8_t> makeStream(std::mt19937& rng, size_t frames, const StreamMix& mix) {
    static const int measurementRows[] = {85, 86, 87, 88, 89, 95, 96};
    std::vector<uint8_t> out;
    std::uniform_int_distribution<int> percent(0, 99);
    for (size_t f = 0; f < frames; ++f) {
        if (percent(rng) < mix.junkPercent) {
            const int len = 1 + int(rng() % 8);
            for (int i = 0; i < len; ++i) out.push_back(uint8_t(rng()));
        }
        if (percent(rng) < mix.strayPercent) out.push_back(0x9A);
        const int row =
            mix.measurementsOnly ? measurementRows[rng() % 7] : int(rng() % kCommandTableSize);
        std::vector<uint8_t> frame = makeFrame(rng, row);
        if (percent(rng) < mix.corruptPercent) frame.back() ^= uint8_t(1 + rng() % 255);
        out.insert(out.end(), frame.begin(), frame.end());
    }
    return out;
}
