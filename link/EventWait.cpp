#include "link/EventWait.h"

#include <QCoreApplication>
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
    const float limit = float(seconds);
    float elapsed = 0;
    while (limit > elapsed) {
        runFor(slice);
        if (done()) return true;
        elapsed = float(double(elapsed) + slice);
    }
    return false;
}

}  // namespace eventwait
