// The main window driven through its real widgets on the offscreen platform,
// against virtual sensors over the simulated platform.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QMouseEvent>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableView>
#include <QTextDocument>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <csignal>
#include <ctime>
#include <fstream>
#include <set>

#include <sys/resource.h>

#include "AppFixture.h"
#include "app/MainWindow.h"
#include "app/ProgressView.h"
#include "link/EventWait.h"
#include "link_sim/SimulatedPlatform.h"
#include "preview/PreviewWindow.h"
#include "protocol/CommandTable.h"
#include "support/Files.h"
#include "ui_MainWindow.h"

namespace {

long lineCount(const std::string& text) {
    return long(std::count(text.begin(), text.end(), '\n'));
}

// Names of the entries of a folder.
std::set<std::string> namesIn(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        names.insert(e.path().filename().string());
    return names;
}

// The download overlay's parts, found by their object names.
struct Overlay {
    ProgressView* view;
    template <class W>
    W* part(const char* name) const {
        W* w = view->findChild<W*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    bool isVisible() const { return view->isVisible(); }
    QLabel* mainLabel() const { return part<QLabel>("progressMessageMainLabel"); }
    QLabel* counterLabel() const { return part<QLabel>("progressMessageLabel"); }
    QLabel* noteLabel() const { return part<QLabel>("noteMessageLabel"); }
    QProgressBar* bar() const { return part<QProgressBar>("progressBar"); }
    QPushButton* finishButton() const { return part<QPushButton>("dlFinButton"); }
    QPushButton* cancelButton() const { return part<QPushButton>("cancelDownloadButton"); }
    QPushButton* previewButton() const { return part<QPushButton>("previewButton"); }
};

std::string today() {
    const std::time_t now = std::time(nullptr);
    std::tm t{};
    localtime_r(&now, &t);
    char text[16];
    std::strftime(text, sizeof text, "%Y%m%d", &t);
    return text;
}

class WindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        BluetoothPlatform::setCurrent(&platform);
        MyTools::setPresenter(&presenter);
        // No test starts a file manager: folders opened are recorded.
        MyTools::setUrlOpener([this](const QUrl& url) {
            opened << url.toLocalFile();
            return openerWorks;
        });
    }
    void TearDown() override {
        window.reset();
        MyTools::setUrlOpener(nullptr);
        MyTools::setPresenter(nullptr);
        BluetoothPlatform::setCurrent(nullptr);
    }

    VirtualSensor* addSensor(const std::string& name, const std::string& address,
                             std::vector<uint32_t> entrySizes = {},
                             VirtualModel model = VirtualModel::VRAX610) {
        auto s = std::make_shared<VirtualSensor>(model);
        for (size_t i = 0; i < entrySizes.size(); ++i) {
            s->entries.push_back(VirtualEntry::generated(
                i + 1, entrySizes[i],
                model == VirtualModel::VRAX650 ? kAllKinds : kKindsWithoutExt16ad));
            s->entries.back().setStart(2014, 3, 5, 7, 8, 9, 45 + int(i));
        }
        return platform.addDevice(name, address, s);
    }
    void openWindow() {
        window = std::make_unique<MainWindow>();
        ui = window->controls();
        c = window->controller();
        c->setSaveFolder(folder.q());
        window->show();
    }
    void choose(const QString& name) {
        ui->sensorPB->setCurrentIndex(ui->sensorPB->findText(name));
        emit ui->sensorPB->activated(ui->sensorPB->currentIndex());
    }
    void connectTo(const QString& name) {
        choose(name);
        ui->connectButton->click();
    }
    Overlay overlay() const { return Overlay{c->overlay()}; }
    QString cell(int row, int column) const {
        return ui->memListTV->model()->index(row, column).data().toString();
    }
    // Runs `f` every 20 ms while the timer lives.
    std::unique_ptr<QTimer> duringSequence(std::function<void()> f) {
        auto t = std::make_unique<QTimer>();
        QObject::connect(t.get(), &QTimer::timeout, t.get(), f);
        t->start(20);
        return t;
    }

    // Sends a key press and release to `target`, as the keyboard would.
    static void press(QWidget* target, Qt::Key key) {
        QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier);
        QKeyEvent up(QEvent::KeyRelease, key, Qt::NoModifier);
        QApplication::sendEvent(target, &down);
        QApplication::sendEvent(target, &up);
    }
    // Lets change notifications reach the window.
    static void settle() { eventwait::runFor(0.05); }

    SimulatedPlatform platform;
    RecordingPresenter presenter;
    QStringList opened;
    bool openerWorks = true;
    TempFolder folder;
    std::unique_ptr<MainWindow> window;
    Ui::MainWindow* ui = nullptr;
    MainController* c = nullptr;
};

TEST_F(WindowTest, NoSupportedSensorLeavesOnlyTheDashItem) {
    platform.addDevice("Lab Headset", "00:1B:DC:AA:00:03", nullptr);
    openWindow();
    ASSERT_EQ(ui->sensorPB->count(), 1);
    EXPECT_EQ(ui->sensorPB->currentText(), "---");
    ui->connectButton->click();
    ASSERT_EQ(presenter.messages.size(), 1u);
    EXPECT_EQ(presenter.last(), "有効なセンサが登録/選択されていません");
    EXPECT_EQ(presenter.messages[0].title, "Warning");
    EXPECT_EQ(ui->memDetailTF->text(), "---");
    EXPECT_FALSE(ui->getDataButton->isEnabled());
    ui->eraseDataButton->setEnabled(true);  // even when reached, nothing happens
    ui->eraseDataButton->click();
    EXPECT_EQ(presenter.messages.size(), 2u);
    EXPECT_TRUE(presenter.questions.empty());
}

TEST_F(WindowTest, ConnectListsTheEntriesOrSaysWhatWentWrong) {
    VirtualSensor* good = addSensor("VRAX610-001", "00:1B:DC:61:00:01", {300, 200, 100});
    addSensor("VRAX610-EMP", "00:1B:DC:61:00:02");
    addSensor("VRAX610-0NG", "00:1B:DC:61:00:03")->faults.ngCommands[commandCode("stop")] = -1;
    addSensor("VRAX610-BSY", "00:1B:DC:61:00:04")->faults.busy = true;
    VirtualSensor* mute = addSensor("VRAX610-MUT", "00:1B:DC:61:00:05");
    mute->faults.commandDelayMs[commandCode("devinfo")] = 60000;
    openWindow();
    ASSERT_EQ(ui->sensorPB->count(), 5);

    connectTo("VRAX610-001");
    EXPECT_TRUE(presenter.messages.empty()) << presenter.last().toStdString();
    ASSERT_EQ(ui->memListTV->model()->rowCount(), 3);
    EXPECT_EQ(cell(0, 0), "2014/03/05 07:08:09.045");
    EXPECT_EQ(cell(2, 1), "100");
    EXPECT_EQ(ui->memDetailTF->text(), QString("エントリ数:3 空きエントリ：%1 空きレコード数:%2")
                                           .arg(good->maxEntries - 3)
                                           .arg(good->memoryRecords - 600));
    EXPECT_TRUE(ui->deviceInfoLabel->text().contains("3.95 V"));
    EXPECT_TRUE(ui->getDataButton->isEnabled());
    EXPECT_TRUE(ui->eraseDataButton->isEnabled());

    // Picking another sensor empties the list without a connection.
    const size_t framesBefore = good->receivedFrames().size();
    choose("VRAX610-EMP");
    EXPECT_EQ(ui->memListTV->model()->rowCount(), 0);
    EXPECT_EQ(ui->memDetailTF->text(), "---");
    EXPECT_FALSE(ui->getDataButton->isEnabled());
    EXPECT_EQ(good->receivedFrames().size(), framesBefore);

    ui->connectButton->click();  // a sensor with no entries
    EXPECT_TRUE(presenter.messages.empty());
    EXPECT_EQ(ui->memDetailTF->text(), "---");
    EXPECT_FALSE(ui->eraseDataButton->isEnabled());

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
    EXPECT_TRUE(eventwait::runUntil([&] { return platform.openLinks() == 0; }, 1.0));
}

