#include "app/MainController.h"

#include <sys/stat.h>

#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QMainWindow>
#include <QPushButton>
#include <QSettings>
#include <QShortcut>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QTimer>
#include <QUrl>
#include <chrono>
#include <vector>

#include "app/ElidedLabels.h"
#include "app/EntryTableModel.h"
#include "app/Messages.h"
#include "app/MyTools.h"
#include "app/ProgressView.h"
#ifdef VRAX_HAVE_PREVIEW
#include "app/MeasurePanel.h"
#include "preview/PreviewWindow.h"
#endif
#include "link/BtUtilClass.h"
#include "link/RFCommControl.h"
#include "link/platform/BluetoothPlatform.h"
#include "store/FileIO.h"
#include "ui_MainWindow.h"

namespace {

const QString kNoSensor = QStringLiteral("---");

#ifdef VRAX_HAVE_PREVIEW
constexpr bool kHavePreview = true;
#else
constexpr bool kHavePreview = false;
#endif

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

// A folder is writable when a file can really be made in it.
bool folderWritable(const QString& path) {
    if (!QFileInfo(path).isDir()) return false;
    QTemporaryFile probe(QDir(path).filePath(QStringLiteral(".vrax-write-test-XXXXXX")));
    return probe.open();
}

// Size and modification time of what lies at `path`, for the question
// about an existing file (a link that leads nowhere: the link itself).
QString describeExisting(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 && ::lstat(path.c_str(), &st) != 0) return {};
    const QString when = QDateTime::fromSecsSinceEpoch(st.st_mtim.tv_sec)
                             .toString(QStringLiteral("yyyy/MM/dd HH:mm:ss"));
    return msg::existingFileDescription(QLocale(QLocale::Japanese).toString(qlonglong(st.st_size)),
                                        when);
}

// Qt's file dialogs keep their history, last folder and view in a settings
// file of their own (QtProject.conf, always in the native format, whatever
// the application's names) whenever one is destroyed. The window keeps no
// settings, so user settings are sent where no file can be made.
void keepNoSettings() {
    for (const QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat})
        QSettings::setPath(format, QSettings::UserScope, QStringLiteral("/dev/null"));
}

QString fileNameOf(const std::string& path) {
    return QFileInfo(qs(path)).fileName();
}

// The message of a download that did not end with its whole entry in the
// file: why, how many records arrived, and where they are.
QString downloadFailureText(const QString& name, const session::Outcome& o,
                            const session::DownloadReport& r) {
    // A file error as the result: the transfer itself ended well.
    QString text = o.result == session::Result::fileError
                       ? msg::receivedButNotSaved(name)
                       : msg::endedEarly(name, msg::incompleteReason(o.result));
    text += r.expected > 0 ? msg::receivedOf(r.records, r.expected) : msg::received(r.records);
    if (!r.fileError.empty()) text += msg::writeOrRenameFailed(qs(r.fileError));
    // Every record written and only the final move failed: the file holds the whole entry.
    const bool wholeEntry = o.result == session::Result::fileError && r.fileComplete;
    if (r.filePath.empty())
        text += msg::noFileKept();
    else if (!r.fileComplete)
        text += msg::fileIncomplete(qs(r.filePath));
    else if (wholeEntry)
        text += msg::wholeEntryKeptIn(qs(r.filePath));
    else
        text += msg::partKeptIn(qs(r.filePath));
    return text;
}

}  // namespace

MainController::MainController(QMainWindow* window, Ui::MainWindow* ui)
    : QObject(window), thisWindow(window), ui(ui) {}

MainController::~MainController() {
    if (listenedPlatform && &BluetoothPlatform::current() == listenedPlatform)
        listenedPlatform->setChangeListener(nullptr);
}

