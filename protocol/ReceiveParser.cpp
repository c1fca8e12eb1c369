#include "protocol/ReceiveParser.h"

#include <cstdio>
#include <cstring>

#include "protocol/CommandTable.h"
#include "protocol/Frame.h"

ReceiveParser::ReceiveParser(SensorEvents* owner) : ownerObject(owner), decoders_(owner) {}

uint64_t ReceiveParser::searchHeadder() const {
    const size_t size = fromSensorDataArray.size();
    if (readPos >= size) return UINT64_MAX;
    const void* hit =
        std::memchr(fromSensorDataArray.data() + readPos, kFrameHeader, size - readPos);
    if (!hit) return UINT64_MAX;
    return uint64_t(static_cast<const uint8_t*>(hit) - fromSensorDataArray.data()) - readPos;
}

void ReceiveParser::clearStream() {
    fromSensorDataArray.clear();
    readPos = 0;
    waitFor = 0;
    ++clearEpoch;
}

void ReceiveParser::compact() {
    if (readPos == fromSensorDataArray.size()) {
        fromSensorDataArray.clear();
        waitFor = 0;
        readPos = 0;
    } else if (readPos >= 4096 && readPos * 2 >= fromSensorDataArray.size()) {
        fromSensorDataArray.erase(fromSensorDataArray.begin(),
                                  fromSensorDataArray.begin() + std::ptrdiff_t(readPos));
        waitFor -= std::min(waitFor, readPos);
        readPos = 0;
    }
}

void ReceiveParser::procDataStream() {
    if (parsing) return;
    parsing = true;
    waitFor = 0;
    uint8_t frame[kMaxFrameLength + 2];
    for (;;) {
        const uint64_t rel = searchHeadder();
        if (rel == UINT64_MAX) {
            // No header left: nothing that remains can start a frame.
            readPos = fromSensorDataArray.size();
            break;
        }
        const size_t h = readPos + size_t(rel);
        readPos = h;
        const size_t length = fromSensorDataArray.size();
        if (length <= h + 1) {
            waitFor = h + 2;
            break;
        }

        const int row = SearchCommandIndexByCmdCode(fromSensorDataArray[h + 1]);
        if (row < 0) {
            readPos = h + 1;  // this header byte is dead; resynchronise after it
            continue;
        }
        const int n = getParameterSize(row);
        const size_t e = h + size_t(n) + 2;
        if (e >= length) {  // incomplete: wait for more bytes
            waitFor = e + 1;
            break;
        }

        const uint8_t* bytes = fromSensorDataArray.data();
        if (frameCheck(bytes + h + 1, n + 1) != bytes[e]) {
            readPos = h + 1;  // the next header may lie inside the rejected frame
            continue;
        }
        std::memcpy(frame, bytes + h, size_t(n) + 3);
        readPos = e + 1;
        ++framesHandled_;
        const uint64_t epoch = clearEpoch;
        handleFrame(getCommandNumber(row), frame, n);
        if (epoch != clearEpoch) readPos = 0;  // stream was cleared inside the handler
    }
    compact();
    parsing = false;
}

void ReceiveParser::handleFrame(int row, const uint8_t* frame, int payloadSize) {
    const uint8_t* p = frame + 2;
    switch (row) {
        case CommandRow::commandResult:
            if (p[0] != 0)
                ngFlag_ = true;
            else
                okFlag_ = true;
            break;
        case CommandRow::devinfoResponse: {
            char text[9];
            std::snprintf(text, sizeof text, "%02x%02x%02x%02x", p[16], p[17], p[18], p[19]);
            ownerObject->setFirmVersion(text);
            okFlag_ = true;
            break;
        }
        case CommandRow::getdResponse:
            ownerObject->setSensorDateTime(p);
            okFlag_ = true;
            break;
        case CommandRow::accRangeResponse:
            ownerObject->setAccRange(p[0]);
            okFlag_ = true;
            break;
        case CommandRow::gyrRangeResponse:
            ownerObject->setGyrRange(p[0]);
            okFlag_ = true;
            break;
        case CommandRow::memcountResponse:
        case CommandRow::getmementryResponse:
        case CommandRow::getmementryinfoResponse:
        case CommandRow::getmemfreesizeResponse:
            ownerObject->setMEmEntryData(frame, payloadSize);
            okFlag_ = true;
            break;
        case CommandRow::readmemdataEnd:
            memDataReadCompleat_ = true;
            break;
        case CommandRow::battstatusResponse:
            ownerObject->setBatteryVoltage(float((p[0] + 256 * p[1]) / 100.0));
            break;
        case CommandRow::mementryinfo2Response:
            for (int port = 0; port < 4; ++port) ownerObject->setAd16Gain(p[28 + port], port);
            break;
        case CommandRow::agsEvent:
            decoders_.ags_event(frame);
            break;
        case CommandRow::geoEvent:
            decoders_.geo_event(frame);
            break;
        case CommandRow::pressEvent:
            decoders_.press_event(frame);
            break;
        case CommandRow::battEvent:
            decoders_.batt_event(frame);
            break;
        case CommandRow::extEvent:
            decoders_.ext_event(frame);
            break;
        case CommandRow::ad16Reset:
            decoders_.resetAd16Filter();
            if (p[0] != 0)
                ngFlag_ = true;
            else
                okFlag_ = true;
            break;
        case CommandRow::qagsEvent:
            decoders_.qags_event(frame);
            break;
        case CommandRow::ext16adEvent:
            decoders_.ext16ad_event(frame);
            break;
        default:
            break;  // checked, consumed, ignored
    }
}