TEST_F(WindowTest, AListThatBreaksOffShowsWhatWasReadAndSaysSo) {
    VirtualSensor* s = addSensor("VRAX610-001", "00:1B:DC:61:00:01", {300, 200, 100});
    openWindow();

    // The free size is refused: the device line stands, nothing else is shown.
    s->faults.ngCommands[commandCode("getmemfreesize")] = 1;
    connectTo("VRAX610-001");
    ASSERT_EQ(presenter.messages.size(), 1u);
    EXPECT_EQ(presenter.last(), "VRAX610-001センサのデータ取得に失敗しました");
    EXPECT_EQ(presenter.messages[0].title, "Error");
    EXPECT_TRUE(ui->deviceInfoLabel->text().contains("3.95 V"));
    EXPECT_EQ(ui->memDetailTF->text(), "---");
    EXPECT_EQ(ui->memListTV->model()->rowCount(), 0);

    // The third entry header is refused: the first two stay in the table.
    presenter.messages.clear();
    const uint8_t entryCode = commandCode("getmementry");
    s->faults.commandDelayMs[entryCode] = 100;
    auto poll = duringSequence([&] {
        const std::vector<uint8_t> codes = s->receivedCodes();
        if (std::count(codes.begin(), codes.end(), entryCode) == 2)
            s->faults.ngCommands[entryCode] = -1;
    });
    ui->connectButton->click();
    poll.reset();
    ASSERT_EQ(presenter.messages.size(), 1u);
    EXPECT_EQ(presenter.last(), "VRAX610-001センサのデータ取得に失敗しました");
    ASSERT_EQ(ui->memListTV->model()->rowCount(), 2);
    EXPECT_EQ(cell(1, 1), "200");
    EXPECT_TRUE(ui->memDetailTF->text().startsWith("エントリ数:3 "));
    EXPECT_TRUE(ui->deviceInfoLabel->text().contains("3.95 V"));
    EXPECT_FALSE(ui->getDataButton->isEnabled());
    EXPECT_TRUE(eventwait::runUntil([&] { return platform.openLinks() == 0; }, 1.0));
}

TEST_F(WindowTest, DownloadWritesTheNamedFileWhileTheCounterRuns) {
    VirtualSensor* s =
        addSensor("VRAX650-LAB-0016", "00:1B:DC:65:00:16", {3000, 20000}, VirtualModel::VRAX650);
    s->entries[1].ad16Gain = {1, 2, 10, 15};
    s->faults.framesPerSecond = 40000;
    openWindow();
    connectTo("VRAX650-LAB-0016");
    ASSERT_EQ(ui->memListTV->model()->rowCount(), 2);

    ui->getDataButton->click();  // no row chosen
    EXPECT_EQ(presenter.last(), "取得するセンサ・エントリを選択して下さい");
    presenter.messages.clear();

    ui->memListTV->selectRow(1);
    ui->ad16FilterCB->setChecked(true);
    std::vector<int> counts;
    bool overlayCovered = false;
    bool previewOfferedEarly = false;
    int clicksIgnored = 0;
    auto poll = duringSequence([&] {
        const Overlay v = overlay();
        if (!v.isVisible()) return;
        previewOfferedEarly = previewOfferedEarly || v.previewButton()->isVisible();
        overlayCovered =
            overlayCovered || (!ui->centralwidget->isEnabled() && !v.finishButton()->isEnabled());
        counts.push_back(v.bar()->value());
        // Clicks that reach the window meanwhile start nothing.
        ui->connectButton->click();
        ui->eraseDataButton->click();
        ++clicksIgnored;
    });
    ui->getDataButton->click();

    EXPECT_TRUE(presenter.messages.empty()) << presenter.last().toStdString();
    EXPECT_TRUE(presenter.questions.empty());
    EXPECT_TRUE(overlayCovered);
    EXPECT_GT(clicksIgnored, 3);
    ASSERT_GT(counts.size(), 3u);
    EXPECT_LT(counts.front(), 20000);
    EXPECT_TRUE(std::is_sorted(counts.begin(), counts.end()));
    const Overlay v = overlay();
    EXPECT_TRUE(v.isVisible());
    EXPECT_EQ(v.mainLabel()->text(), "データダウンロード終了");
    EXPECT_EQ(v.counterLabel()->text(), "進捗：　20000 行");
    EXPECT_EQ(v.bar()->value(), 20000);
    EXPECT_TRUE(v.finishButton()->isEnabled());

    EXPECT_FALSE(v.noteLabel()->isVisible());
    const std::string file = folder.path + "/memdata_" + today() +
                             "/memdata_VRAX650-LAB-0016_2014-03-05_070809.046-FILT.csv";
    EXPECT_EQ(namesIn(folder.path + "/memdata_" + today()),
              std::set<std::string>{"memdata_VRAX650-LAB-0016_2014-03-05_070809.046-FILT.csv"});
    const std::string content = readFile(file);
    EXPECT_EQ(std::count(content.begin(), content.end(), '\n'), 20000);
    EXPECT_EQ(content.rfind("ags,", 0), 0u);
    EXPECT_NE(content.find("ead12AF,"), std::string::npos);

    // The finished download offers its preview, with the filtered values.
    EXPECT_FALSE(previewOfferedEarly);
    ASSERT_TRUE(v.previewButton()->isVisible());
    v.previewButton()->click();
    const auto previews = window->findChildren<preview::PreviewWindow*>();
    ASSERT_EQ(previews.size(), 1);
    EXPECT_TRUE(previews[0]->isVisible());
    EXPECT_EQ(previews[0]->data().records, 20000u);
    EXPECT_EQ(previews[0]->data().charts.back().title, "16-bit AD filtered");
    EXPECT_TRUE(presenter.messages.empty());
    previews[0]->close();

    v.finishButton()->click();
    EXPECT_FALSE(v.isVisible());
    EXPECT_TRUE(ui->centralwidget->isEnabled());
    EXPECT_TRUE(ui->getDataButton->isEnabled());
}