void MainController::awakeFromNib() {
    entryCount = freeEntryCount = freeRecordCount = 0;
    dataEntryStartTime.clear();
    dataEntryRecordCount.clear();
    sensorSession.reset();
    keepNoSettings();

    QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (documents.isEmpty()) documents = QDir::homePath();
    setSaveFolder(documents);
    connect(ui->pathCtr, &PathLabel::folderActivated, this,
            &MainController::pathControlDoubleClick);

    entryModel = new EntryTableModel(this, this);
    ui->memListTV->setModel(entryModel);
    ui->memListTV->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);

    pairdSensorPoolArray.clear();
    setUpSensorList();
    setUpSensorListPopUpButton();
    dispInternalMemoryInfo();
    // The line keeps its height while empty, so the window does not jump.
    ui->sensorStateLabel->setMinimumHeight(ui->sensorStateLabel->fontMetrics().height());
    updateSensorLine();
    listenedPlatform = &BluetoothPlatform::current();
    listenedPlatform->setChangeListener([this] { refreshSensorList(); });

    connectPoll = new QTimer(this);
    connectPoll->setInterval(30);
    connect(connectPoll, &QTimer::timeout, this, [this] {
        if (!sensorSession || sensorSession->sensor().rfCommControl()->isConnected())
            endConnecting();
    });
    escapeCancelsConnect = new QShortcut(QKeySequence(Qt::Key_Escape), thisWindow);
    escapeCancelsConnect->setEnabled(false);
    connect(escapeCancelsConnect, &QShortcut::activated, this,
            &MainController::cancelConnectClicked);

    progressView = new ProgressView(thisWindow);
    connect(progressView, &ProgressView::finished, this, &MainController::dlFinButtonClicked);
    connect(progressView, &ProgressView::cancelRequested, this,
            &MainController::cancelDownloadClicked);
    connect(progressView, &ProgressView::previewRequested, this,
            &MainController::previewButtonClicked);
    connect(progressView, &ProgressView::openFolderRequested, this, &MainController::openFolder);
    connect(ui->actionPreviewCsv, &QAction::triggered, this,
            [this] { guarded([this] { previewFileMenu(); }); });
#ifndef VRAX_HAVE_PREVIEW
    ui->actionPreviewCsv->setVisible(false);
#endif
    setEntryButtonsEnabled(false);

    connect(ui->sensorPB, &QComboBox::activated, this,
            [this] { guarded([this] { sensorChanged(); }); });
    connect(ui->connectButton, &QPushButton::clicked, this, [this] {
        if (connectingNow)
            cancelConnectClicked();
        else
            guarded([this] { connectButtonClicked(); });
    });
    connect(ui->actionRefresh, &QAction::triggered, this, &MainController::refreshSensorList);
    connect(ui->refreshButton, &QPushButton::clicked, ui->actionRefresh, &QAction::trigger);
    connect(ui->actionQuit, &QAction::triggered, thisWindow, &QWidget::close);
    ui->memListTV->installEventFilter(this);
    ui->sensorPB->installEventFilter(this);
    connect(ui->getDataButton, &QPushButton::clicked, this,
            [this] { guarded([this] { dataGetButtonClicked(); }); });
    connect(ui->eraseDataButton, &QPushButton::clicked, this,
            [this] { guarded([this] { dataEraceButtonClicked(); }); });
    connect(ui->referSaveDirButton, &QPushButton::clicked, this,
            [this] { guarded([this] { referSaveDirButton(); }); });

#ifdef VRAX_HAVE_PREVIEW
    measure = new MeasurePanel(this, thisWindow);
    connect(ui->measureButton, &QPushButton::clicked, this, &MainController::showMeasurePanel);
    connect(ui->actionMeasure, &QAction::triggered, this, &MainController::showMeasurePanel);
#else
    ui->measureButton->hide();  // the panel's live charts come with the preview
    ui->actionMeasure->setVisible(false);
#endif
}

