// The link and the paired-sensor lookup over the simulated platform: the
// same channel code as with a real sensor, on a socketpair.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>

#include "link/BtUtilClass.h"
#include "link/EventWait.h"
#include "link/RFCommControl.h"
#include "link/platform/FdChannel.h"
#include "link_sim/SimulatedPlatform.h"
#include "protocol/CommandTable.h"
#include "protocol/EventRecorder.h"
#include "protocol/Frame.h"

namespace {

constexpr const char* kA = "00:1B:DC:00:00:0A";
constexpr const char* kB = "00:1B:DC:00:00:0B";
constexpr const char* kC = "00:1B:DC:00:00:0C";

class LinkTest : public ::testing::Test {
  protected:
    void SetUp() override { BluetoothPlatform::setCurrent(&platform); }
    void TearDown() override { BluetoothPlatform::setCurrent(nullptr); }

    VirtualSensor* addSensor(const char* name, const char* address) {
        return platform.addDevice(name, address, std::make_shared<VirtualSensor>());
    }
    static int send(RFCommControl& link, const char* command, uint8_t parameter = 0) {
        const int row = SearchCommandIndexByCmdStr(command);
        uint8_t message[2] = {commandCode(command), parameter};
        uint8_t frame[8];
        const int n = buildSendPacket(message, 1 + getParameterSize(row), frame);
        int32_t err = 0;
        return link.sendBinCommand(frame, n, err);
    }

