#include "app/MeasurePanel.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include "app/ActionHost.h"
#include "app/LiveDriver.h"
#include "app/LiveSaveAs.h"
#include "app/LiveView.h"
#include "app/MeasureActions.h"
#include "app/MeasureConfigFile.h"
#include "app/MeasureSettingsForm.h"
#include "app/Messages.h"
#include "app/MyTools.h"
#include "app/SensorCommandsBox.h"
#include "link/BtUtilClass.h"

MeasurePanel::MeasurePanel(ActionHost* host, QWidget* parent)
    : QWidget(parent, Qt::Window), host(host) {
    setObjectName(QStringLiteral("measurePanel"));
    setWindowTitle(QStringLiteral("Measure"));
    build();
    const auto status = [this](const QString& text, bool problem) { setStatus(text, problem); };
    liveDriver = new LiveDriver(host, liveView, status, this);
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

void MeasurePanel::updateControls(bool running) {
    busy = running;
    const bool idle = !running;
    const bool haveSensor = !sensor.isEmpty();
    for (QPushButton* b :
         {commands->clockButton(), commands->identifyButton(), commands->calibrateButton(),
          commands->startButton(), liveView->liveButton()})
        b->setEnabled(idle && haveSensor);
    settings->openButton()->setEnabled(idle);
    settings->saveButton()->setEnabled(idle);
    // Stop ends a live session, or stops a sensor that records on its own.
    liveView->stopButton()->setEnabled(
        (liveDriver->isRunning() && !liveDriver->stopIsRequested()) || (idle && haveSensor));
    liveView->saveAsButton()->setEnabled(idle && liveDriver->records() > 0);
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
    if (liveDriver->isRunning()) {
        liveDriver->requestStop();
        return;
    }
    actions->stopMeasuring();
}

void MeasurePanel::liveClicked() {
    if (busy) return;
    host->runGuarded([this] {
        const std::optional<measure::Config> c = checkedConfig();
        if (c) liveDriver->run(*c, commands->setClockFirst());
    });
}

// ---- the live view ---------------------------------------------------------------

bool MeasurePanel::isLive() const {
    return liveDriver->isLive();
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
    return liveDriver->files();
}

uint64_t MeasurePanel::liveRecords() const {
    return liveDriver->records();
}

preview::LiveCharts* MeasurePanel::charts() const {
    return liveView->charts();
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
    if (busy || liveRecords() == 0) return;
    bool binary = false;
    const QString path = livesave::choose(this, host->saveFolder(), binary);
    if (path.isEmpty()) return;
    saveLiveAs(path, binary);
}

bool MeasurePanel::saveLiveAs(const QString& path, bool binary) {
    if (liveRecords() == 0) return false;
    const std::optional<QStringList> written =
        livesave::save(liveDriver->files(), path, binary, liveView->linesPerFile());
    if (!written) return false;
    setStatus(msg::liveSaved(written->join(QStringLiteral(", "))));
    return true;
}
