#include "app/MeasurePanel.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QShortcut>
#include <QVBoxLayout>

#include "app/ActionHost.h"
#include "app/LiveDriver.h"
#include "app/LiveSaveAs.h"
#include "app/LiveSeveral.h"
#include "app/LiveView.h"
#include "app/MeasureActions.h"
#include "app/MeasureConfigFile.h"
#include "app/MeasureSettingsForm.h"
#include "app/Messages.h"
#include "app/MyTools.h"
#include "app/SensorCommandsBox.h"
#include "app/StdText.h"
#include "link/BtUtilClass.h"
#include "preview/LiveCharts.h"
#include "preview/SharedLiveCharts.h"
#include "store/TsvSidecar.h"

MeasurePanel::MeasurePanel(ActionHost* host, QWidget* parent)
    : QWidget(parent, Qt::Window), host(host) {
    setObjectName(QStringLiteral("measurePanel"));
    setWindowTitle(QStringLiteral("Measure"));
    build();
    const auto status = [this](const QString& text, bool problem) { setStatus(text, problem); };
    liveDriver = new LiveDriver(host, liveView, status, this);
    liveSeveral = new LiveSeveral(host, liveView, status, this);
    liveDriver->setHooks(
        [this](const QString& name) {
            markers.begin(path8(this->host->saveFolder()), {name.toStdString()}, hostUtcMs());
            singlePair.reset();
        },
        [this](const TimePair& pair) {
            markers.setTimePair(0, pair);
            singlePair = pair;
        });
    actions =
        std::make_unique<MeasureActions>(host, [this](const QString& text) { setStatus(text); });
    connectButtons();
    connect(host, &ActionHost::busyChanged, this, &MeasurePanel::updateControls);
    updateControls(false);
}

MeasurePanel::~MeasurePanel() = default;

void MeasurePanel::build() {
    // Everything scrolls as one page, so that every control stays reachable
    // on a small screen.
    auto* page = new QWidget;
    auto* top = new QHBoxLayout(page);

    // ---- left: the configuration and the sensor's commands
    auto* left = new QVBoxLayout;
    top->addLayout(left);
    sensorLabel = new QLabel(this);
    sensorLabel->setObjectName(QStringLiteral("measureSensorLabel"));
    left->addWidget(sensorLabel);
    settings = new MeasureSettingsForm(this);
    left->addWidget(settings);
    commands = new SensorCommandsBox(this);
    left->addWidget(commands);
    left->addStretch();

    // ---- right: the live view
    auto* right = new QVBoxLayout;
    top->addLayout(right, 1);
    liveView = new LiveView(this);
    right->addWidget(liveView, 1);
    statusLabel = new QLabel(this);
    statusLabel->setObjectName(QStringLiteral("measureStatusLabel"));
    statusLabel->setWordWrap(true);
    statusLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    right->addWidget(statusLabel);

    auto* pageScroll = new QScrollArea(this);
    pageScroll->setObjectName(QStringLiteral("measurePageScroll"));
    pageScroll->setWidgetResizable(true);
    pageScroll->setFrameShape(QFrame::NoFrame);
    pageScroll->setWidget(page);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(pageScroll);
    resize(1180, 720);
}

void MeasurePanel::connectButtons() {
    connect(settings->openButton(), &QPushButton::clicked, this, [this] {
        const QString path = configfile::chooseToOpen(this, host->saveFolder());
        if (!path.isEmpty()) openConfig(path);
    });
    connect(settings->saveButton(), &QPushButton::clicked, this, [this] {
        const QString path = configfile::chooseToSave(this, host->saveFolder());
        if (!path.isEmpty()) saveConfig(path);
    });
    connect(commands->clockButton(), &QPushButton::clicked, this, &MeasurePanel::setClockClicked);
    connect(commands->identifyButton(), &QPushButton::clicked, this,
            &MeasurePanel::identifyClicked);
    connect(commands->calibrateButton(), &QPushButton::clicked, this,
            &MeasurePanel::calibrateClicked);
    connect(commands->startButton(), &QPushButton::clicked, this,
            &MeasurePanel::startRecordingClicked);
    connect(liveView->liveButton(), &QPushButton::clicked, this, &MeasurePanel::liveClicked);
    connect(liveView->stopButton(), &QPushButton::clicked, this, &MeasurePanel::stopClicked);
    connect(liveView->saveAsButton(), &QPushButton::clicked, this, &MeasurePanel::saveAsPanel);
    connect(liveView, &LiveView::windowChanged, liveDriver, &LiveDriver::redrawEnded);
    connect(liveDriver, &LiveDriver::stateChanged, this, [this] { updateControls(busy); });
    connect(liveView, &LiveView::windowChanged, liveSeveral, [this] {
        if (liveSeveral->isRunning()) liveSeveral->redraw();
    });
    connect(liveSeveral, &LiveSeveral::stateChanged, this, [this] { updateControls(busy); });
    connect(liveView->markButton(), &QPushButton::clicked, this, &MeasurePanel::markClicked);
    auto* markKey = new QShortcut(QKeySequence(Qt::Key_M), this);
    markKey->setObjectName(QStringLiteral("markShortcut"));
    connect(markKey, &QShortcut::activated, this, &MeasurePanel::markClicked);
    connect(liveView->markerEdit(), &QLineEdit::returnPressed, this,
            &MeasurePanel::markerLabelEntered);
}

