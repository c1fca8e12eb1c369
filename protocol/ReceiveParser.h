// Cuts checked frames out of the bytes a sensor sends, raises the OK, NG and
// read-complete flags and hands payloads and measurements to the owner.
//
// The stream keeps a read cursor: bytes before the first header byte can never
// belong to a frame, so they are skipped and compacted away now and then. Work
// is linear in the bytes received, however they are split into pieces.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "protocol/EventDecoders.h"
#include "protocol/SensorEvents.h"

class ReceiveParser {
  public:
    explicit ReceiveParser(SensorEvents* owner);

    // Appends received bytes and parses them. Bytes that arrive while a parse
    // is running (a handler ran a nested event loop) are appended and parsed
    // by the outer run once its current frame is done, never re-entrantly.
    void receive(const uint8_t* data, size_t length) {
        if (length == 1)
            fromSensorDataArray.push_back(*data);
        else
            fromSensorDataArray.insert(fromSensorDataArray.end(), data, data + length);
        // A partial frame waits for its last byte: nothing can change before it.
        if (!parsing && fromSensorDataArray.size() >= waitFor) procDataStream();
    }

    // Consumes every complete frame that the stream holds.
    void procDataStream();

    // Offset of the first header byte from the read cursor, or UINT64_MAX when
    // the unconsumed stream holds none.
    uint64_t searchHeadder() const;
    void clearStream();
    void clearFlags() {
        okFlag_ = false;
        ngFlag_ = false;
    }
    uint8_t okFlag() const { return okFlag_; }
    uint8_t ngFlag() const { return ngFlag_; }
    uint8_t memDataReadCompleat() const { return memDataReadCompleat_; }
    void setMemDataReadCompleat(bool value) { memDataReadCompleat_ = value; }

    // Unconsumed bytes, from the first possible header on.
    std::span<const uint8_t> pendingBytes() const {
        return {fromSensorDataArray.data() + readPos, fromSensorDataArray.size() - readPos};
    }
    // Frames accepted (check byte valid) since creation.
    uint64_t framesHandled() const { return framesHandled_; }

    EventDecoders& decoders() { return decoders_; }
    std::array<double, 4>& ad16Offset() { return decoders_.ad16Offset; }

  private:
    void handleFrame(int row, const uint8_t* frame, int payloadSize);
    void compact();

    SensorEvents* ownerObject;
    EventDecoders decoders_;
    std::vector<uint8_t> fromSensorDataArray;
    size_t readPos = 0;       // everything before it is consumed or dead
    size_t waitFor = 0;       // stream length at which a waiting partial frame completes
    uint64_t clearEpoch = 0;  // bumped by clearStream, so a running parse notices
    uint64_t framesHandled_ = 0;
    bool parsing = false;
    bool okFlag_ = false;
    bool ngFlag_ = false;
    bool memDataReadCompleat_ = false;
};
