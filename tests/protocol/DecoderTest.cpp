#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "EventRecorder.h"
#include "protocol/Frame.h"
#include "protocol/ReceiveParser.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes frame(uint8_t code, uint32_t time, Bytes payloadAfterTime) {
    Bytes m = {code, uint8_t(time), uint8_t(time >> 8), uint8_t(time >> 16), uint8_t(time >> 24)};
    m.insert(m.end(), payloadAfterTime.begin(), payloadAfterTime.end());
    Bytes out(m.size() + 2);
    buildSendPacket(m.data(), int(m.size()), out.data());
    return out;
}

struct Case {
    const char* what;
    Bytes frame;
    uint64_t time;
    int type;
    std::vector<int32_t> values;
};

}  // namespace

TEST(EventDecoders, EachMeasurementKindDecodesItsValues) {
    const Case cases[] = {
        {"ags with 24-bit extremes",
         frame(0x80, 16,
               {0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x80, 0xFF, 0xFF, 0x7F, 0x01, 0x02, 0x03, 0x00, 0x00,
                0x00, 0x10, 0x00, 0x00}),
         16,
         0,
         {-1, -8388608, 8388607, 197121, 0, 16}},
        {"geo, negative time stamp",
         frame(0x81, 0x80000000u, {1, 0, 0, 0xFE, 0xFF, 0xFF, 0, 1, 0}),
         uint64_t(int64_t(INT32_MIN)),
         1,
         {1, -2, 256}},
        {"press", frame(0x82, 5000, {0xCD, 0x8B, 0x01, 0xC4, 0x09}), 5000, 2, {101325, 2500}},
        {"press, negative temperature", frame(0x82, 1, {0, 0, 0, 0x38, 0xFF}), 1, 2, {0, -200}},
        {"batt", frame(0x83, 7, {0x2C, 0x01, 0x64}), 7, 3, {300, 100}},
        {"batt, unsigned level", frame(0x83, 7, {0xFF, 0xFF, 0xFF}), 7, 3, {-1, 255}},
        {"ext 0x05", frame(0x84, 9, {0x05, 0x01, 0x00, 0xFF, 0xFF}), 9, 4, {1, 0, 1, 0, 1, -1}},
        {"ext 0x8F", frame(0x84, 9, {0x8F, 0, 0, 0, 0}), 9, 4, {1, 1, 1, 1, 0, 0}},
        {"ext 0xF0", frame(0x84, 9, {0xF0, 0, 0, 0, 0}), 9, 4, {0, 0, 0, 0, 0, 0}},
        {"qags",
         frame(0x8A, 100, {0x01, 0x00, 0xFF, 0xFF, 0x00, 0x80, 0xFF, 0x7F, 0x01, 0, 0, 0xFF, 0xFF,
                           0xFF, 0,    0,    0x80, 2,    0,    0,    3,    0,    0, 4, 0,    0}),
         100,
         5,
         {1, -1, -32768, 32767, 1, -1, -8388608, 2, 3, 4}},
    };
    for (const Case& c : cases) {
        EventRecorder owner;
        ReceiveParser parser(&owner);
        parser.receive(c.frame.data(), c.frame.size());
        ASSERT_EQ(owner.samples.size(), 1u) << c.what;
        EXPECT_EQ(owner.samples[0].time, c.time) << c.what;
        EXPECT_EQ(owner.samples[0].type, c.type) << c.what;
        EXPECT_EQ(owner.samples[0].values, c.values) << c.what;
    }
}

TEST(EventDecoders, AdFilterRunsItsBaselinesAndResets) {
    EventRecorder owner;
    owner.gains = {1, 2, 3, 15};
    ReceiveParser parser(&owner);
    auto feed = [&](const Bytes& b) { parser.receive(b.data(), b.size()); };
    // raw port0 = 1000, port1 = -1000, port2 = 0, port3 = 1
    const Bytes ad = frame(0x8C, 50, {0xE8, 0x03, 0x18, 0xFC, 0x00, 0x00, 0x01, 0x00});
    feed(ad);
    EXPECT_EQ(owner.samples[0].values,
              (std::vector<int32_t>{1, 2, 3, 15, 1000, -1000, 0, 1, 980, -980, 0, 0}));
    EXPECT_DOUBLE_EQ(parser.ad16Offset()[0], 20.0);
    feed(ad);
    // baseline 39.6: 960.4 and -960.4 truncate toward zero
    EXPECT_EQ(
        std::vector<int32_t>(owner.samples[1].values.begin() + 8, owner.samples[1].values.end()),
        (std::vector<int32_t>{960, -960, 0, 0}));
    EXPECT_DOUBLE_EQ(parser.ad16Offset()[0], 39.6);
    // n-th step: baseline b_n = 1000 * (1 - 0.98^n)
    for (int i = 0; i < 48; ++i) feed(ad);
    const double b50 = 1000 * (1 - std::pow(0.98, 50));
    EXPECT_NEAR(parser.ad16Offset()[0], b50, 1e-9);
    EXPECT_EQ(owner.samples.back().values[8], int32_t(1000 - b50));

    // The reset frame zeroes the baselines; the next reading starts afresh.
    const Bytes reset = {0x9A, 0x88, 0x00, 0x12};
    feed(reset);
    feed(ad);
    EXPECT_EQ(owner.samples.back().values[8], 980);
    // The clearing of the receive stream does not touch the baselines.
    parser.clearStream();
    EXPECT_DOUBLE_EQ(parser.ad16Offset()[0], 20.0);
}