void MeasurePanel::closeEvent(QCloseEvent* event) {
    if (isLive()) stopClicked();
    QWidget::closeEvent(event);
}

void MeasurePanel::setSensor(const QString& name) {
    sensor = name;
    sensorLabel->setText(name.isEmpty() ? QStringLiteral("Sensor: none selected")
                                        : QStringLiteral("Sensor: %1").arg(name));
    updateControls(busy);
}

bool MeasurePanel::isVRAX650() const {
    return BtUtilClass::checkSensorType2(sensor.toStdString()) == 2;
}

void MeasurePanel::setSelectionSource(SelectionSource source) {
    chosen = std::move(source);
    updateControls(busy);
}

QVector<SensorFleet::Sensor> MeasurePanel::severalChosen() const {
    QVector<SensorFleet::Sensor> list = chosen ? chosen() : QVector<SensorFleet::Sensor>{};
    if (list.size() < 2) list.clear();
    return list;
}

void MeasurePanel::updateControls(bool running) {
    busy = running;
    const bool idle = !running;
    const bool haveSensor = !sensor.isEmpty();
    for (QPushButton* b : {commands->clockButton(), commands->identifyButton(),
                           commands->calibrateButton(), commands->startButton()})
        b->setEnabled(idle && haveSensor);
    liveView->liveButton()->setEnabled(idle && (haveSensor || !severalChosen().isEmpty()));
    settings->openButton()->setEnabled(idle);
    settings->saveButton()->setEnabled(idle);
    // Stop ends a live session, or stops a sensor that records on its own.
    liveView->stopButton()->setEnabled(
        (liveDriver->isRunning() && !liveDriver->stopIsRequested()) ||
        (liveSeveral->isRunning() && !liveSeveral->stopIsRequested()) || (idle && haveSensor));
    liveView->saveAsButton()->setEnabled(idle && !lastSeveral && liveDriver->records() > 0);
    liveView->markButton()->setEnabled(isLive());
}

// ---- configuration -----------------------------------------------------------

measure::Config MeasurePanel::config() const {
    return settings->config();
}

void MeasurePanel::setConfig(const measure::Config& c) {
    settings->setConfig(c);
}

bool MeasurePanel::openConfig(const QString& path) {
    return configfile::open(*settings, path);
}

bool MeasurePanel::saveConfig(const QString& path) {
    return configfile::save(config(), path);
}

std::optional<measure::Config> MeasurePanel::checkedConfig() {
    const measure::Config c = config();
    const std::string why = measure::validate(c, isVRAX650());
    if (!why.empty()) {
        MyTools::dispMessageOK(msg::configInvalid(QString::fromStdString(why)), msg::warning());
        return std::nullopt;
    }
    return c;
}

// The configuration for every one of `sensors` (each by its model).
static std::optional<measure::Config> checkedFor(const measure::Config& c,
                                                 const QVector<SensorFleet::Sensor>& sensors) {
    for (const SensorFleet::Sensor& s : sensors) {
        const bool is650 = BtUtilClass::checkSensorType2(s.name.toStdString()) == 2;
        const std::string why = measure::validate(c, is650);
        if (!why.empty()) {
            MyTools::dispMessageOK(
                msg::configInvalid(s.name + QStringLiteral(": ") + QString::fromStdString(why)),
                msg::warning());
            return std::nullopt;
        }
    }
    return c;
}

// ---- actions -------------------------------------------------------------------

void MeasurePanel::setClockClicked() {
    actions->setClock();
}

void MeasurePanel::identifyClicked() {
    actions->identify();
}

void MeasurePanel::calibrateClicked() {
    if (busy || sensor.isEmpty()) return;
    actions->calibrateCompass(sensor);
}

void MeasurePanel::startRecordingClicked() {
    if (busy) return;
    const std::optional<measure::Config> c = checkedConfig();
    if (!c) return;
    QString when;
    const std::optional<session::RecordingStart> start = commands->chosenStart(when);
    if (!start) return;
    actions->startRecording(*c, *start, when);
}

void MeasurePanel::stopClicked() {
    if (liveSeveral->isRunning()) {
        liveSeveral->requestStop();
        return;
    }
    if (liveDriver->isRunning()) {
        liveDriver->requestStop();
        return;
    }
    actions->stopMeasuring();
}

