// The main window driven through its real widgets on the offscreen platform,
// against virtual sensors over the simulated platform.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QFileDialog>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableView>
#include <QTimer>
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
    }
    void TearDown() override {
        window.reset();
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

    SimulatedPlatform platform;
    RecordingPresenter presenter;
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
    ASSERT_EQ(presenter.messages.size(), 1u);
    EXPECT_EQ(presenter.messages[0].title, "Error");
    const std::string partial = readFile(incomplete(1));
    const long lines = lineCount(partial);
    EXPECT_GT(lines, 1000);
    EXPECT_LT(lines, 50000);
    EXPECT_EQ(whole.compare(0, partial.size(), partial), 0);  // whole lines, in order
    EXPECT_TRUE(presenter.last().contains("中止")) << presenter.last().toStdString();
    EXPECT_TRUE(presenter.last().contains(QString("%1 / 50000 レコード").arg(lines)));
    EXPECT_TRUE(presenter.last().contains(QString::fromStdString(incomplete(1))));
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
    bool asked = false;
    auto poll = duringSequence([&] {
        if (!asked && overlay().isVisible() && overlay().bar()->value() > 2000) {
            asked = true;
            EXPECT_FALSE(window->close());  // refused while the download runs
        }
    });
    ui->getDataButton->click();
    EXPECT_TRUE(asked);
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

}  // namespace
