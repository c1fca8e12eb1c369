#include "app/LiveSeveral.h"

#include <QElapsedTimer>
#include <QLocale>
#include <QTimer>

#include "app/ActionHost.h"
#include "app/LiveView.h"
#include "app/Messages.h"
#include "app/MyTools.h"
#include "app/OverviewText.h"
#include "app/StdText.h"
#include "preview/SharedLiveCharts.h"
#include "sensor/MeasureConfig.h"
#include "store/SensorLabels.h"
#include "store/TsvSidecar.h"

namespace {

constexpr int kTickMs = 100;
constexpr int kTicksPerRate = 10;  // the legend's rates are over the last second

}  // namespace

LiveSeveral::LiveSeveral(ActionHost* host, LiveView* view, Status status, QObject* parent)
    : QObject(parent), host(host), view(view), status(std::move(status)) {
    timer = new QTimer(this);
    timer->setInterval(kTickMs);
    connect(timer, &QTimer::timeout, this, &LiveSeveral::tick);
}

LiveSeveral::~LiveSeveral() = default;

void LiveSeveral::requestStop() {
    stopRequested = true;  // a connect still waiting ends at once too
    Q_EMIT stateChanged();
}

void LiveSeveral::redraw() {
    std::vector<preview::LiveSource> sources;
    for (const Live& l : sensors)
        sources.push_back({l.store, l.store ? l.store->latestTimePair() : std::nullopt});
    view->drawShared(sources, hostUtcMs());
}

void LiveSeveral::tick() {
    const bool rateDue = ++ticks % kTicksPerRate == 0;
    for (size_t i = 0; i < sensors.size(); ++i) {
        Live& l = sensors[i];
        if (!l.store) continue;
        VRAXSensorData& store = *l.store;
        const uint64_t n = store.count();
        for (uint64_t k = std::max(l.scanned, store.firstHeldIndex()); k < n; ++k) {
            const SensorDataRecord* r = store.getDataByIndex(k);
            if (r && measure::kindOfDataType(r->dataType) == measure::Kind::batt)
                l.battery = float(r->values[0]) / 100.0f;
        }
        l.scanned = n;
        if (rateDue) {
            l.rate = double(n - l.countAtRate) * 1000.0 / double(kTicksPerRate * kTickMs);
            l.countAtRate = n;
        }
        // Memory stays flat, whichever session's wait runs innermost: the
        // file has every record, the session what the longest window shows.
        if (l.rate > 0)
            store.keepLatest(uint64_t(l.rate * (LiveView::longestWindowSeconds() + 2.0) * 2.0) +
                             1000);
        if (pairSeen)
            if (const std::optional<TimePair> pair = store.latestTimePair()) pairSeen(i, *pair);
    }
    redraw();
    if (rateDue || ticks == 1) updateLegend();
}

void LiveSeveral::updateLegend() {
    const QLocale c = QLocale::c();
    QStringList parts;
    for (size_t i = 0; i < sensors.size(); ++i) {
        const Live& l = sensors[i];
        QString part =
            QStringLiteral("<span style=\"color:%1\">&#9632;</span>&nbsp;%2")
                .arg(preview::SharedLiveCharts::sensorColor(i).name(), l.name.toHtmlEscaped());
        if (!l.label.isEmpty()) part += QStringLiteral(" (%1)").arg(l.label.toHtmlEscaped());
        if (l.ended) {
            part += QStringLiteral(" — ") + l.why.toHtmlEscaped();
        } else if (l.store) {
            part += QStringLiteral(" %1/s").arg(c.toString(l.rate, 'f', 1));
            if (l.battery > 0) part += QStringLiteral(" · %1 V").arg(double(l.battery), 0, 'f', 2);
        }
        parts << part;
    }
    view->setLegend(parts.join(QStringLiteral(" &nbsp;&nbsp; ")));
}

