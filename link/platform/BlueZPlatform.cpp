#include "link/platform/BlueZPlatform.h"

#include <bluetooth/bluetooth.h>
#include <bluetooth/rfcomm.h>
#include <bluetooth/sdp.h>
#include <bluetooth/sdp_lib.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QMap>
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

}  // namespace

std::optional<std::vector<PairedDevice>> BlueZPlatform::pairedDevices() {
    static const bool registered = [] {
        qDBusRegisterMetaType<InterfaceMap>();
        qDBusRegisterMetaType<ManagedObjects>();
        return true;
    }();
    (void)registered;

    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        error = "no system D-Bus: " + bus.lastError().message().toStdString();
        return std::nullopt;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        "org.bluez", "/", "org.freedesktop.DBus.ObjectManager", "GetManagedObjects");
    const QDBusMessage reply = bus.call(call, QDBus::Block, kBusTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        error = "BlueZ does not answer on the system D-Bus: " + reply.errorMessage().toStdString();
        return std::nullopt;
    }
    const auto arg = reply.arguments().first().value<QDBusArgument>();
    ManagedObjects objects;
    if (arg.currentSignature() != "a{oa{sa{sv}}}") {
        error = "unexpected answer from BlueZ";
        return std::nullopt;
    }
    arg >> objects;

    std::vector<PairedDevice> devices;
    for (auto it = objects.cbegin(); it != objects.cend(); ++it) {
        const auto device = it.value().find("org.bluez.Device1");
        if (device == it.value().cend()) continue;
        const QVariantMap& props = device.value();
        if (!props.value("Paired").toBool()) continue;
        devices.push_back({props.value("Name").toString().toStdString(),
                           props.value("Address").toString().toStdString()});
    }
    error.clear();
    return devices;
}

int32_t BlueZPlatform::parseAddress(const std::string& text, BluetoothAddress& address) {
    return parseAddressText(text, address);
}

int32_t BlueZPlatform::serialPortChannel(const BluetoothAddress& address, uint8_t& channel,
                                         bool& found) {
    found = false;
    bdaddr_t any{};
    bdaddr_t target = toBdaddr(address);
    sdp_session_t* session = sdp_connect(&any, &target, SDP_RETRY_IF_BUSY);
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

std::unique_ptr<BluetoothChannel> BlueZPlatform::openChannel(const BluetoothAddress& address,
                                                             uint8_t channel, int32_t& status) {
    const int fd =
        ::socket(AF_BLUETOOTH, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, BTPROTO_RFCOMM);
    if (fd < 0) {
        status = PlatformStatus::fromErrno(errno);  // EAFNOSUPPORT without Bluetooth in the kernel
        return nullptr;
    }
    sockaddr_rc remote{};
    remote.rc_family = AF_BLUETOOTH;
    remote.rc_bdaddr = toBdaddr(address);
    remote.rc_channel = channel;
    int err = 0;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&remote), sizeof remote) < 0) {
        err = errno;
        if (err == EINPROGRESS) {
            pollfd p{fd, POLLOUT, 0};
            int r;
            do r = ::poll(&p, 1, kConnectTimeoutMs);
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
        status = PlatformStatus::fromErrno(err);
        return nullptr;
    }
    status = PlatformStatus::ok;
    return std::make_unique<FdChannel>(fd);
}

BluetoothState BlueZPlatform::state() {
    return pairedDevices() ? BluetoothState::ready : BluetoothState::noBlueZ;
}

std::function<ConnectAttempt()> BlueZPlatform::connectJob(const BluetoothAddress& address) {
    return [this, address] {
        ConnectAttempt a;
        a.status = serialPortChannel(address, a.channel, a.found);
        return a;
    };
}

std::unique_ptr<BluetoothChannel> BlueZPlatform::channelFor(const BluetoothAddress& address,
                                                            ConnectAttempt& attempt,
                                                            int32_t& status) {
    return openChannel(address, attempt.channel, status);
}
