// The main window driven through its real widgets on the offscreen platform, against
// virtual sensors. File names, incomplete files, record counts and the link's bounds
// are tested in their own layers; here what the window adds to them.
#include <QApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QProcess>
#include <QProgressBar>
#include <QRegularExpression>
#include <QTextDocument>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <fstream>

#include "AppFixture.h"
#include "app/ProgressView.h"
#include "link/EventWait.h"
#include "preview/PreviewWindow.h"
#include "protocol/CommandTable.h"
#include "support/FileSizeLimit.h"

namespace {

// The first entry of VRAX610-001 as a file name, without its ending.
const std::string kStem = "/memdata_VRAX610-001_2014-03-05_070809.045";

// The download overlay's parts, found by their object names.
struct Overlay {
    ProgressView* view;
    template <class W = QLabel>
    W* part(const char* name) const {
        W* w = view->findChild<W*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    bool isVisible() const { return view->isVisible(); }
    QString main() const { return part("progressMessageMainLabel")->text(); }
    QString counter() const { return part("progressMessageLabel")->text(); }
    QLabel* note() const { return part("noteMessageLabel"); }
    int bar() const { return part<QProgressBar>("progressBar")->value(); }
    QPushButton* button(const char* name) const { return part<QPushButton>(name); }
    void finish() const { button("dlFinButton")->click(); }
};

class WindowTest : public WindowFixture {
  protected:
    void connectTo(const QString& name) {
        choose(name);
        ui->connectButton->click();
    }
    int rows() const { return ui->memListTV->model()->rowCount(); }
    std::string day() const {
        return folder.path + "/memdata_" + QDate::currentDate().toString("yyyyMMdd").toStdString();
    }
    QStringList items() const {
        QStringList names;
        for (int i = 0; i < ui->sensorPB->count(); ++i) names << ui->sensorPB->itemText(i);
        return names;
    }
    // Runs `f` every `ms` milliseconds while the timer lives.
    std::unique_ptr<QTimer> every(int ms, std::function<void()> f) {
        auto t = std::make_unique<QTimer>();
        QObject::connect(t.get(), &QTimer::timeout, t.get(), f);
        t->start(ms);
        return t;
    }
    // Sends a key press and release to `target`, as the keyboard would.
    static void press(QWidget* target, Qt::Key key) {
        for (const QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
            QKeyEvent event(type, key, Qt::NoModifier);
            QApplication::sendEvent(target, &event);
        }
    }
    // Lets change notifications reach the window.
    static void settle() { eventwait::runFor(0.05); }
};

TEST_F(WindowTest, TheSensorListFollowsBluetoothAndPairingAndSaysWhyItIsEmpty) {
    platform.addDevice("Lab Headset", "00:1B:DC:AA:00:03", nullptr);
    openWindow();
    EXPECT_EQ(items(), QStringList{"---"});
    ui->connectButton->click();
    ASSERT_EQ(presenter.messages.size(), 1u);
    EXPECT_EQ(presenter.last(), "有効なセンサが登録/選択されていません");
    EXPECT_EQ(presenter.messages[0].title, "Warning");

    // The sensor line for each state of Bluetooth (listed: a paired list is given).
    using enum BluetoothState;
    const std::tuple<BluetoothState, bool, const char*> states[] = {
        {ready, true,
         "ペアリング済みの VRAX610 / VRAX650 センサがありません．システムの Bluetooth "
         "設定でセンサをペアリングしてください"},
        {noSystemBus, true,
         "システムの D-Bus に接続できないため，Bluetooth のセンサを一覧できません"},
        {noBlueZ, true, "Bluetooth サービス（BlueZ）が動作していないため，センサを一覧できません"},
        {ready, false, "Bluetooth サービス（BlueZ）が動作していないため，センサを一覧できません"},
        {noAdapter, true, "Bluetooth アダプタが見つかりません"},
        {adapterBlocked, true,
         "Bluetooth アダプタが rfkill でブロックされています．ブロックを解除してください"},
        {adapterOff, true,
         "Bluetooth がオフになっています．センサに接続するには Bluetooth をオンにしてください"},
    };
    for (const auto& [state, listed, line] : states) {
        platform.setPairedListAvailable(listed);
        platform.setState(state);
        settle();
        EXPECT_EQ(ui->sensorStateLabel->text(), QString::fromUtf8(line)) << int(state);
    }

    // Off with a paired sensor: it is listed, and a connect says Bluetooth is
    // off without touching it.
    VirtualSensor* s = addSensor("VRAX610-001", "00:1B:DC:61:00:01", {10});
    platform.setState(BluetoothState::adapterOff);
    settle();
    connectTo("VRAX610-001");
    EXPECT_EQ(presenter.last(),
              "Bluetooth がオフになっているため，センサに接続できません．\nBluetooth "
              "をオンにしてから，もう一度操作してください");
    EXPECT_TRUE(s->receivedFrames().empty());

    // On again, the pop-up follows pairing changes and keeps the chosen sensor.
    platform.setState(BluetoothState::ready);
    settle();
    ui->connectButton->click();
    platform.addDevice("VRAX650-LAB-0016", "00:1B:DC:65:00:16",
                       std::make_shared<VirtualSensor>(VirtualModel::VRAX650));
    platform.setState(BluetoothState::ready);  // the platform's notification
    settle();
    EXPECT_EQ(items(), QStringList({"VRAX610-001", "VRAX650-LAB-0016"}));
    EXPECT_EQ(ui->sensorPB->currentText(), "VRAX610-001");
    EXPECT_EQ(rows(), 1);
    // The chosen sensor unpaired: its list goes with it.
    platform.removeDevice("00:1B:DC:61:00:01");
    settle();
    EXPECT_EQ(items(), QStringList{"VRAX650-LAB-0016"});
    EXPECT_EQ(rows(), 0);
    // Refresh finds what the platform did not announce.
    platform.addDevice("VRAX610-004", "00:1B:DC:61:00:04", std::make_shared<VirtualSensor>());
    ui->refreshButton->click();
    EXPECT_EQ(items().size(), 2);
}

TEST_F(WindowTest, ConnectAndEraseSayWhichStepFailedAndEraseAsksFirst) {
    VirtualSensor* good = addSensor("VRAX610-001", "00:1B:DC:61:00:01", {300, 200, 100});
    addSensor("VRAX610-0NG", "00:1B:DC:61:00:03")->faults.ngCommands[commandCode("stop")] = -1;
    addSensor("VRAX610-BSY", "00:1B:DC:61:00:04")->faults.busy = true;
    addSensor("VRAX610-MUT", "00:1B:DC:61:00:05")->faults.commandDelayMs[commandCode("devinfo")] =
        60000;
    openWindow();

    // A list that breaks off at the third entry keeps the first two.
    const uint8_t entryCode = commandCode("getmementry");
    good->faults.commandDelayMs[entryCode] = 100;
    auto poll = every(20, [&] {
        const std::vector<uint8_t> codes = good->receivedCodes();
        if (std::count(codes.begin(), codes.end(), entryCode) == 2)
            good->faults.ngCommands[entryCode] = -1;
    });
    connectTo("VRAX610-001");
    poll.reset();
    ASSERT_EQ(presenter.messages.size(), 1u);
    EXPECT_EQ(presenter.last(), "VRAX610-001センサのデータ取得に失敗しました");
    ASSERT_EQ(rows(), 2);
    EXPECT_EQ(ui->memListTV->model()->index(1, 1).data().toString(), "200");
    EXPECT_FALSE(ui->getDataButton->isEnabled());

    // Picking another sensor empties the list without a connection.
    size_t sent = good->receivedFrames().size();
    choose("VRAX610-0NG");
    EXPECT_EQ(rows(), 0);
    EXPECT_EQ(good->receivedFrames().size(), sent);

    const std::pair<const char*, const char*> failures[] = {
        {"VRAX610-0NG", "VRAX610-0NGセンサの初期設定に失敗しました"},
        {"VRAX610-BSY", "VRAX610-BSYは別の機器で使用中です"},
        {"VRAX610-MUT", "VRAX610-MUTのファーム確認に失敗しました"},
    };
    for (const auto& [name, text] : failures) {
        presenter.messages.clear();
        connectTo(name);
        ASSERT_EQ(presenter.messages.size(), 1u) << name;
        EXPECT_EQ(presenter.last(), QString::fromUtf8(text));
        EXPECT_EQ(presenter.messages[0].title, "Error");
        EXPECT_FALSE(ui->getDataButton->isEnabled());
    }

    good->faults = {};
    presenter.messages.clear();
    connectTo("VRAX610-001");
    EXPECT_TRUE(presenter.messages.empty()) << presenter.last().toStdString();
    ASSERT_EQ(rows(), 3);
    EXPECT_EQ(ui->memListTV->model()->index(0, 0).data().toString(), "2014/03/05 07:08:09.045");
    EXPECT_EQ(ui->memDetailTF->text(), QString("エントリ数:3 空きエントリ：%1 空きレコード数:%2")
                                           .arg(good->maxEntries - 3)
                                           .arg(good->memoryRecords - 600));
    EXPECT_TRUE(ui->deviceInfoLabel->text().contains("3.95 V"));

    // Erase asks first. On the real question box Return and Escape answer No;
    // a box the key does not close is answered with its last button.
    sent = good->receivedFrames().size();
    MyTools::setPresenter(nullptr);
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
        QStringList seen;  // the text and default button of each box
        auto keys = every(20, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) return;
            seen << box->text()
                 << (box->defaultButton() ? box->defaultButton()->text() : QString());
            press(box->focusWidget() ? box->focusWidget() : box, key);
            if (box->isVisible()) box->buttons().last()->click();
        });
        ui->eraseDataButton->click();
        EXPECT_EQ(seen, QStringList({"センサ内蔵メモリ内のデータを全て消去して良いですか？\n消去後"
                                     "したデータは永遠に失われます．",
                                     "No"}));
        EXPECT_EQ(good->receivedFrames().size(), sent);
        EXPECT_EQ(rows(), 3);
    }
    MyTools::setPresenter(&presenter);
    presenter.answer = 1;  // "Yes": erased and listed again
    ui->eraseDataButton->click();
    EXPECT_TRUE(presenter.messages.empty()) << presenter.last().toStdString();
    EXPECT_TRUE(good->entries.empty());
    EXPECT_EQ(rows(), 0);

    good->entries.push_back(VirtualEntry::generated(3, 5));
    connectTo("VRAX610-001");
    good->faults.ngCommands[commandCode("clearmem")] = -1;
    ui->eraseDataButton->click();
    EXPECT_EQ(presenter.last(), "VRAX610-001センサのデータ全消去に失敗しました");
    EXPECT_EQ(good->entries.size(), 1u);
    EXPECT_TRUE(eventwait::runUntil([&] { return platform.openLinks() == 0; }, 1.0));
}