TEST_F(WindowTest, TheCounterFollowsTheRecordsAsTheyArrive) {
    VirtualSensor* s = addSensor("VRAX610-001", "00:1B:DC:61:00:01", {30000});
    s->faults.framesPerSecond = 20000;
    openWindow();
    connectTo("VRAX610-001");
    ui->memListTV->selectRow(0);
    const QRegularExpression counter(QStringLiteral("^進捗：　(\\d+) 行$"));
    std::vector<uint64_t> shown;
    int aheadOfArrival = 0;
    auto poll = duringSequence([&] {
        const Overlay v = overlay();
        if (c->overlay()->state() != ProgressView::State::transferring) return;
        const QString text = v.counterLabel()->text();
        if (text == "進捗：-- 行") return;  // no count yet
        const QRegularExpressionMatch m = counter.match(text);
        ASSERT_TRUE(m.hasMatch()) << text.toStdString();
        const uint64_t n = m.captured(1).toULongLong();
        if (n > s->framesReplayed()) ++aheadOfArrival;
        shown.push_back(n);
    });
    ui->getDataButton->click();
    poll.reset();
    EXPECT_TRUE(presenter.messages.empty()) << presenter.last().toStdString();
    EXPECT_EQ(aheadOfArrival, 0);
    EXPECT_TRUE(
        std::any_of(shown.begin(), shown.end(), [](uint64_t n) { return n > 0 && n < 30000; }));
    EXPECT_TRUE(std::is_sorted(shown.begin(), shown.end()));
    EXPECT_EQ(overlay().counterLabel()->text(), "進捗：　30000 行");
}

TEST_F(WindowTest, ASecondDownloadOfAnEntryAsksWhetherToKeepOrReplaceTheFile) {
    VirtualSensor* s = addSensor("VRAX610-001", "00:1B:DC:61:00:01", {2000, 300});
    openWindow();
    connectTo("VRAX610-001");
    ui->memListTV->selectRow(0);
    const Overlay v = overlay();
    const std::string dir = folder.path + "/memdata_" + today();
    const std::string name = "memdata_VRAX610-001_2014-03-05_070809.045.csv";
    const std::string file = dir + "/" + name;
    const std::string second = "memdata_VRAX610-001_2014-03-05_070809.045-2.csv";

    ui->getDataButton->click();  // nothing there yet: no question
    EXPECT_TRUE(presenter.questions.empty());
    EXPECT_TRUE(presenter.messages.empty()) << presenter.last().toStdString();
    const std::string first = readFile(file);
    ASSERT_EQ(lineCount(first), 2000);
    EXPECT_EQ(c->lastDownloadFile(), QString::fromStdString(file));
    v.finishButton()->click();

    // Cancel: no connection, no file.
    const size_t framesBefore = s->receivedFrames().size();
    presenter.answer = 0;
    ui->getDataButton->click();
    ASSERT_EQ(presenter.questions.size(), 1u);
    const Message& q = presenter.questions[0];
    EXPECT_EQ(q.title, "Warning");
    EXPECT_EQ(q.buttons, QStringList({"Cancel", "Keep Both", "Replace"}));
    EXPECT_TRUE(q.text.contains(QString::fromStdString(file))) << q.text.toStdString();
    EXPECT_TRUE(q.text.contains(QLocale(QLocale::Japanese).toString(qlonglong(first.size()))));
    EXPECT_TRUE(q.text.contains(
        QFileInfo(QString::fromStdString(file)).lastModified().toString("yyyy/MM/dd HH:mm:ss")));
    EXPECT_EQ(s->receivedFrames().size(), framesBefore);
    EXPECT_FALSE(v.isVisible());
    EXPECT_TRUE(presenter.messages.empty());
    EXPECT_EQ(namesIn(dir), std::set<std::string>{name});

    // Keep Both: the new download beside the old file, which stays as it was.
    presenter.answer = 1;
    ui->getDataButton->click();
    EXPECT_EQ(presenter.questions.size(), 2u);
    EXPECT_TRUE(presenter.messages.empty()) << presenter.last().toStdString();
    EXPECT_EQ(v.mainLabel()->text(), "データダウンロード終了");
    EXPECT_TRUE(v.noteLabel()->isVisible());
    EXPECT_TRUE(v.noteLabel()->text().contains(QString::fromStdString(second)));
    EXPECT_EQ(readFile(file), first);
    EXPECT_EQ(readFile(dir + "/" + second), first);
    EXPECT_EQ(c->lastDownloadFile(), QString::fromStdString(dir + "/" + second));
    v.finishButton()->click();

    // Replace: the old file gives way to the complete download.
    std::ofstream(file, std::ios::trunc) << "ags,0,1,2,3,4,5,6\r\n";
    presenter.answer = 2;
    ui->getDataButton->click();
    ASSERT_EQ(presenter.questions.size(), 3u);
    EXPECT_TRUE(presenter.questions[2].text.contains("19 バイト"))
        << presenter.questions[2].text.toStdString();
    EXPECT_TRUE(presenter.messages.empty()) << presenter.last().toStdString();
    EXPECT_EQ(readFile(file), first);
    EXPECT_FALSE(v.noteLabel()->isVisible());
    EXPECT_EQ(namesIn(dir), (std::set<std::string>{name, second}));
    EXPECT_EQ(c->lastDownloadFile(), QString::fromStdString(file));
}

TEST_F(WindowTest, EntriesThatStartTogetherGoToTheirOwnFiles) {
    VirtualSensor* s = addSensor("VRAX610-001", "00:1B:DC:61:00:01", {100, 200, 300});
    s->entries[1].setStart(2014, 3, 5, 7, 8, 9, 45);  // the same start as entry 1
    openWindow();
    connectTo("VRAX610-001");
    ASSERT_EQ(cell(0, 0), cell(1, 0));
    const std::string dir = folder.path + "/memdata_" + today();
    const std::pair<int, const char*> files[] = {
        {0, "memdata_VRAX610-001_2014-03-05_070809.045-e1.csv"},
        {1, "memdata_VRAX610-001_2014-03-05_070809.045-e2.csv"},
        {2, "memdata_VRAX610-001_2014-03-05_070809.047.csv"},
    };
    for (const auto& [row, name] : files) {
        ui->memListTV->selectRow(row);
        ui->getDataButton->click();
        EXPECT_TRUE(presenter.messages.empty()) << presenter.last().toStdString();
        EXPECT_EQ(lineCount(readFile(dir + "/" + name)), 100 * (row + 1)) << name;
        overlay().finishButton()->click();
    }
    EXPECT_TRUE(presenter.questions.empty());
    EXPECT_EQ(namesIn(dir).size(), 3u);

    // Asked again, each about its own file.
    presenter.answer = 0;
    ui->memListTV->selectRow(1);
    ui->getDataButton->click();
    ASSERT_EQ(presenter.questions.size(), 1u);
    EXPECT_TRUE(presenter.questions[0].text.contains(
        QString::fromStdString(dir + "/memdata_VRAX610-001_2014-03-05_070809.045-e2.csv")));
}

