// The demo's sensors adjusted by VRAXCTL_DEMO_FAULT, and the backend choice
// that installs them.
#include <gtest/gtest.h>
#include <stdlib.h>

#include "link/BtUtilClass.h"
#include "link_sim/BackendChoice.h"
#include "link_sim/DemoSensors.h"

namespace {

class DemoFaultsTest : public ::testing::Test {
  protected:
    void SetUp() override { demo::addDemoSensors(platform); }

    VirtualFaults& faultsOf(const char* address) { return platform.sensorAt(address)->faults; }
    std::vector<std::string> apply(std::string_view faults) {
        std::vector<std::string> rejected;
        demo::applyFaults(platform, faults, rejected);
        return rejected;
    }

    SimulatedPlatform platform;
};

TEST_F(DemoFaultsTest, FaultsReachTheNamedSensor) {
    EXPECT_NE(faultsOf(demo::kAddress610).framesPerSecond, 0u);
    EXPECT_TRUE(apply("fast").empty());
    EXPECT_EQ(faultsOf(demo::kAddress610).framesPerSecond, 0u);
    EXPECT_EQ(faultsOf(demo::kAddress650).framesPerSecond, 0u);

    EXPECT_TRUE(
        apply("silent:VRAX610-001:500,close:VRAX650-LAB-0016:100,drop:VRAX610-002:7").empty());
    EXPECT_EQ(faultsOf(demo::kAddress610).silentAfterFrames, 500);
    EXPECT_EQ(faultsOf(demo::kAddress650).closeAfterFrames, 100);
    EXPECT_EQ(faultsOf(demo::kAddressBusy).dropEveryNth, 7u);
    EXPECT_EQ(faultsOf(demo::kAddress610).closeAfterFrames, -1);

    // Other sensors and other kinds of fault are ignored without a word.
    EXPECT_TRUE(apply("silent:Lab Headset:3,silent:Nobody:3,slow:VRAX610-001:9").empty());
    EXPECT_EQ(faultsOf(demo::kAddress610).silentAfterFrames, 500);
}

TEST_F(DemoFaultsTest, MalformedItemsAreRejectedAndIgnored) {
    const std::vector<std::string> rejected = apply(
        "silent:VRAX610-001,,close:VRAX610-001:x,drop:VRAX610-001:-4,a:b:c:d,"
        "silent:VRAX650-LAB-0016:12");
    const std::vector<std::string> expected = {"silent:VRAX610-001", "", "close:VRAX610-001:x",
                                               "drop:VRAX610-001:-4", "a:b:c:d"};
    EXPECT_EQ(rejected, expected);
    EXPECT_EQ(faultsOf(demo::kAddress610).silentAfterFrames, -1);
    EXPECT_EQ(faultsOf(demo::kAddress610).closeAfterFrames, -1);
    EXPECT_EQ(faultsOf(demo::kAddress610).dropEveryNth, 0u);
    EXPECT_EQ(faultsOf(demo::kAddress650).silentAfterFrames, 12);
    EXPECT_EQ(apply(""), std::vector<std::string>{""});
}

TEST(BackendChoiceTest, DemoIsTheCurrentPlatformWhileItLives) {
    setenv(BackendChoice::kFaultVariable, "fast,nonsense", 1);
    {
        BackendChoice choice(true);
        EXPECT_TRUE(choice.isDemo());
        EXPECT_EQ(&BluetoothPlatform::current(), &choice.platform());
        EXPECT_EQ(BtUtilClass::getPairdVRAXSensors(), 3);
        EXPECT_EQ(choice.rejectedFaults(), std::vector<std::string>{"nonsense"});
        EXPECT_EQ(choice.lastError(), "");
    }
    unsetenv(BackendChoice::kFaultVariable);
    BackendChoice bluez(false);
    EXPECT_FALSE(bluez.isDemo());
    EXPECT_EQ(&BluetoothPlatform::current(), &bluez.platform());
    EXPECT_TRUE(bluez.rejectedFaults().empty());
}

}  // namespace