void MeasurePanel::liveClicked() {
    if (busy) return;
    const QVector<SensorFleet::Sensor> several = severalChosen();
    host->runGuarded([&] {
        if (several.isEmpty()) {
            const std::optional<measure::Config> c = checkedConfig();
            if (!c) return;
            lastSeveral = false;
            liveDriver->run(*c, commands->setClockFirst());
        } else {
            const std::optional<measure::Config> c = checkedFor(config(), several);
            if (!c) return;
            lastSeveral = true;
            std::vector<std::string> names;
            for (const SensorFleet::Sensor& s : several) names.push_back(s.name.toStdString());
            markers.begin(path8(host->saveFolder()), names, hostUtcMs());
            liveSeveral->run(
                several, *c, commands->setClockFirst(),
                [this](size_t i, const TimePair& pair) { markers.setTimePair(i, pair); });
        }
        finishMarkers();
    });
}

void MeasurePanel::markClicked() {
    if (!isLive()) return;
    if (!markers.hold(hostUtcMs()))
        MyTools::dispMessageOK(msg::markerFailed(markers.error()), msg::error());
    QLineEdit* edit = liveView->markerEdit();
    edit->clear();
    edit->show();
    edit->setFocus();
}

void MeasurePanel::markerLabelEntered() {
    QLineEdit* edit = liveView->markerEdit();
    const std::optional<int64_t> at = markers.heldTime();
    const QString label = edit->text().trimmed();
    edit->hide();
    edit->clear();
    if (!at) return;
    if (!markers.commit(label)) {
        MyTools::dispMessageOK(msg::markerFailed(markers.error()), msg::error());
        return;
    }
    if (lastSeveral) {
        liveView->sharedCharts()->addMarker({*at, label});
        liveSeveral->redraw();
    } else if (singlePair) {
        liveView->charts()->addMarker(
            uint64_t(int64_t(singlePair->sensorMs) + (*at - singlePair->hostUtcMs)), label);
    }
    liveView->markButton()->setText(QStringLiteral("Mark (%1)").arg(markers.events()));
}

void MeasurePanel::finishMarkers() {
    QLineEdit* edit = liveView->markerEdit();
    const QString label = edit->text().trimmed();
    edit->hide();
    edit->clear();
    liveView->markButton()->setText(QStringLiteral("Mark"));
    if (!markers.active()) return;
    const uint64_t count = markers.events() + (markers.holding() ? 1 : 0);
    lastEvents = markers.finish(label);
    if (!lastEvents.isEmpty())
        setStatus(statusText() + QStringLiteral("\n") + msg::markersSaved(count, lastEvents),
                  !statusLabel->styleSheet().isEmpty());
    else if (!markers.error().isEmpty())
        MyTools::dispMessageOK(msg::markerFailed(markers.error()), msg::error());
}

// ---- the live view ---------------------------------------------------------------

bool MeasurePanel::isLive() const {
    return liveDriver->isLive() || liveSeveral->isLive();
}

QStringList MeasurePanel::liveTimeMaps() const {
    return lastSeveral ? liveSeveral->timeMaps() : QStringList{};
}

int MeasurePanel::windowSeconds() const {
    return liveView->windowSeconds();
}

void MeasurePanel::setWindowSeconds(int seconds) {
    liveView->setWindowSeconds(seconds);
}

void MeasurePanel::setLinesPerFile(int lines) {
    liveView->setLinesPerFile(lines);
}

QStringList MeasurePanel::liveFiles() const {
    return lastSeveral ? liveSeveral->files() : liveDriver->files();
}

uint64_t MeasurePanel::liveRecords() const {
    return lastSeveral ? liveSeveral->records() : liveDriver->records();
}

preview::LiveCharts* MeasurePanel::charts() const {
    return liveView->charts();
}

preview::SharedLiveCharts* MeasurePanel::sharedCharts() const {
    return liveView->sharedCharts();
}

QString MeasurePanel::statusText() const {
    return statusLabel->text();
}

void MeasurePanel::setStatus(const QString& text, bool problem) {
    statusLabel->setText(text);
    statusLabel->setStyleSheet(problem ? QStringLiteral("color: #b00020;") : QString());
}

// ---- save as -----------------------------------------------------------------------

void MeasurePanel::saveAsPanel() {
    if (busy || lastSeveral || liveRecords() == 0) return;
    bool binary = false;
    const QString path = livesave::choose(this, host->saveFolder(), binary);
    if (path.isEmpty()) return;
    saveLiveAs(path, binary);
}

bool MeasurePanel::saveLiveAs(const QString& path, bool binary) {
    if (lastSeveral || liveRecords() == 0) return false;
    const std::optional<QStringList> written =
        livesave::save(liveDriver->files(), path, binary, liveView->linesPerFile());
    if (!written) return false;
    setStatus(msg::liveSaved(written->join(QStringLiteral(", "))));
    return true;
}
