#include "app/MeasurePanel.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QFile>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <iterator>

#include "app/ActionHost.h"
#include "app/Messages.h"
#include "app/MyTools.h"
#include "link/BtUtilClass.h"
#include "preview/LiveCharts.h"
#include "store/FileIO.h"

namespace {

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

std::string path8(const QString& path) {
    return QFile::encodeName(path).toStdString();
}

constexpr int kWindowChoices[] = {5, 10, 30, 60};

QSpinBox* spin(QWidget* parent, const QString& name, int lo, int hi, int value = 0) {
    auto* s = new QSpinBox(parent);
    s->setObjectName(name);
    s->setRange(lo, hi);
    s->setValue(value);
    return s;
}

// A spin box whose lowest value (-1) means that the setting is not sent.
QSpinBox* optionalSpin(QWidget* parent, const QString& name, int hi) {
    QSpinBox* s = spin(parent, name, -1, hi, -1);
    s->setSpecialValueText(QStringLiteral("not set"));
    return s;
}

std::optional<int> optionalValue(const QSpinBox* s) {
    if (s->value() < 0) return std::nullopt;
    return s->value();
}

QString clockText(const session::ClockTime& t) {
    return QStringLiteral("%1/%2/%3 %4:%5:%6.%7")
        .arg(t.year, 4, 10, QLatin1Char('0'))
        .arg(t.month, 2, 10, QLatin1Char('0'))
        .arg(t.day, 2, 10, QLatin1Char('0'))
        .arg(t.hour, 2, 10, QLatin1Char('0'))
        .arg(t.minute, 2, 10, QLatin1Char('0'))
        .arg(t.second, 2, 10, QLatin1Char('0'))
        .arg(t.msec, 3, 10, QLatin1Char('0'));
}

}  // namespace

