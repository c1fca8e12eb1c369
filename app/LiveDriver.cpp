#include "app/LiveDriver.h"

#include <QTimer>

#include "app/ActionHost.h"
#include "app/LiveView.h"
#include "app/Messages.h"
#include "app/MyTools.h"
#include "app/StdText.h"
#include "store/FileIO.h"

LiveDriver::LiveDriver(ActionHost* host, LiveView* view, Status status, QObject* parent)
    : QObject(parent), host(host), view(view), status(std::move(status)) {}

LiveDriver::~LiveDriver() = default;

void LiveDriver::setHooks(Began b, PairSeen p) {
    began = std::move(b);
    pairSeen = std::move(p);
}

uint64_t LiveDriver::records() const {
    return kept ? kept->sensor().getSensorDataObject().count() : 0;
}

void LiveDriver::requestStop() {
    stopRequested = true;
    Q_EMIT stateChanged();
}

void LiveDriver::redrawEnded() {
    // A running session redraws at its next tick.
    if (!running && kept) view->draw(*kept);
}

void LiveDriver::run(const measure::Config& config, bool setClock) {
    QString name, address;
    if (!host->selectedSensor(name, address)) return;
    if (began) began(name);

    kept.reset();
    lastFiles.clear();
    view->restart();
    stopRequested = false;
    session::LiveRequest request;
    request.saveFolder = path8(host->saveFolder());
    request.setClock = setClock;
    // The session holds what the longest chart window shows; the file has every record.
    request.keepSeconds = LiveView::longestWindowSeconds();

    running = true;
    Q_EMIT stateChanged();
    QString streamFile;
    bool started = false;
    session::LiveHooks hooks;
    hooks.started = [&](const std::string& file) {
        started = live = true;
        streamFile = qs(file);
        status(msg::liveRunning(streamFile), false);
        Q_EMIT stateChanged();
    };
    hooks.stopRequested = [this] { return stopRequested || host->stopAsked(); };
    hooks.writeFailing = [this](const std::string& why) {
        status(msg::writeFailing(qs(why)), true);
    };
    // Raised inside data delivery: shown once the parse has returned.
    hooks.storeMessage = [this](const std::string& message, const std::string& title) {
        QTimer::singleShot(0, this,
                           [m = qs(message), t = qs(title)] { MyTools::dispMessageOK(m, t); });
    };
    session::LiveReport report;
    session::Outcome o;
    std::unique_ptr<session::SensorSession> ended = host->runSession(
        name, address,
        [&](session::SensorSession& s) {
            hooks.tick = [this, &s](const session::LiveProgress& p) {
                if (pairSeen && p.lastTimePair) pairSeen(*p.lastTimePair);
                view->showProgress(p);
                view->draw(s);
            };
            const session::Outcome result = s.runLive(config, request, hooks, report);
            view->draw(s);
            return result;
        },
        o);
    live = running = false;
    kept = std::move(ended);
    for (const std::string& f : report.files) lastFiles << qs(f);
    if (lastFiles.isEmpty() && !streamFile.isEmpty() && fileio::exists(path8(streamFile)))
        lastFiles << streamFile;
    const QString files = lastFiles.join(QStringLiteral(", "));

    if (o.ok()) {
        status(msg::liveStopped(report.records, files), false);
    } else if (started) {
        // It ended on its own: the channel closed, the sensor went silent, or
        // the file failed. Say so and where the records are.
        status(msg::liveStopped(report.records, files), true);
        MyTools::dispMessageOK(msg::liveEnded(name, o.result, files), msg::error());
    } else {
        status({}, false);
        host->reportOutcome(o, name);
    }
    Q_EMIT stateChanged();
}