void LiveSeveral::run(const QVector<SensorFleet::Sensor>& list, const measure::Config& config,
                      bool setClock, const PairSeen& seen) {
    const std::string folder = path8(host->saveFolder());
    sensors.clear();
    for (const SensorFleet::Sensor& s : list) {
        Live l;
        l.name = s.name;
        l.label = qs(labels::labelOf(folder, s.name.toStdString()));
        sensors.push_back(l);
    }
    pairSeen = seen;
    lastFiles.clear();
    lastMaps.clear();
    lastRecords = 0;
    stopRequested = false;
    liveCount = 0;
    ticks = 0;
    view->restartShared(sensors.size());
    updateLegend();

    session::LiveRequest request;
    request.saveFolder = folder;
    request.setClock = setClock;
    request.keepSeconds = LiveView::longestWindowSeconds();
    std::vector<session::LiveReport> reports(size_t(list.size()));
    std::vector<session::Outcome> outcomes(size_t(list.size()));

    running = true;
    Q_EMIT stateChanged();
    timer->start();
    {
        // The timers belong to this scope: none fires after the run.
        QObject scope;
        const size_t n = size_t(list.size());
        std::vector<bool> begun(n, false);
        std::function<void(size_t)> runFrom = [&](size_t i) {
            if (i >= n || begun[i]) return;
            begun[i] = true;
            if (stopRequested || host->stopAsked()) {
                outcomes[i] =
                    session::Outcome::failed(session::Result::cancelled, session::Step::connect);
                runFrom(i + 1);
                return;
            }
            session::SensorSession s(list[int(i)].name.toStdString(),
                                     list[int(i)].address.toStdString());
            s.setCancelCheck([this] { return stopRequested || host->stopAsked(); });
            session::LiveHooks hooks;
            hooks.started = [&, i](const std::string&) {
                sensors[i].store = &s.sensor().getSensorDataObject();
                ++liveCount;
                status(msg::liveSeveralRunning(liveCount, host->saveFolder()), false);
                Q_EMIT stateChanged();
                // The next sensor starts inside this one's streaming wait.
                QTimer::singleShot(0, &scope, [&runFrom, i] { runFrom(i + 1); });
            };
            hooks.stopRequested = [this] { return stopRequested || host->stopAsked(); };
            hooks.writeFailing = [this, i](const std::string& why) {
                status(sensors[i].name + QStringLiteral(": ") + msg::writeFailing(qs(why)), true);
            };
            hooks.storeMessage = [this](const std::string& message, const std::string& title) {
                QTimer::singleShot(
                    0, this, [m = qs(message), t = qs(title)] { MyTools::dispMessageOK(m, t); });
            };
            const session::Outcome o = s.runLive(config, request, hooks, reports[i]);
            outcomes[i] = o;
            // The session and its records go with this frame: draw no more of them.
            if (sensors[i].store) --liveCount;
            sensors[i].store = nullptr;
            sensors[i].ended = true;
            sensors[i].why = o.ok() ? QStringLiteral("stopped") : overview::failureText(o);
            if (!o.ok() && !stopRequested)
                status(sensors[i].name + QStringLiteral(": ") + overview::failureText(o), true);
            updateLegend();
            Q_EMIT stateChanged();
            // One that never started streaming hands on to the next here.
            runFrom(i + 1);
        };
        runFrom(0);
    }
    timer->stop();
    running = false;
    liveCount = 0;

    QStringList failures;
    for (size_t i = 0; i < reports.size(); ++i) {
        for (const std::string& f : reports[i].files) lastFiles << qs(f);
        if (!reports[i].timeMapPath.empty()) lastMaps << qs(reports[i].timeMapPath);
        lastRecords += reports[i].records;
        // Connects that Stop cancelled are no failure.
        const bool cancelledByStop =
            stopRequested && outcomes[i].result == session::Result::cancelled;
        if (!outcomes[i].ok() && !cancelledByStop)
            failures << QStringLiteral("%1：%2").arg(sensors[i].name,
                                                     overview::failureText(outcomes[i]));
    }
    status(msg::liveSeveralStopped(lastRecords, int(sensors.size()),
                                   lastFiles.join(QStringLiteral(", "))),
           !failures.isEmpty());
    if (!failures.isEmpty()) MyTools::dispMessageOK(msg::liveSeveralFailed(failures), msg::error());
    Q_EMIT stateChanged();
}