TEST_F(WindowTest, ConnectingKeepsTheWindowResponsiveAndCanBeCancelled) {
    VirtualSensor* s = addSensor("VRAX610-001", "00:1B:DC:61:00:01", {100});
    s->faults.connectDelayMs = 3000;  // a slow page, as of a sensor out of range
    openWindow();
    choose("VRAX610-001");

    // The longest gap between ticks of a 10 ms timer that begin while the connect waits.
    QElapsedTimer clock;
    clock.start();
    qint64 lastTick = -1, longest = 0, began = -1, waited = 0;
    bool cancelOffered = false;
    auto ticks = every(10, [&] {
        const qint64 now = clock.elapsed();
        if (lastTick >= 0) longest = std::max(longest, now - lastTick);
        lastTick = c->connecting() ? now : -1;
        if (!c->connecting()) return;
        waited = now - (began < 0 ? (began = now) : began);
        cancelOffered = cancelOffered || (ui->connectButton->isEnabled() &&
                                          ui->connectButton->text().contains("Cancel") &&
                                          ui->sensorStateLabel->text().contains("接続しています"));
    });
    ui->connectButton->click();
    ticks.reset();
    EXPECT_EQ(rows(), 1);
    EXPECT_GE(waited, 2500);   // the connect really waited for its page
    EXPECT_LT(longest, 1000);  // the loop ran all along: no stall near the 3 s connect
    EXPECT_TRUE(cancelOffered);

    // Cancel pressed half a second into the connect of a download, then of a connect.
    s->faults.connectDelayMs = 8000;
    ui->memListTV->selectRow(0);
    for (QPushButton* action : {ui->getDataButton, ui->connectButton}) {
        SCOPED_TRACE(action->objectName().toStdString());
        QElapsedTimer since, pressed;
        auto poll = every(20, [&] {
            if (!c->connecting() || pressed.isValid()) return;
            if (!since.isValid()) since.start();
            if (since.elapsed() < 500) return;
            ui->connectButton->click();
            pressed.start();
        });
        action->click();
        ASSERT_TRUE(pressed.isValid()) << "the connect ended before Cancel";
        EXPECT_LT(pressed.elapsed(), 4000);  // well before the 8 s connect would end
        EXPECT_TRUE(presenter.messages.empty()) << presenter.last().toStdString();
        EXPECT_EQ(ui->sensorStateLabel->text(), "VRAX610-001への接続を中止しました");
        EXPECT_EQ(ui->connectButton->text(), "&Connect");
        EXPECT_FALSE(c->busy());
        EXPECT_FALSE(c->overlay()->isVisible());
    }
    EXPECT_FALSE(std::filesystem::exists(day()));
    EXPECT_EQ(rows(), 0);
    EXPECT_TRUE(eventwait::runUntil([&] { return platform.openLinks() == 0; }, 20.0));
}

