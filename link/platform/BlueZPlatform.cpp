#include "link/platform/BlueZPlatform.h"

#include <bluetooth/bluetooth.h>
#include <bluetooth/rfcomm.h>
#include <bluetooth/sdp.h>
#include <bluetooth/sdp_lib.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QMap>
#include <QObject>
#include <QVariantMap>
#include <cerrno>

#include "link/platform/FdChannel.h"

using InterfaceMap = QMap<QString, QVariantMap>;
using ManagedObjects = QMap<QDBusObjectPath, InterfaceMap>;
Q_DECLARE_METATYPE(InterfaceMap)
Q_DECLARE_METATYPE(ManagedObjects)

namespace {

bdaddr_t toBdaddr(const BluetoothAddress& address) {
    // BlueZ keeps addresses least significant byte first.
    bdaddr_t b;
    for (size_t i = 0; i < 6; ++i) b.b[i] = address[5 - i];
    return b;
}

// The serial port service's RFCOMM channel, asked from `local`'s adapter.
// Blocking: runs on a worker thread.
int32_t lookUpChannel(const BluetoothAddress& local, const BluetoothAddress& address,
                      uint8_t& channel, bool& found) {
    found = false;
    bdaddr_t from = toBdaddr(local);
    bdaddr_t target = toBdaddr(address);
    sdp_session_t* session = sdp_connect(&from, &target, SDP_RETRY_IF_BUSY);
    if (!session) return PlatformStatus::fromErrno(errno ? errno : EHOSTUNREACH);

    uuid_t serialPort;
    sdp_uuid16_create(&serialPort, SERIAL_PORT_SVCLASS_ID);
    sdp_list_t* search = sdp_list_append(nullptr, &serialPort);
    uint32_t range = 0x0000ffff;
    sdp_list_t* attributes = sdp_list_append(nullptr, &range);
    sdp_list_t* records = nullptr;
    int32_t status = PlatformStatus::ok;
    if (sdp_service_search_attr_req(session, search, SDP_ATTR_REQ_RANGE, attributes, &records) < 0)
        status = PlatformStatus::fromErrno(errno ? errno : EIO);

    for (sdp_list_t* r = records; r && !found; r = r->next) {
        auto* record = static_cast<sdp_record_t*>(r->data);
        sdp_list_t* protos = nullptr;
        if (sdp_get_access_protos(record, &protos) == 0) {
            const int port = sdp_get_proto_port(protos, RFCOMM_UUID);
            if (port > 0 && port <= 30) {
                channel = uint8_t(port);
                found = true;
            }
            for (sdp_list_t* p = protos; p; p = p->next)
                sdp_list_free(static_cast<sdp_list_t*>(p->data), nullptr);
            sdp_list_free(protos, nullptr);
        }
    }
    for (sdp_list_t* r = records; r; r = r->next)
        sdp_record_free(static_cast<sdp_record_t*>(r->data));
    sdp_list_free(records, nullptr);
    sdp_list_free(search, nullptr);
    sdp_list_free(attributes, nullptr);
    sdp_close(session);
    return status;
}

// An RFCOMM socket from `local`'s adapter, connected to the channel.
// Blocking (up to the connect time-out): runs on a worker thread.
int32_t connectSocket(const BluetoothAddress& local, const BluetoothAddress& address,
                      uint8_t channel, int& fd) {
    fd = ::socket(AF_BLUETOOTH, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, BTPROTO_RFCOMM);
    if (fd < 0) return PlatformStatus::fromErrno(errno);  // EAFNOSUPPORT without Bluetooth
    sockaddr_rc own{};
    own.rc_family = AF_BLUETOOTH;
    own.rc_bdaddr = toBdaddr(local);
    own.rc_channel = 0;
    int err = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&own), sizeof own) < 0) err = errno;
    sockaddr_rc remote{};
    remote.rc_family = AF_BLUETOOTH;
    remote.rc_bdaddr = toBdaddr(address);
    remote.rc_channel = channel;
    if (err == 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&remote), sizeof remote) < 0) {
        err = errno;
        if (err == EINPROGRESS) {
            pollfd p{fd, POLLOUT, 0};
            int r;
            do r = ::poll(&p, 1, BlueZPlatform::kConnectTimeoutMs);
            while (r < 0 && errno == EINTR);
            if (r == 0) {
                err = ETIMEDOUT;
            } else {
                socklen_t len = sizeof err;
                if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) < 0) err = errno;
            }
        }
    }
    if (err != 0) {
        ::close(fd);
        fd = -1;
        return PlatformStatus::fromErrno(err);
    }
    return PlatformStatus::ok;
}