TEST_F(WindowTest, ADownloadThatEndsEarlyKeepsWhatArrivedApartAndSaysWhy) {
    VirtualSensor* s = addSensor("VRAX610-001", "00:1B:DC:61:00:01", {50000});
    openWindow();
    connectTo("VRAX610-001");
    ui->memListTV->selectRow(0);
    const Overlay v = overlay();
    const std::string dir = folder.path + "/memdata_" + today();
    const std::string file = dir + "/memdata_VRAX610-001_2014-03-05_070809.045.csv";
    const auto incomplete = [&](int n) {
        return dir + "/memdata_VRAX610-001_2014-03-05_070809.045-incomplete" +
               (n > 1 ? "-" + std::to_string(n) : std::string()) + ".csv";
    };
    ui->getDataButton->click();
    ASSERT_TRUE(presenter.messages.empty()) << presenter.last().toStdString();
    const std::string whole = readFile(file);
    ASSERT_EQ(lineCount(whole), 50000);
    v.finishButton()->click();
    // Each interrupted download below asks to replace the complete file: it stays.
    presenter.answer = 2;

    // The user cancels.
    s->faults.framesPerSecond = 20000;
    auto poll = duringSequence([&] {
        if (v.isVisible() && v.bar()->value() > 1000) v.cancelButton()->click();
    });
    ui->getDataButton->click();
    poll.reset();
    // A deliberate stop is no error: the overlay names the file kept.
    EXPECT_TRUE(presenter.messages.empty()) << presenter.last().toStdString();
    const std::string partial = readFile(incomplete(1));
    const long lines = lineCount(partial);
    EXPECT_GT(lines, 1000);
    EXPECT_LT(lines, 50000);
    EXPECT_EQ(whole.compare(0, partial.size(), partial), 0);  // whole lines, in order
    const QString note = v.noteLabel()->text();
    EXPECT_TRUE(v.noteLabel()->isVisible());
    EXPECT_TRUE(note.contains("中止")) << note.toStdString();
    EXPECT_TRUE(note.contains(QString("%1 / 50000 レコード").arg(lines))) << note.toStdString();
    EXPECT_TRUE(note.contains(QFileInfo(QString::fromStdString(incomplete(1))).fileName()));
    EXPECT_EQ(v.part<QLabel>("fileLabel")->toolTip(), QString::fromStdString(incomplete(1)));
    EXPECT_EQ(v.mainLabel()->text(), "データダウンロード中断");
    EXPECT_FALSE(v.previewButton()->isVisible());
    EXPECT_TRUE(c->lastDownloadFile().isEmpty());
    EXPECT_EQ(readFile(file), whole);
    v.finishButton()->click();

    // The sensor goes away mid-transfer.
    presenter.messages.clear();
    s->faults.closeAfterFrames = 4000;
    ui->getDataButton->click();
    ASSERT_EQ(presenter.messages.size(), 1u);
    EXPECT_TRUE(presenter.last().contains("接続が切れました")) << presenter.last().toStdString();
    EXPECT_TRUE(presenter.last().contains("4000 / 50000 レコード"));
    EXPECT_TRUE(presenter.last().contains(QString::fromStdString(incomplete(2))));
    EXPECT_EQ(lineCount(readFile(incomplete(2))), 4000);
    EXPECT_EQ(readFile(file), whole);
    v.finishButton()->click();
    s->faults.closeAfterFrames = -1;

    // Frames that never arrive: the end comes with fewer records than the entry holds.
    presenter.messages.clear();
    s->faults.framesPerSecond = 0;
    s->faults.dropEveryNth = 1000;
    ui->getDataButton->click();
    ASSERT_EQ(presenter.messages.size(), 1u);
    EXPECT_TRUE(presenter.last().contains("一致しません")) << presenter.last().toStdString();
    EXPECT_TRUE(presenter.last().contains("49950 / 50000 レコード"));
    EXPECT_TRUE(presenter.last().contains(QString::fromStdString(incomplete(3))));
    EXPECT_EQ(v.mainLabel()->text(), "データダウンロード中断");
    EXPECT_EQ(lineCount(readFile(incomplete(3))), 49950);
    EXPECT_EQ(readFile(file), whole);
    v.finishButton()->click();
    s->faults.dropEveryNth = 0;

    // The file cannot grow past a size limit, as on a full disk: the overlay
    // says so while the transfer goes on, and the end names what was kept.
    presenter.messages.clear();
    s->faults.framesPerSecond = 40000;
    QString noteWhileRunning;
    poll = duringSequence([&] {
        if (v.isVisible() && v.cancelButton()->isVisible() && v.noteLabel()->isVisible())
            noteWhileRunning = v.noteLabel()->text();
    });
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = whole.size() / 3;
    setrlimit(RLIMIT_FSIZE, &small);
    ui->getDataButton->click();
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    poll.reset();
    EXPECT_TRUE(noteWhileRunning.contains("書き込みに失敗")) << noteWhileRunning.toStdString();
    EXPECT_TRUE(noteWhileRunning.contains("File too large")) << noteWhileRunning.toStdString();
    ASSERT_EQ(presenter.messages.size(), 2u);
    EXPECT_EQ(presenter.messages[0].text, "データ書き込み中にエラーが発生しました．\n");
    EXPECT_EQ(presenter.messages[0].title, "Error");
    EXPECT_EQ(presenter.messages[1].title, "Error");
    EXPECT_TRUE(presenter.last().contains("全て受信しました")) << presenter.last().toStdString();
    EXPECT_TRUE(presenter.last().contains("File too large"));
    EXPECT_TRUE(presenter.last().contains("不完全"));
    EXPECT_TRUE(presenter.last().contains("50000 / 50000 レコード"));
    EXPECT_TRUE(presenter.last().contains(QString::fromStdString(incomplete(4))));
    const std::string cut = readFile(incomplete(4));
    EXPECT_LE(cut.size(), whole.size() / 3);
    EXPECT_GT(cut.size(), 0u);
    EXPECT_EQ(whole.compare(0, cut.size(), cut), 0);
    // The counter says what the file holds, not what arrived.
    EXPECT_EQ(v.counterLabel()->text(),
              QString("ファイル内：%1 行（受信：50000 レコード）").arg(lineCount(cut)));
    EXPECT_EQ(readFile(file), whole);
    EXPECT_EQ(v.mainLabel()->text(), "データダウンロード中断");
    EXPECT_TRUE(c->lastDownloadFile().isEmpty());
    // Nothing is left under a working name.
    for (const std::string& n : namesIn(dir)) EXPECT_EQ(n.find(".part"), std::string::npos) << n;
}

TEST_F(WindowTest, EraseAsksFirstAndListsAgainAfterwards) {
    VirtualSensor* s = addSensor("VRAX610-001", "00:1B:DC:61:00:01", {10, 20});
    openWindow();
    connectTo("VRAX610-001");
    const size_t framesBefore = s->receivedFrames().size();

    presenter.answer = 0;  // "No"
    ui->eraseDataButton->click();
    ASSERT_EQ(presenter.questions.size(), 1u);
    EXPECT_EQ(presenter.questions[0].text,
              "センサ内蔵メモリ内のデータを全て消去して良いですか？\n消去後したデータは永遠に失われ"
              "ます．");
    EXPECT_EQ(presenter.questions[0].title, "Warning");
    EXPECT_EQ(s->receivedFrames().size(), framesBefore);
    EXPECT_EQ(s->entries.size(), 2u);

    presenter.answer = 1;  // "Yes"
    ui->eraseDataButton->click();
    EXPECT_TRUE(presenter.messages.empty()) << presenter.last().toStdString();
    EXPECT_TRUE(s->entries.empty());
    EXPECT_EQ(ui->memListTV->model()->rowCount(), 0);
    EXPECT_FALSE(ui->eraseDataButton->isEnabled());

    s->entries.push_back(VirtualEntry::generated(3, 5));
    connectTo("VRAX610-001");
    s->faults.ngCommands[commandCode("clearmem")] = -1;
    ui->eraseDataButton->click();
    EXPECT_EQ(presenter.last(), "VRAX610-001センサのデータ全消去に失敗しました");
    EXPECT_EQ(s->entries.size(), 1u);
}