TEST_F(WindowTest, ADownloadCoversTheWindowCountsWhatArrivedAndOffersItsPreview) {
    VirtualSensor* s =
        addSensor("VRAX650-LAB-0016", "00:1B:DC:65:00:16", {3000, 20000}, VirtualModel::VRAX650);
    s->entries[1].ad16Gain = {1, 2, 10, 15};
    s->faults.framesPerSecond = 40000;
    openWindow();
    choose("VRAX650-LAB-0016");
    press(ui->sensorPB, Qt::Key_Return);  // connects
    ASSERT_EQ(rows(), 2);
    ui->getDataButton->click();  // no row chosen
    EXPECT_EQ(presenter.last(), "取得するセンサ・エントリを選択して下さい");
    presenter.messages.clear();
    ui->memListTV->setFocus();
    ui->memListTV->selectRow(1);
    ui->ad16FilterCB->setChecked(true);
    const Overlay v{c->overlay()};
    const QRegularExpression counter(QStringLiteral("^進捗：　(\\d+) 行$"));
    std::vector<uint64_t> shown;
    int aheadOfArrival = 0;
    bool covered = false, previewOfferedEarly = false, listChanged = false;
    auto poll = every(20, [&] {
        if (!v.isVisible()) return;
        previewOfferedEarly = previewOfferedEarly || v.button("previewButton")->isVisible();
        covered =
            covered || (!ui->centralwidget->isEnabled() && !v.button("dlFinButton")->isEnabled());
        // Clicks that reach the window meanwhile start nothing.
        ui->connectButton->click();
        ui->eraseDataButton->click();
        if (c->overlay()->state() != ProgressView::State::transferring) return;
        if (v.bar() > 2000 && presenter.questions.empty()) {
            ui->actionQuit->trigger();  // Ctrl+Q asks; "Cancel" lets the download go on
            // A sensor paired meanwhile joins the list at the end.
            platform.addDevice("VRAX610-003", "00:1B:DC:61:00:03",
                               std::make_shared<VirtualSensor>());
            platform.setState(BluetoothState::ready);
        }
        listChanged = listChanged || ui->sensorPB->count() != 1;
        if (v.counter() == "進捗：-- 行") return;  // no count yet
        const QRegularExpressionMatch m = counter.match(v.counter());
        ASSERT_TRUE(m.hasMatch()) << v.counter().toStdString();
        const uint64_t n = m.captured(1).toULongLong();
        if (n > s->framesReplayed()) ++aheadOfArrival;
        shown.push_back(n);
    });
    press(ui->memListTV, Qt::Key_Return);  // downloads the chosen entry
    poll.reset();
    EXPECT_TRUE(presenter.messages.empty()) << presenter.last().toStdString();
    ASSERT_EQ(presenter.questions.size(), 1u);
    EXPECT_EQ(presenter.questions[0].buttons, QStringList({"Cancel", "Stop and Close"}));
    EXPECT_TRUE(covered);
    EXPECT_FALSE(listChanged);
    EXPECT_EQ(aheadOfArrival, 0);
    EXPECT_TRUE(
        std::any_of(shown.begin(), shown.end(), [](uint64_t n) { return n > 0 && n < 20000; }));
    EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end()));
    EXPECT_EQ(v.main(), "データダウンロード終了");
    EXPECT_EQ(v.counter(), "進捗：　20000 行");
    const std::string file = day() + "/memdata_VRAX650-LAB-0016_2014-03-05_070809.046-FILT.csv";
    EXPECT_EQ(linesIn(file), 20000);
    EXPECT_NE(readFile(file).find("ead12AF,"), std::string::npos);  // the filtered values
    EXPECT_EQ(v.part("fileLabel")->toolTip(), QString::fromStdString(file));
    v.button("openFolderButton")->click();
    EXPECT_EQ(opened, QStringList{QString::fromStdString(day())});

    // It offers its preview of the file.
    EXPECT_FALSE(previewOfferedEarly);
    v.button("previewButton")->click();
    const auto previews = window->findChildren<preview::PreviewWindow*>();
    ASSERT_EQ(previews.size(), 1);
    EXPECT_EQ(previews[0]->data().records, 20000u);
    previews[0]->close();

    // Escape closes the overlay at its end, from where the focus is.
    QWidget* focus = QApplication::focusWidget();
    ASSERT_TRUE(focus && c->overlay()->isAncestorOf(focus));
    press(focus, Qt::Key_Escape);
    EXPECT_FALSE(v.isVisible());
    EXPECT_TRUE(ui->getDataButton->isEnabled());
    EXPECT_EQ(ui->sensorPB->count(), 2);
    EXPECT_EQ(ui->sensorPB->currentText(), "VRAX650-LAB-0016");

    // Nothing running: the window closes without a question.
    ui->actionQuit->trigger();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(presenter.questions.size(), 1u);
}

