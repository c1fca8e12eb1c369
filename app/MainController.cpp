#include "app/MainController.h"

#include <QDir>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <QSettings>
#include <QShortcut>
#include <QTimer>

#include "app/ActionRunner.h"
#include "app/DownloadFlow.h"
#include "app/ElidedLabels.h"
#include "app/EntryTableModel.h"
#include "app/Messages.h"
#include "app/MyTools.h"
#include "app/OutcomeText.h"
#include "app/PreviewOpener.h"
#include "app/ProgressView.h"
#include "app/SaveFolder.h"
#include "app/SensorList.h"
#include "app/WindowPlacement.h"
#ifdef VRAX_HAVE_PREVIEW
#include "app/MeasurePanel.h"
#endif
#include "ui_MainWindow.h"

namespace {

// Qt's file dialogs keep their history, last folder and view in a settings
// file of their own (QtProject.conf, always in the native format, whatever
// the application's names) whenever one is destroyed. The window keeps no
// settings, so user settings are sent where no file can be made.
void keepNoSettings() {
    for (const QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat})
        QSettings::setPath(format, QSettings::UserScope, QStringLiteral("/dev/null"));
}

}  // namespace

MainController::MainController(QMainWindow* window, Ui::MainWindow* ui)
    : ActionHost(window), thisWindow(window), ui(ui) {}

MainController::~MainController() = default;

void MainController::awakeFromNib() {
    entryCount = freeEntryCount = freeRecordCount = 0;
    keepNoSettings();
    runner = new ActionRunner(this);

    folder = new SaveFolder(ui->pathCtr, thisWindow, this);
    folder->setPath(SaveFolder::documents());

    entryModel = new EntryTableModel(this);
    ui->memListTV->setModel(entryModel);
    ui->memListTV->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);

    sensors = new SensorList(ui->sensorPB, ui->sensorStateLabel, runner, this);
    setUpSensorList();
    setUpSensorListPopUpButton();
    dispInternalMemoryInfo();
    sensors->updateSensorLine();
    sensors->listenToPlatform([this] { refreshSensorList(); });

    escapeCancelsConnect = new QShortcut(QKeySequence(Qt::Key_Escape), thisWindow);
    escapeCancelsConnect->setEnabled(false);

    progressView = new ProgressView(thisWindow);
    previews = new PreviewOpener(thisWindow, this);
    DownloadFlow::Hooks hooks;
    hooks.transferStarted = [this] { refreshControls(); };
    hooks.disconnected = [this] { upDateViews(); };
    hooks.showOutcome = [this](const session::Outcome& o, const QString& name) {
        showOutcome(o, name);
    };
    downloads = new DownloadFlow(runner, progressView, std::move(hooks), this);
#ifndef VRAX_HAVE_PREVIEW
    ui->actionPreviewCsv->setVisible(false);
#endif
    setEntryButtonsEnabled(false);
    wireControls();
}

void MainController::wireControls() {
    connect(runner, &ActionRunner::busyChanged, this, [this](bool running) {
        refreshControls();
        if (!running) actionEnded();
    });
    connect(runner, &ActionRunner::connectingChanged, this, [this](bool connectingNow) {
        if (connectingNow) sensors->setNote({});
        refreshControls();
        sensors->updateSensorLine();
    });
    connect(escapeCancelsConnect, &QShortcut::activated, this,
            &MainController::cancelConnectClicked);
    connect(progressView, &ProgressView::finished, this, &MainController::dlFinButtonClicked);
    connect(progressView, &ProgressView::cancelRequested, this,
            &MainController::cancelDownloadClicked);
    connect(progressView, &ProgressView::previewRequested, this,
            &MainController::previewButtonClicked);
    connect(progressView, &ProgressView::openFolderRequested, this, &MainController::openFolder);
    connect(ui->actionPreviewCsv, &QAction::triggered, this,
            [this] { runner->run([this] { previewFileMenu(); }); });
    connect(ui->sensorPB, &QComboBox::activated, this,
            [this] { runner->run([this] { sensorChanged(); }); });
    connect(ui->connectButton, &QPushButton::clicked, this, [this] {
        if (runner->connecting())
            cancelConnectClicked();
        else
            runner->run([this] { connectButtonClicked(); });
    });
    connect(ui->actionRefresh, &QAction::triggered, this, &MainController::refreshSensorList);
    connect(ui->refreshButton, &QPushButton::clicked, ui->actionRefresh, &QAction::trigger);
    connect(ui->actionQuit, &QAction::triggered, thisWindow, &QWidget::close);
    ui->memListTV->installEventFilter(this);
    ui->sensorPB->installEventFilter(this);
    connect(ui->getDataButton, &QPushButton::clicked, this,
            [this] { runner->run([this] { dataGetButtonClicked(); }); });
    connect(ui->eraseDataButton, &QPushButton::clicked, this,
            [this] { runner->run([this] { dataEraceButtonClicked(); }); });
    connect(ui->referSaveDirButton, &QPushButton::clicked, this,
            [this] { runner->run([this] { referSaveDirButton(); }); });

#ifdef VRAX_HAVE_PREVIEW
    measure = new MeasurePanel(this, thisWindow);
    connect(ui->measureButton, &QPushButton::clicked, this, &MainController::showMeasurePanel);
    connect(ui->actionMeasure, &QAction::triggered, this, &MainController::showMeasurePanel);
#else
    ui->measureButton->hide();  // the panel's live charts come with the preview
    ui->actionMeasure->setVisible(false);
#endif
}

