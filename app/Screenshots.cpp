#include "app/Screenshots.h"

#include <QApplication>
#include <QBuffer>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

#include "app/MainWindow.h"
#include "app/MyTools.h"
#include "app/ProgressView.h"
#include "app/SensorsOverview.h"
#ifdef VRAX_HAVE_PREVIEW
#include "app/LiveView.h"
#include "app/MeasurePanel.h"
#include "preview/PreviewWindow.h"
#endif
#include "link/EventWait.h"
#include "link/platform/BluetoothPlatform.h"
#include "link_sim/SimulatedPlatform.h"
#include "store/SafeOutput.h"
#include "ui_MainWindow.h"

namespace {

// Encodes the picture in memory (format from the name's suffix) and writes
// it whole, renewing a picture of an earlier run.
bool save(QWidget* w, const QString& path) {
    QApplication::processEvents();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    const QByteArray format = QFileInfo(path).suffix().toLatin1();
    std::string error = "the picture could not be encoded";
    const bool ok = w->grab().save(&buffer, format.isEmpty() ? "PNG" : format.constData()) &&
                    safeout::writeWholeFile(QFile::encodeName(path).toStdString(),
                                            std::string(bytes.constData(), size_t(bytes.size())),
                                            safeout::Existing::replace, error);
    if (ok)
        std::printf("saved %s\n", qPrintable(path));
    else
        std::printf("could not save %s (%s)\n", qPrintable(path), error.c_str());
    return ok;
}

// Shows each message box without blocking, takes its picture, closes it.
class PicturePresenter : public MessagePresenter {
  public:
    explicit PicturePresenter(QString path) : path(std::move(path)) {}
    void showMessage(const QString& message, const QString& title) override {
        QMessageBox box(QMessageBox::NoIcon, title, message, QMessageBox::Ok,
                        QApplication::activeWindow());
        box.show();
        eventwait::runFor(0.2);
        if (!taken) taken = save(&box, path);
    }
    int ask(const QString&, const QString&, const QStringList&) override { return 0; }
    bool taken = false;

  private:
    QString path;
};

#ifdef VRAX_HAVE_PREVIEW
// The Measure panel with the overview's selected sensors live: a marker at
// 3 s and one at 5 s, the picture at 7 s.
bool liveSeveralShot(MeasurePanel* m, const QString& path) {
    m->show();
    measure::Config config;
    config[measure::Kind::ags] = {true, 5, 1, false};
    config[measure::Kind::batt] = {true, 0, 0, false};
    config.accRange = 2;
    m->setConfig(config);
    m->setWindowSeconds(10);
    m->resize(1240, 860);
    bool taken = false;
    QTimer firstMark, secondMark, shot;
    for (QTimer* t : {&firstMark, &secondMark, &shot}) t->setSingleShot(true);
    QLineEdit* label = m->live()->markerEdit();
    QObject::connect(&firstMark, &QTimer::timeout, [&] {
        m->markClicked();
        label->setText(QStringLiteral("jump"));
        m->markerLabelEntered();
    });
    QObject::connect(&secondMark, &QTimer::timeout, [&] {
        m->markClicked();
        label->setText(QStringLiteral("landing"));
        m->markerLabelEntered();
    });
    QObject::connect(&shot, &QTimer::timeout, [&] {
        if (m->isLive()) taken = save(m, path);
        m->stopClicked();
    });
    firstMark.start(3000);
    secondMark.start(5000);
    shot.start(7000);
    m->liveClicked();
    m->close();
    return taken;
}
#endif

}  // namespace

int takeScreenshots(MainWindow& window, const QString& folder) {
    QDir().mkpath(folder);
    Ui::MainWindow* ui = window.controls();
    MainController* c = window.controller();
    QTemporaryDir saveDir;
    c->setSaveFolder(saveDir.path());
    window.resize(720, 520);
    eventwait::runFor(0.3);

    // Bluetooth switched off: the sensor line says so. (The pictures are
    // taken of the demo, whose platform plays the state.)
    auto* demo = dynamic_cast<SimulatedPlatform*>(&BluetoothPlatform::current());
    if (demo) demo->setState(BluetoothState::adapterOff);
    c->refreshSensorList();
    bool ok = save(&window, QDir(folder).filePath(QStringLiteral("no-bluetooth.png")));
    if (demo) demo->setState(BluetoothState::ready);
    c->refreshSensorList();

    // A VRAX610 with its entry list.
    ui->sensorPB->setCurrentIndex(ui->sensorPB->findText(QStringLiteral("VRAX610-001")));
    ui->connectButton->click();
    ui->memListTV->selectRow(1);
    ok = save(&window, QDir(folder).filePath(QStringLiteral("entry-list.png"))) && ok;

    // The VRAX650, downloading its 16-bit AD entry.
    ui->sensorPB->setCurrentIndex(ui->sensorPB->findText(QStringLiteral("VRAX650-LAB-0016")));
    ui->connectButton->click();
    ui->memListTV->selectRow(0);

    // The overlay part-way through the download, which then runs to its end.
    ui->ad16FilterCB->setChecked(true);
    bool overlayTaken = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        const ProgressView* v = c->overlay();
        if (!overlayTaken && v->state() == ProgressView::State::transferring &&
            qint64(v->count()) > v->expected() / 3)
            overlayTaken = save(&window, QDir(folder).filePath(QStringLiteral("download.png")));
    });
    poll.start(50);
    ui->getDataButton->click();
    poll.stop();
    ok = ok && overlayTaken;
    // Its end, naming the file.
    ok = save(&window, QDir(folder).filePath(QStringLiteral("download-done.png"))) && ok;

