#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "EventRecorder.h"
#include "ReferenceParser.h"
#include "StreamMaker.h"
#include "protocol/Frame.h"
#include "protocol/ReceiveParser.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Fixture {
    EventRecorder owner;
    ReceiveParser parser{&owner};
    void feed(const Bytes& b) { parser.receive(b.data(), b.size()); }
    Bytes pending() const {
        auto p = parser.pendingBytes();
        return Bytes(p.begin(), p.end());
    }
};

Bytes frame(Bytes message) {
    Bytes out(message.size() + 2);
    buildSendPacket(message.data(), int(message.size()), out.data());
    return out;
}

}  // namespace

TEST(ReceiveParser, CommandResultsInOnePieceOrMany) {
    const struct {
        const char* what;
        std::vector<Bytes> pieces;
        bool ok, ng;
    } cases[] = {
        {"OK", {{0x9A, 0x8F, 0x00, 0x15}}, true, false},
        {"NG", {{0x9A, 0x8F, 0x01, 0x14}}, false, true},
        {"split", {{0x9A}, {0x8F, 0x00}, {0x15}}, true, false},
        {"bad check byte", {{0x9A, 0x8F, 0x00, 0x16}}, false, false},
        // The rejected frame's header is dropped and the parser resynchronises
        // on the header inside it; the leftover bytes start no later frame.
        {"resync", {{0x9A, 0x8F, 0x00, 0x9A, 0x8F, 0x00, 0x15}}, true, false},
        {"leading junk", {{0x01, 0x02, 0x9A, 0x8F, 0x00, 0x15}}, true, false},
    };
    for (const auto& c : cases) {
        Fixture fx;
        for (const Bytes& piece : c.pieces) {
            EXPECT_FALSE(fx.parser.okFlag() || fx.parser.ngFlag()) << c.what;
            fx.feed(piece);
        }
        EXPECT_EQ(bool(fx.parser.okFlag()), c.ok) << c.what;
        EXPECT_EQ(bool(fx.parser.ngFlag()), c.ng) << c.what;
        EXPECT_TRUE(fx.pending().empty()) << c.what;
    }
}

TEST(ReceiveParser, UnknownCodesCommandCodesAndPartialFrames) {
    Fixture unknown;
    unknown.feed({0x9A, 0x7F});
    EXPECT_TRUE(unknown.pending().empty());
    EXPECT_TRUE(unknown.owner.calls.empty());

    // Code 0x00 is row 0, no payload; its check byte 0x9A matches.
    Fixture zero;
    zero.feed({0x9A, 0x00, 0x9A});
    EXPECT_TRUE(zero.pending().empty());
    EXPECT_TRUE(zero.owner.calls.empty());

    Fixture partial;
    Bytes f = frame({0xB6, 0x03});
    partial.feed(Bytes(f.begin(), f.end() - 1));
    EXPECT_EQ(partial.pending(), Bytes(f.begin(), f.end() - 1));
    partial.feed({f.back()});
    EXPECT_EQ(partial.owner.calls, std::vector<std::string>{"mem 3"});
    EXPECT_TRUE(partial.parser.okFlag());
}

TEST(ReceiveParser, ResponseHandlersAndTheirFlags) {
    Fixture fx;
    Bytes devinfo(31, 0);
    devinfo[0] = 0x90;
    devinfo[17] = 0x01, devinfo[18] = 0x0A, devinfo[19] = 0x00, devinfo[20] = 0xFF;
    fx.feed(frame(devinfo));
    EXPECT_EQ(fx.owner.calls.back(), "firm 010a00ff");
    EXPECT_TRUE(fx.parser.okFlag());

    fx.parser.clearFlags();
    fx.feed(frame({0xB9, 0x00}));
    EXPECT_TRUE(fx.parser.memDataReadCompleat());
    EXPECT_FALSE(fx.parser.okFlag());

    fx.feed(frame({0xBB, 0x2C, 0x01, 0x55}));
    EXPECT_EQ(fx.owner.calls.back(), "batt 3.0000");
    EXPECT_FALSE(fx.parser.okFlag());

    Bytes info2(33, 0);
    info2[0] = 0xDC;
    info2[29] = 1, info2[30] = 2, info2[31] = 10, info2[32] = 255;
    fx.feed(frame(info2));
    EXPECT_EQ(std::vector<std::string>(fx.owner.calls.end() - 4, fx.owner.calls.end()),
              (std::vector<std::string>{"gain 1 0", "gain 2 1", "gain 10 2", "gain 255 3"}));
    EXPECT_FALSE(fx.parser.okFlag());

    fx.parser.ad16Offset() = {1, 2, 3, 4};
    fx.feed(frame({0x88, 0x00}));
    EXPECT_EQ(fx.parser.ad16Offset(), (std::array<double, 4>{0, 0, 0, 0}));
    EXPECT_TRUE(fx.parser.okFlag());

    // A flag stays raised until cleared; clearing the stream keeps flags.
    fx.feed(frame({0x8F, 0x01}));
    EXPECT_TRUE(fx.parser.okFlag() && fx.parser.ngFlag());
    fx.parser.clearStream();
    EXPECT_TRUE(fx.parser.okFlag());
}