MeasurePanel::MeasurePanel(ActionHost* host, QWidget* parent)
    : QWidget(parent, Qt::Window), host(host) {
    setObjectName(QStringLiteral("measurePanel"));
    setWindowTitle(QStringLiteral("Measure"));
    build();
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

    auto* settings = new QGroupBox(QStringLiteral("Measurement Settings"), this);
    auto* settingsLayout = new QVBoxLayout(settings);
    auto* grid = new QGridLayout;
    settingsLayout->addLayout(grid);
    const char* headers[] = {"Kind", "Enabled", "Rate", "Average", "Record"};
    for (int c = 0; c < 5; ++c) grid->addWidget(new QLabel(QString::fromLatin1(headers[c])), 0, c);
    for (size_t i = 0; i < measure::kKindCount; ++i) {
        const measure::Kind kind = measure::kKindsInOrder[i];
        const QString key = QString::fromLatin1(measure::kindKey(kind));
        const int row = int(i) + 1;
        auto* label = new QLabel(
            kind == measure::Kind::ext16ad ? key + QStringLiteral(" (VRAX650)") : key, settings);
        grid->addWidget(label, row, 0);
        KindRow& r = kindRows[size_t(kind)];
        r.enabled = new QCheckBox(settings);
        r.enabled->setObjectName(QStringLiteral("enabled_") + key);
        r.record = new QCheckBox(settings);
        r.record->setObjectName(QStringLiteral("record_") + key);
        r.record->setToolTip(QStringLiteral("Record into the sensor's memory"));
        grid->addWidget(r.enabled, row, 1);
        if (kind == measure::Kind::batt) {
            r.rate = r.average = nullptr;  // the battery has no rate or averaging
        } else {
            r.rate = spin(settings, QStringLiteral("rate_") + key, 0, 255);
            r.average = spin(settings, QStringLiteral("average_") + key, 0, 255);
            grid->addWidget(r.rate, row, 2);
            grid->addWidget(r.average, row, 3);
        }
        grid->addWidget(r.record, row, 4);
    }
    auto* note = new QLabel(
        QStringLiteral("Rate, average and the values below are the sensor's own setting values."),
        settings);
    note->setWordWrap(true);
    settingsLayout->addWidget(note);

    auto* form = new QFormLayout;
    settingsLayout->addLayout(form);
    accRange = optionalSpin(settings, QStringLiteral("accRange"), 3);
    gyroRange = optionalSpin(settings, QStringLiteral("gyroRange"), 3);
    form->addRow(QStringLiteral("Acceleration range:"), accRange);
    form->addRow(QStringLiteral("Gyro range:"), gyroRange);
    auto* portsRow = new QHBoxLayout;
    extPortsSet = new QCheckBox(QStringLiteral("Set"), settings);
    extPortsSet->setObjectName(QStringLiteral("extPortsSet"));
    portsRow->addWidget(extPortsSet);
    for (int i = 0; i < 4; ++i) {
        extPorts[size_t(i)] = spin(settings, QStringLiteral("extPort%1").arg(i + 1), 0, 5);
        portsRow->addWidget(extPorts[size_t(i)]);
    }
    form->addRow(QStringLiteral("External ports:"), portsRow);
    auto* gainsRow = new QHBoxLayout;
    for (int i = 0; i < 4; ++i) {
        ad16Gains[size_t(i)] = spin(settings, QStringLiteral("ad16Gain%1").arg(i + 1), 0, 255);
        gainsRow->addWidget(ad16Gains[size_t(i)]);
    }
    form->addRow(QStringLiteral("16-bit AD gains:"), gainsRow);
    buzzerVolume = optionalSpin(settings, QStringLiteral("buzzerVolume"), 255);
    overwriteMode = optionalSpin(settings, QStringLiteral("overwriteMode"), 1);
    form->addRow(QStringLiteral("Buzzer volume:"), buzzerVolume);
    form->addRow(QStringLiteral("Overwrite mode:"), overwriteMode);
    auto* fileRow = new QHBoxLayout;
    openButton = new QPushButton(QStringLiteral("&Open…"), settings);
    saveButton = new QPushButton(QStringLiteral("&Save…"), settings);
    fileRow->addWidget(openButton);
    fileRow->addWidget(saveButton);
    fileRow->addStretch();
    settingsLayout->addLayout(fileRow);
    left->addWidget(settings);

    auto* commands = new QGroupBox(QStringLiteral("Sensor"), this);
    auto* commandsLayout = new QVBoxLayout(commands);
    auto* commandRow = new QHBoxLayout;
    clockButton = new QPushButton(QStringLiteral("Set &Clock"), commands);
    identifyButton = new QPushButton(QStringLiteral("&Identify"), commands);
    calibrateButton = new QPushButton(QStringLiteral("Calibrate Co&mpass…"), commands);
    commandRow->addWidget(clockButton);
    commandRow->addWidget(identifyButton);
    commandRow->addWidget(calibrateButton);
    commandsLayout->addLayout(commandRow);
    auto* startRow = new QHBoxLayout;
    startNow = new QRadioButton(QStringLiteral("Now"), commands);
    startAt = new QRadioButton(QStringLiteral("At"), commands);
    startNow->setChecked(true);
    startNow->setObjectName(QStringLiteral("startNow"));
    startAt->setObjectName(QStringLiteral("startAt"));
    startTime = new QDateTimeEdit(QDateTime::currentDateTime().addSecs(60), commands);
    startTime->setObjectName(QStringLiteral("startTime"));
    startTime->setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    startTime->setCalendarPopup(true);
    startRow->addWidget(new QLabel(QStringLiteral("Start:"), commands));
    startRow->addWidget(startNow);
    startRow->addWidget(startAt);
    startRow->addWidget(startTime);
    commandsLayout->addLayout(startRow);
    setClockFirst = new QCheckBox(QStringLiteral("Set the clock first"), commands);
    setClockFirst->setObjectName(QStringLiteral("setClockFirst"));
    setClockFirst->setChecked(true);
    commandsLayout->addWidget(setClockFirst);
    auto* recordRow = new QHBoxLayout;
    startButton = new QPushButton(QStringLiteral("Start &Recording"), commands);
    recordRow->addWidget(startButton);
    recordRow->addStretch();
    commandsLayout->addLayout(recordRow);
    left->addWidget(commands);
    left->addStretch();

    // ---- right: the live view
    auto* right = new QVBoxLayout;
    top->addLayout(right, 1);
    auto* liveRow = new QHBoxLayout;
    liveButton = new QPushButton(QStringLiteral("&Live"), this);
    stopButton = new QPushButton(QStringLiteral("S&top"), this);
    windowChoice = new QComboBox(this);
    windowChoice->setObjectName(QStringLiteral("windowChoice"));
    for (int s : kWindowChoices) windowChoice->addItem(QStringLiteral("%1 s").arg(s), s);
    windowChoice->setCurrentIndex(1);
    linesPerFile = spin(this, QStringLiteral("linesPerFile"), 0, 100'000'000, 0);
    linesPerFile->setSpecialValueText(QStringLiteral("one file"));
    saveAsButton = new QPushButton(QStringLiteral("Save &As…"), this);
    liveRow->addWidget(liveButton);
    liveRow->addWidget(stopButton);
    liveRow->addWidget(new QLabel(QStringLiteral("Window:"), this));
    liveRow->addWidget(windowChoice);
    liveRow->addStretch();
    liveRow->addWidget(new QLabel(QStringLiteral("Lines per file:"), this));
    liveRow->addWidget(linesPerFile);
    liveRow->addWidget(saveAsButton);
    right->addLayout(liveRow);
    ratesLabel = new QLabel(this);
    ratesLabel->setObjectName(QStringLiteral("ratesLabel"));
    ratesLabel->setWordWrap(true);
    right->addWidget(ratesLabel);
    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    liveCharts = new preview::LiveCharts(scroll);
    scroll->setWidget(liveCharts);
    right->addWidget(scroll, 1);
    statusLabel = new QLabel(this);
    statusLabel->setObjectName(QStringLiteral("measureStatusLabel"));
    statusLabel->setWordWrap(true);
    statusLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    right->addWidget(statusLabel);

    connect(openButton, &QPushButton::clicked, this, &MeasurePanel::openConfigPanel);
    connect(saveButton, &QPushButton::clicked, this, &MeasurePanel::saveConfigPanel);
    connect(clockButton, &QPushButton::clicked, this, &MeasurePanel::setClockClicked);
    connect(identifyButton, &QPushButton::clicked, this, &MeasurePanel::identifyClicked);
    connect(calibrateButton, &QPushButton::clicked, this, &MeasurePanel::calibrateClicked);
    connect(startButton, &QPushButton::clicked, this, &MeasurePanel::startRecordingClicked);
    connect(liveButton, &QPushButton::clicked, this, &MeasurePanel::liveClicked);
    connect(stopButton, &QPushButton::clicked, this, &MeasurePanel::stopClicked);
    connect(saveAsButton, &QPushButton::clicked, this, &MeasurePanel::saveAsPanel);
    connect(startAt, &QRadioButton::toggled, startTime, &QWidget::setEnabled);
    startTime->setEnabled(false);
    connect(windowChoice, &QComboBox::currentIndexChanged, this, [this] {
        drawCursor = 0;  // a longer window starts before the last one
        // A live session redraws at its next tick.
        if (!liveRunning && keptSession) redrawLive(*keptSession);
    });
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

void MeasurePanel::closeEvent(QCloseEvent* event) {
    if (live) stopClicked();
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
    for (QPushButton* b : {clockButton, identifyButton, calibrateButton, startButton, liveButton})
        b->setEnabled(idle && haveSensor);
    openButton->setEnabled(idle);
    saveButton->setEnabled(idle);
    // Stop ends a live session, or stops a sensor that records on its own.
    stopButton->setEnabled((liveRunning && !stopRequested) || (idle && haveSensor));
    saveAsButton->setEnabled(idle && keptSession &&
                             keptSession->sensor().getSensorDataObject().count() > 0);
}

// ---- configuration -----------------------------------------------------------

measure::Config MeasurePanel::config() const {
    measure::Config c;
    for (size_t k = 0; k < measure::kKindCount; ++k) {
        const KindRow& r = kindRows[k];
        c.kinds[k].enabled = r.enabled->isChecked();
        c.kinds[k].record = r.record->isChecked();
        c.kinds[k].rate = r.rate ? r.rate->value() : 0;
        c.kinds[k].average = r.average ? r.average->value() : 0;
    }
    c.accRange = optionalValue(accRange);
    c.gyroRange = optionalValue(gyroRange);
    if (extPortsSet->isChecked())
        c.extPorts = std::array<int, 4>{extPorts[0]->value(), extPorts[1]->value(),
                                        extPorts[2]->value(), extPorts[3]->value()};
    for (size_t i = 0; i < 4; ++i) c.ad16Gains[i] = ad16Gains[i]->value();
    c.buzzerVolume = optionalValue(buzzerVolume);
    c.overwriteMode = optionalValue(overwriteMode);
    return c;
}

void MeasurePanel::setConfig(const measure::Config& c) {
    for (size_t k = 0; k < measure::kKindCount; ++k) {
        KindRow& r = kindRows[k];
        r.enabled->setChecked(c.kinds[k].enabled);
        r.record->setChecked(c.kinds[k].record);
        if (r.rate) r.rate->setValue(c.kinds[k].rate);
        if (r.average) r.average->setValue(c.kinds[k].average);
    }
    accRange->setValue(c.accRange.value_or(-1));
    gyroRange->setValue(c.gyroRange.value_or(-1));
    extPortsSet->setChecked(c.extPorts.has_value());
    for (size_t i = 0; i < 4; ++i) {
        extPorts[i]->setValue(c.extPorts ? (*c.extPorts)[i] : 0);
        ad16Gains[i]->setValue(c.ad16Gains[i]);
    }
    buzzerVolume->setValue(c.buzzerVolume.value_or(-1));
    overwriteMode->setValue(c.overwriteMode.value_or(-1));
}

bool MeasurePanel::openConfig(const QString& path) {
    measure::Config c;
    std::string error;
    if (!measure::loadConfigFile(path8(path), c, error)) {
        MyTools::dispMessageOK(msg::configOpenFailed(qs(error), path), msg::error());
        return false;
    }
    // The battery's setting has no rate or averaging: the panel has no room for them.
    c[measure::Kind::batt].rate = c[measure::Kind::batt].average = 0;
    const measure::Config before = config();
    setConfig(c);
    // A value the controls cannot hold would be changed silently: refuse the file.
    if (!(config() == c)) {
        setConfig(before);
        MyTools::dispMessageOK(msg::configOpenFailed(msg::configBeyondControls(), path),
                               msg::error());
        return false;
    }
    return true;
}

bool MeasurePanel::saveConfig(const QString& path) {
    const std::string target = path8(path);
    safeout::Existing existing = safeout::Existing::refuse;
    if (fileio::exists(target)) {
        if (MyTools::askQuestion(msg::replaceFilesQuestion({path}), msg::warning(),
                                 msg::replaceFilesButtons()) != msg::kReplaceFiles)
            return false;
        existing = safeout::Existing::replace;
    }
    std::string error;
    if (!measure::saveConfigFile(target, config(), existing, error)) {
        MyTools::dispMessageOK(msg::configSaveFailed(qs(error), path), msg::error());
        return false;
    }
    return true;
}

void MeasurePanel::openConfigPanel() {
    const QString path = QFileDialog::getOpenFileName(
        this, QStringLiteral("Open Measurement Settings"), host->saveFolder(),
        QStringLiteral("Measurement settings (*.json);;All files (*)"), nullptr,
        QFileDialog::DontUseNativeDialog);
    if (!path.isEmpty()) openConfig(path);
}

void MeasurePanel::saveConfigPanel() {
    QString path = QFileDialog::getSaveFileName(
        this, QStringLiteral("Save Measurement Settings"), host->saveFolder(),
        QStringLiteral("Measurement settings (*.json)"), nullptr,
        QFileDialog::DontUseNativeDialog | QFileDialog::DontConfirmOverwrite);
    if (path.isEmpty()) return;
    if (!path.endsWith(QStringLiteral(".json"))) path += QStringLiteral(".json");
    saveConfig(path);
}

std::optional<measure::Config> MeasurePanel::checkedConfig() {
    const measure::Config c = config();
    const std::string why = measure::validate(c, isVRAX650());
    if (!why.empty()) {
        MyTools::dispMessageOK(msg::configInvalid(qs(why)), msg::warning());
        return std::nullopt;
    }
    return c;
}

// ---- actions -------------------------------------------------------------------

void MeasurePanel::runAction(const std::function<session::Outcome(session::SensorSession&)>& work,
                             const std::function<void()>& onSuccess) {
    host->runGuarded([&] {
        QString name, address;
        if (!host->selectedSensor(name, address)) return;
        session::Outcome o;
        host->runSession(name, address, work, o);
        if (!o.ok()) {
            setStatus({});
            host->reportOutcome(o, name);
            return;
        }
        onSuccess();
    });
}

void MeasurePanel::setClockClicked() {
    session::ClockTime now{};
    runAction(
        [&](session::SensorSession& s) {
            // The time of the moment of sending (not of before connecting), then a probe.
            timebase::ClockReading achieved;
            return s.setClock(achieved, &now);
        },
        [&] { setStatus(msg::clockSet(clockText(now))); });
}

void MeasurePanel::identifyClicked() {
    runAction([](session::SensorSession& s) { return s.identify(); },
              [this] { setStatus(msg::identified()); });
}

void MeasurePanel::calibrateClicked() {
    if (busy || sensor.isEmpty()) return;
    if (MyTools::askQuestion(msg::calibrateQuestion(sensor), msg::warning(),
                             msg::calibrateButtons()) != msg::kCalibrate)
        return;
    runAction([](session::SensorSession& s) { return s.calibrateCompass(); },
              [this] { setStatus(msg::calibrationStarted()); });
}

void MeasurePanel::startRecordingClicked() {
    if (busy) return;
    const std::optional<measure::Config> c = checkedConfig();
    if (!c) return;
    session::RecordingStart start;
    start.setClock = setClockFirst->isChecked();
    QString when;
    if (startAt->isChecked()) {
        const QDateTime t = startTime->dateTime();
        start.at = session::ClockTime{t.date().year(),
                                      t.date().month(),
                                      t.date().day(),
                                      t.time().hour(),
                                      t.time().minute(),
                                      t.time().second(),
                                      0};
        when = t.toString(QStringLiteral("yyyy/MM/dd HH:mm:ss"));
        if (t <= QDateTime::currentDateTime()) {
            MyTools::dispMessageOK(msg::startInPast(when), msg::error());
            return;
        }
    }
    runAction(
        [&](session::SensorSession& s) { return s.startRecording(*c, start); },
        [&] {
            setStatus(when.isEmpty() ? msg::recordingStarted() : msg::recordingScheduled(when));
        });
}

void MeasurePanel::stopClicked() {
    if (liveRunning) {
        // The live session (connecting or streaming) sends the stop command
        // and ends its file.
        stopRequested = true;
        updateControls(busy);
        return;
    }
    runAction([](session::SensorSession& s) { return s.stopMeasuring(); },
              [this] { setStatus(msg::measuringStopped()); });
}

void MeasurePanel::liveClicked() {
    if (busy) return;
    host->runGuarded([this] { runLive(); });
}

void MeasurePanel::runLive() {
    const std::optional<measure::Config> c = checkedConfig();
    if (!c) return;
    QString name, address;
    if (!host->selectedSensor(name, address)) return;

    keptSession.reset();
    lastLiveFiles.clear();
    liveCharts->clear();
    ratesLabel->clear();
    drawCursor = 0;
    stopRequested = false;
    session::LiveRequest request;
    request.saveFolder = path8(host->saveFolder());
    request.setClock = setClockFirst->isChecked();
    // The session holds what the longest chart window shows; the file has every record.
    request.keepSeconds = *std::max_element(std::begin(kWindowChoices), std::end(kWindowChoices));

    liveRunning = true;
    updateControls(busy);
    QString streamFile;
    bool started = false;
    session::LiveHooks hooks;
    hooks.started = [&](const std::string& file) {
        started = live = true;
        streamFile = qs(file);
        setStatus(msg::liveRunning(streamFile));
        updateControls(busy);
    };
    hooks.stopRequested = [this] { return stopRequested || host->stopAsked(); };
    hooks.writeFailing = [this](const std::string& why) {
        setStatus(msg::writeFailing(qs(why)), true);
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
                showProgress(p);
                redrawLive(s);
            };
            const session::Outcome result = s.runLive(*c, request, hooks, report);
            redrawLive(s);
            return result;
        },
        o);
    live = liveRunning = false;
    keptSession = std::move(ended);
    for (const std::string& f : report.files) lastLiveFiles << qs(f);
    if (lastLiveFiles.isEmpty() && !streamFile.isEmpty() && fileio::exists(path8(streamFile)))
        lastLiveFiles << streamFile;
    const QString files = lastLiveFiles.join(QStringLiteral(", "));

    if (o.ok()) {
        setStatus(msg::liveStopped(report.records, files));
    } else if (started) {
        // It ended on its own: the channel closed, the sensor went silent, or
        // the file failed. Say so and where the records are.
        setStatus(msg::liveStopped(report.records, files), true);
        MyTools::dispMessageOK(msg::liveEnded(name, o.result, files), msg::error());
    } else {
        setStatus({});
        host->reportOutcome(o, name);
    }
    updateControls(busy);
}

