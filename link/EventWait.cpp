#include "link/EventWait.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

namespace eventwait {

void runFor(double seconds) {
    if (seconds <= 0) return;
    QEventLoop loop;
    QTimer::singleShot(int(seconds * 1000 + 0.5), Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

bool runUntil(const std::function<bool()>& done, double seconds, double slice) {
    QDeadlineTimer deadline(qint64(seconds * 1000), Qt::PreciseTimer);
    for (;;) {
        if (done()) return true;
        if (deadline.hasExpired()) return false;
        runFor(slice);
    }
}

}  // namespace eventwait
