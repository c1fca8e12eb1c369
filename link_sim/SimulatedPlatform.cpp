#include "link_sim/SimulatedPlatform.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <functional>
#include <thread>

#include "link/platform/FdChannel.h"

// The far end of one open virtual channel.
class SimulatedLink {
  public:
    SimulatedLink(int fd_, std::shared_ptr<VirtualSensor> s,
                  std::function<void(SimulatedLink*)> ended)
        : fd(fd_),
          sensor(std::move(s)),
          onEnded(std::move(ended)),
          readable(fd, QSocketNotifier::Read),
          writable(fd, QSocketNotifier::Write) {
        writable.setEnabled(false);
        timer.setSingleShot(true);
        timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&readable, &QSocketNotifier::activated, [this] { readHost(); });
        QObject::connect(&writable, &QSocketNotifier::activated, [this] { pump(); });
        QObject::connect(&timer, &QTimer::timeout, [this] { pump(); });
        sensor->open();
    }
    ~SimulatedLink() {
        readable.setEnabled(false);
        writable.setEnabled(false);
        sensor->close();
        ::close(fd);
    }

    // Takes what the host wrote before it closed its end, as the event loop
    // would have, before the link is destroyed.
    void finish() {
        onEnded = [](SimulatedLink*) {};
        readHost();
    }

  private:
    void readHost() {
        uint8_t buffer[4096];
        for (;;) {
            const ssize_t n = ::read(fd, buffer, sizeof buffer);
            if (n > 0) {
                sensor->receive(buffer, size_t(n));
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
            end();  // the host closed its end
            return;
        }
        pump();
    }

    // Writes what the sensor has due; waits for room, or for the next due time.
    void pump() {
        writable.setEnabled(false);
        for (int rounds = 0; rounds < 16; ++rounds) {
            if (pending.empty()) {
                pending.resize(kPiece);
                pending.resize(sensor->pull(pending.data(), kPiece));
                sent = 0;
                if (pending.empty()) break;
            }
            while (sent < pending.size()) {
                const ssize_t n =
                    ::send(fd, pending.data() + sent, pending.size() - sent, MSG_NOSIGNAL);
                if (n > 0) {
                    sent += size_t(n);
                    continue;
                }
                if (n < 0 && errno == EINTR) continue;
                if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                    writable.setEnabled(true);
                    return;
                }
                end();
                return;
            }
            pending.clear();
        }
        if (sensor->shouldClose()) {
            end();
            return;
        }
        const uint64_t due = sensor->nextDueMs();
        if (due == VirtualSensor::kNever) return;
        const uint64_t now = sensor->nowMs();
        timer.start(due > now ? int(std::min<uint64_t>(due - now, 1u << 30)) : 0);
    }

    void end() {
        readable.setEnabled(false);
        writable.setEnabled(false);
        timer.stop();
        // Destroys this object later, outside its own handlers; the notifier as
        // context drops the call if the platform goes first.
        QTimer::singleShot(0, &readable, [cb = onEnded, self = this] { cb(self); });
        onEnded = [](SimulatedLink*) {};
    }

    static constexpr size_t kPiece = 16384;
    int fd;
    std::shared_ptr<VirtualSensor> sensor;
    std::function<void(SimulatedLink*)> onEnded;
    QSocketNotifier readable;
    QSocketNotifier writable;
    QTimer timer;
    std::vector<uint8_t> pending;
    size_t sent = 0;
};

// The host end of a virtual channel: closing it ends the far end too, in
// the thread that opened both.
class SimulatedPlatform::Channel : public FdChannel {
  public:
    Channel(int fd, std::weak_ptr<Shared> shared, uint64_t id)
        : FdChannel(fd), shared(std::move(shared)), id(id) {}
    ~Channel() override {
        FdChannel::close();
        if (const auto s = shared.lock()) s->endLink(id, true);
    }
    Channel(const Channel&) = delete;
    Channel& operator=(const Channel&) = delete;

  private:
    std::weak_ptr<Shared> shared;
    uint64_t id;
};

SimulatedPlatform::Shared::Shared() = default;
SimulatedPlatform::Shared::~Shared() = default;

void SimulatedPlatform::Shared::endLink(uint64_t id, bool drain) {
    std::lock_guard<std::mutex> hold(lock);
    const auto it = links.find(id);
    if (it == links.end()) return;  // it ended on its own before
    if (drain) it->second->finish();
    links.erase(it);
}

SimulatedPlatform::SimulatedPlatform() = default;
SimulatedPlatform::~SimulatedPlatform() {
    if (&BluetoothPlatform::current() == this) BluetoothPlatform::setCurrent(nullptr);
}

VirtualSensor* SimulatedPlatform::addDevice(const std::string& name, const std::string& address,
                                            std::shared_ptr<VirtualSensor> sensor, bool paired) {
    std::lock_guard<std::mutex> hold(shared->lock);
    shared->devices.push_back({name, address, std::move(sensor), paired});
    return shared->devices.back().sensor.get();
}

