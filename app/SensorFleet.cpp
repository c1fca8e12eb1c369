#include "app/SensorFleet.h"

#include <QTimer>
#include <limits>

#include "link/EventWait.h"

bool SensorFleet::runEach(const QVector<Sensor>& sensors, const Work& work, const Ended& ended) {
    if (active) return false;
    active = true;
    cancelAsked = false;
    qsizetype left = sensors.size();
    auto runOne = [&](int index) {
        const Sensor& sensor = sensors[index];
        session::SensorSession s(sensor.name.toStdString(), sensor.address.toStdString());
        s.setCancelCheck([this] { return cancelAsked; });
        const session::Outcome outcome = work(s, index);
        --left;
        if (ended) ended(index, outcome);
    };
    {
        // The timers belong to this scope: none fires after the run.
        QObject scope;
        for (int i = 1; i < int(sensors.size()); ++i)
            QTimer::singleShot(0, &scope, [&runOne, i] { runOne(i); });
        if (!sensors.isEmpty()) runOne(0);
        eventwait::runUntil([&] { return left == 0; }, std::numeric_limits<float>::max(), 0.01);
    }
    active = false;
    return true;
}