// Presses `key` on each message box that opens while the result lives, as
// the user would on the focused button, and records the boxes. A box that
// the key does not close is answered with its last button after a second.
struct KeyOnBoxes {
    struct Seen {
        QString text;
        QString defaultButton;
    };
    std::vector<Seen> seen;
    std::unique_ptr<QTimer> timer;
    QMessageBox* current = nullptr;
    int ticksOpen = 0;

    explicit KeyOnBoxes(Qt::Key key) : timer(std::make_unique<QTimer>()) {
        QObject::connect(timer.get(), &QTimer::timeout, timer.get(), [this, key] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || !box->isVisible()) return;
            if (box != current) {
                current = box;
                ticksOpen = 0;
                seen.push_back(
                    {box->text(), box->defaultButton() ? box->defaultButton()->text() : QString()});
                QWidget* target = box->focusWidget() ? box->focusWidget() : box;
                QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
                QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
                QApplication::sendEvent(target, &press);
                QApplication::sendEvent(target, &release);
            } else if (++ticksOpen == 50) {
                box->buttons().last()->click();
            }
        });
        timer->start(20);
    }
};

TEST_F(WindowTest, TheRealEraseQuestionAnswersNoToReturnAndEscape) {
    VirtualSensor* s = addSensor("VRAX610-001", "00:1B:DC:61:00:01", {10, 20});
    openWindow();
    connectTo("VRAX610-001");
    ASSERT_TRUE(presenter.messages.empty()) << presenter.last().toStdString();
    ASSERT_TRUE(ui->eraseDataButton->isEnabled());
    MyTools::setPresenter(nullptr);  // the message boxes themselves
    const size_t framesBefore = s->receivedFrames().size();
    const QString question =
        "センサ内蔵メモリ内のデータを全て消去して良いですか？\n消去後したデータは永遠に失われます"
        "．";

    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) {
        SCOPED_TRACE(key == Qt::Key_Return ? "Return" : "Escape");
        {
            KeyOnBoxes keys(key);
            EXPECT_EQ(MyTools::askQuestion(question, "Warning", {"No", "Yes"}), 0);
            ASSERT_EQ(keys.seen.size(), 1u);
            EXPECT_EQ(keys.seen[0].defaultButton, "No");
        }
        KeyOnBoxes keys(key);
        ui->eraseDataButton->click();
        ASSERT_EQ(keys.seen.size(), 1u);
        EXPECT_EQ(keys.seen[0].text, question);
        EXPECT_EQ(keys.seen[0].defaultButton, "No");
        EXPECT_EQ(s->receivedFrames().size(), framesBefore);
        EXPECT_EQ(s->entries.size(), 2u);
        EXPECT_EQ(ui->memListTV->model()->rowCount(), 2);
    }
}

TEST_F(WindowTest, SaveFolderPanelKeepsTheFolderUnlessAWritableOneIsChosen) {
    openWindow();
    TempFolder other;
    bool seen = false;
    QTimer::singleShot(0, [&] {
        auto* panel = window->findChild<QFileDialog*>("saveFolderPanel");
        ASSERT_NE(panel, nullptr);
        seen = true;
        EXPECT_EQ(panel->windowTitle(), "Select Data Save Folder");
        EXPECT_EQ(panel->labelText(QFileDialog::Accept), "Choose");
        EXPECT_EQ(panel->fileMode(), QFileDialog::Directory);
        EXPECT_EQ(panel->windowModality(), Qt::WindowModal);
        static_cast<QDialog*>(panel)->reject();
    });
    ui->referSaveDirButton->click();
    EXPECT_TRUE(eventwait::runUntil([&] { return seen; }, 2.0));
    EXPECT_EQ(c->saveFolder(), folder.q());  // cancelled: unchanged

    c->openPanelDidEnd({"/proc"}, QDialog::Accepted);
    EXPECT_EQ(presenter.last(), "選択したフォルダは書き込めません．");
    EXPECT_EQ(presenter.messages.back().title, "Warning");
    EXPECT_EQ(c->saveFolder(), folder.q());
    c->openPanelDidEnd({other.q()}, QDialog::Rejected);
    EXPECT_EQ(c->saveFolder(), folder.q());
    c->openPanelDidEnd({other.q()}, QDialog::Accepted);
    EXPECT_EQ(c->saveFolder(), other.q());
    EXPECT_TRUE(ui->pathCtr->text().contains(QStringLiteral("href")));
}

TEST_F(WindowTest, FileMenuPreviewsACsvFileOrSaysWhyNot) {
    openWindow();
    EXPECT_EQ(ui->actionPreviewCsv->text(), "Preview CSV File…");
    c->previewPanelDidEnd({folder.q() + "/none.csv"}, QDialog::Rejected);  // cancelled
    EXPECT_TRUE(presenter.messages.empty());

    c->previewPanelDidEnd({folder.q() + "/none.csv"}, QDialog::Accepted);
    ASSERT_EQ(presenter.messages.size(), 1u);
    EXPECT_EQ(presenter.messages[0].title, "Error");
    EXPECT_TRUE(presenter.last().contains(folder.q() + "/none.csv"));

    std::ofstream(folder.path + "/a.csv") << "ags,0,1,2,3,4,5,6\r\nags,10,2,3,4,5,6,7\r\n";
    c->previewPanelDidEnd({folder.q() + "/a.csv"}, QDialog::Accepted);
    EXPECT_EQ(presenter.messages.size(), 1u);
    const auto previews = window->findChildren<preview::PreviewWindow*>();
    ASSERT_EQ(previews.size(), 1);
    EXPECT_EQ(previews[0]->data().records, 2u);
    EXPECT_EQ(previews[0]->windowTitle(), "a.csv");

    // The panel itself opens as a sheet of the window.
    ui->actionPreviewCsv->trigger();
    auto* panel = window->findChild<QFileDialog*>(QStringLiteral("previewPanel"));
    ASSERT_TRUE(panel);
    EXPECT_EQ(panel->windowModality(), Qt::WindowModal);
    panel->reject();
}

TEST_F(WindowTest, ClosingDuringADownloadStopsItAndKeepsTheFile) {
    VirtualSensor* s = addSensor("VRAX610-001", "00:1B:DC:61:00:01", {200000});
    s->faults.framesPerSecond = 20000;
    openWindow();
    connectTo("VRAX610-001");
    ui->memListTV->selectRow(0);
    presenter.answer = 1;  // "Stop and Close"
    bool asked = false;
    auto poll = duringSequence([&] {
        if (!asked && overlay().isVisible() && overlay().bar()->value() > 2000) {
            asked = true;
            EXPECT_FALSE(window->close());  // refused while the download runs
        }
    });
    ui->getDataButton->click();
    EXPECT_TRUE(asked);
    ASSERT_EQ(presenter.questions.size(), 1u);
    EXPECT_EQ(presenter.questions[0].buttons, QStringList({"Cancel", "Stop and Close"}));
    EXPECT_TRUE(presenter.messages.empty()) << presenter.last().toStdString();
    EXPECT_TRUE(eventwait::runUntil([&] { return !window->isVisible(); }, 2.0));
    EXPECT_TRUE(eventwait::runUntil([&] { return platform.openLinks() == 0; }, 1.0));
    // What arrived is kept apart; the download's own name stays free.
    const std::string dir = folder.path + "/memdata_" + today();
    EXPECT_FALSE(std::filesystem::exists(dir + "/memdata_VRAX610-001_2014-03-05_070809.045.csv"));
    const std::string content =
        readFile(dir + "/memdata_VRAX610-001_2014-03-05_070809.045-incomplete.csv");
    EXPECT_GT(lineCount(content), 2000);
    EXPECT_EQ(content.substr(content.size() - 2), "\r\n");
}

