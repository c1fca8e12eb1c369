#include "link/platform/FdChannel.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
#include <chrono>

FdChannel::FdChannel(int fd_) : fd(fd_) {
    const int flags = fcntl(fd, F_GETFL);
    if (flags >= 0) fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    notifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, [this] { readAvailable(); });
}

FdChannel::~FdChannel() {
    *alive = false;
    close();
}

void FdChannel::close() {
    if (fd < 0) return;
    notifier->setEnabled(false);
    ::close(fd);
    fd = -1;
}

void FdChannel::closeFromFar() {
    if (fd < 0) return;
    close();
    if (auto closed = onClosed) closed();
}

void FdChannel::readAvailable() {
    // Reads everything there is. Callbacks may run nested event loops (and
    // this handler again inside them) or even destroy the channel, so the
    // channel's state is checked after each one.
    const std::shared_ptr<bool> token = alive;
    uint8_t buffer[65536];
    while (*token && fd >= 0) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            // A copy, so that a handler may replace or drop the callback.
            if (auto deliver = onData) deliver(buffer, size_t(n));
            if (size_t(n) < sizeof buffer) return;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
        closeFromFar();  // end of stream or a read error
        return;
    }
}

int32_t FdChannel::write(const uint8_t* data, size_t length) {
    if (fd < 0) return PlatformStatus::fromErrno(ENOTCONN);
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(kWriteWaitMs);
    size_t done = 0;
    while (done < length) {
        ssize_t n = ::send(fd, data + done, length - done, MSG_NOSIGNAL);
        if (n < 0 && errno == ENOTSOCK) n = ::write(fd, data + done, length - done);
        if (n >= 0) {
            done += size_t(n);
            continue;
        }
        const int err = errno;
        if (err == EINTR) continue;
        if (err == EAGAIN || err == EWOULDBLOCK) {
            // The far end is not reading: wait for room, but not for ever.
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now())
                    .count();
            pollfd p{fd, POLLOUT, 0};
            if (left > 0 && (::poll(&p, 1, int(left)) >= 0 || errno == EINTR)) continue;
            closeFromFar();
            return PlatformStatus::fromErrno(ETIMEDOUT);
        }
        closeFromFar();
        return PlatformStatus::fromErrno(err);
    }
    return PlatformStatus::ok;
}