void MainController::actionEnded() {
    if (refreshPending) refreshSensorList();
    if (closePending) QTimer::singleShot(0, thisWindow, [w = thisWindow] { w->close(); });
}

void MainController::runGuarded(const std::function<void()>& action) {
    runner->run(action);
}

bool MainController::busy() const {
    return runner->busy();
}

bool MainController::connecting() const {
    return runner->connecting();
}

bool MainController::stopAsked() const {
    return runner->cancelRequested();
}

void MainController::refreshControls() {
    const bool running = runner->busy();
    const bool connectingNow = runner->connecting();
    ui->sensorPB->setEnabled(!running);
    // While a connect waits, the connect button cancels it (once).
    ui->connectButton->setText(connectingNow ? msg::cancelConnectLabel() : msg::connectLabel());
    ui->connectButton->setEnabled(!running || (connectingNow && !runner->cancelRequested()));
    if (escapeCancelsConnect)
        escapeCancelsConnect->setEnabled(connectingNow && !runner->cancelRequested());
    ui->refreshButton->setEnabled(!running);
    ui->actionRefresh->setEnabled(!running);
    ui->referSaveDirButton->setEnabled(!running);
    ui->getDataButton->setEnabled(!running && entryButtonsEnabled);
    ui->eraseDataButton->setEnabled(!running && entryButtonsEnabled);
    ui->actionPreviewCsv->setEnabled(!running);
    Q_EMIT busyChanged(running);
    // Nothing under the overlay can be reached, by mouse or keyboard.
    ui->centralwidget->setEnabled(!progressView ||
                                  progressView->state() == ProgressView::State::idle);
}

void MainController::setEntryButtonsEnabled(bool enabled) {
    entryButtonsEnabled = enabled;
    refreshControls();
}

QString MainController::selectedTitle() const {
    return sensors->selectedTitle();
}

// ---- sensor list -----------------------------------------------------------

void MainController::setUpSensorList() {
    sensors->setUpSensorList();
}

void MainController::setUpSensorListPopUpButton() {
    sensors->setUpSensorListPopUpButton();
}

void MainController::refreshSensorList() {
    if (runner->busy()) {
        refreshPending = true;
        return;
    }
    refreshPending = false;
    // A sensor no longer paired (or none chosen): nothing of it stays on show.
    if (!sensors->reload()) sensorChanged();
    sensors->updateSensorLine();
}

void MainController::cancelConnectClicked() {
    if (runner->cancelConnect()) refreshControls();
}

void MainController::getSensorDataByIndex(int index, QString& name, QString& address) const {
    sensors->getSensorDataByIndex(index, name, address);
}

void MainController::getSensorDataByName(const QString& name, QString& addr, int& index) const {
    sensors->getSensorDataByName(name, addr, index);
}

void MainController::getSensorDataByAddr(const QString& address, QString& name, int& index) const {
    sensors->getSensorDataByAddr(address, name, index);
}

// ---- connect, memory status, entry list ------------------------------------

void MainController::clearShownSensor() {
    entryCount = freeEntryCount = freeRecordCount = 0;
    entryModel->clear();
    ui->deviceInfoLabel->clear();
}

void MainController::sensorChanged() {
    sensors->setNote({});
    setEntryButtonsEnabled(false);
    clearShownSensor();
    upDateViews();
#ifdef VRAX_HAVE_PREVIEW
    if (measure) measure->setSensor(sensors->noneSelected() ? QString() : selectedTitle());
#endif
}

void MainController::connectButtonClicked() {
    if (sensors->noneSelected()) {
        MyTools::dispMessageOK(msg::noSensorSelected(), msg::warning());
        return;
    }
    if (!sensors->bluetoothUsable()) return;
    if (!updateEntryData()) setEntryButtonsEnabled(false);
    upDateViews();
}