VirtualSensor* SimulatedPlatform::sensorAt(const std::string& address) {
    BluetoothAddress a;
    if (parseAddressText(address, a) != PlatformStatus::ok) return nullptr;
    std::lock_guard<std::mutex> hold(shared->lock);
    Device* d = find(a);
    return d ? d->sensor.get() : nullptr;
}

void SimulatedPlatform::removeAll() {
    std::lock_guard<std::mutex> hold(shared->lock);
    shared->links.clear();
    shared->devices.clear();
}

void SimulatedPlatform::setPairedListAvailable(bool available) {
    std::lock_guard<std::mutex> hold(shared->lock);
    shared->listAvailable = available;
}

size_t SimulatedPlatform::openLinks() const {
    std::lock_guard<std::mutex> hold(shared->lock);
    return shared->links.size();
}

void SimulatedPlatform::setState(BluetoothState state) {
    {
        std::lock_guard<std::mutex> hold(shared->lock);
        shared->simulatedState = state;
    }
    notifyChanged();
}

void SimulatedPlatform::removeDevice(const std::string& address) {
    BluetoothAddress a;
    if (parseAddressText(address, a) != PlatformStatus::ok) return;
    {
        std::lock_guard<std::mutex> hold(shared->lock);
        auto& devices = shared->devices;
        const auto it = std::find_if(devices.begin(), devices.end(), [&](const Device& d) {
            BluetoothAddress b;
            return parseAddressText(d.address, b) == PlatformStatus::ok && a == b;
        });
        if (it == devices.end()) return;
        devices.erase(it);
    }
    notifyChanged();
}

BluetoothState SimulatedPlatform::state() {
    std::lock_guard<std::mutex> hold(shared->lock);
    if (!shared->listAvailable) return BluetoothState::noBlueZ;
    return shared->simulatedState;
}

SimulatedPlatform::Device* SimulatedPlatform::find(const BluetoothAddress& address) {
    for (Device& d : shared->devices) {
        BluetoothAddress a;
        if (parseAddressText(d.address, a) == PlatformStatus::ok && a == address) return &d;
    }
    return nullptr;
}

std::optional<std::vector<PairedDevice>> SimulatedPlatform::pairedDevices() {
    std::lock_guard<std::mutex> hold(shared->lock);
    if (!shared->listAvailable || shared->simulatedState == BluetoothState::noSystemBus ||
        shared->simulatedState == BluetoothState::noBlueZ)
        return std::nullopt;
    std::vector<PairedDevice> list;
    for (const Device& d : shared->devices)
        if (d.paired) list.push_back({d.name, d.address});
    return list;
}

int32_t SimulatedPlatform::parseAddress(const std::string& text, BluetoothAddress& address) {
    return parseAddressText(text, address);
}

int32_t SimulatedPlatform::serialPortChannel(const BluetoothAddress& address, uint8_t& channel,
                                             bool& found) {
    found = false;
    const Device* d = find(address);
    if (!d) return PlatformStatus::fromErrno(EHOSTDOWN);
    if (!d->sensor || d->sensor->faults.noSerialPortService) return PlatformStatus::ok;
    channel = kChannel;
    found = true;
    return PlatformStatus::ok;
}

std::unique_ptr<BluetoothChannel> SimulatedPlatform::openChannel(const BluetoothAddress& address,
                                                                 uint8_t channel, int32_t& status) {
    // The check that the sensor is free and its opening are one step.
    std::lock_guard<std::mutex> hold(shared->lock);
    Device* d = find(address);
    if (!d || !d->sensor || channel != kChannel) {
        status = PlatformStatus::fromErrno(d ? ECONNREFUSED : EHOSTDOWN);
        return nullptr;
    }
    if (d->sensor->faults.busy || d->sensor->isOpen()) {
        status = PlatformStatus::exclusiveAccess;
        return nullptr;
    }
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds) < 0) {
        status = PlatformStatus::fromErrno(errno);
        return nullptr;
    }
    const uint64_t id = shared->nextLink++;
    // A far end that closes on its own (a fault) ends itself later, in its thread.
    std::weak_ptr<Shared> weak = shared;
    shared->links.emplace(
        id, std::make_unique<SimulatedLink>(fds[1], d->sensor, [weak, id](SimulatedLink*) {
            if (const auto s = weak.lock()) s->endLink(id, false);
        }));
    status = PlatformStatus::ok;
    return std::make_unique<Channel>(fds[0], shared, id);
}

std::function<ConnectAttempt()> SimulatedPlatform::connectJob(const BluetoothAddress& address) {
    std::lock_guard<std::mutex> hold(shared->lock);
    ConnectAttempt found;
    found.status = serialPortChannel(address, found.channel, found.found);
    const Device* d = find(address);
    // A slow page (a sensor out of range): the worker waits as a real connect would.
    const int delayMs = d && d->sensor ? d->sensor->faults.connectDelayMs : 0;
    return [found, delayMs] {
        if (delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        return found;
    };
}

std::unique_ptr<BluetoothChannel> SimulatedPlatform::channelFor(const BluetoothAddress& address,
                                                                ConnectAttempt& attempt,
                                                                int32_t& status) {
    return openChannel(address, attempt.channel, status);
}