// ---- the save folder line ------------------------------------------------------

// The text a rich-text label shows, and the folders its links lead to.
struct Shown {
    QString plain;
    QStringList links;
    int width = 0;
};
Shown shownIn(const QLabel* label) {
    QTextDocument doc;
    doc.setDefaultFont(label->font());
    doc.setDocumentMargin(0);
    doc.setHtml(label->text());
    Shown shown{doc.toPlainText(), {}, int(doc.idealWidth())};
    const QRegularExpression href(QStringLiteral("href=\"([^\"]*)\""));
    for (auto it = href.globalMatch(label->text()); it.hasNext();)
        shown.links << QUrl(it.next().captured(1)).toLocalFile();
    return shown;
}

TEST_F(WindowTest, TheSavePathFitsAnyWidthAndEachFolderOpens) {
    openWindow();
    window->resize(640, 520);
    const QString shortPath = folder.q() + "/a b#c%d/x";
    c->setSaveFolder(shortPath);
    settle();
    const int minimumWidth = window->minimumSizeHint().width();
    Shown shown = shownIn(ui->pathCtr);
    EXPECT_EQ(shown.plain, shortPath);
    EXPECT_EQ(ui->pathCtr->toolTip(), shortPath);
    // One link per folder, from the root on, each to its own folder.
    QStringList folders{"/"};
    QString sofar;
    for (const QString& part : shortPath.split('/', Qt::SkipEmptyParts))
        folders << (sofar += "/" + part);
    EXPECT_EQ(shown.links, folders);

    emit ui->pathCtr->linkActivated(QUrl::fromLocalFile(folder.q() + "/a b#c%d").toString());
    EXPECT_EQ(opened, QStringList{folder.q() + "/a b#c%d"});
    // A double-click on the path opens the whole folder (a click just before
    // opens nothing more).
    eventwait::runFor(QApplication::doubleClickInterval() / 1000.0 + 0.05);
    const QPointF end(ui->pathCtr->width() - 2, ui->pathCtr->height() / 2);
    QMouseEvent dbl(QEvent::MouseButtonDblClick, end, ui->pathCtr->mapToGlobal(end), Qt::LeftButton,
                    Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(ui->pathCtr, &dbl);
    EXPECT_EQ(opened, (QStringList{folder.q() + "/a b#c%d", shortPath}));
    EXPECT_TRUE(presenter.messages.empty());

    // No launcher: said so.
    openerWorks = false;
    eventwait::runFor(QApplication::doubleClickInterval() / 1000.0 + 0.05);
    QApplication::sendEvent(ui->pathCtr, &dbl);
    ASSERT_EQ(presenter.messages.size(), 1u);
    EXPECT_EQ(presenter.messages[0].title, "Warning");
    EXPECT_TRUE(presenter.last().startsWith("フォルダを開けませんでした"))
        << presenter.last().toStdString();
    EXPECT_TRUE(presenter.last().contains(shortPath));

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
    EXPECT_LT(window->minimumSizeHint().width(), 800);
    window->resize(800, 520);
    settle();
    EXPECT_EQ(window->width(), 800);
    shown = shownIn(ui->pathCtr);
    EXPECT_TRUE(shown.plain.startsWith("…/")) << shown.plain.toStdString();
    EXPECT_TRUE(shown.plain.endsWith("/" + innermost)) << shown.plain.toStdString();
    EXPECT_LE(shown.width, ui->pathCtr->contentsRect().width());
    EXPECT_EQ(ui->pathCtr->toolTip(), longPath);
    EXPECT_EQ(shown.links.last(), longPath);
}

// ---- Bluetooth state and the sensor list ---------------------------------------

TEST_F(WindowTest, TheSensorLineSaysWhyNoSensorCanBeReached) {
    openWindow();
    const QLabel* line = ui->sensorStateLabel;
    EXPECT_EQ(line->text(),
              "ペアリング済みの VRAX610 / VRAX650 センサがありません．システムの Bluetooth "
              "設定でセンサをペアリングしてください");

    const std::pair<BluetoothState, const char*> states[] = {
        {BluetoothState::noSystemBus,
         "システムの D-Bus に接続できないため，Bluetooth のセンサを一覧できません"},
        {BluetoothState::noBlueZ,
         "Bluetooth サービス（BlueZ）が動作していないため，センサを一覧できません"},
        {BluetoothState::noAdapter, "Bluetooth アダプタが見つかりません"},
        {BluetoothState::adapterOff,
         "Bluetooth がオフになっています．センサに接続するには Bluetooth をオンにしてください"},
        {BluetoothState::adapterBlocked,
         "Bluetooth アダプタが rfkill でブロックされています．ブロックを解除してください"},
    };
    for (const auto& [state, text] : states) {
        platform.setState(state);
        settle();
        EXPECT_EQ(line->text(), QString::fromUtf8(text)) << int(state);
    }
    // A platform that gives no paired list while saying it is ready.
    platform.setState(BluetoothState::ready);
    platform.setPairedListAvailable(false);
    platform.setState(BluetoothState::ready);
    settle();
    EXPECT_EQ(line->text(),
              "Bluetooth サービス（BlueZ）が動作していないため，センサを一覧できません");
    platform.setPairedListAvailable(true);

    // Adapter off with a paired sensor: it is listed, and a connect says
    // Bluetooth is off without touching it.
    VirtualSensor* s = addSensor("VRAX610-001", "00:1B:DC:61:00:01", {10});
    platform.setState(BluetoothState::adapterOff);
    settle();
    ASSERT_EQ(ui->sensorPB->currentText(), "VRAX610-001");
    ui->connectButton->click();
    ASSERT_EQ(presenter.messages.size(), 1u);
    EXPECT_EQ(presenter.last(),
              "Bluetooth がオフになっているため，センサに接続できません．\nBluetooth "
              "をオンにしてから，もう一度操作してください");
    EXPECT_EQ(presenter.messages[0].title, "Warning");
    ui->eraseDataButton->setEnabled(true);
    ui->eraseDataButton->click();
    EXPECT_EQ(presenter.messages.size(), 2u);
    EXPECT_TRUE(presenter.questions.empty());  // not asked: it could not be done
    EXPECT_TRUE(s->receivedFrames().empty());

    // Switched off once the connect has begun: the link's answer says the same.
    platform.setState(BluetoothState::ready);
    settle();
    EXPECT_TRUE(line->text().isEmpty()) << line->text().toStdString();
    presenter.messages.clear();
    auto poll = duringSequence([&] {
        if (c->connecting()) platform.setState(BluetoothState::adapterOff);
    });
    ui->connectButton->click();
    poll.reset();
    ASSERT_EQ(presenter.messages.size(), 1u);
    EXPECT_TRUE(presenter.last().startsWith("Bluetooth がオフになっているため"))
        << presenter.last().toStdString();
    EXPECT_EQ(line->text(), QString::fromUtf8(states[3].second));

    platform.setState(BluetoothState::ready);
    settle();
    presenter.messages.clear();
    ui->connectButton->click();
    EXPECT_TRUE(presenter.messages.empty()) << presenter.last().toStdString();
    EXPECT_EQ(ui->memListTV->model()->rowCount(), 1);
    EXPECT_TRUE(ui->deviceInfoLabel->text().startsWith("ファームウェア "))
        << ui->deviceInfoLabel->text().toStdString();
}

TEST_F(WindowTest, ThePopUpFollowsPairingChangesAndKeepsTheChosenSensor) {
    addSensor("VRAX610-001", "00:1B:DC:61:00:01", {10});
    VirtualSensor* b = addSensor("VRAX610-002", "00:1B:DC:61:00:02", {30000, 20});
    b->faults.framesPerSecond = 20000;
    openWindow();
    connectTo("VRAX610-002");
    ASSERT_EQ(ui->memListTV->model()->rowCount(), 2);

    const auto items = [&] {
        QStringList names;
        for (int i = 0; i < ui->sensorPB->count(); ++i) names << ui->sensorPB->itemText(i);
        return names;
    };
    platform.addDevice("VRAX650-LAB-0016", "00:1B:DC:65:00:16",
                       std::make_shared<VirtualSensor>(VirtualModel::VRAX650));
    platform.setState(BluetoothState::ready);  // the platform's notification
    settle();
    EXPECT_EQ(items(), QStringList({"VRAX610-001", "VRAX610-002", "VRAX650-LAB-0016"}));
    EXPECT_EQ(ui->sensorPB->currentText(), "VRAX610-002");
    EXPECT_EQ(ui->memListTV->model()->rowCount(), 2);
    EXPECT_TRUE(ui->getDataButton->isEnabled());

    platform.removeDevice("00:1B:DC:61:00:01");
    settle();
    EXPECT_EQ(items(), QStringList({"VRAX610-002", "VRAX650-LAB-0016"}));
    EXPECT_EQ(ui->sensorPB->currentText(), "VRAX610-002");
    EXPECT_EQ(ui->memListTV->model()->rowCount(), 2);

    // A change during a download waits for its end.
    ui->memListTV->selectRow(0);
    QStringList duringDownload;
    auto poll = duringSequence([&] {
        if (!overlay().isVisible() || !duringDownload.isEmpty()) return;
        platform.addDevice("VRAX610-003", "00:1B:DC:61:00:03", std::make_shared<VirtualSensor>());
        platform.setState(BluetoothState::ready);
        eventwait::runFor(0.05);
        duringDownload = items();
    });
    ui->getDataButton->click();
    poll.reset();
    EXPECT_EQ(duringDownload, QStringList({"VRAX610-002", "VRAX650-LAB-0016"}));
    EXPECT_EQ(items(), QStringList({"VRAX610-002", "VRAX650-LAB-0016", "VRAX610-003"}));
    EXPECT_EQ(ui->sensorPB->currentText(), "VRAX610-002");
    overlay().finishButton()->click();

    // The chosen sensor unpaired: its list goes with it.
    platform.removeDevice("00:1B:DC:61:00:02");
    settle();
    EXPECT_EQ(items(), QStringList({"VRAX650-LAB-0016", "VRAX610-003"}));
    EXPECT_EQ(ui->memListTV->model()->rowCount(), 0);
    EXPECT_FALSE(ui->getDataButton->isEnabled());

    // Refresh finds what the platform did not announce.
    platform.addDevice("VRAX610-004", "00:1B:DC:61:00:04", std::make_shared<VirtualSensor>());
    settle();
    EXPECT_EQ(items().size(), 2);
    ui->refreshButton->click();
    EXPECT_EQ(items().size(), 3);
    platform.removeAll();
    ui->actionRefresh->trigger();
    EXPECT_EQ(items(), QStringList{"---"});
    EXPECT_TRUE(presenter.messages.empty()) << presenter.last().toStdString();
}

// ---- connecting ------------------------------------------------------------------

TEST_F(WindowTest, ConnectingKeepsTheWindowResponsiveAndCanBeCancelled) {
    VirtualSensor* s = addSensor("VRAX610-001", "00:1B:DC:61:00:01", {100});
    s->faults.connectDelayMs = 3000;  // a slow page, as of a sensor out of range
    openWindow();
    choose("VRAX610-001");

    // The longest gap between ticks of a 10 ms timer that begin while the connect waits.
    QElapsedTimer clock;
    clock.start();
    qint64 lastTick = -1, longest = 0, connectingSince = -1, connectingFor = 0;
    bool cancelOffered = false;
    QTimer ticks;
    QObject::connect(&ticks, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        if (lastTick >= 0) longest = std::max(longest, now - lastTick);
        lastTick = c->connecting() ? now : -1;
        if (c->connecting()) {
            if (connectingSince < 0) connectingSince = now;
            connectingFor = now - connectingSince;
            cancelOffered =
                cancelOffered ||
                (ui->connectButton->isEnabled() && ui->connectButton->text().contains("Cancel") &&
                 ui->sensorStateLabel->text().contains("接続しています"));
        }
    });
    ticks.start(10);
    ui->connectButton->click();
    ticks.stop();
    std::printf("connect: %lld ms waiting, longest stall %lld ms\n", (long long)connectingFor,
                (long long)longest);
    EXPECT_TRUE(presenter.messages.empty()) << presenter.last().toStdString();
    EXPECT_EQ(ui->memListTV->model()->rowCount(), 1);
    EXPECT_GE(connectingFor, 2500);  // the connect really waited for its page
    EXPECT_LT(longest, 100);
    EXPECT_TRUE(cancelOffered);
    EXPECT_EQ(ui->connectButton->text(), "&Connect");

    // Cancel pressed half a second into the connect of each action.
    const auto cancelMidConnect = [&](const char* what, const std::function<void()>& start) {
        SCOPED_TRACE(what);
        presenter.messages.clear();
        QElapsedTimer pressed;
        QElapsedTimer since;
        bool seen = false;
        auto poll = duringSequence([&] {
            if (!c->connecting() || pressed.isValid()) return;
            if (!seen) since.start();
            seen = true;
            if (since.elapsed() < 500) return;
            ui->connectButton->click();
            pressed.start();
        });
        start();
        poll.reset();
        ASSERT_TRUE(pressed.isValid()) << "the connect ended before Cancel";
        EXPECT_LT(pressed.elapsed(), 700);
        EXPECT_TRUE(presenter.messages.empty()) << presenter.last().toStdString();
        EXPECT_EQ(ui->sensorStateLabel->text(), "VRAX610-001への接続を中止しました");
        EXPECT_FALSE(c->busy());
        EXPECT_EQ(ui->connectButton->text(), "&Connect");
    };
    cancelMidConnect("connect", [&] { ui->connectButton->click(); });
    EXPECT_EQ(ui->memListTV->model()->rowCount(), 0);

    s->faults.connectDelayMs = 0;
    connectTo("VRAX610-001");
    ASSERT_EQ(ui->memListTV->model()->rowCount(), 1);
    s->faults.connectDelayMs = 3000;
    ui->memListTV->selectRow(0);
    cancelMidConnect("download", [&] { ui->getDataButton->click(); });
    EXPECT_FALSE(overlay().isVisible());
    EXPECT_FALSE(std::filesystem::exists(folder.path + "/memdata_" + today()));

    presenter.answer = 1;  // erase: "Yes"
    cancelMidConnect("erase", [&] { ui->eraseDataButton->click(); });
    EXPECT_EQ(s->entries.size(), 1u);
    EXPECT_TRUE(eventwait::runUntil([&] { return platform.openLinks() == 0; }, 4.0));
}

