#include <gtest/gtest.h>

#include <vector>

#include "EventRecorder.h"
#include "protocol/DateTimeBytes.h"
#include "protocol/Frame.h"
#include "protocol/ReceiveParser.h"

namespace {

using Bytes = std::vector<uint8_t>;

TEST(DateTimeBytes, EncodeDecodeAndImpossibleDates) {
    using datetime::SensorDateTime;
    // setd's layout: year - 2000, month, day, hour, minute, second, ms low, ms high.
    const struct {
        SensorDateTime t;
        Bytes bytes;
    } good[] = {
        {{2026, 12, 8, 0, 27, 22, 999}, {26, 12, 8, 0, 27, 22, 0xE7, 0x03}},
        {{2000, 1, 1, 0, 0, 0, 0}, {0, 1, 1, 0, 0, 0, 0, 0}},
        {{2024, 2, 29, 23, 59, 59, 256}, {24, 2, 29, 23, 59, 59, 0x00, 0x01}},
        {{2255, 12, 31, 12, 0, 0, 1}, {255, 12, 31, 12, 0, 0, 1, 0}},
    };
    for (const auto& g : good) {
        uint8_t out[8];
        datetime::encodeDateTime(g.t, out);
        EXPECT_EQ(Bytes(out, out + 8), g.bytes);
        SensorDateTime back;
        ASSERT_TRUE(datetime::decodeDateTime(g.bytes.data(), back));
        EXPECT_EQ(datetime::msSinceEpoch(back), datetime::msSinceEpoch(g.t));
        const SensorDateTime round = datetime::fromMsSinceEpoch(datetime::msSinceEpoch(g.t));
        EXPECT_EQ(round.year * 10000 + round.month * 100 + round.day,
                  g.t.year * 10000 + g.t.month * 100 + g.t.day);
        EXPECT_EQ(round.msec, g.t.msec);
    }
    EXPECT_EQ(datetime::msSinceEpoch({1970, 1, 1, 0, 0, 1, 5}), 1005);
    EXPECT_EQ(datetime::msSinceEpoch({2000, 1, 1, 0, 0, 0, 0}), 946684800000);

    const Bytes bad[] = {
        {26, 0, 1, 0, 0, 0, 0, 0},       {26, 13, 1, 0, 0, 0, 0, 0},
        {26, 4, 31, 0, 0, 0, 0, 0},      {25, 2, 29, 0, 0, 0, 0, 0},
        {26, 1, 0, 0, 0, 0, 0, 0},       {26, 1, 1, 24, 0, 0, 0, 0},
        {26, 1, 1, 0, 60, 0, 0, 0},      {26, 1, 1, 0, 0, 60, 0, 0},
        {26, 1, 1, 0, 0, 0, 0xE8, 0x03}, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
    };
    for (const Bytes& b : bad) {
        SensorDateTime t;
        EXPECT_FALSE(datetime::decodeDateTime(b.data(), t)) << int(b[0]) << "/" << int(b[1]);
    }
}

TEST(ReceiveParser, GetdAnswerReachesTheOwnerAndRaisesOK) {
    EventRecorder owner;
    ReceiveParser parser(&owner);
    const Bytes message = {0x92, 26, 12, 8, 1, 2, 3, 0xE7, 0x03};
    Bytes framed(message.size() + 2);
    buildSendPacket(message.data(), int(message.size()), framed.data());
    // Split in two: the answer is handled once whole.
    parser.receive(framed.data(), 4);
    EXPECT_TRUE(owner.calls.empty());
    parser.receive(framed.data() + 4, framed.size() - 4);
    ASSERT_EQ(owner.calls.size(), 1u);
    EXPECT_EQ(owner.calls.back(), "date 26 12 8 1 2 3 231 3");
    EXPECT_TRUE(parser.okFlag());
    EXPECT_FALSE(parser.ngFlag());
}

}  // namespace
