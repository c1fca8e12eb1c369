#include "app/SensorFleet.h"

#include <QThread>
#include <QTimer>
#include <limits>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "link/EventWait.h"

namespace {

constexpr double kForever = std::numeric_limits<float>::max();

// The actions that ended on their threads and are not told yet.
struct EndedQueue {
    std::mutex lock;
    std::vector<std::pair<int, session::Outcome>> items;

    void push(int index, const session::Outcome& o) {
        std::lock_guard<std::mutex> hold(lock);
        items.emplace_back(index, o);
    }
    std::vector<std::pair<int, session::Outcome>> take() {
        std::lock_guard<std::mutex> hold(lock);
        return std::exchange(items, {});
    }
};

}  // namespace

bool SensorFleet::runEach(const QVector<Sensor>& sensors, const Work& work, const Ended& ended) {
    if (active) return false;
    active = true;
    cancelAsked = false;
    qsizetype left = sensors.size();
    auto runOne = [&](int index) {
        const Sensor& sensor = sensors[index];
        session::SensorSession s(sensor.name.toStdString(), sensor.address.toStdString());
        s.setCancelCheck([this] { return cancelAsked.load(); });
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
        eventwait::runUntil(
            [&] {
                if (stopCheck && stopCheck()) cancelAsked = true;
                return left == 0;
            },
            kForever, 0.01);
    }
    active = false;
    return true;
}

bool SensorFleet::runEachOnThreads(const QVector<Sensor>& sensors, const Work& work,
                                   const Ended& ended) {
    if (active) return false;
    active = true;
    cancelAsked = false;
    EndedQueue done;
    std::vector<std::unique_ptr<QThread>> threads;
    for (int i = 0; i < int(sensors.size()); ++i) {
        const std::string name = sensors[i].name.toStdString();
        const std::string address = sensors[i].address.toStdString();
        threads.emplace_back(QThread::create([this, &work, &done, i, name, address] {
            session::Outcome outcome;
            {
                // Made, used and destroyed in this thread, channel and all.
                session::SensorSession s(name, address);
                s.setCancelCheck([this] { return cancelAsked.load(); });
                outcome = work(s, i);
            }
            done.push(i, outcome);
        }));
        threads.back()->setObjectName(QStringLiteral("sensor ") + sensors[i].name);
        threads.back()->start();
    }
    qsizetype left = sensors.size();
    eventwait::runUntil(
        [&] {
            if (stopCheck && stopCheck()) cancelAsked = true;
            for (const auto& [index, outcome] : done.take()) {
                --left;
                if (ended) ended(index, outcome);
            }
            return left == 0;
        },
        kForever, 0.01);
    // Each has told its end as its last act: these waits are short.
    for (const auto& t : threads) t->wait();
    active = false;
    return true;
}
