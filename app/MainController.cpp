#include "app/MainController.h"

#include <sys/stat.h>

#include <QDateTime>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QMainWindow>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryFile>
#include <QTimer>
#include <QUrl>
#include <chrono>
#include <vector>

#include "app/EntryTableModel.h"
#include "app/MyTools.h"
#include "app/ProgressView.h"
#ifdef VRAX_HAVE_PREVIEW
#include "preview/PreviewWindow.h"
#endif
#include "link/BtUtilClass.h"
#include "store/FileIO.h"
#include "ui_MainWindow.h"

namespace {

const QString kNoSensor = QStringLiteral("---");
const QString kWarning = QStringLiteral("Warning");
const QString kError = QStringLiteral("Error");

QString qs(const std::string& s) {
    return QString::fromStdString(s);
}

// Fills "%@" with the sensor's name; the rest of the text stays literal.
QString withName(const char* text, const QString& name) {
    return QString::fromUtf8(text).replace(QStringLiteral("%@"), name);
}

// A folder is writable when a file can really be made in it.
bool folderWritable(const QString& path) {
    if (!QFileInfo(path).isDir()) return false;
    QTemporaryFile probe(QDir(path).filePath(QStringLiteral(".vrax-write-test-XXXXXX")));
    return probe.open();
}

// Why a download ended before its end was reported, in the user's words.
QString incompleteReason(session::Result r) {
    switch (r) {
        case session::Result::cancelled:
            return QStringLiteral("ダウンロードを中止しました");
        case session::Result::channelClosed:
            return QStringLiteral("センサとの接続が切れました");
        case session::Result::timedOut:
            return QStringLiteral("センサからのデータが途絶えました");
        case session::Result::notSent:
            return QStringLiteral("データ読み出しの要求を送信できませんでした");
        case session::Result::fileError:
            return QStringLiteral("ファイルへの書き込みに失敗しました");
        case session::Result::missingRecords:
            return QStringLiteral("受信したレコード数がエントリのレコード数と一致しません");
        default:
            return QStringLiteral("ダウンロードが完了しませんでした");
    }
}

// Size and modification time of what lies at `path`, for the question
// about an existing file (a link that leads nowhere: the link itself).
QString describeExisting(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 && ::lstat(path.c_str(), &st) != 0) return {};
    const QString when = QDateTime::fromSecsSinceEpoch(st.st_mtim.tv_sec)
                             .toString(QStringLiteral("yyyy/MM/dd HH:mm:ss"));
    return QStringLiteral("サイズ %1 バイト，更新日時 %2")
        .arg(QLocale(QLocale::Japanese).toString(qlonglong(st.st_size)), when);
}

QString fileNameOf(const std::string& path) {
    return QFileInfo(qs(path)).fileName();
}

// The message of a download that did not end with its whole entry in the
// file: why, how many records arrived, and where they are.
QString downloadFailureText(const QString& name, const session::Outcome& o,
                            const session::DownloadReport& r) {
    QString text;
    if (o.result == session::Result::fileError)  // the transfer itself ended well
        text = QStringLiteral("%1：データは全て受信しましたが，ファイルに保存できませんでした．\n")
                   .arg(name);
    else
        text = QStringLiteral("%1：%2．\n").arg(name, incompleteReason(o.result));
    text +=
        r.expected > 0
            ? QStringLiteral("受信したレコード：%1 / %2 レコード\n").arg(r.records).arg(r.expected)
            : QStringLiteral("受信したレコード：%1 レコード\n").arg(r.records);
    if (!r.fileError.empty())
        text += QStringLiteral("ファイルの書き込みまたは名前の変更に失敗しました（%1）．\n")
                    .arg(qs(r.fileError));
    // Every record written and only the final move failed: the file holds the whole entry.
    const bool wholeEntry = o.result == session::Result::fileError && r.fileComplete;
    if (r.filePath.empty())
        text += QStringLiteral("ファイルは残していません．");
    else if (!r.fileComplete)
        text += QStringLiteral("ファイルは不完全です（一部のデータを書き込めませんでした）．\n(%1)")
                    .arg(qs(r.filePath));
    else if (wholeEntry)
        text += QStringLiteral("全データは次のファイルに残しています．\n(%1)").arg(qs(r.filePath));
    else
        text += QStringLiteral(
                    "受信したデータは次のファイルに残しています"
                    "（エントリの全データではありません）．\n(%1)")
                    .arg(qs(r.filePath));
    return text;
}

}  // namespace