template <class F>
void MainController::guarded(F&& action) {
    if (running) return;  // a click delivered inside a running sequence's wait
    running = true;
    cancelRequested = false;
    refreshControls();
    action();
    running = false;
    endConnecting();
    refreshControls();
    if (refreshPending) refreshSensorList();
    if (closePending) QTimer::singleShot(0, thisWindow, [w = thisWindow] { w->close(); });
}

void MainController::runGuarded(const std::function<void()>& action) {
    guarded(action);
}

void MainController::refreshControls() {
    ui->sensorPB->setEnabled(!running);
    // While a connect waits, the connect button cancels it (once).
    ui->connectButton->setText(connectingNow ? msg::cancelConnectLabel() : msg::connectLabel());
    ui->connectButton->setEnabled(!running || (connectingNow && !cancelRequested));
    if (escapeCancelsConnect) escapeCancelsConnect->setEnabled(connectingNow && !cancelRequested);
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
    return ui->sensorPB->currentText();
}

// ---- sensor list -----------------------------------------------------------

void MainController::setUpSensorList() {
    pairdSensorPoolArray.clear();
    bluetoothState = BluetoothPlatform::current().state();
    const int n = BtUtilClass::getPairdVRAXSensors();
    pairedListAvailable = n >= 0;
    for (int i = 0; i < n; ++i) {
        std::string name, address;
        if (!BtUtilClass::getSensorDeviceInfoByIndex(i, name, address)) continue;
        pairdSensorPoolArray << qs(name) << qs(address);
    }
}

void MainController::setUpSensorListPopUpButton() {
    ui->sensorPB->clear();
    if (pairdSensorPoolArray.isEmpty()) {
        ui->sensorPB->addItem(kNoSensor);
        return;
    }
    for (int i = 0; i < int(pairdSensorPoolArray.size() / 2); ++i) {
        QString name, address;
        getSensorDataByIndex(i, name, address);
        ui->sensorPB->addItem(name);
    }
    ui->sensorPB->setCurrentIndex(0);
}

void MainController::refreshSensorList() {
    if (running) {
        refreshPending = true;
        return;
    }
    refreshPending = false;
    QString keptName, keptAddress;
    getSensorDataByIndex(ui->sensorPB->currentIndex(), keptName, keptAddress);
    setUpSensorList();
    setUpSensorListPopUpButton();
    int index = -1;
    if (!keptAddress.isEmpty()) getSensorDataByAddr(keptAddress, keptName, index);
    if (index >= 0)
        ui->sensorPB->setCurrentIndex(index);  // its entry list stays
    else
        sensorChanged();  // gone (or none was chosen): nothing of it stays on show
    updateSensorLine();
}

void MainController::updateSensorLine() {
    QString text;
    if (connectingNow)
        text = msg::connecting(connectingName);
    else if (bluetoothState != BluetoothState::ready)
        text = msg::bluetoothState(bluetoothState);
    else if (!pairedListAvailable)
        text = msg::bluetoothState(BluetoothState::noBlueZ);
    else if (!sensorNote.isEmpty())
        text = sensorNote;
    else if (pairdSensorPoolArray.isEmpty())
        text = msg::noPairedSensor();
    ui->sensorStateLabel->setText(text);
}

bool MainController::bluetoothUsable() {
    bluetoothState = BluetoothPlatform::current().state();
    updateSensorLine();
    if (bluetoothState == BluetoothState::ready) return true;
    MyTools::dispMessageOK(msg::cannotConnect(bluetoothState), msg::warning());
    return false;
}

void MainController::beginConnecting(const QString& name) {
    connectingNow = true;
    connectingName = name;
    sensorNote.clear();
    connectPoll->start();
    refreshControls();
    updateSensorLine();
}

void MainController::endConnecting() {
    if (!connectingNow) return;
    connectingNow = false;
    connectPoll->stop();
    refreshControls();
    updateSensorLine();
}

void MainController::cancelConnectClicked() {
    if (!connectingNow) return;
    cancelRequested = true;
    refreshControls();
}