void registerTypes() {
    static const bool registered = [] {
        qDBusRegisterMetaType<InterfaceMap>();
        qDBusRegisterMetaType<ManagedObjects>();
        return true;
    }();
    (void)registered;
}

}  // namespace

// Receives BlueZ's signals and passes those that matter to the platform.
class BlueZWatcher : public QObject {
    Q_OBJECT
  public:
    explicit BlueZWatcher(std::function<void()> notify) : notify(std::move(notify)) {}

  public Q_SLOTS:
    // Only what the paired list and the state are made of: devices report
    // their signal strength and more many times a second while anything
    // scans nearby, and each of those would otherwise re-read everything.
    void propertiesChanged(const QString& interface, const QVariantMap& values,
                           const QStringList& invalidated) {
        static const QStringList relevant = {"Paired",  "Name",       "Address",
                                             "Powered", "PowerState", "Adapter"};
        if (interface != QLatin1String("org.bluez.Device1") &&
            interface != QLatin1String("org.bluez.Adapter1"))
            return;
        for (const QString& name : relevant)
            if (values.contains(name) || invalidated.contains(name)) return changed();
    }
    void changed() { notify(); }

  private:
    std::function<void()> notify;
};

BlueZPlatform::BlueZPlatform() = default;
BlueZPlatform::~BlueZPlatform() = default;

void BlueZPlatform::watch() {
    if (watcher) return;
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) return;
    watcher = std::make_unique<BlueZWatcher>([this] { notifyChanged(); });
    // The signals and the listener belong to the main thread, also when a
    // session on a worker thread asks first.
    if (QCoreApplication* app = QCoreApplication::instance()) watcher->moveToThread(app->thread());
    const char* slot = SLOT(changed());
    bus.connect("org.bluez", "/", "org.freedesktop.DBus.ObjectManager", "InterfacesAdded",
                watcher.get(), slot);
    bus.connect("org.bluez", "/", "org.freedesktop.DBus.ObjectManager", "InterfacesRemoved",
                watcher.get(), slot);
    // Paired, Name, Powered and the rest, on any object of BlueZ's.
    bus.connect("org.bluez", QString(), "org.freedesktop.DBus.Properties", "PropertiesChanged",
                watcher.get(), SLOT(propertiesChanged(QString, QVariantMap, QStringList)));
    // BlueZ starting or stopping.
    bus.connect("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                "NameOwnerChanged", {"org.bluez"}, QString(), watcher.get(), slot);
}