    SimulatedPlatform platform;
    EventRecorder owner;
};

TEST_F(LinkTest, NameRulesAndLookupByIndex) {
    // The name's length (in characters, not bytes), then its model.
    for (const auto& [name, type] : {std::pair{"VRAX610-001", 1},
                                     {"VRAX610-0012", 0},
                                     {"VRAX610", 0},
                                     {"", 0},
                                     {"VRAX650-LAB-0016", 1},
                                     {"VRAX610-\u00e9\u00e9\u00e9", 1}})
        EXPECT_EQ(BtUtilClass::checkSensorType(name), type) << name;
    for (const auto& [name, type] : {std::pair{"VRAX650-LAB-0016", 2},
                                     {"VRAX610-001", 1},
                                     {"vrax610-0000000012", 0},
                                     {"VRAX611-001", 0}})
        EXPECT_EQ(BtUtilClass::checkSensorType2(name), type) << name;

    std::string name = "keep", address = "keep";
    platform.setPairedListAvailable(false);
    EXPECT_EQ(BtUtilClass::getPairdVRAXSensors(), -1);
    EXPECT_FALSE(BtUtilClass::getSensorDeviceInfoByIndex(0, name, address));
    EXPECT_EQ(name, "keep");

    platform.setPairedListAvailable(true);
    EXPECT_EQ(BtUtilClass::getPairdVRAXSensors(), 0);
    EXPECT_FALSE(BtUtilClass::getSensorDeviceInfoByIndex(0, name, address));
    EXPECT_EQ(name, "");

    addSensor("VRAX610-00A", kA);
    platform.addDevice("Headset", kB, nullptr);
    addSensor("VRAX650-0000000C", kC);
    platform.addDevice("VRAX610-00D", "00:1B:DC:00:00:0D", nullptr, /*paired=*/false);
    EXPECT_EQ(BtUtilClass::getPairdVRAXSensors(), 2);
    ASSERT_TRUE(BtUtilClass::getSensorDeviceInfoByIndex(0, name, address));
    EXPECT_EQ(name + " " + address, std::string("VRAX610-00A ") + kA);
    ASSERT_TRUE(BtUtilClass::getSensorDeviceInfoByIndex(1, name, address));
    EXPECT_EQ(name + " " + address, std::string("VRAX650-0000000C ") + kC);
    EXPECT_FALSE(BtUtilClass::getSensorDeviceInfoByIndex(2, name, address));
    EXPECT_EQ(name + address, "");
    name = address = "keep";
    EXPECT_FALSE(BtUtilClass::getSensorDeviceInfoByIndex(3, name, address));
    EXPECT_EQ(name + address, "keepkeep");
    EXPECT_FALSE(BtUtilClass::getSensorDeviceInfoByIndex(-1, name, address));
    EXPECT_EQ(name + address, "");
}

TEST_F(LinkTest, ConnectResultsAndStatusWords) {
    VirtualSensor* a = addSensor("VRAX610-00A", kA);
    VirtualSensor* c = addSensor("VRAX610-00C", kC);
    platform.addDevice("Headset", kB, nullptr);
    platform.addDevice("VRAX610-00D", "00:1B:DC:00:00:0D", std::make_shared<VirtualSensor>(),
                       false);
    RFCommControl link(&owner);
    int32_t err = 99;

    EXPECT_EQ(send(link, "stop"), 5);                            // before any connect
    EXPECT_EQ(link.connectSensor("00:1b:dc:00:00:0a", err), 1);  // exact text only
    EXPECT_EQ(err, 0);
    EXPECT_EQ(link.connectSensor("00:1B:DC:00:00:0D", err), 1);  // known but not paired
    EXPECT_EQ(link.connectSensor(kB, err), 3);                   // headset: no serial port
    EXPECT_NE(err, 0);
    EXPECT_FALSE(link.isConnected());

    c->faults.busy = true;
    EXPECT_EQ(link.connectSensor(kC, err), 3);
    EXPECT_EQ(err, PlatformStatus::exclusiveAccess);
    c->faults.busy = false;
    c->faults.noSerialPortService = true;
    EXPECT_EQ(link.connectSensor(kC, err), 3);
    EXPECT_EQ(err, PlatformStatus::noSerialPortService);

    ASSERT_EQ(link.connectSensor(kA, err), 0);
    EXPECT_EQ(err, 0);
    EXPECT_TRUE(link.isConnected());
    EXPECT_EQ(send(link, "stop"), 0);
    EXPECT_TRUE(eventwait::runUntil([&] { return link.okFlag(); }, 2.0));
    EXPECT_EQ(a->receivedCodes(), std::vector<uint8_t>{0x15});

    // A second link to the same sensor finds it in use.
    RFCommControl other(&owner);
    EXPECT_EQ(other.connectSensor(kA, err), 3);
    EXPECT_EQ(err, PlatformStatus::exclusiveAccess);

    link.disconnect();
    EXPECT_FALSE(link.isConnected());
    EXPECT_EQ(send(link, "stop"), 5);
    // The far end notices, so the sensor can be opened again.
    EXPECT_TRUE(eventwait::runUntil([&] { return platform.openLinks() == 0; }, 2.0));
    EXPECT_EQ(other.connectSensor(kA, err), 0);
}

// Every sample of a replay arrives decoded, in order, whether the bytes come
// one at a time or many frames per read.
TEST_F(LinkTest, ReplayArrivesWholeInAnyPieces) {
    VirtualSensor* a = addSensor("VRAX610-00A", kA);
    a->entries.push_back(VirtualEntry::generated(7, 3000, kKindsWithoutExt16ad));
    const std::vector<HostSample> expected = a->entries[0].hostSamples();
    for (size_t chunk : {size_t(1), size_t(7), size_t(0)}) {
        SCOPED_TRACE(chunk);
        a->faults.chunkSize = chunk;
        EventRecorder events;
        RFCommControl link(&events);
        int32_t err = 0;
        ASSERT_EQ(link.connectSensor(kA, err), 0);
        link.setMemDataReadCompleat(false);
        ASSERT_EQ(send(link, "readmemdata", 1), 0);
        ASSERT_TRUE(eventwait::runUntil([&] { return link.memDataReadCompleat() != 0; }, 20.0));
        ASSERT_EQ(events.samples.size(), expected.size());
        for (size_t i = 0; i < expected.size(); ++i) {
            ASSERT_EQ(events.samples[i].time, expected[i].time) << i;
            ASSERT_EQ(events.samples[i].type, expected[i].dataType) << i;
            ASSERT_EQ(events.samples[i].values,
                      std::vector<int32_t>(expected[i].values,
                                           expected[i].values + expected[i].valueCount))
                << i;
        }
        link.disconnect();
        ASSERT_TRUE(eventwait::runUntil([&] { return platform.openLinks() == 0; }, 2.0));
    }
}

TEST_F(LinkTest, FarEndClosingMidTransferEndsTheLink) {
    VirtualSensor* a = addSensor("VRAX610-00A", kA);
    a->entries.push_back(VirtualEntry::generated(3, 5000, kKindsWithoutExt16ad));
    a->faults.closeAfterFrames = 1200;
    RFCommControl link(&owner);
    int32_t err = 0;
    ASSERT_EQ(link.connectSensor(kA, err), 0);
    ASSERT_EQ(send(link, "readmemdata", 1), 0);
    ASSERT_TRUE(eventwait::runUntil([&] { return link.channelClosed(); }, 10.0));
    EXPECT_EQ(owner.samples.size(), 1200u);  // nothing lost before the close
    EXPECT_EQ(owner.calls.back(), "status 0");
    EXPECT_FALSE(link.memDataReadCompleat());
    // A closed channel takes nothing, and says so.
    EXPECT_EQ(send(link, "stop"), 5);
}

// A peer that closes, or that stops reading: a write fails (bounded, never a
// hang), the channel closes and says so once.
TEST(FdChannelTest, WritesToAClosedOrStuckPeerFail) {
    for (bool stuck : {false, true}) {
        int fds[2];
        ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM, 0, fds), 0);
        FdChannel channel(fds[0]);
        int closes = 0;
        channel.onClosed = [&] { ++closes; };
        std::vector<uint8_t> bytes(stuck ? 8 << 20 : 3, 0x55);  // stuck: more than buffers hold
        if (!stuck) {
            EXPECT_EQ(channel.write(bytes.data(), 3), 0);
            ::close(fds[1]);
        }
        EXPECT_NE(channel.write(bytes.data(), bytes.size()), 0) << stuck;
        EXPECT_FALSE(channel.isOpen());
        EXPECT_EQ(closes, 1);
        EXPECT_NE(channel.write(bytes.data(), 3), 0);  // stays closed, reported once
        EXPECT_EQ(closes, 1);
        if (stuck) ::close(fds[1]);
    }
}

}  // namespace