MainController::MainController(QMainWindow* window, Ui::MainWindow* ui)
    : QObject(window), thisWindow(window), ui(ui) {}

MainController::~MainController() = default;

void MainController::awakeFromNib() {
    entryCount = freeEntryCount = freeRecordCount = 0;
    dataEntryStartTime.clear();
    dataEntryRecordCount.clear();
    vraxSensor.reset();

    QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (documents.isEmpty()) documents = QDir::homePath();
    setSaveFolder(documents);
    connect(ui->pathCtr, &QLabel::linkActivated, this,
            [this](const QString& link) { pathControlDoubleClick(QUrl(link).toLocalFile()); });

    entryModel = new EntryTableModel(this, this);
    ui->memListTV->setModel(entryModel);
    ui->memListTV->horizontalHeader()->setSectionResizeMode(0, QHeaderView::ResizeToContents);

    pairdSensorPoolArray.clear();
    setUpSensorList();
    setUpSensorListPopUpButton();
    dispInternalMemoryInfo();

    progressView = new ProgressView(thisWindow);
    connect(progressView->finishButton(), &QPushButton::clicked, this,
            &MainController::dlFinButtonClicked);
    connect(progressView->cancelButton(), &QPushButton::clicked, this,
            &MainController::cancelDownloadClicked);
    connect(progressView->previewButton(), &QPushButton::clicked, this,
            &MainController::previewButtonClicked);
    connect(ui->actionPreviewCsv, &QAction::triggered, this,
            [this] { guarded([this] { previewFileMenu(); }); });
#ifndef VRAX_HAVE_PREVIEW
    ui->actionPreviewCsv->setVisible(false);
#endif
    progressView->hide();
    setEntryButtonsEnabled(false);

    connect(ui->sensorPB, &QComboBox::activated, this,
            [this] { guarded([this] { sensorChanged(); }); });
    connect(ui->connectButton, &QPushButton::clicked, this,
            [this] { guarded([this] { connectButtonClicked(); }); });
    connect(ui->getDataButton, &QPushButton::clicked, this,
            [this] { guarded([this] { dataGetButtonClicked(); }); });
    connect(ui->eraseDataButton, &QPushButton::clicked, this,
            [this] { guarded([this] { dataEraceButtonClicked(); }); });
    connect(ui->referSaveDirButton, &QPushButton::clicked, this,
            [this] { guarded([this] { referSaveDirButton(); }); });
}

template <class F>
void MainController::guarded(F&& action) {
    if (running) return;  // a click delivered inside a running sequence's wait
    running = true;
    cancelRequested = false;
    refreshControls();
    action();
    running = false;
    refreshControls();
    if (closePending) QTimer::singleShot(0, thisWindow, [w = thisWindow] { w->close(); });
}

void MainController::refreshControls() {
    ui->sensorPB->setEnabled(!running);
    ui->connectButton->setEnabled(!running);
    ui->referSaveDirButton->setEnabled(!running);
    ui->getDataButton->setEnabled(!running && entryButtonsEnabled);
    ui->eraseDataButton->setEnabled(!running && entryButtonsEnabled);
    ui->actionPreviewCsv->setEnabled(!running);
    // Nothing under the overlay can be reached, by mouse or keyboard.
    ui->centralwidget->setEnabled(!(progressView && progressView->isVisible()));
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
    const int n = BtUtilClass::getPairdVRAXSensors();
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
    setEntryButtonsEnabled(false);
    entryCount = freeEntryCount = freeRecordCount = 0;
    dataEntryStartTime.clear();
    dataEntryRecordCount.clear();
    ui->deviceInfoLabel->clear();
    upDateViews();
}