bool MainController::updateEntryData() {
    clearShownSensor();
    upDateViews();
    if (sensors->noneSelected()) return false;

    const QString name = selectedTitle();
    session::MemoryListing listing;
    session::Outcome o;
    runner->runSession(
        name, sensors->addressOf(name),
        [&listing](session::SensorSession& s) { return s.listMemory(listing, true); }, o);

    // What was read before a failure is shown as far as it goes.
    if (!failedOpening(o)) showDeviceInfo(listing.firmVersion, listing.batteryVoltage);
    if (o.ok() || o.step == session::Step::entryList) {
        entryCount = listing.status.entryCount;
        freeEntryCount = listing.status.freeEntryCount;
        freeRecordCount = listing.status.freeRecordCount;
    }
    QStringList startTimes;
    QVector<int32_t> recordCounts;
    for (const session::EntryInfo& e : listing.entries) {
        startTimes << QString::fromStdString(e.startText);
        recordCounts << e.records;
    }
    entryModel->setEntries(startTimes, recordCounts);
    upDateViews();
    if (!o.ok()) {
        showOutcome(o, name);
        return false;
    }
    setEntryButtonsEnabled(!startTimes.isEmpty());
    return true;
}

void MainController::showDeviceInfo(const std::string& firmVersion, float volts) {
    ui->deviceInfoLabel->setText(msg::deviceInfo(QString::fromStdString(firmVersion), volts));
}

void MainController::showMeasurePanel() {
#ifdef VRAX_HAVE_PREVIEW
    measure->setSensor(sensors->noneSelected() ? QString() : selectedTitle());
    if (!measure->isVisible()) placement::placeBeside(measure, thisWindow, QSize(1180, 720));
    measure->show();
    measure->raise();
    measure->activateWindow();
#endif
}

bool MainController::selectedSensor(QString& name, QString& address) {
    name = selectedTitle();
    address.clear();
    if (sensors->noneSelected()) {
        MyTools::dispMessageOK(msg::noSensorSelected(), msg::warning());
        return false;
    }
    address = sensors->addressOf(name);
    return sensors->bluetoothUsable();
}

std::unique_ptr<session::SensorSession> MainController::runSession(const QString& name,
                                                                   const QString& address,
                                                                   const Work& work,
                                                                   session::Outcome& outcome) {
    return runner->runSession(name, address, work, outcome);
}

bool MainController::openSensorAndStop(const QString& name, const QString& addr) {
    const session::Outcome o = runner->beginSession(name, addr).openSensorAndStop();
    if (o.ok()) return true;
    showOutcome(o, name);
    simpleDisconnectSensor();
    return false;
}

bool MainController::getMemStatus(uint32_t& count, uint32_t& freeEntrySize,
                                  uint32_t& freeRecordSize) {
    session::SensorSession* s = runner->session();
    if (!s) return false;
    session::MemoryStatus status;
    const session::Outcome o = s->getMemStatus(status);
    if (!o.ok()) {
        showOutcome(o, QString::fromStdString(s->sensor().name()));
        return false;
    }
    count = status.entryCount;
    freeEntrySize = status.freeEntryCount;
    freeRecordSize = status.freeRecordCount;
    return true;
}

bool MainController::simpleDisconnectSensor() {
    runner->dropSession();
    return true;
}

void MainController::showOutcome(const session::Outcome& o, const QString& name) {
    const OutcomeMessage m = outcomeMessage(o, name);
    switch (m.kind) {
        case OutcomeMessage::Kind::none:
            return;
        case OutcomeMessage::Kind::cancelled:
            // Asked for by the user: said on the sensor line, not as an error.
            if (!m.text.isEmpty())
                sensors->setNote(m.text);
            else
                sensors->updateSensorLine();
            return;
        case OutcomeMessage::Kind::bluetoothOff:
            sensors->tellBluetoothOff();
            return;
        case OutcomeMessage::Kind::error:
            MyTools::dispMessageOK(m.text, msg::error());
            return;
    }
}

void MainController::upDateViews() {
    dispInternalMemoryInfo();
    if (!entryModel) return;
    // Reloading drops the selection; the chosen entry stays chosen while it exists.
    const QModelIndexList selected = ui->memListTV->selectionModel()
                                         ? ui->memListTV->selectionModel()->selectedRows()
                                         : QModelIndexList{};
    const int row = selected.isEmpty() ? -1 : selected.first().row();
    entryModel->reload();
    if (row >= 0 && row < numberOfRowsInTableView()) ui->memListTV->selectRow(row);
}

void MainController::dispInternalMemoryInfo() {
    if (entryCount == 0) {
        ui->memDetailTF->setText(SensorList::kNoSensor);
        return;
    }
    ui->memDetailTF->setText(msg::memoryDetail(entryCount, freeEntryCount, freeRecordCount));
}