#ifdef VRAX_HAVE_PREVIEW
    // Its preview, opened from the finished download.
    c->previewButtonClicked();
    const auto previews = window.findChildren<preview::PreviewWindow*>();
    if (previews.isEmpty()) {
        ok = false;
    } else {
        preview::PreviewWindow* p = previews.first();
        p->resize(1000, 760);
        eventwait::runFor(0.3);
        ok = save(p, QDir(folder).filePath(QStringLiteral("preview.png"))) && ok;
        p->close();
    }
#endif
    c->dlFinButtonClicked();
    ui->ad16FilterCB->setChecked(false);

#ifdef VRAX_HAVE_PREVIEW
    // The Measure panel watching the VRAX650 live, 7 s into the session.
    MeasurePanel* m = c->measurePanel();
    c->showMeasurePanel();
    measure::Config config;
    config[measure::Kind::ags] = {true, 5, 1, false};
    config[measure::Kind::geo] = {true, 50, 1, false};
    config[measure::Kind::press] = {true, 100, 1, false};
    config[measure::Kind::batt] = {true, 0, 0, false};
    config.accRange = 2;
    m->setConfig(config);
    m->setWindowSeconds(10);
    m->resize(1240, 860);
    bool liveTaken = false;
    QTimer liveShot;
    liveShot.setSingleShot(true);
    QObject::connect(&liveShot, &QTimer::timeout, [&] {
        if (m->isLive())
            liveTaken = save(m, QDir(folder).filePath(QStringLiteral("live-view.png")));
        m->stopClicked();
    });
    liveShot.start(7000);
    m->liveClicked();
    m->close();
    ok = ok && liveTaken;
#endif

    // The sensors overview: read, labelled, one recording scheduled, one
    // busy elsewhere and one out of reach (added for the picture).
    if (demo) {
        auto off = std::make_shared<VirtualSensor>(VirtualModel::VRAX610);
        off->faults.noSerialPortService = true;
        demo->addDevice("VRAX610-003", "00:1B:DC:61:00:03", off);
        demo->setState(BluetoothState::ready);
    }
    SensorsOverview* overview = window.overview();
    window.pages()->setCurrentWidget(overview);
    window.resize(1366, 420);
    overview->reloadSensors();
    overview->select({});
    overview->refresh();
    const QString a610 = QStringLiteral("00:1B:DC:61:00:01");
    const int r650 = overview->model()->rowOf(QStringLiteral("00:1B:DC:65:00:16"));
    overview->setLabel(a610, QStringLiteral("left ankle"));
    if (r650 >= 0) {
        const QString a650 = overview->model()->row(r650).address;
        overview->setLabel(a650, QStringLiteral("right wrist"));
        overview->select({a650});
        overview->setStartAt(QDateTime::currentDateTime().addSecs(600));
        overview->startRecording();
    }
    overview->select({a610});
    eventwait::runFor(0.2);
    ok = save(&window, QDir(folder).filePath(QStringLiteral("overview.png"))) && ok;
    if (r650 >= 0) {
        overview->select({overview->model()->row(r650).address});
        overview->stop();
    }
#ifdef VRAX_HAVE_PREVIEW
    // Three sensors live at once, chosen in the overview, with two markers.
    if (demo) {
        demo->addDevice("VRAX610-004", "00:1B:DC:61:00:04",
                        std::make_shared<VirtualSensor>(VirtualModel::VRAX610));
        overview->reloadSensors();
        const QString a004 = QStringLiteral("00:1B:DC:61:00:04");
        overview->setLabel(a004, QStringLiteral("pelvis"));
        QStringList three{a610, a004};
        if (r650 >= 0) three << overview->model()->row(r650).address;
        overview->select(three);
        ok = liveSeveralShot(m, QDir(folder).filePath(QStringLiteral("live-several.png"))) && ok;
        overview->select({});
    }
#endif
    window.pages()->setCurrentIndex(0);
    window.resize(720, 520);

    // A message panel: the sensor that is busy elsewhere.
    PicturePresenter pictures(QDir(folder).filePath(QStringLiteral("message.png")));
    MyTools::setPresenter(&pictures);
    ui->sensorPB->setCurrentIndex(ui->sensorPB->findText(QStringLiteral("VRAX610-002")));
    ui->connectButton->click();
    MyTools::setPresenter(nullptr);
    ok = ok && pictures.taken;
    return ok ? 0 : 1;
}