void MainController::connectButtonClicked() {
    if (selectedTitle() == kNoSensor) {
        MyTools::dispMessageOK(QStringLiteral("有効なセンサが登録/選択されていません"), kWarning);
        return;
    }
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
    if (!openSensorAndStop(name, address)) return false;

    float volts = 0;
    if (!vraxSensor->readBattery(volts).ok()) volts = 0;  // shown as unknown
    showDeviceInfo(vraxSensor->sensor().firmVersion(), volts);

    if (!getMemStatus(entryCount, freeEntryCount, freeRecordCount)) {
        simpleDisconnectSensor();
        return false;
    }
    std::vector<session::EntryInfo> entries;
    const session::Outcome o = vraxSensor->readEntries(entryCount, entries);
    for (const session::EntryInfo& e : entries) {
        dataEntryStartTime << qs(e.startText);
        dataEntryRecordCount << e.records;
    }
    if (!o.ok()) {
        upDateViews();
        MyTools::dispMessageOK(withName("%@センサのデータ取得に失敗しました", name), kError);
        simpleDisconnectSensor();
        return false;
    }
    simpleDisconnectSensor();
    upDateViews();
    setEntryButtonsEnabled(!dataEntryStartTime.isEmpty());
    return true;
}

void MainController::showDeviceInfo(const std::string& firmVersion, float volts) {
    QString text =
        tr("Firmware %1").arg(firmVersion.empty() ? QStringLiteral("?") : qs(firmVersion));
    text +=
        volts > 0 ? tr(", battery %1 V").arg(double(volts), 0, 'f', 2) : tr(", battery unknown");
    ui->deviceInfoLabel->setText(text);
}

bool MainController::openSensorAndStop(const QString& name, const QString& addr) {
    if (vraxSensor) simpleDisconnectSensor();
    vraxSensor = std::make_unique<session::SensorSession>(name.toStdString(), addr.toStdString());
    const session::Outcome o = vraxSensor->openSensorAndStop();
    if (o.ok()) return true;
    showOutcome(o, name);
    if (o.result != session::Result::connectFailed) simpleDisconnectSensor();
    return false;
}

bool MainController::getMemStatus(uint32_t& count, uint32_t& freeEntrySize,
                                  uint32_t& freeRecordSize) {
    if (!vraxSensor) return false;
    session::MemoryStatus status;
    const session::Outcome o = vraxSensor->getMemStatus(status);
    if (!o.ok()) {
        MyTools::dispMessageOK(
            withName("%@センサのデータ取得に失敗しました", qs(vraxSensor->sensor().name())),
            kError);
        return false;
    }
    count = status.entryCount;
    freeEntrySize = status.freeEntryCount;
    freeRecordSize = status.freeRecordCount;
    return true;
}

bool MainController::simpleDisconnectSensor() {
    if (vraxSensor) vraxSensor->simpleDisconnectSensor();
    vraxSensor.reset();
    return true;
}

void MainController::showOutcome(const session::Outcome& o, const QString& name) {
    using session::Result;
    using session::Step;
    if (o.result == Result::connectFailed) {
        if (uint32_t(o.platformStatus) == 0xE00002C5u)
            MyTools::dispMessageOK(withName("%@は別の機器で使用中です", name), kError);
        else
            MyTools::dispMessageOK(
                withName(
                    "%@に接続出来ませんでした．\nセンサの電源が入っているかや正しくペアリングされて"
                    "いるか，接続数等を確認してください",
                    name),
                kError);
        return;
    }
    switch (o.step) {
        case Step::stop:
            MyTools::dispMessageOK(withName("%@センサの初期設定に失敗しました", name), kError);
            break;
        case Step::deviceInfo:
            MyTools::dispMessageOK(withName("%@のファーム確認に失敗しました", name), kError);
            break;
        case Step::erase:
            MyTools::dispMessageOK(withName("%@センサのデータ全消去に失敗しました", name), kError);
            break;
        case Step::folder:
            MyTools::dispMessageOK(
                QStringLiteral("データ書き込みフォルダの作成に失敗しました．\n(%1)")
                    .arg(qs(o.path)),
                kError);
            break;
        case Step::file:
            MyTools::dispMessageOK(
                QStringLiteral("データファイルを作成できませんでした．\n(%1)").arg(qs(o.path)),
                kError);
            break;
        default:
            MyTools::dispMessageOK(withName("%@センサのデータ取得に失敗しました", name), kError);
            break;
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
        ui->memDetailTF->setText(kNoSensor);
        return;
    }
    ui->memDetailTF->setText(QStringLiteral("エントリ数:%1 空きエントリ：%2 空きレコード数:%3")
                                 .arg(entryCount)
                                 .arg(freeEntryCount)
                                 .arg(freeRecordCount));
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
    QStringList parts = saveFolderPath.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QString html, sofar;
    for (const QString& part : parts) {
        sofar += QLatin1Char('/') + part;
        html +=
            QStringLiteral(" / <a href=\"%1\">%2</a>")
                .arg(QUrl::fromLocalFile(sofar).toString(QUrl::FullyEncoded), part.toHtmlEscaped());
    }
    ui->pathCtr->setText(html.isEmpty() ? QStringLiteral("/") : html.mid(3));
    ui->pathCtr->setToolTip(saveFolderPath);
}