// One entry downloaded again and again: the question about the file already
// there, an entry that starts at the same time, and each way a download ends early.
TEST_F(WindowTest, TheFileOfADownloadIsAskedAboutAndKeptApartWhenItEndsEarly) {
    VirtualSensor* s = addSensor("VRAX610-001", "00:1B:DC:61:00:01", {50000, 300});
    s->entries[1].setStart(2014, 3, 5, 7, 8, 9, 45);  // the same start as entry 1
    openWindow();
    connectTo("VRAX610-001");
    const Overlay v{c->overlay()};
    const std::string file = day() + kStem + "-e1.csv";
    const auto incomplete = [&](const char* n) {
        return day() + kStem + "-e1-incomplete" + n + ".csv";
    };
    ui->memListTV->selectRow(0);
    ui->getDataButton->click();  // nothing there yet: no question
    const std::string whole = readFile(file);
    ASSERT_EQ(std::count(whole.begin(), whole.end(), '\n'), 50000);
    v.finish();

    // Cancel (the presenter answers with the first button): nothing is sent.
    const size_t framesBefore = s->receivedFrames().size();
    ui->getDataButton->click();
    ASSERT_EQ(presenter.questions.size(), 1u);
    const Message& q = presenter.questions[0];
    EXPECT_EQ(q.buttons, QStringList({"Cancel", "Keep Both", "Replace"}));
    EXPECT_TRUE(q.text.contains(QString::fromStdString(file))) << q.text.toStdString();
    EXPECT_EQ(s->receivedFrames().size(), framesBefore);

    // Keep Both: the new download beside the old file, and the overlay says where.
    presenter.answer = 1;
    ui->getDataButton->click();
    EXPECT_TRUE(v.note()->text().contains(QString::fromStdString(kStem.substr(1) + "-e1-2.csv")));
    EXPECT_TRUE(std::filesystem::exists(day() + kStem + "-e1-2.csv"));
    v.finish();

    // Replace: the old file gives way to the complete download.
    std::ofstream(file, std::ios::trunc) << "ags,0,1,2,3,4,5,6\r\n";
    presenter.answer = 2;
    ui->getDataButton->click();
    ASSERT_EQ(presenter.questions.size(), 3u);
    EXPECT_TRUE(presenter.questions[2].text.contains("19 バイト"));
    EXPECT_EQ(readFile(file), whole);
    v.finish();

    // The entry that starts at the same time has a file of its own: no question.
    ui->memListTV->selectRow(1);
    ui->getDataButton->click();
    EXPECT_EQ(presenter.questions.size(), 3u);
    EXPECT_EQ(linesIn(day() + kStem + "-e2.csv"), 300);
    v.finish();

    // From here on each download replaces the complete file, and ends early.
    // The user cancels: no error, the overlay names the file kept.
    ui->memListTV->selectRow(0);
    s->faults.framesPerSecond = 20000;
    auto poll = every(20, [&] {
        if (v.isVisible() && v.bar() > 1000) v.button("cancelDownloadButton")->click();
    });
    ui->getDataButton->click();
    poll.reset();
    EXPECT_TRUE(presenter.messages.empty()) << presenter.last().toStdString();
    const long lines = linesIn(incomplete(""));
    EXPECT_GT(lines, 1000);
    EXPECT_LT(lines, 50000);
    const QString note = v.note()->text();
    EXPECT_TRUE(note.contains(QString("%1 / 50000 レコード").arg(lines))) << note.toStdString();
    EXPECT_TRUE(note.contains(QString::fromStdString(kStem.substr(1) + "-e1-incomplete.csv")));
    EXPECT_EQ(v.main(), "データダウンロード中断");
    EXPECT_FALSE(v.button("previewButton")->isVisible());
    v.finish();

    // Frames that never arrive: the end comes with fewer records than the entry holds.
    s->faults.framesPerSecond = 0;
    s->faults.dropEveryNth = 1000;
    ui->getDataButton->click();
    ASSERT_EQ(presenter.messages.size(), 1u);
    EXPECT_EQ(presenter.messages[0].title, "Error");
    EXPECT_TRUE(presenter.last().contains("49950 / 50000 レコード"));
    EXPECT_TRUE(presenter.last().contains(QString::fromStdString(incomplete("-2"))));
    v.finish();
    s->faults.dropEveryNth = 0;

    // The file cannot grow past a size limit, as on a full disk: the overlay
    // says so while the transfer goes on, and the counter gives what the file holds.
    presenter.messages.clear();
    s->faults.framesPerSecond = 40000;
    QString noteWhileRunning;
    poll = every(20, [&] {
        if (v.isVisible() && v.button("cancelDownloadButton")->isVisible() && v.note()->isVisible())
            noteWhileRunning = v.note()->text();
    });
    {
        const FileSizeLimit full(whole.size() / 3);
        ui->getDataButton->click();
    }
    poll.reset();
    EXPECT_TRUE(noteWhileRunning.contains("書き込みに失敗")) << noteWhileRunning.toStdString();
    EXPECT_TRUE(noteWhileRunning.contains("File too large")) << noteWhileRunning.toStdString();
    ASSERT_EQ(presenter.messages.size(), 2u);
    EXPECT_EQ(presenter.messages[0].text, "データ書き込み中にエラーが発生しました．\n");
    EXPECT_TRUE(presenter.last().contains(QString::fromStdString(incomplete("-3"))));
    EXPECT_EQ(v.counter(),
              QString("ファイル内：%1 行（受信：50000 レコード）").arg(linesIn(incomplete("-3"))));
    v.finish();

    // Closing the window meanwhile asks; "Stop and Close" ends the download,
    // keeps what arrived apart, then closes.
    presenter.messages.clear();
    s->faults.framesPerSecond = 20000;
    bool closeRefused = false;
    poll = every(20, [&] {
        if (closeRefused || !v.isVisible() || v.bar() <= 2000) return;
        presenter.answer = 1;  // "Stop and Close"
        closeRefused = !window->close();
    });
    ui->getDataButton->click();
    ASSERT_TRUE(closeRefused);
    EXPECT_EQ(presenter.questions.back().buttons, QStringList({"Cancel", "Stop and Close"}));
    EXPECT_TRUE(presenter.messages.empty()) << presenter.last().toStdString();
    EXPECT_TRUE(eventwait::runUntil([&] { return !window->isVisible(); }, 2.0));
    EXPECT_TRUE(eventwait::runUntil([&] { return platform.openLinks() == 0; }, 1.0));
    EXPECT_GT(linesIn(incomplete("-4")), 2000);
}