void MainController::getSensorDataByIndex(int index, QString& name, QString& address) const {
    name.clear();
    address.clear();
    if (index < 0 || index >= int(pairdSensorPoolArray.size() / 2)) return;
    name = pairdSensorPoolArray[2 * index];
    address = pairdSensorPoolArray[2 * index + 1];
}

void MainController::getSensorDataByName(const QString& name, QString& addr, int& index) const {
    addr.clear();
    index = -1;
    for (int i = 0; i + 1 < int(pairdSensorPoolArray.size()); i += 2) {
        if (pairdSensorPoolArray[i] != name) continue;
        index = i / 2;
        QString ignored;
        getSensorDataByIndex(index, ignored, addr);
        return;
    }
}

void MainController::getSensorDataByAddr(const QString& address, QString& name, int& index) const {
    name.clear();
    index = -1;
    for (int i = 1; i < int(pairdSensorPoolArray.size()); i += 2) {
        if (pairdSensorPoolArray[i] != address) continue;
        index = i / 2;
        QString ignored;
        getSensorDataByIndex(index, name, ignored);
        return;
    }
}

// ---- connect, memory status, entry list ------------------------------------

void MainController::sensorChanged() {
    sensorNote.clear();
    updateSensorLine();
    setEntryButtonsEnabled(false);
    entryCount = freeEntryCount = freeRecordCount = 0;
    dataEntryStartTime.clear();
    dataEntryRecordCount.clear();
    ui->deviceInfoLabel->clear();
    upDateViews();
#ifdef VRAX_HAVE_PREVIEW
    if (measure) measure->setSensor(selectedTitle() == kNoSensor ? QString() : selectedTitle());
#endif
}

void MainController::connectButtonClicked() {
    if (selectedTitle() == kNoSensor) {
        MyTools::dispMessageOK(msg::noSensorSelected(), msg::warning());
        return;
    }
    if (!bluetoothUsable()) return;
    if (!updateEntryData()) setEntryButtonsEnabled(false);
    upDateViews();
}

bool MainController::updateEntryData() {
    entryCount = freeEntryCount = freeRecordCount = 0;
    dataEntryStartTime.clear();
    dataEntryRecordCount.clear();
    ui->deviceInfoLabel->clear();
    upDateViews();
    if (selectedTitle() == kNoSensor) return false;

    const QString name = selectedTitle();
    QString address;
    int index = -1;
    getSensorDataByName(name, address, index);
    startSession(name, address);
    session::MemoryListing listing;
    const session::Outcome o = sensorSession->listMemory(listing, true);
    simpleDisconnectSensor();

    // What was read before a failure is shown as far as it goes.
    if (!failedOpening(o)) showDeviceInfo(listing.firmVersion, listing.batteryVoltage);
    if (o.ok() || o.step == session::Step::entryList) {
        entryCount = listing.status.entryCount;
        freeEntryCount = listing.status.freeEntryCount;
        freeRecordCount = listing.status.freeRecordCount;
    }
    for (const session::EntryInfo& e : listing.entries) {
        dataEntryStartTime << qs(e.startText);
        dataEntryRecordCount << e.records;
    }
    upDateViews();
    if (!o.ok()) {
        showOutcome(o, name);
        return false;
    }
    setEntryButtonsEnabled(!dataEntryStartTime.isEmpty());
    return true;
}

bool MainController::failedOpening(const session::Outcome& o) {
    using session::Step;
    return !o.ok() &&
           (o.step == Step::connect || o.step == Step::stop || o.step == Step::deviceInfo);
}

void MainController::showDeviceInfo(const std::string& firmVersion, float volts) {
    ui->deviceInfoLabel->setText(msg::deviceInfo(qs(firmVersion), volts));
}