// A handler that runs a nested event loop may deliver more bytes; they are
// parsed by the outer run after the current frame, never re-entrantly.
TEST(ReceiveParser, BytesArrivingInsideAHandlerAreParsedAfterIt) {
    struct Nested : EventRecorder {
        ReceiveParser* parser = nullptr;
        Bytes inject;
        int depth = 0, maxDepth = 0;
        void setMEmEntryData(const uint8_t* f, int n) override {
            ++depth;
            maxDepth = std::max(maxDepth, depth);
            EventRecorder::setMEmEntryData(f, n);
            if (!inject.empty()) {
                Bytes b;
                b.swap(inject);
                parser->receive(b.data(), b.size());
            }
            --depth;
        }
    } owner;
    ReceiveParser parser(&owner);
    owner.parser = &parser;
    owner.inject = frame({0xB6, 0x02});
    Bytes first = frame({0xB6, 0x01});
    parser.receive(first.data(), first.size());
    EXPECT_EQ(owner.calls, (std::vector<std::string>{"mem 1", "mem 2"}));
    EXPECT_EQ(owner.maxDepth, 1);
}

// The parser must behave exactly like the plain algorithm for any stream and
// any split into pieces: same owner calls in the same order, same flags, same
// unconsumed bytes.
TEST(ReceiveParser, MatchesTheReferenceAlgorithmOnRandomStreams) {
    std::mt19937 rng(20261206);
    for (int round = 0; round < 300; ++round) {
        StreamMix mix;
        mix.junkPercent = int(rng() % 30);
        mix.corruptPercent = int(rng() % 30);
        mix.strayPercent = int(rng() % 20);
        const Bytes stream = makeStream(rng, 20 + rng() % 200, mix);

        EventRecorder ours, theirs;
        ours.gains = theirs.gains = {1, 2, 3, 4};
        ReceiveParser parser(&ours);
        ReferenceParser reference(&theirs);
        const size_t maxPiece = 1 + rng() % (round % 3 == 0 ? 3 : 100);
        for (size_t at = 0; at < stream.size();) {
            const size_t n = std::min(stream.size() - at, 1 + rng() % maxPiece);
            parser.receive(stream.data() + at, n);
            reference.receive(stream.data() + at, n);
            at += n;
            ASSERT_EQ(ours.calls, theirs.calls) << "round " << round << " at " << at;
            ASSERT_EQ(bool(parser.okFlag()), reference.okFlag);
            ASSERT_EQ(bool(parser.ngFlag()), reference.ngFlag);
            ASSERT_EQ(bool(parser.memDataReadCompleat()), reference.memDataReadCompleat);
            auto pending = parser.pendingBytes();
            ASSERT_EQ(Bytes(pending.begin(), pending.end()), reference.live()) << "round " << round;
            if (rng() % 4 == 0) {
                parser.clearFlags();
                reference.okFlag = reference.ngFlag = false;
            }
        }
    }
}

TEST(ReceiveParser, JunkDoesNotAccumulate) {
    EventRecorder owner;
    ReceiveParser parser(&owner);
    std::mt19937 rng(7);
    Bytes junk(1 << 16);
    for (auto& b : junk) b = uint8_t(rng() % 0x99);  // never a header byte
    for (int i = 0; i < 64; ++i) parser.receive(junk.data(), junk.size());
    EXPECT_TRUE(parser.pendingBytes().empty());
    Bytes ok = frame({0x8F, 0x00});
    parser.receive(ok.data(), ok.size());
    EXPECT_TRUE(parser.okFlag());
}