int MainController::numberOfRowsInTableView() const {
    return entryModel->rowCount();
}

QVariant MainController::tableView(const QString& column, int row) const {
    return entryModel->tableView(column, row);
}

// ---- save folder -----------------------------------------------------------

QString MainController::saveFolder() const {
    return folder->path();
}

void MainController::setSaveFolder(const QString& path) {
    folder->setPath(path);
}

void MainController::referSaveDirButton() {
    folder->choose();
}

void MainController::openPanelDidEnd(const QStringList& chosenFolders, int returnCode) {
    folder->panelDidEnd(chosenFolders, returnCode);
}

void MainController::pathControlDoubleClick(const QString& clickedPath) {
    openFolder(clickedPath);
}

void MainController::openFolder(const QString& path) {
    SaveFolder::openFolder(path);
}

// ---- download --------------------------------------------------------------

bool MainController::getWriteFilterdData() const {
    return ui->ad16FilterCB->checkState() == Qt::Checked;
}

void MainController::dataGetButtonClicked() {
    if (sensors->noneSelected()) return;
    const QString name = selectedTitle();
    const QString address = sensors->addressOf(name);
    const QModelIndexList selected = ui->memListTV->selectionModel()
                                         ? ui->memListTV->selectionModel()->selectedRows()
                                         : QModelIndexList{};
    const int row = selected.isEmpty() ? -1 : selected.first().row();
    if (row < 0 || row >= numberOfRowsInTableView()) {
        MyTools::dispMessageOK(msg::chooseEntry(), msg::warning());
        return;
    }
    if (!sensors->bluetoothUsable()) return;
    downloads->download(name, address, {entryModel->startTimes(), entryModel->recordCounts()}, row,
                        folder->path(), getWriteFilterdData());
}

void MainController::cancelDownloadClicked() {
    runner->cancel();
}

void MainController::dlFinButtonClicked() {
    progressView->dismiss();
    refreshControls();
}

QString MainController::lastDownloadFile() const {
    return downloads->lastFile();
}

// ---- preview ---------------------------------------------------------------

void MainController::previewButtonClicked() {
    if (!lastDownloadFile().isEmpty()) openPreview(lastDownloadFile());
}

void MainController::previewFileMenu() {
    previews->choose(folder->path());
}

void MainController::previewPanelDidEnd(const QStringList& chosen, int returnCode) {
    previews->panelDidEnd(chosen, returnCode);
}

bool MainController::openPreview(const QString& path) {
    return previews->open(path);
}

// ---- erase -----------------------------------------------------------------

void MainController::dataEraceButtonClicked() {
    if (sensors->noneSelected()) {
        MyTools::dispMessageOK(msg::noSensorSelected(), msg::warning());
        return;
    }
    const QString name = selectedTitle();
    const QString address = sensors->addressOf(name);
    if (!sensors->bluetoothUsable()) return;
    if (MyTools::askQuestion(msg::eraseQuestion(), msg::warning(), msg::eraseButtons()) !=
        msg::kEraseYes)
        return;
    session::Outcome o;
    runner->runSession(
        name, address, [](session::SensorSession& s) { return s.eraseMemory(); }, o);
    if (!o.ok()) {
        showOutcome(o, name);
        return;
    }
    connectButtonClicked();  // the list afresh
}

bool MainController::eraseDataEntry(const QString& /*name*/, const QString& /*addr*/) {
    session::SensorSession* s = runner->session();
    if (!s) return false;
    const session::Outcome o = s->eraseDataEntry();
    if (o.ok()) return true;
    showOutcome(o, QString::fromStdString(s->sensor().name()));
    return false;
}

// ---- window ----------------------------------------------------------------

bool MainController::windowShouldClose() {
    if (!runner->busy()) return true;
    if (askingToClose) return false;
    if (progressView->state() == ProgressView::State::transferring) {
        askingToClose = true;
        const int answer = MyTools::askQuestion(msg::closeDuringDownloadQuestion(), msg::warning(),
                                                msg::closeDuringDownloadButtons());
        askingToClose = false;
        if (answer != msg::kStopAndClose) return false;
        if (!runner->busy()) return true;  // it ended while the question was open
    }
    runner->cancel();
    closePending = true;
    refreshControls();
    return false;
}

bool MainController::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool enter = (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
                           (key->modifiers() & ~Qt::KeypadModifier) == 0;
        if (enter && watched == ui->memListTV) {
            if (ui->getDataButton->isEnabled()) ui->getDataButton->click();
            return true;
        }
        if (enter && watched == ui->sensorPB) {
            if (ui->connectButton->isEnabled() && !runner->connecting()) ui->connectButton->click();
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

void MainController::windowWillClose() {
    QCoreApplication::quit();
}
