#include "protocol/EventDecoders.h"

#include "protocol/Frame.h"

uint64_t frameTimeStamp(const uint8_t* frame) {
    return uint64_t(int64_t(bin2Int32(frame + 2)));
}

void EventDecoders::ags_event(const uint8_t* frame) {
    int32_t v[6];
    for (int i = 0; i < 6; ++i) v[i] = conv3Byte2Int(frame + 6 + 3 * i);
    ownerObject->appendSensorData(frameTimeStamp(frame), ags, v);
}

void EventDecoders::geo_event(const uint8_t* frame) {
    int32_t v[3];
    for (int i = 0; i < 3; ++i) v[i] = conv3Byte2Int(frame + 6 + 3 * i);
    ownerObject->appendSensorData(frameTimeStamp(frame), geo, v);
}

void EventDecoders::press_event(const uint8_t* frame) {
    int32_t v[2] = {conv3Byte2Int(frame + 6), bin2Short(frame + 9)};
    ownerObject->appendSensorData(frameTimeStamp(frame), press, v);
}

void EventDecoders::batt_event(const uint8_t* frame) {
    int32_t v[2] = {bin2Short(frame + 6), int32_t(frame[8])};
    ownerObject->appendSensorData(frameTimeStamp(frame), batt, v);
}

void EventDecoders::ext_event(const uint8_t* frame) {
    const uint8_t port = frame[6];
    int32_t v[6];
    for (int k = 0; k < 4; ++k) v[k] = (port >> k) & 1;
    v[4] = bin2Short(frame + 7);
    v[5] = bin2Short(frame + 9);
    ownerObject->appendSensorData(frameTimeStamp(frame), ext, v);
}

void EventDecoders::qags_event(const uint8_t* frame) {
    int32_t v[10];
    for (int i = 0; i < 4; ++i) v[i] = bin2Short(frame + 6 + 2 * i);
    for (int i = 0; i < 6; ++i) v[4 + i] = conv3Byte2Int(frame + 14 + 3 * i);
    ownerObject->appendSensorData(frameTimeStamp(frame), qags, v);
}

void EventDecoders::ext16ad_event(const uint8_t* frame) {
    int32_t v[12];
    for (int port = 0; port < 4; ++port) v[port] = ownerObject->getAd16Gain(port);
    for (int port = 0; port < 4; ++port) {
        const double raw = bin2Short(frame + 6 + 2 * port);
        const double b = (raw - ad16Offset[port]) * 0.02 + ad16Offset[port];
        ad16Offset[port] = b;
        v[4 + port] = int32_t(raw);
        v[8 + port] = int32_t(raw - b);  // truncation toward zero
    }
    ownerObject->appendSensorData(frameTimeStamp(frame), ext16ad, v);
}