void MainController::startSession(const QString& name, const QString& address) {
    if (sensorSession) simpleDisconnectSensor();
    sensorSession =
        std::make_unique<session::SensorSession>(name.toStdString(), address.toStdString());
    sensorSession->setCancelCheck([this] { return cancelRequested; });
    beginConnecting(name);
}

void MainController::showMeasurePanel() {
#ifdef VRAX_HAVE_PREVIEW
    measure->setSensor(selectedTitle() == kNoSensor ? QString() : selectedTitle());
    measure->show();
    measure->raise();
    measure->activateWindow();
#endif
}

bool MainController::selectedSensor(QString& name, QString& address) {
    name = selectedTitle();
    address.clear();
    if (name == kNoSensor) {
        MyTools::dispMessageOK(msg::noSensorSelected(), msg::warning());
        return false;
    }
    int index = -1;
    getSensorDataByName(name, address, index);
    return bluetoothUsable();
}

session::SensorSession& MainController::beginSession(const QString& name, const QString& address) {
    startSession(name, address);
    return *sensorSession;
}

std::unique_ptr<session::SensorSession> MainController::endSession() {
    endConnecting();
    if (sensorSession) sensorSession->simpleDisconnectSensor();
    return std::move(sensorSession);
}

bool MainController::openSensorAndStop(const QString& name, const QString& addr) {
    startSession(name, addr);
    const session::Outcome o = sensorSession->openSensorAndStop();
    if (o.ok()) return true;
    showOutcome(o, name);
    simpleDisconnectSensor();
    return false;
}

bool MainController::getMemStatus(uint32_t& count, uint32_t& freeEntrySize,
                                  uint32_t& freeRecordSize) {
    if (!sensorSession) return false;
    session::MemoryStatus status;
    const session::Outcome o = sensorSession->getMemStatus(status);
    if (!o.ok()) {
        showOutcome(o, qs(sensorSession->sensor().name()));
        return false;
    }
    count = status.entryCount;
    freeEntrySize = status.freeEntryCount;
    freeRecordSize = status.freeRecordCount;
    return true;
}

bool MainController::simpleDisconnectSensor() {
    endConnecting();
    if (sensorSession) sensorSession->simpleDisconnectSensor();
    sensorSession.reset();
    return true;
}

void MainController::showOutcome(const session::Outcome& o, const QString& name) {
    using session::Result;
    using session::Step;
    if (o.ok()) return;
    if (o.result == Result::cancelled) {
        // Asked for by the user: said on the sensor line, not as an error.
        if (o.step == Step::connect) sensorNote = msg::connectCancelled(name);
        updateSensorLine();
        return;
    }
    if (o.result == Result::connectFailed && o.platformStatus == PlatformStatus::bluetoothOff) {
        bluetoothState = BluetoothPlatform::current().state();
        updateSensorLine();
        MyTools::dispMessageOK(msg::cannotConnect(bluetoothState), msg::warning());
        return;
    }
    QString text;
    if (o.result == Result::connectFailed) {
        text = o.platformStatus == PlatformStatus::exclusiveAccess ? msg::sensorInUse(name)
                                                                   : msg::connectFailed(name);
    } else {
        switch (o.step) {
            case Step::stop:
                text = msg::setupFailed(name);
                break;
            case Step::deviceInfo:
                text = msg::firmwareCheckFailed(name);
                break;
            case Step::erase:
                text = msg::eraseFailed(name);
                break;
            case Step::folder:
                text = msg::folderFailed(qs(o.path));
                break;
            case Step::file:
                text = msg::fileFailed(qs(o.path));
                break;
            case Step::setting:
            case Step::clock:
            case Step::identify:
            case Step::calibrate:
            case Step::start:
            case Step::stopMeasure:
            case Step::live:
                // A refused configuration comes with the message naming its value.
                text = o.result == Result::badSetting
                           ? msg::configInvalid(qs(o.setting))
                           : msg::measureStepFailed(name, msg::measureStepName(o), o.result);
                break;
            default:  // memory status, entry list, battery, download
                text = msg::dataReadFailed(name);
                break;
        }
    }
    MyTools::dispMessageOK(text, msg::error());
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
        ui->memDetailTF->setText(kNoSensor);
        return;
    }
    ui->memDetailTF->setText(msg::memoryDetail(entryCount, freeEntryCount, freeRecordCount));
}

