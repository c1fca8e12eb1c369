// The BlueZ backend against a private D-Bus daemon that plays the system
// bus, with python-dbusmock's BlueZ template as org.bluez.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "link/BtUtilClass.h"
#include "link/EventWait.h"
#include "link/RFCommControl.h"
#include "link/platform/BlueZPlatform.h"
#include "protocol/EventRecorder.h"

namespace {

pid_t spawn(const std::vector<std::string>& args, int stdoutFd = -1) {
    const pid_t pid = fork();
    if (pid == 0) {
        if (stdoutFd >= 0) dup2(stdoutFd, 1);
        std::vector<char*> argv;
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

// The mock logs every call on its standard output; the test does not need it.
int quiet() {
    static const int fd = open("/dev/null", O_WRONLY | O_CLOEXEC);
    return fd;
}

void stop(pid_t pid) {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    waitpid(pid, nullptr, 0);
}

// One daemon and one mock for the whole suite: Qt keeps its system bus
// connection for the life of the process.
class BlueZTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        int out[2];
        ASSERT_EQ(pipe(out), 0);
        daemon =
            spawn({"/usr/bin/dbus-daemon", "--session", "--nofork", "--print-address=1"}, out[1]);
        close(out[1]);
        std::string address;
        char c;
        while (read(out[0], &c, 1) == 1 && c != '\n') address += c;
        close(out[0]);
        ASSERT_FALSE(address.empty()) << "dbus-daemon did not start";
        setenv("DBUS_SYSTEM_BUS_ADDRESS", address.c_str(), 1);
    }
    static void TearDownTestSuite() {
        stop(mock);
        stop(daemon);
    }

    static bool startMock() {
        mock = spawn({"/usr/bin/python3", "-m", "dbusmock", "--system", "--template", "bluez5"},
                     quiet());
        return eventwait::runUntil(
            [] {
                return QDBusConnection::systemBus().interface()->isServiceRegistered("org.bluez");
            },
            20.0, 0.05);
    }
    static bool mockCall(const char* method, const QVariantList& args) {
        QDBusMessage m = QDBusMessage::createMethodCall("org.bluez", "/", "org.bluez.Mock", method);
        m.setArguments(args);
        const QDBusMessage reply = QDBusConnection::systemBus().call(m, QDBus::Block, 5000);
        return reply.type() == QDBusMessage::ReplyMessage;
    }
    static bool addDevice(const char* address, const char* name, bool paired) {
        if (!mockCall("AddDevice", {"hci0", address, name})) return false;
        return !paired || mockCall("PairDevice", {"hci0", address, uint32_t(0x1F00)});
    }

    static inline pid_t daemon = -1;
    static inline pid_t mock = -1;
    BlueZPlatform platform;
};

TEST_F(BlueZTest, PairedSensorsFromTheSystemBus) {
    // A bus without BlueZ gives no list at all, quickly and without a crash.
    EXPECT_FALSE(platform.pairedDevices().has_value());
    EXPECT_EQ(platform.state(), BluetoothState::noBlueZ);
    EXPECT_FALSE(platform.lastError().empty());
    EXPECT_EQ(BtUtilClass::getPairdVRAXSensors(), -1);

    ASSERT_TRUE(startMock());
    EXPECT_EQ(platform.state(), BluetoothState::noAdapter);
    ASSERT_TRUE(mockCall("AddAdapter", {"hci0", "lab-pc"}));
    EXPECT_EQ(platform.state(), BluetoothState::ready);
    auto devices = platform.pairedDevices();
    ASSERT_TRUE(devices.has_value());
    EXPECT_TRUE(devices->empty());
    EXPECT_EQ(BtUtilClass::getPairdVRAXSensors(), 0);

    ASSERT_TRUE(addDevice("00:1B:DC:00:00:0A", "VRAX610-00A", true));
    ASSERT_TRUE(addDevice("00:1B:DC:00:00:0B", "Headset", true));
    ASSERT_TRUE(addDevice("00:1B:DC:00:00:0C", "VRAX650-0000000C", true));
    ASSERT_TRUE(addDevice("00:1B:DC:00:00:0D", "VRAX610-00D", false));  // not paired
    ASSERT_TRUE(addDevice("00:1B:DC:00:00:0E", "VRAX610-00E1", true));  // 12 characters
    devices = platform.pairedDevices();
    ASSERT_TRUE(devices.has_value());
    EXPECT_EQ(devices->size(), 4u);

    EXPECT_EQ(BtUtilClass::getPairdVRAXSensors(), 2);
    std::string name, address;
    ASSERT_TRUE(BtUtilClass::getSensorDeviceInfoByIndex(0, name, address));
    EXPECT_EQ(name + " " + address, "VRAX610-00A 00:1B:DC:00:00:0A");
    ASSERT_TRUE(BtUtilClass::getSensorDeviceInfoByIndex(1, name, address));
    EXPECT_EQ(name, "VRAX650-0000000C");
    EXPECT_FALSE(BtUtilClass::getSensorDeviceInfoByIndex(2, name, address));

    // The link's paired check sees the same list; connecting to an unpaired
    // address goes no further.
    EventRecorder owner;
    RFCommControl link(&owner);
    int32_t err = 5;
    EXPECT_TRUE(link.checkPairedDevice("00:1B:DC:00:00:0A"));
    EXPECT_FALSE(link.checkPairedDevice("00:1B:DC:00:00:0D"));
    EXPECT_EQ(link.connectSensor("00:1B:DC:00:00:0D", err), 1);
    EXPECT_EQ(err, 0);
    // A paired address on a machine without a reachable device fails with a
    // status, never a hang or a crash.
    EXPECT_EQ(link.connectSensor("00:1B:DC:00:00:0A", err), 3);
    EXPECT_NE(err, 0);
}

// BlueZ as it changes while the program runs (the mock of the test above,
// with its adapter and devices): every change reaches the listener, and the
// state and the list follow. Sessions on worker threads ask first, several
// at once; the changes are still heard on the main thread.
TEST_F(BlueZTest, FollowsTheAdapterAndThePairingsLive) {
    std::atomic<int> answered{0};
    std::vector<std::thread> sessions;
    for (int i = 0; i < 4; ++i)
        sessions.emplace_back([&] {
            const auto devices = platform.pairedDevices();
            if (platform.state() == BluetoothState::ready && devices && devices->size() == 4)
                ++answered;
        });
    for (std::thread& t : sessions) t.join();
    ASSERT_EQ(answered, 4) << "runs after PairedSensorsFromTheSystemBus";
    int changes = 0;
    platform.setChangeListener([&] { ++changes; });
    auto heard = [&](int before) {
        return eventwait::runUntil([&] { return changes > before; }, 5.0, 0.02);
    };
    auto set = [](const char* path, const char* interface, const char* name, QVariant value) {
        QDBusMessage m = QDBusMessage::createMethodCall("org.bluez", path,
                                                        "org.freedesktop.DBus.Properties", "Set");
        m.setArguments({interface, name, QVariant::fromValue(QDBusVariant(value))});
        return QDBusConnection::systemBus().call(m, QDBus::Block, 5000).type() ==
               QDBusMessage::ReplyMessage;
    };
    auto setPowered = [&](bool on) {
        return set("/org/bluez/hci0", "org.bluez.Adapter1", "Powered", on);
    };

    // Signal strength changes all the time and changes nothing listed.
    int before = changes;
    ASSERT_TRUE(set("/org/bluez/hci0/dev_00_1B_DC_00_00_0A", "org.bluez.Device1", "RSSI",
                    QVariant::fromValue(qint16(-40))));
    EXPECT_FALSE(eventwait::runUntil([&] { return changes > before; }, 1.0, 0.02));

    // Switched off: still paired and listed, but nothing connects, and says why.
    before = changes;
    ASSERT_TRUE(setPowered(false));
    EXPECT_TRUE(heard(before));
    EXPECT_EQ(platform.state(), BluetoothState::adapterOff);
    EXPECT_EQ(BtUtilClass::getPairdVRAXSensors(), 2);
    EventRecorder owner;
    RFCommControl link(&owner);
    int32_t err = 0;
    EXPECT_EQ(link.connectSensor("00:1B:DC:00:00:0A", err), kCannotOpen);
    EXPECT_EQ(err, PlatformStatus::bluetoothOff);
    before = changes;
    ASSERT_TRUE(setPowered(true));
    EXPECT_TRUE(heard(before));
    EXPECT_EQ(platform.state(), BluetoothState::ready);

    // A sensor paired while the program runs appears, and goes when removed.
    before = changes;
    ASSERT_TRUE(addDevice("00:1B:DC:00:00:0F", "VRAX610-00F", true));
    EXPECT_TRUE(heard(before));
    EXPECT_EQ(BtUtilClass::getPairdVRAXSensors(), 3);
    before = changes;
    QDBusMessage remove = QDBusMessage::createMethodCall("org.bluez", "/org/bluez/hci0",
                                                         "org.bluez.Adapter1", "RemoveDevice");
    remove.setArguments(
        {QVariant::fromValue(QDBusObjectPath("/org/bluez/hci0/dev_00_1B_DC_00_00_0F"))});
    ASSERT_EQ(QDBusConnection::systemBus().call(remove, QDBus::Block, 5000).type(),
              QDBusMessage::ReplyMessage);
    EXPECT_TRUE(heard(before));
    EXPECT_EQ(BtUtilClass::getPairdVRAXSensors(), 2);

    // The adapter unplugged: no adapter.
    before = changes;
    ASSERT_TRUE(mockCall("RemoveAdapter", {"hci0"}));
    EXPECT_TRUE(heard(before));
    EXPECT_EQ(platform.state(), BluetoothState::noAdapter);
    platform.setChangeListener(nullptr);
}

TEST(BlueZAddressTest, ParsesOnlyTheFullForm) {
    BluetoothAddress a{};
    EXPECT_EQ(BluetoothPlatform::parseAddressText("00:1b:DC:0f:61:01", a), 0);
    EXPECT_EQ(BluetoothPlatform::addressText(a), "00:1B:DC:0F:61:01");
    for (const char* bad :
         {"", "00:1B:DC:0F:61", "00:1B:DC:0F:61:0G", "00-1B-DC-0F-61-01", "00:1B:DC:0F:61:011"})
        EXPECT_NE(BluetoothPlatform::parseAddressText(bad, a), 0) << bad;
}

}  // namespace