void MainController::referSaveDirButton() {
    auto* panel = new QFileDialog(thisWindow, QStringLiteral("Select Data Save Folder"));
    panel->setObjectName(QStringLiteral("saveFolderPanel"));
    panel->setFileMode(QFileDialog::Directory);
    panel->setOption(QFileDialog::ShowDirsOnly, true);
    panel->setOption(QFileDialog::DontResolveSymlinks, false);
    panel->setOption(QFileDialog::DontUseNativeDialog, true);
    panel->setLabelText(QFileDialog::Accept, QStringLiteral("Choose"));
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
        MyTools::dispMessageOK(QStringLiteral("選択したフォルダは書き込めません．"), kWarning);
}

void MainController::pathControlDoubleClick(const QString& clickedPath) {
    if (clickedPath.isEmpty()) return;
    QDesktopServices::openUrl(QUrl::fromLocalFile(clickedPath));
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
        MyTools::dispMessageOK(QStringLiteral("取得するセンサ・エントリを選択して下さい"),
                               kWarning);
        return;
    }
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
    EntryStart start;
    parseEntryStart(request.startText, start);
    const std::string target =
        csvFilePath(dayFolderPath(request.saveFolder, year, month, day), name.toStdString(), start,
                    request.filtered, request.numberInName ? row + 1 : 0);
    if (fileio::exists(target)) {
        const int answer = MyTools::askQuestion(
            QStringLiteral("保存先に同じ名前のファイルがあります．\n(%1)\n%2\n\n"
                           "Keep Both：既存のファイルを残し，新しいデータは番号を付けた名前で"
                           "保存します．\n"
                           "Replace：ダウンロードが完了した時点で既存のファイルを置き換えます"
                           "（中断した場合は置き換えません）．")
                .arg(qs(target), describeExisting(target)),
            kWarning,
            {QStringLiteral("Cancel"), QStringLiteral("Keep Both"), QStringLiteral("Replace")});
        if (answer == 1)
            request.existing = safeout::Existing::keepBoth;
        else if (answer == 2)
            request.existing = safeout::Existing::replace;
        else
            return;
        if (closePending) return;  // the window was closed while the question was open
    }

    if (vraxSensor) simpleDisconnectSensor();
    vraxSensor =
        std::make_unique<session::SensorSession>(name.toStdString(), address.toStdString());

    ProgressView* view = progressView;
    bool started = false;
    session::DownloadHooks hooks;
    hooks.transferStarted = [this, view, &request, &started] {
        started = true;
        view->mainLabel()->setText(QStringLiteral("データダウンロード中"));
        view->counterLabel()->setText(QStringLiteral("進捗：-- 行"));
        view->setNote({});
        view->bar()->setRange(0, int(std::max<int64_t>(request.expectedRecords, 0)));
        view->bar()->setValue(0);
        view->finishButton()->setEnabled(false);
        view->cancelButton()->setEnabled(true);
        view->cancelButton()->show();
        view->previewButton()->hide();
        view->showOver();
        refreshControls();
    };
    hooks.progress = [view](uint64_t records, int64_t expected) {
        view->counterLabel()->setText(QStringLiteral("進捗：　%1 行").arg(records));
        if (expected > 0)
            view->bar()->setValue(int(std::min<uint64_t>(records, uint64_t(expected))));
    };
    hooks.cancelRequested = [this] { return cancelRequested; };
    // Said on the overlay at once, while the transfer goes on.
    hooks.writeFailing = [view](const std::string& why) {
        view->setNote(QStringLiteral("ファイルへの書き込みに失敗しています（%1）").arg(qs(why)));
    };
    // A write error is raised inside data delivery: show it once the parse
    // has returned, from the event loop of the download's wait.
    hooks.storeMessage = [this](const std::string& message, const std::string& title) {
        QTimer::singleShot(0, this,
                           [m = qs(message), t = qs(title)] { MyTools::dispMessageOK(m, t); });
    };

    session::DownloadReport report;
    const session::Outcome o = vraxSensor->downloadEntry(request, hooks, report);
    simpleDisconnectSensor();
    upDateViews();

    if (!started) {
        showOutcome(o, name);
        return;
    }
    view->cancelButton()->setEnabled(false);
    view->cancelButton()->hide();
    view->finishButton()->setEnabled(true);
    // Only a whole entry is offered for preview.
    const bool complete = o.ok() && report.complete;
    lastDownloadPath = complete ? qs(report.filePath) : QString();
    if (complete) {
#ifdef VRAX_HAVE_PREVIEW
        view->previewButton()->show();
#endif
        view->mainLabel()->setText(QStringLiteral("データダウンロード終了"));
        view->setNote(
            report.filePath == report.targetPath
                ? QString()
                : QStringLiteral("別の名前で保存しました：%1").arg(fileNameOf(report.filePath)));
        return;
    }
    view->mainLabel()->setText(QStringLiteral("データダウンロード中断"));
    view->setNote(
        report.filePath.empty()
            ? QStringLiteral("ファイルは残していません")
            : QStringLiteral("受信したデータの保存先：%1").arg(fileNameOf(report.filePath)));
    MyTools::dispMessageOK(downloadFailureText(name, o, report), kError);
}

