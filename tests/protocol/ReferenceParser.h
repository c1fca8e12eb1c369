// The receive parser exactly as first described: rescans from index 0 after
// every frame, zeroes rejected header bytes in place and erases frames from
// the middle of the stream. Slow but plain; the tests and the benchmark
// compare the real parser with it.
#pragma once

#include <cstdio>
#include <vector>

#include "protocol/CommandTable.h"
#include "protocol/EventDecoders.h"
#include "protocol/SensorEvents.h"

class ReferenceParser {
  public:
    explicit ReferenceParser(SensorEvents* owner) : owner(owner), decoders(owner) {}

    std::vector<uint8_t> stream;
    bool okFlag = false, ngFlag = false, memDataReadCompleat = false;

    void receive(const uint8_t* data, size_t n) {
        stream.insert(stream.end(), data, data + n);
        procDataStream();
    }

    // Bytes from the first header byte on (those before it can never matter).
    std::vector<uint8_t> live() const {
        long h = search();
        return h < 0 ? std::vector<uint8_t>{}
                     : std::vector<uint8_t>(stream.begin() + h, stream.end());
    }

  private:
    long search() const {
        for (size_t i = 0; i < stream.size(); ++i)
            if (stream[i] == 0x9A) return long(i);
        return -1;
    }

    void procDataStream() {
        long h = search();
        if (h < 0) return;
        if (stream.size() <= size_t(h) + 1) return;
        for (;;) {
            int row = -1;
            for (int r = 0; r < kCommandTableSize; ++r)
                if (CommandTable[r].code == stream[size_t(h) + 1]) {
                    row = r;
                    break;
                }
            if (row < 0) {
                stream[size_t(h)] = 0;
                h = search();
            } else {
                const size_t n = size_t(CommandTable[row].parameterSize);
                const size_t e = size_t(h) + n + 2;
                if (e >= stream.size()) return;
                uint8_t check = 0x9A;
                for (size_t i = size_t(h) + 1; i < e; ++i) check ^= stream[i];
                if (stream[e] != check) {
                    stream[size_t(h)] = 0;
                    h = search();
                    if (h < 0) {
                        stream.clear();
                        return;
                    }
                } else {
                    uint8_t frame[70];
                    for (size_t i = 0; i < n + 3; ++i) frame[i] = stream[size_t(h) + i];
                    handle(int(CommandTable[row].commandNumber), frame, int(n));
                    stream.erase(stream.begin() + h, stream.begin() + h + long(n) + 3);
                    h = search();
                }
            }
            if (h < 0) return;
            if (stream.size() <= size_t(h) + 1) return;
        }
    }

    void handle(int row, const uint8_t* f, int n) {
        const uint8_t* p = f + 2;
        switch (row) {
            case 56:
                (p[0] ? ngFlag : okFlag) = true;
                break;
            case 57: {
                char t[9];
                std::snprintf(t, sizeof t, "%02x%02x%02x%02x", p[16], p[17], p[18], p[19]);
                owner->setFirmVersion(t);
                okFlag = true;
                break;
            }
            case 58:
                owner->setSensorDateTime(p);
                okFlag = true;
                break;
            case 74:
            case 75:
            case 76:
            case 78:
                owner->setMEmEntryData(f, n);
                okFlag = true;
                break;
            case 77:
                memDataReadCompleat = true;
                break;
            case 79:
                owner->setBatteryVoltage(float((p[0] + 256 * p[1]) / 100.0));
                break;
            case 84:
                for (int port = 0; port < 4; ++port) owner->setAd16Gain(p[28 + port], port);
                break;
            case 85:
                decoders.ags_event(f);
                break;
            case 86:
                decoders.geo_event(f);
                break;
            case 87:
                decoders.press_event(f);
                break;
            case 88:
                decoders.batt_event(f);
                break;
            case 89:
                decoders.ext_event(f);
                break;
            case 93:
                decoders.resetAd16Filter();
                (p[0] ? ngFlag : okFlag) = true;
                break;
            case 95:
                decoders.qags_event(f);
                break;
            case 96:
                decoders.ext16ad_event(f);
                break;
            default:
                break;
        }
    }

    SensorEvents* owner;
    EventDecoders decoders;
};