bool BlueZPlatform::refresh() {
    registerTypes();
    watch();
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        error = "no system D-Bus: " + bus.lastError().message().toStdString();
        lastState = BluetoothState::noSystemBus;
        return false;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        "org.bluez", "/", "org.freedesktop.DBus.ObjectManager", "GetManagedObjects");
    const QDBusMessage reply = bus.call(call, QDBus::Block, kBusTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        error = "BlueZ does not answer on the system D-Bus: " + reply.errorMessage().toStdString();
        lastState = BluetoothState::noBlueZ;
        return false;
    }
    const auto arg = reply.arguments().first().value<QDBusArgument>();
    ManagedObjects objects;
    if (arg.currentSignature() != "a{oa{sa{sv}}}") {
        error = "unexpected answer from BlueZ";
        lastState = BluetoothState::noBlueZ;
        return false;
    }
    arg >> objects;

    // Adapters first: their addresses and whether any can be used.
    std::map<QString, BluetoothAddress> adapters;
    bool anyPowered = false, anyBlocked = false;
    for (auto it = objects.cbegin(); it != objects.cend(); ++it) {
        const auto adapter = it.value().find("org.bluez.Adapter1");
        if (adapter == it.value().cend()) continue;
        const QVariantMap& props = adapter.value();
        BluetoothAddress a{};
        parseAddressText(props.value("Address").toString().toStdString(), a);
        adapters[it.key().path()] = a;
        if (props.value("Powered").toBool()) anyPowered = true;
        if (props.value("PowerState").toString() == QLatin1String("off-blocked")) anyBlocked = true;
    }
    devices.clear();
    deviceAdapter.clear();
    for (auto it = objects.cbegin(); it != objects.cend(); ++it) {
        const auto device = it.value().find("org.bluez.Device1");
        if (device == it.value().cend()) continue;
        const QVariantMap& props = device.value();
        if (!props.value("Paired").toBool()) continue;
        const std::string address = props.value("Address").toString().toStdString();
        devices.push_back({props.value("Name").toString().toStdString(), address});
        const QString adapterPath = props.value("Adapter").value<QDBusObjectPath>().path();
        const auto held = adapters.find(adapterPath);
        if (held != adapters.end()) deviceAdapter[address] = held->second;
    }
    lastState = adapters.empty() ? BluetoothState::noAdapter
                : anyPowered     ? BluetoothState::ready
                : anyBlocked     ? BluetoothState::adapterBlocked
                                 : BluetoothState::adapterOff;
    error.clear();
    return true;
}

std::string BlueZPlatform::lastError() const {
    std::lock_guard<std::mutex> hold(lock);
    return error;
}

BluetoothState BlueZPlatform::state() {
    std::lock_guard<std::mutex> hold(lock);
    refresh();
    return lastState;
}

std::optional<std::vector<PairedDevice>> BlueZPlatform::pairedDevices() {
    std::lock_guard<std::mutex> hold(lock);
    if (!refresh()) return std::nullopt;
    return devices;
}

BluetoothAddress BlueZPlatform::adapterOf(const BluetoothAddress& address) {
    std::lock_guard<std::mutex> hold(lock);
    auto held = deviceAdapter.find(addressText(address));
    if (held == deviceAdapter.end()) {
        refresh();
        held = deviceAdapter.find(addressText(address));
    }
    return held == deviceAdapter.end() ? BluetoothAddress{} : held->second;
}

int32_t BlueZPlatform::parseAddress(const std::string& text, BluetoothAddress& address) {
    return parseAddressText(text, address);
}

std::function<ConnectAttempt()> BlueZPlatform::connectJob(const BluetoothAddress& address) {
    // Copies only: the job runs on a worker thread.
    const BluetoothAddress local = adapterOf(address);
    return [local, address] {
        ConnectAttempt a;
        a.status = lookUpChannel(local, address, a.channel, a.found);
        if (a.status == PlatformStatus::ok && a.found)
            a.status = connectSocket(local, address, a.channel, a.fd);
        return a;
    };
}

std::unique_ptr<BluetoothChannel> BlueZPlatform::channelFor(const BluetoothAddress&,
                                                            ConnectAttempt& attempt,
                                                            int32_t& status) {
    if (attempt.fd < 0) {
        status = attempt.status != PlatformStatus::ok ? attempt.status
                                                      : PlatformStatus::fromErrno(ENOTCONN);
        return nullptr;
    }
    status = PlatformStatus::ok;
    const int fd = attempt.fd;
    attempt.fd = -1;
    return std::make_unique<FdChannel>(fd);
}

#include "BlueZPlatform.moc"