int MainController::numberOfRowsInTableView() const {
    return int(dataEntryStartTime.size());
}

QVariant MainController::tableView(const QString& column, int row) const {
    if (row < 0 || row >= int(dataEntryStartTime.size()) || row >= int(dataEntryRecordCount.size()))
        return {};
    if (column == QLatin1String("rec_time")) return dataEntryStartTime[row];
    if (column == QLatin1String("records")) return dataEntryRecordCount[row];
    return {};
}

// ---- save folder -----------------------------------------------------------

void MainController::setSaveFolder(const QString& path) {
    saveFolderPath = QDir::cleanPath(path);
    // One link per folder of the path; a click opens that folder.
    ui->pathCtr->setPath(saveFolderPath);
}

void MainController::referSaveDirButton() {
    auto* panel = new QFileDialog(thisWindow, msg::saveFolderPanelTitle());
    panel->setObjectName(QStringLiteral("saveFolderPanel"));
    panel->setFileMode(QFileDialog::Directory);
    panel->setOption(QFileDialog::ShowDirsOnly, true);
    panel->setOption(QFileDialog::DontResolveSymlinks, false);
    panel->setOption(QFileDialog::DontUseNativeDialog, true);
    panel->setDirectory(saveFolderPath);
    panel->setLabelText(QFileDialog::Accept, msg::saveFolderPanelAccept());
    panel->setWindowModality(Qt::WindowModal);
    panel->setAttribute(Qt::WA_DeleteOnClose);
    connect(panel, &QFileDialog::finished, this, [this, panel](int result) {
        panel->hide();
        openPanelDidEnd(panel->selectedFiles(), result);
    });
    panel->open();
}

void MainController::openPanelDidEnd(const QStringList& chosenFolders, int returnCode) {
    if (returnCode != QDialog::Accepted || chosenFolders.isEmpty()) return;
    const QString chosen = chosenFolders.first();
    if (folderWritable(chosen))
        setSaveFolder(chosen);
    else
        MyTools::dispMessageOK(msg::folderNotWritable(), msg::warning());
}

void MainController::pathControlDoubleClick(const QString& clickedPath) {
    openFolder(clickedPath);
}

void MainController::openFolder(const QString& folder) {
    if (folder.isEmpty()) return;
    if (!MyTools::openUrl(QUrl::fromLocalFile(folder)))
        MyTools::dispMessageOK(msg::cannotOpenFolder(folder), msg::warning());
}

// ---- download --------------------------------------------------------------

bool MainController::getWriteFilterdData() const {
    return ui->ad16FilterCB->checkState() == Qt::Checked;
}

void MainController::dataGetButtonClicked() {
    if (selectedTitle() == kNoSensor) return;
    const QString name = selectedTitle();
    QString address;
    int index = -1;
    getSensorDataByName(name, address, index);
    const QModelIndexList selected = ui->memListTV->selectionModel()
                                         ? ui->memListTV->selectionModel()->selectedRows()
                                         : QModelIndexList{};
    const int row = selected.isEmpty() ? -1 : selected.first().row();
    if (row < 0 || row >= int(dataEntryStartTime.size())) {
        MyTools::dispMessageOK(msg::chooseEntry(), msg::warning());
        return;
    }
    if (!bluetoothUsable()) return;
    download(name, address, row);
}