TEST_F(WindowTest, TheSavePathFitsAnyWidthAndEachFolderOpens) {
    openWindow();
    QLabel* line = ui->pathCtr;
    window->resize(640, 520);
    const QString path = folder.q() + "/a b#c%d/x";
    c->setSaveFolder(path);
    settle();
    const int minimumWidth = window->minimumSizeHint().width();
    // One link per folder, from the root on, each to its own folder.
    QStringList links, folders{"/"};
    QString sofar;
    for (const QString& part : path.split('/', Qt::SkipEmptyParts))
        folders << (sofar += "/" + part);
    const QRegularExpression href(QStringLiteral("href=\"([^\"]*)\""));
    for (auto it = href.globalMatch(line->text()); it.hasNext();)
        links << QUrl(it.next().captured(1)).toLocalFile();
    EXPECT_EQ(links, folders);
    Q_EMIT line->linkActivated(QUrl::fromLocalFile(folder.q() + "/a b#c%d").toString());
    EXPECT_EQ(opened, QStringList{folder.q() + "/a b#c%d"});

    // A double-click opens the whole folder; with no launcher, said so.
    openerWorks = false;
    eventwait::runFor(QApplication::doubleClickInterval() / 1000.0 + 0.05);
    const QPointF end(line->width() - 2, line->height() / 2);
    QMouseEvent dbl(QEvent::MouseButtonDblClick, end, line->mapToGlobal(end), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(line, &dbl);
    EXPECT_EQ(opened, (QStringList{folder.q() + "/a b#c%d", path}));
    ASSERT_EQ(presenter.messages.size(), 1u);
    EXPECT_TRUE(presenter.last().startsWith("フォルダを開けませんでした"))
        << presenter.last().toStdString();

    // A very long path does not widen the window and is cut to fit, from the left.
    QString longPath = "/home/user";
    for (int i = 0; longPath.size() + 11 <= 282 - 12; ++i)
        longPath += QString("/folder-%1").arg(i, 3, 10, QChar('0'));
    const QString innermost = "innermost" + QString(282 - longPath.size() - 10, 'x');
    longPath += "/" + innermost;
    ASSERT_EQ(longPath.size(), 282);
    c->setSaveFolder(longPath);
    settle();
    EXPECT_EQ(window->minimumSizeHint().width(), minimumWidth);
    window->resize(800, 520);
    settle();
    QTextDocument shown;  // the text the line shows
    shown.setDefaultFont(line->font());
    shown.setDocumentMargin(0);
    shown.setHtml(line->text());
    EXPECT_TRUE(shown.toPlainText().startsWith("…/")) << shown.toPlainText().toStdString();
    EXPECT_TRUE(shown.toPlainText().endsWith("/" + innermost));
    EXPECT_LE(shown.idealWidth(), line->contentsRect().width());
    EXPECT_EQ(line->toolTip(), longPath);
}

// Run in a child process only (by the next test): the real panels, and what an
// answer from each does.
TEST_F(WindowTest, FolderPanelChild) {
    if (qEnvironmentVariableIsEmpty("VRAX_PANEL_CHILD")) GTEST_SKIP() << "run by the next test";
    openWindow();
    TempFolder other;
    QTimer::singleShot(0, [&] {
        auto* panel = window->findChild<QFileDialog*>("saveFolderPanel");
        ASSERT_NE(panel, nullptr);
        EXPECT_EQ(panel->fileMode(), QFileDialog::Directory);
        panel->setDirectory(other.q());
        panel->selectFile(other.q());
        static_cast<QDialog*>(panel)->accept();
    });
    ui->referSaveDirButton->click();
    EXPECT_TRUE(eventwait::runUntil([&] { return c->saveFolder() == other.q(); }, 2.0));
    c->openPanelDidEnd({folder.q()}, QDialog::Rejected);
    c->openPanelDidEnd({"/proc"}, QDialog::Accepted);
    EXPECT_EQ(presenter.last(), "選択したフォルダは書き込めません．");
    EXPECT_EQ(c->saveFolder(), other.q());

    ui->actionPreviewCsv->trigger();
    auto* panel = window->findChild<QFileDialog*>("previewPanel");
    ASSERT_NE(panel, nullptr);
    EXPECT_EQ(panel->windowModality(), Qt::WindowModal);
    panel->reject();
    presenter.messages.clear();
    c->previewPanelDidEnd({folder.q() + "/none.csv"}, QDialog::Accepted);
    EXPECT_EQ(presenter.messages.at(0).title, "Error");
    std::ofstream(folder.path + "/a.csv") << "ags,0,1,2,3,4,5,6\r\nags,10,2,3,4,5,6,7\r\n";
    c->previewPanelDidEnd({folder.q() + "/a.csv"}, QDialog::Accepted);
    const auto previews = window->findChildren<preview::PreviewWindow*>();
    ASSERT_EQ(previews.size(), 1);
    EXPECT_EQ(previews[0]->data().records, 2u);
    window.reset();  // the panels go with it, as they would at the end
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// The program's options need no display, and its folder panels (run by the child
// test above) write no settings under a fresh home.
TEST(WindowProgram, RunsWithoutADisplayAndWritesNoSettings) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) env.remove(name);
    for (const auto& [option, output] :
         {std::pair{"--help", "^Usage: "},
          std::pair{"--version", "^vrax-data-controller \\d+\\.\\d+\\.\\d+\\n$"}}) {
        QProcess program;
        program.setProcessEnvironment(env);
        program.start(VRAX_DATA_CONTROLLER_PATH, {option});
        ASSERT_TRUE(program.waitForFinished(20000)) << option;
        EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();
        const QString out = QString::fromUtf8(program.readAllStandardOutput());
        EXPECT_TRUE(QRegularExpression(output).match(out).hasMatch()) << out.toStdString();
    }

    TempFolder home;
    env.insert("HOME", home.q());
    env.insert("XDG_CONFIG_HOME", home.q() + "/config");
    env.insert("VRAX_PANEL_CHILD", "1");
    env.insert("QT_QPA_PLATFORM", "offscreen");
    QProcess child;
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(),
                {"--gtest_filter=WindowTest.FolderPanelChild"});
    ASSERT_TRUE(child.waitForFinished(60000));
    const QByteArray out = child.readAllStandardOutput();
    EXPECT_EQ(child.exitCode(), 0) << out.toStdString();
    EXPECT_TRUE(out.contains("[  PASSED  ] 1 test")) << out.toStdString();
    for (const auto& e : std::filesystem::recursive_directory_iterator(home.path))
        EXPECT_TRUE(e.is_directory()) << e.path();
}

}  // namespace
