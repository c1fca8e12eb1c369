// The action runner: one action at a time also when a click arrives inside
// a running action's wait, a cancel that belongs to one action only, and
// the session's lifetime with its connect phase, on a virtual sensor.
#include <gtest/gtest.h>

#include <QTimer>
#include <vector>

#include "app/ActionRunner.h"
#include "link/EventWait.h"
#include "link/RFCommControl.h"
#include "link_sim/SimulatedPlatform.h"

TEST(ActionRunnerTest, OneActionAtATimeAlsoFromANestedLoop) {
    ActionRunner runner;
    std::vector<bool> busy;
    QObject::connect(&runner, &ActionRunner::busyChanged, [&](bool b) { busy.push_back(b); });
    int inner = 0;
    bool nestedRan = true;
    bool cancelledInFirst = false;
    EXPECT_TRUE(runner.run([&] {
        EXPECT_TRUE(runner.busy());
        // A click delivered while the action waits in the event loop.
        QTimer::singleShot(0, [&] { nestedRan = runner.run([&] { ++inner; }); });
        eventwait::runFor(0.05);
        runner.cancel();
        cancelledInFirst = runner.cancelRequested();
    }));
    EXPECT_FALSE(nestedRan);
    EXPECT_EQ(inner, 0);
    EXPECT_TRUE(cancelledInFirst);
    EXPECT_EQ(busy, (std::vector<bool>{true, false}));
    EXPECT_FALSE(runner.busy());
    // The next action runs, and the cancel of the last one is not its own.
    bool cancelledInSecond = true;
    EXPECT_TRUE(runner.run([&] { cancelledInSecond = runner.cancelRequested(); }));
    EXPECT_FALSE(cancelledInSecond);
}

TEST(ActionRunnerTest, SessionLifetimeAndConnectPhase) {
    SimulatedPlatform platform;
    BluetoothPlatform::setCurrent(&platform);
    platform.addDevice("VRAX610-A", "00:11:22:33:44:01",
                       std::make_shared<VirtualSensor>(VirtualModel::VRAX610));
    ActionRunner runner;
    std::vector<bool> connecting;
    QObject::connect(&runner, &ActionRunner::connectingChanged,
                     [&](bool c) { connecting.push_back(c); });
    runner.run([&] {
        EXPECT_FALSE(runner.cancelConnect());  // nothing waits to connect
        session::SensorSession& s = runner.beginSession("VRAX610-A", "00:11:22:33:44:01");
        EXPECT_EQ(runner.session(), &s);
        EXPECT_TRUE(runner.connecting());
        EXPECT_EQ(runner.connectingName(), "VRAX610-A");
        // The session's cancel check follows the runner's cancel.
        ASSERT_TRUE(s.sensor().rfCommControl()->cancelConnect);
        EXPECT_FALSE(s.sensor().rfCommControl()->cancelConnect());
        EXPECT_TRUE(runner.cancelConnect());
        EXPECT_TRUE(s.sensor().rfCommControl()->cancelConnect());
        std::unique_ptr<session::SensorSession> ended = runner.endSession();
        EXPECT_EQ(ended.get(), &s);
        EXPECT_EQ(runner.session(), nullptr);
        EXPECT_FALSE(runner.connecting());
    });

    // A whole session: the connect phase ends once the link is up; the
    // session comes back disconnected.
    session::Outcome o;
    bool phaseEndedWhileConnected = false;
    std::unique_ptr<session::SensorSession> kept;
    runner.run([&] {
        kept = runner.runSession(
            "VRAX610-A", "00:11:22:33:44:01",
            [&](session::SensorSession& s) {
                const session::Outcome opened = s.openSensorAndStop();
                phaseEndedWhileConnected =
                    eventwait::runUntil([&] { return !runner.connecting(); }, 10.0) &&
                    s.sensor().rfCommControl()->isConnected();
                return opened;
            },
            o);
    });
    EXPECT_TRUE(o.ok());
    EXPECT_TRUE(phaseEndedWhileConnected);
    ASSERT_TRUE(kept);
    EXPECT_FALSE(kept->sensor().rfCommControl()->isConnected());
    EXPECT_EQ(runner.session(), nullptr);
    EXPECT_EQ(connecting, (std::vector<bool>{true, false, true, false}));
    BluetoothPlatform::setCurrent(nullptr);
}