// ---- the end of a download, the keyboard, closing --------------------------------

TEST_F(WindowTest, TheKeyboardDrivesADownloadAndItsEndNamesTheFile) {
    addSensor("VRAX610-001", "00:1B:DC:61:00:01", {300});
    addSensor("VRAX610-002", "00:1B:DC:61:00:02", {400, 500});
    openWindow();
    choose("VRAX610-002");
    press(ui->sensorPB, Qt::Key_Return);  // connects
    ASSERT_EQ(ui->memListTV->model()->rowCount(), 2);
    ui->memListTV->setFocus();
    ui->memListTV->selectRow(1);
    press(ui->memListTV, Qt::Key_Return);  // downloads the chosen entry
    EXPECT_TRUE(presenter.messages.empty()) << presenter.last().toStdString();
    const QString day = folder.q() + "/memdata_" + QString::fromStdString(today());
    const QString file = day + "/memdata_VRAX610-002_2014-03-05_070809.046.csv";
    EXPECT_EQ(lineCount(readFile(file.toStdString())), 500);

    const Overlay v = overlay();
    ASSERT_EQ(v.mainLabel()->text(), "データダウンロード終了");
    const auto* fileLabel = v.part<QLabel>("fileLabel");
    EXPECT_TRUE(fileLabel->isVisible());
    EXPECT_EQ(fileLabel->toolTip(), file);
    // The path as far as the overlay has room: whole, or cut in the middle.
    const QString shown = fileLabel->text();
    EXPECT_TRUE(shown == file || (shown.contains("…") && shown.endsWith(".csv")))
        << shown.toStdString();
    EXPECT_LE(fileLabel->fontMetrics().horizontalAdvance(shown), fileLabel->width());
    auto* openFolder = v.part<QPushButton>("openFolderButton");
    openFolder->click();
    EXPECT_EQ(opened, QStringList{day});
    openerWorks = false;
    openFolder->click();
    ASSERT_EQ(presenter.messages.size(), 1u);
    EXPECT_TRUE(presenter.last().contains(day));

    // Escape closes the overlay at its end, from where the focus is.
    QWidget* focus = QApplication::focusWidget();
    ASSERT_NE(focus, nullptr);
    EXPECT_TRUE(c->overlay()->isAncestorOf(focus)) << focus->objectName().toStdString();
    press(focus, Qt::Key_Escape);
    EXPECT_FALSE(v.isVisible());
    EXPECT_TRUE(ui->centralwidget->isEnabled());
}