void MainController::cancelDownloadClicked() {
    cancelRequested = true;
    if (progressView) progressView->cancelButton()->setEnabled(false);
}

void MainController::dlFinButtonClicked() {
    progressView->finishButton()->setEnabled(false);
    progressView->hide();
    refreshControls();
}

// ---- preview ---------------------------------------------------------------

void MainController::previewButtonClicked() {
    if (!lastDownloadPath.isEmpty()) openPreview(lastDownloadPath);
}

void MainController::previewFileMenu() {
    auto* panel = new QFileDialog(thisWindow, QStringLiteral("Preview CSV File"), saveFolderPath,
                                  QStringLiteral("CSV files (*.csv);;All files (*)"));
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
        MyTools::dispMessageOK(why, kError);
        return false;
    }
    w->show();
    w->raise();
    return true;
#else
    MyTools::dispMessageOK(QStringLiteral("This build has no plot preview.\n") + path, kError);
    return false;
#endif
}

// ---- erase -----------------------------------------------------------------

void MainController::dataEraceButtonClicked() {
    if (selectedTitle() == kNoSensor) {
        MyTools::dispMessageOK(QStringLiteral("有効なセンサが登録/選択されていません"), kWarning);
        return;
    }
    const QString name = selectedTitle();
    QString address;
    int index = -1;
    getSensorDataByName(name, address, index);
    const int answer =
        MyTools::askQuestion(QStringLiteral("センサ内蔵メモリ内のデータを全て消去して良いですか？\n"
                                            "消去後したデータは永遠に失われます．"),
                             kWarning, {QStringLiteral("No"), QStringLiteral("Yes")});
    if (answer != 1) return;
    if (!openSensorAndStop(name, address)) return;
    const bool ok = eraseDataEntry(name, address);
    simpleDisconnectSensor();
    if (ok) connectButtonClicked();
}

bool MainController::eraseDataEntry(const QString& /*name*/, const QString& /*addr*/) {
    if (!vraxSensor) return false;
    const session::Outcome o = vraxSensor->eraseDataEntry();
    if (o.ok()) return true;
    MyTools::dispMessageOK(
        withName("%@センサのデータ全消去に失敗しました", qs(vraxSensor->sensor().name())), kError);
    return false;
}

// ---- window ----------------------------------------------------------------

bool MainController::windowShouldClose() {
    if (!running) return true;
    cancelRequested = true;
    closePending = true;
    return false;
}

void MainController::windowWillClose() {
    QCoreApplication::quit();
}