void MeasurePanel::showProgress(const session::LiveProgress& p) {
    QStringList parts;
    const QLocale locale = QLocale::c();
    for (const measure::Kind kind : measure::kKindsInOrder) {
        const size_t k = size_t(kind);
        if (p.recordsPerKind[k] == 0) continue;
        parts << QStringLiteral("%1 %2/s (%3)")
                     .arg(QString::fromLatin1(measure::kindKey(kind)))
                     .arg(p.ratePerKind[k], 0, 'f', 1)
                     .arg(locale.toString(qulonglong(p.recordsPerKind[k])));
    }
    if (p.batteryVoltage > 0)
        parts << QStringLiteral("Battery %1 V").arg(double(p.batteryVoltage), 0, 'f', 2);
    parts << QStringLiteral("%1 s, %2 records")
                 .arg(p.elapsed, 0, 'f', 1)
                 .arg(locale.toString(qulonglong(p.records)));
    ratesLabel->setText(parts.join(QStringLiteral("  ·  ")));
}

void MeasurePanel::redrawLive(session::SensorSession& s) {
    const uint64_t windowMs = uint64_t(windowSeconds()) * 1000;
    VRAXSensor& sensorObject = s.sensor();
    const VRAXSensorData& store = sensorObject.getSensorDataObject();
    if (store.count() == 0) {
        liveCharts->showEmpty(windowMs);
        return;
    }
    if (drawCursor >= store.count()) drawCursor = 0;
    const uint64_t end = sensorObject.getPassedMSTimeLastSample();
    uint64_t from = 0, last = 0;
    if (sensorObject.scanDrawIndexFrom(from, last, windowMs, end, drawCursor)) {
        drawCursor = from;
        liveCharts->showRange(store, from, last, end - uint64_t(sensorObject.timeOffset()),
                              windowMs);
    } else {
        liveCharts->showEmpty(windowMs);
    }
}

