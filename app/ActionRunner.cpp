#include "app/ActionRunner.h"

#include <QTimer>

#include "link/RFCommControl.h"

ActionRunner::ActionRunner(QObject* parent) : QObject(parent), connectPoll(new QTimer(this)) {
    connectPoll->setInterval(30);
    connect(connectPoll, &QTimer::timeout, this, [this] {
        if (!current || current->sensor().rfCommControl()->isConnected()) endConnecting();
    });
}

ActionRunner::~ActionRunner() = default;

bool ActionRunner::run(const std::function<void()>& action) {
    if (running) return false;  // delivered inside the running action's wait
    running = true;
    cancelAsked = false;
    Q_EMIT busyChanged(true);
    action();
    running = false;
    endConnecting();
    Q_EMIT busyChanged(false);
    return true;
}

bool ActionRunner::cancelConnect() {
    if (!connectingNow) return false;
    cancelAsked = true;
    return true;
}

session::SensorSession& ActionRunner::beginSession(const QString& name, const QString& address) {
    if (current) dropSession();
    current = std::make_unique<session::SensorSession>(name.toStdString(), address.toStdString());
    current->setCancelCheck([this] { return cancelAsked; });
    connectingNow = true;
    connectingSensor = name;
    connectPoll->start();
    Q_EMIT connectingChanged(true);
    return *current;
}

std::unique_ptr<session::SensorSession> ActionRunner::endSession() {
    endConnecting();
    if (current) current->simpleDisconnectSensor();
    return std::move(current);
}

std::unique_ptr<session::SensorSession> ActionRunner::runSession(const QString& name,
                                                                 const QString& address,
                                                                 const Work& work,
                                                                 session::Outcome& outcome) {
    outcome = work(beginSession(name, address));
    return endSession();
}

void ActionRunner::endConnecting() {
    if (!connectingNow) return;
    connectingNow = false;
    connectPoll->stop();
    Q_EMIT connectingChanged(false);
}