void MainController::download(const QString& name, const QString& address, int row) {
    int32_t year = 0, month = 0, day = 0, hour = 0, min = 0, sec = 0, msec = 0;
    const auto now = std::chrono::system_clock::now();
    MyTools::sepNSDate(&now, year, month, day, hour, min, sec, msec);

    session::DownloadRequest request;
    request.saveFolder = saveFolderPath.toStdString();
    request.entryRow = row;
    request.startText = dataEntryStartTime[row].toStdString();
    request.expectedRecords = dataEntryRecordCount.value(row, -1);
    request.filtered = getWriteFilterdData();
    std::vector<std::string> startTexts;
    for (const QString& t : dataEntryStartTime) startTexts.push_back(t.toStdString());
    request.numberInName = entryNeedsNumber(startTexts, size_t(row));
    request.year = year, request.month = month, request.day = day;

    // The name the session will give the file; what already lies there is
    // the user's to keep or replace, asked before the sensor is touched.
    const std::string target = session::targetPathOf(request, name.toStdString());
    if (fileio::exists(target)) {
        const int answer =
            MyTools::askQuestion(msg::existingFileQuestion(qs(target), describeExisting(target)),
                                 msg::warning(), msg::existingFileButtons());
        if (answer == msg::kKeepBoth)
            request.existing = safeout::Existing::keepBoth;
        else if (answer == msg::kReplace)
            request.existing = safeout::Existing::replace;
        else
            return;
        if (closePending) return;  // the window was closed while the question was open
    }

    startSession(name, address);

    ProgressView* view = progressView;
    bool started = false;
    session::DownloadHooks hooks;
    hooks.transferStarted = [this, view, &request, &started] {
        started = true;
        view->beginTransfer(request.expectedRecords);
        refreshControls();
    };
    // Once writing has failed, the counter says what the file holds.
    hooks.progress = [this, view](uint64_t records, int64_t) {
        const VRAXSensorData& store = sensorSession->sensor().getSensorDataObject();
        if (store.hadWriteError())
            view->setCountInFile(store.writtenRecords(), records);
        else
            view->setCount(records);
    };
    hooks.cancelRequested = [this] { return cancelRequested; };
    // Said on the overlay at once, while the transfer goes on.
    hooks.writeFailing = [view](const std::string& why) { view->showWriteFailure(qs(why)); };
    // A write error is raised inside data delivery: show it once the parse
    // has returned, from the event loop of the download's wait.
    hooks.storeMessage = [this](const std::string& message, const std::string& title) {
        QTimer::singleShot(0, this,
                           [m = qs(message), t = qs(title)] { MyTools::dispMessageOK(m, t); });
    };

    session::DownloadReport report;
    const session::Outcome o = sensorSession->downloadEntry(request, hooks, report);
    const VRAXSensorData& store = sensorSession->sensor().getSensorDataObject();
    const bool writeFailed = store.hadWriteError();
    const uint64_t linesInFile = store.writtenRecords();
    simpleDisconnectSensor();
    upDateViews();

    if (!started) {
        showOutcome(o, name);
        return;
    }
    if (writeFailed) view->setCountInFile(linesInFile, report.records);
    // Only a whole entry is offered for preview.
    const bool complete = o.ok() && report.complete;
    lastDownloadPath = complete ? qs(report.filePath) : QString();
    const QString kept = qs(report.filePath);
    if (complete) {
        view->finish(true, kHavePreview,
                     report.filePath == report.targetPath
                         ? QString()
                         : msg::savedUnderOtherName(fileNameOf(report.filePath)),
                     kept);
        return;
    }
    // Stopped on purpose with every record that arrived in its file: the
    // overlay says where they are; nothing went wrong.
    if (o.result == session::Result::cancelled && cancelRequested &&
        (report.filePath.empty() || report.fileComplete)) {
        view->finish(false, kHavePreview,
                     report.filePath.empty() ? msg::cancelledNoFile()
                                             : msg::cancelledKept(report.records, report.expected,
                                                                  fileNameOf(report.filePath)),
                     kept);
        return;
    }
    view->finish(false, kHavePreview,
                 report.filePath.empty() ? msg::overlayNoFileKept()
                                         : msg::receivedSavedTo(fileNameOf(report.filePath)),
                 kept);
    MyTools::dispMessageOK(downloadFailureText(name, o, report), msg::error());
}