int MeasurePanel::windowSeconds() const {
    return windowChoice->currentData().toInt();
}

void MeasurePanel::setWindowSeconds(int seconds) {
    const int i = windowChoice->findData(seconds);
    if (i >= 0) windowChoice->setCurrentIndex(i);
}

void MeasurePanel::setLinesPerFile(int lines) {
    linesPerFile->setValue(lines);
}

uint64_t MeasurePanel::liveRecords() const {
    return keptSession ? keptSession->sensor().getSensorDataObject().count() : 0;
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
    const QString binaryFilter = QStringLiteral("Binary dump (*.bin)");
    const QString csvFilter = QStringLiteral("CSV files (*.csv)");
    QString chosenFilter;
    const QString path = QFileDialog::getSaveFileName(
        this, QStringLiteral("Save Live Data"), host->saveFolder(),
        csvFilter + QStringLiteral(";;") + binaryFilter, &chosenFilter,
        QFileDialog::DontUseNativeDialog | QFileDialog::DontConfirmOverwrite);
    if (path.isEmpty()) return;
    saveLiveAs(path, chosenFilter == binaryFilter);
}

bool MeasurePanel::saveLiveAs(const QString& path, bool binary) {
    if (liveRecords() == 0) return false;
    // The session held only its latest records: the streamed files have them
    // all, and are read back one record at a time.
    std::vector<std::string> files;
    uint64_t records = 0;
    for (const QString& f : lastLiveFiles) {
        files.push_back(path8(f));
        CsvLoadReport counted;
        if (!VRAXSensorData::countRecordsInCSV(files.back(), counted)) {
            MyTools::dispMessageOK(msg::liveSaveFailed(qs(counted.error) + "\n(" + f + ")"),
                                   msg::error());
            return false;
        }
        records += counted.records;
    }
    if (files.empty()) {
        MyTools::dispMessageOK(msg::liveSaveFailed(msg::noLiveFile()), msg::error());
        return false;
    }
    std::string readError;
    const VRAXSensorData::RecordRuns runs = VRAXSensorData::recordsOfCSVFiles(files, readError);
    std::string p = path8(path);
    std::vector<std::string> names;
    if (binary) {
        if (!p.ends_with(".bin")) p += ".bin";
        names = {p};
    } else {
        if (p.ends_with(".csv")) p.resize(p.size() - 4);  // the parts add their own endings
        names = VRAXSensorData::csvFileNames(p, linesPerFile->value(), records);
    }
    // What lies under these names is the user's: replaced only when asked.
    QStringList existing;
    for (const std::string& n : names)
        if (fileio::exists(n)) existing << qs(n);
    safeout::Existing how = safeout::Existing::refuse;
    if (!existing.isEmpty()) {
        if (MyTools::askQuestion(msg::replaceFilesQuestion(existing), msg::warning(),
                                 msg::replaceFilesButtons()) != msg::kReplaceFiles)
            return false;
        how = safeout::Existing::replace;
    }
    std::string error;
    QStringList written;
    if (binary) {
        if (!VRAXSensorData::saveBinFileFrom(runs, p, how, error)) {
            MyTools::dispMessageOK(msg::liveSaveFailed(qs(readError.empty() ? error : readError)),
                                   msg::error());
            return false;
        }
        written << qs(p);
    } else {
        // The lines of the live file (and of downloads): every kind, qags included.
        CsvSaveOptions options;
        options.limitLines = linesPerFile->value();
        options.style = csv::LineStyle::streamed;
        options.existing = how;
        CsvSaveReport report;
        if (!VRAXSensorData::saveCSVFilesFrom(runs, records, p, options, report)) {
            MyTools::dispMessageOK(
                msg::liveSaveFailed(qs(readError.empty() ? report.error : readError)),
                msg::error());
            return false;
        }
        for (const std::string& f : report.files) written << qs(f);
    }
    setStatus(msg::liveSaved(written.join(QStringLiteral(", "))));
    return true;
}