namespace {

// The longest time between two ticks of a 10 ms timer while `work` runs:
// how long the event loop stood still.
double longestStallMs(const std::function<void()>& work) {
    QElapsedTimer clock;
    qint64 last = 0, longest = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        longest = std::max(longest, now - last);
        last = now;
    });
    clock.start();
    ticker.start(10);
    work();
    ticker.stop();
    return double(std::max(longest, clock.elapsed() - last));
}

}  // namespace

// The slow part of a connect (SDP, page) runs beside the event loop: the
// program stays responsive, and the user can cancel it. With the adapter
// off, a connect says so instead of trying.
TEST_F(LinkTest, ASlowConnectNeitherFreezesNorTraps) {
    VirtualSensor* a = addSensor("VRAX610-00A", kA);
    a->faults.connectDelayMs = 1500;
    RFCommControl link(&owner);
    int32_t err = 99;
    ConnectResult result = kNotPaired;
    const auto started = std::chrono::steady_clock::now();
    const double stall = longestStallMs([&] { result = link.connectSensor(kA, err); });
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("  longest event-loop stall during a 1.5 s connect: %.0f ms\n", stall);
    EXPECT_EQ(result, kConnected);
    EXPECT_GE(seconds, 1.5);
    EXPECT_LT(stall, 750.0);  // the loop ran all along: no stall near the 1.5 s connect
    link.disconnect();
    ASSERT_TRUE(eventwait::runUntil([&] { return platform.openLinks() == 0; }, 2.0));

    // Cancelled after 0.3 s: back at once, nothing opened; the next connect works.
    a->faults.connectDelayMs = 5000;
    QElapsedTimer asked;
    asked.start();
    link.cancelConnect = [&] { return asked.elapsed() > 300; };
    EXPECT_EQ(link.connectSensor(kA, err), kCannotOpen);
    EXPECT_EQ(err, PlatformStatus::cancelled);
    EXPECT_LT(asked.elapsed(), 3000);  // well before the 5 s connect would end
    EXPECT_FALSE(link.isConnected());
    EXPECT_EQ(platform.openLinks(), 0u);
    link.cancelConnect = nullptr;
    a->faults.connectDelayMs = 0;
    EXPECT_EQ(link.connectSensor(kA, err), kConnected);
    link.disconnect();

    // Adapter off, blocked or gone: "Bluetooth is off", not the sensor's fault.
    for (BluetoothState s :
         {BluetoothState::adapterOff, BluetoothState::adapterBlocked, BluetoothState::noAdapter}) {
        platform.setState(s);
        EXPECT_EQ(link.connectSensor(kA, err), kCannotOpen);
        EXPECT_EQ(err, PlatformStatus::bluetoothOff);
    }
    platform.setState(BluetoothState::ready);
}