void MainController::cancelDownloadClicked() {
    cancelRequested = true;
}

void MainController::dlFinButtonClicked() {
    progressView->dismiss();
    refreshControls();
}

// ---- preview ---------------------------------------------------------------

void MainController::previewButtonClicked() {
    if (!lastDownloadPath.isEmpty()) openPreview(lastDownloadPath);
}

void MainController::previewFileMenu() {
    auto* panel = new QFileDialog(thisWindow, msg::previewPanelTitle(), saveFolderPath,
                                  msg::previewPanelFilter());
    panel->setObjectName(QStringLiteral("previewPanel"));
    panel->setFileMode(QFileDialog::ExistingFile);
    panel->setAcceptMode(QFileDialog::AcceptOpen);
    panel->setWindowModality(Qt::WindowModal);
    panel->setAttribute(Qt::WA_DeleteOnClose);
    connect(panel, &QFileDialog::finished, this,
            [this, panel](int result) { previewPanelDidEnd(panel->selectedFiles(), result); });
    panel->open();
}

void MainController::previewPanelDidEnd(const QStringList& chosen, int returnCode) {
    if (returnCode != QDialog::Accepted || chosen.isEmpty()) return;
    openPreview(chosen.first());
}

bool MainController::openPreview(const QString& path) {
#ifdef VRAX_HAVE_PREVIEW
    QString why;
    preview::PreviewWindow* w = preview::PreviewWindow::openFile(path, thisWindow, why);
    if (!w) {
        MyTools::dispMessageOK(why, msg::error());
        return false;
    }
    w->show();
    w->raise();
    return true;
#else
    MyTools::dispMessageOK(msg::noPreviewInBuild(path), msg::error());
    return false;
#endif
}

// ---- erase -----------------------------------------------------------------

void MainController::dataEraceButtonClicked() {
    if (selectedTitle() == kNoSensor) {
        MyTools::dispMessageOK(msg::noSensorSelected(), msg::warning());
        return;
    }
    const QString name = selectedTitle();
    QString address;
    int index = -1;
    getSensorDataByName(name, address, index);
    if (!bluetoothUsable()) return;
    if (MyTools::askQuestion(msg::eraseQuestion(), msg::warning(), msg::eraseButtons()) !=
        msg::kEraseYes)
        return;
    startSession(name, address);
    const session::Outcome o = sensorSession->eraseMemory();
    simpleDisconnectSensor();
    if (!o.ok()) {
        showOutcome(o, name);
        return;
    }
    connectButtonClicked();  // the list afresh
}

bool MainController::eraseDataEntry(const QString& /*name*/, const QString& /*addr*/) {
    if (!sensorSession) return false;
    const session::Outcome o = sensorSession->eraseDataEntry();
    if (o.ok()) return true;
    showOutcome(o, qs(sensorSession->sensor().name()));
    return false;
}

// ---- window ----------------------------------------------------------------

bool MainController::windowShouldClose() {
    if (!running) return true;
    if (askingToClose) return false;
    if (progressView->state() == ProgressView::State::transferring) {
        askingToClose = true;
        const int answer = MyTools::askQuestion(msg::closeDuringDownloadQuestion(), msg::warning(),
                                                msg::closeDuringDownloadButtons());
        askingToClose = false;
        if (answer != msg::kStopAndClose) return false;
        if (!running) return true;  // it ended while the question was open
    }
    cancelRequested = true;
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
            if (ui->connectButton->isEnabled() && !connectingNow) ui->connectButton->click();
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

void MainController::windowWillClose() {
    QCoreApplication::quit();
}