TEST_F(WindowTest, QuitDuringADownloadAsksAndCancelLetsItFinish) {
    VirtualSensor* s = addSensor("VRAX610-001", "00:1B:DC:61:00:01", {20000});
    s->faults.framesPerSecond = 20000;
    openWindow();
    connectTo("VRAX610-001");
    ui->memListTV->selectRow(0);
    presenter.answer = 0;  // "Cancel"
    bool quit = false;
    auto poll = duringSequence([&] {
        if (!quit && overlay().isVisible() && overlay().bar()->value() > 2000) {
            quit = true;
            ui->actionQuit->trigger();
        }
    });
    ui->getDataButton->click();
    poll.reset();
    ASSERT_TRUE(quit);
    ASSERT_EQ(presenter.questions.size(), 1u);
    EXPECT_EQ(presenter.questions[0].title, "Warning");
    EXPECT_EQ(presenter.questions[0].buttons, QStringList({"Cancel", "Stop and Close"}));
    // Kept open; the download went on to its end.
    eventwait::runFor(0.1);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(overlay().mainLabel()->text(), "データダウンロード終了");
    EXPECT_EQ(lineCount(readFile(folder.path + "/memdata_" + today() +
                                 "/memdata_VRAX610-001_2014-03-05_070809.045.csv")),
              20000);
    // Nothing running: the window closes without a question.
    overlay().finishButton()->click();
    ui->actionQuit->trigger();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(presenter.questions.size(), 1u);
}

// ---- the folder panel leaves no settings behind ------------------------------------

// Run in a child process only (by the next test), under a fresh home.
TEST_F(WindowTest, FolderPanelChild) {
    if (qEnvironmentVariableIsEmpty("VRAX_PANEL_CHILD")) GTEST_SKIP() << "run by the next test";
    openWindow();
    TempFolder other;
    c->setSaveFolder(other.q());
    QString startedIn;
    QTimer::singleShot(0, [&] {
        auto* panel = window->findChild<QFileDialog*>("saveFolderPanel");
        ASSERT_NE(panel, nullptr);
        startedIn = panel->directory().absolutePath();
        panel->setDirectory(folder.q());
        panel->selectFile(folder.q());
        static_cast<QDialog*>(panel)->accept();
    });
    ui->referSaveDirButton->click();
    EXPECT_TRUE(eventwait::runUntil([&] { return !startedIn.isEmpty(); }, 2.0));
    EXPECT_EQ(startedIn, other.q());
    ui->actionPreviewCsv->trigger();
    if (auto* panel = window->findChild<QFileDialog*>("previewPanel")) panel->reject();
    eventwait::runFor(0.1);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    window.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

TEST(WindowProgram, TheFolderPanelsWriteNoSettings) {
    TempFolder home;
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home.q());
    env.insert("XDG_CONFIG_HOME", home.q() + "/config");
    env.insert("VRAX_PANEL_CHILD", "1");
    env.insert("QT_QPA_PLATFORM", "offscreen");
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(),
                {"--gtest_filter=WindowTest.FolderPanelChild"});
    ASSERT_TRUE(child.waitForFinished(60000));
    const QByteArray out = child.readAllStandardOutput();
    EXPECT_EQ(child.exitCode(), 0) << out.toStdString();
    EXPECT_TRUE(out.contains("[  PASSED  ] 1 test")) << out.toStdString();
    std::vector<std::string> files;
    for (const auto& e : std::filesystem::recursive_directory_iterator(home.path))
        if (!e.is_directory()) files.push_back(e.path().string());
    EXPECT_TRUE(files.empty()) << files.front();
}

// ---- the program's options -------------------------------------------------------------

TEST(WindowProgram, HelpAndVersionNeedNoDisplay) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) env.remove(name);
    for (const char* option : {"--help", "--version"}) {
        SCOPED_TRACE(option);
        QProcess program;
        program.setProcessEnvironment(env);
        program.start(VRAX_DATA_CONTROLLER_PATH, {option});
        ASSERT_TRUE(program.waitForFinished(20000));
        EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();
        const QString out = QString::fromUtf8(program.readAllStandardOutput());
        if (QByteArray(option) == "--help") {
            EXPECT_TRUE(out.startsWith("Usage: ")) << out.toStdString();
            for (const char* listed : {"--demo", "--headless-demo", "--screenshots", "--version"})
                EXPECT_TRUE(out.contains(listed)) << listed;
        } else {
            EXPECT_TRUE(QRegularExpression("^VRAXDataController \\d+\\.\\d+").match(out).hasMatch())
                << out.toStdString();
        }
    }
}

}  // namespace
