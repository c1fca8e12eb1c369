// The sensors overview driven through the real window on the offscreen
// platform, against virtual sensors: rows, refresh, actions on several
// sensors, labels, and the window at a small screen's size.
#include <QAbstractScrollArea>
#include <QApplication>
#include <QDate>
#include <QDateTime>
#include <QPushButton>
#include <QScrollArea>
#include <QTabWidget>
#include <QTableView>
#include <filesystem>
#include <functional>
#include <mutex>

#include "AppFixture.h"
#include "app/MeasurePanel.h"
#include "app/SensorsOverview.h"
#include "app/WindowPlacement.h"
#include "link/EventWait.h"
#include "sensor/MeasureConfig.h"
#include "store/SensorLabels.h"

namespace {

class OverviewTest : public WindowFixture {
  protected:
    void openWindow() {
        WindowFixture::openWindow();
        overview = window->overview();
        window->pages()->setCurrentWidget(overview);
    }
    const OverviewRow& row(const QString& name) {
        for (const OverviewRow& r : overview->model()->rows())
            if (r.name == name) return r;
        ADD_FAILURE() << "no row " << name.toStdString();
        static OverviewRow none;
        return none;
    }
    QStringList addresses(std::initializer_list<const char*> names) {
        QStringList out;
        for (const char* n : names) out << row(QString::fromLatin1(n)).address;
        return out;
    }

    SensorsOverview* overview = nullptr;
};

TEST_F(OverviewTest, RefreshReadsEverySensorAndNamesTheBusyAndTheSilentOne) {
    VirtualSensor* a = addSensor("VRAX610-001", "00:1B:DC:61:00:01", {300, 200});
    addSensor("VRAX610-002", "00:1B:DC:61:00:02")->faults.busy = true;
    VirtualSensor* silent = addSensor("VRAX610-003", "00:1B:DC:61:00:03");
    for (int code = 0; code < 256; ++code) silent->faults.unansweredCommands[uint8_t(code)] = -1;
    platform.addDevice("Lab Headset", "00:1B:DC:AA:00:03", nullptr);
    a->faults.clockPpm = 0;
    openWindow();
    ASSERT_EQ(overview->model()->rowCount(), 3);  // the headset is no sensor

    overview->refresh();
    const OverviewRow& ok = row("VRAX610-001");
    ASSERT_TRUE(ok.status.has_value());
    EXPECT_EQ(ok.status->memory.entryCount, 2u);
    EXPECT_GT(ok.status->batteryVoltage, 0.f);
    EXPECT_FALSE(ok.status->firmVersion.empty());
    ASSERT_TRUE(ok.clock.has_value());
    EXPECT_TRUE(ok.clock->answered);
    EXPECT_EQ(ok.state, OverviewRow::State::idle);
    EXPECT_TRUE(ok.lastRead.isValid());
    EXPECT_FALSE(ok.failed);

    EXPECT_EQ(row("VRAX610-002").state, OverviewRow::State::busy);
    EXPECT_EQ(row("VRAX610-002").result, "別の機器で使用中です");
    EXPECT_TRUE(row("VRAX610-002").failed);
    EXPECT_EQ(row("VRAX610-003").state, OverviewRow::State::unreachable);
    EXPECT_EQ(OverviewModel::stateText(row("VRAX610-003")), "not reachable (no answer)");
    EXPECT_EQ(row("VRAX610-003").result, "センサが応答しませんでした");
    EXPECT_TRUE(presenter.messages.empty());  // results are in the rows, not in message boxes

    // The probe went into the clock log; a second one gives the drift.
    const std::string log = readFile(folder.path + "/clock-log.tsv");
    EXPECT_NE(log.find("VRAX610-001"), std::string::npos);
    overview->select(addresses({"VRAX610-001"}));
    overview->refresh();
    EXPECT_TRUE(row("VRAX610-001").driftPpm.has_value());
    EXPECT_EQ(row("VRAX610-003").result, "センサが応答しませんでした");  // not read again

    // Columns sort by value: the entries column puts the unread rows first.
    QTableView* table = overview->table();
    table->sortByColumn(OverviewModel::entries, Qt::DescendingOrder);
    EXPECT_EQ(table->model()->index(0, OverviewModel::sensor).data().toString(), "VRAX610-001");
}

// Qt's warnings about threads while it lives (a notifier or timer touched
// from a thread it does not belong to says so), from any thread.
class QtWarnings {
  public:
    QtWarnings() {
        std::lock_guard<std::mutex> hold(lock());
        texts().clear();
        previous = qInstallMessageHandler(
            [](QtMsgType type, const QMessageLogContext&, const QString& text) {
                if (type == QtDebugMsg || type == QtInfoMsg || !text.contains("thread")) return;
                std::lock_guard<std::mutex> hold(lock());
                texts() << text;
            });
    }
    ~QtWarnings() { qInstallMessageHandler(previous); }
    QString seen() const {
        std::lock_guard<std::mutex> hold(lock());
        return texts().join('\n');
    }

  private:
    static std::mutex& lock() {
        static std::mutex m;
        return m;
    }
    static QStringList& texts() {
        static QStringList t;
        return t;
    }
    QtMessageHandler previous;
};

// Each sensor is read on a thread of its own: the others' rows are filled
// while a sensor out of range still waits (run inside their waits, it would
// hold them all up), a second refresh works, and a cancel ends the refresh.
TEST_F(OverviewTest, RefreshReadsEverySensorAtOnceAndTheUnreachableOneEndsLast) {
    const QtWarnings warnings;
    addSensor("VRAX610-001", "00:1B:DC:61:00:01", {100});
    addSensor("VRAX610-002", "00:1B:DC:61:00:02")->faults.busy = true;
    addSensor("VRAX610-003", "00:1B:DC:61:00:03", {50, 60});
    addSensor("VRAX610-004", "00:1B:DC:61:00:04");
    VirtualSensor* silent = addSensor("VRAX610-009", "00:1B:DC:61:00:09");
    for (int code = 0; code < 256; ++code) silent->faults.unansweredCommands[uint8_t(code)] = -1;
    openWindow();
    // The rows in the order their reads end, and what happens at each end.
    QStringList endOrder, working;
    std::function<void()> onEnd;
    QObject::connect(overview->model(), &QAbstractItemModel::dataChanged,
                     [&](const QModelIndex& from, const QModelIndex& to) {
                         for (int i = from.row(); i <= to.row(); ++i) {
                             const OverviewRow& r = overview->model()->row(i);
                             if (r.state == OverviewRow::State::working) {
                                 if (!working.contains(r.name)) working << r.name;
                             } else if (working.removeAll(r.name)) {
                                 endOrder << r.name;
                             }
                         }
                         if (onEnd) onEnd();
                     });

    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        endOrder.clear();
        const QDateTime began = QDateTime::currentDateTime();
        overview->refresh();
        ASSERT_EQ(endOrder.size(), 5) << endOrder.join(' ').toStdString();
        for (const char* n : {"VRAX610-001", "VRAX610-003", "VRAX610-004"}) {
            EXPECT_EQ(row(n).result, "読み取りました") << n;
            EXPECT_GE(row(n).lastRead, began) << n;
        }
        ASSERT_TRUE(row("VRAX610-003").status.has_value());
        EXPECT_EQ(row("VRAX610-003").status->memory.entryCount, 2u);
        EXPECT_EQ(row("VRAX610-002").state, OverviewRow::State::busy);
        EXPECT_EQ(row("VRAX610-009").state, OverviewRow::State::unreachable);
        EXPECT_EQ(row("VRAX610-009").result, "センサが応答しませんでした");
        EXPECT_EQ(platform.openLinks(), 0u);  // every far end closed with its channel
    }
    // Each read went into the clock log, written on the main thread.
    EXPECT_EQ(linesIn(folder.path + "/clock-log.tsv"), 1 + 2 * 3);

    // Out of range (a page of 30 s): the others end while it waits, and the
    // cancel once they have ends it.
    silent->faults.connectDelayMs = 30000;
    endOrder.clear();
    onEnd = [&] {
        if (endOrder.size() == 4) overview->fleet()->cancel();
    };
    overview->refresh();
    ASSERT_EQ(endOrder.size(), 5) << endOrder.join(' ').toStdString();
    EXPECT_EQ(endOrder.last(), "VRAX610-009") << endOrder.join(' ').toStdString();
    EXPECT_EQ(row("VRAX610-009").result, "中止しました");
    EXPECT_EQ(row("VRAX610-004").result, "読み取りました");
    EXPECT_FALSE(overview->fleet()->running());
    EXPECT_EQ(platform.openLinks(), 0u);
    EXPECT_TRUE(warnings.seen().isEmpty()) << warnings.seen().toStdString();
}

TEST_F(OverviewTest, ThreeSensorsStartTogetherAtACommonTimeAndStop) {
    VirtualSensor* s[3] = {addSensor("VRAX610-001", "00:1B:DC:61:00:01"),
                           addSensor("VRAX610-002", "00:1B:DC:61:00:02"),
                           addSensor("VRAX610-003", "00:1B:DC:61:00:03")};
    openWindow();
    overview->reloadSensors();
    overview->select(addresses({"VRAX610-001", "VRAX610-002", "VRAX610-003"}));
    overview->setClocks();
    for (const char* n : {"VRAX610-001", "VRAX610-002", "VRAX610-003"}) {
        EXPECT_EQ(row(n).result, "時計を合わせました") << n;
        ASSERT_TRUE(row(n).clock.has_value());
    }

    // A start in the past is refused before any sensor is touched.
    overview->setStartAt(QDateTime::currentDateTime().addSecs(-5));
    overview->startRecording();
    EXPECT_EQ(presenter.last(), "開始時刻が過ぎています．未来の時刻を指定してください");
    EXPECT_FALSE(s[0]->measuring());

    const QDateTime at = QDateTime::currentDateTime().addSecs(3600);
    overview->setStartAt(at);
    overview->startRecording();
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(s[i]->measuring()) << i;
    for (const char* n : {"VRAX610-001", "VRAX610-002", "VRAX610-003"}) {
        EXPECT_EQ(row(n).state, OverviewRow::State::scheduled) << n;
        EXPECT_EQ(OverviewModel::stateText(row(n)),
                  "recording scheduled at " + at.toString("yyyy-MM-dd HH:mm:ss"));
    }

    // A refresh would stop them: it leaves them alone.
    overview->select({});
    overview->refresh();
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(s[i]->measuring()) << i;
    EXPECT_EQ(row("VRAX610-002").result,
              "記録中のため読み取りません（接続すると記録が止まります）");

    overview->select(addresses({"VRAX610-001", "VRAX610-002", "VRAX610-003"}));
    overview->stop();
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(s[i]->measuring()) << i;
    EXPECT_EQ(row("VRAX610-003").state, OverviewRow::State::idle);
}

TEST_F(OverviewTest, OneSensorsFailureIsItsRowsResultAndTheOthersGoOn) {
    VirtualSensor* a = addSensor("VRAX610-001", "00:1B:DC:61:00:01");
    addSensor("VRAX610-002", "00:1B:DC:61:00:02")->faults.busy = true;
    openWindow();
    overview->reloadSensors();
    overview->select(addresses({"VRAX610-001", "VRAX610-002"}));
    overview->startRecording();  // now
    EXPECT_TRUE(a->measuring());
    EXPECT_EQ(row("VRAX610-001").state, OverviewRow::State::recording);
    EXPECT_EQ(row("VRAX610-001").result, "記録を開始しました");
    EXPECT_EQ(row("VRAX610-002").state, OverviewRow::State::busy);
    overview->identify();
    EXPECT_EQ(row("VRAX610-001").result, "ビープ音を鳴らしました");
    EXPECT_EQ(row("VRAX610-002").result, "別の機器で使用中です");
}

TEST_F(OverviewTest, EraseAsksNamingEachSensorAndWhetherItsEntriesAreDownloaded) {
    VirtualSensor* a = addSensor("VRAX610-001", "00:1B:DC:61:00:01", {100, 50});
    VirtualSensor* b = addSensor("VRAX610-002", "00:1B:DC:61:00:02");
    openWindow();
    overview->reloadSensors();
    overview->select(addresses({"VRAX610-001", "VRAX610-002"}));

    presenter.answer = 0;  // Cancel
    overview->erase();
    ASSERT_EQ(presenter.questions.size(), 1u);
    const QString q = presenter.questions[0].text;
    EXPECT_TRUE(q.contains("VRAX610-001: 2 件，ダウンロードされていないデータが 2 件あります"))
        << q.toStdString();
    EXPECT_TRUE(q.contains("VRAX610-002: データなし")) << q.toStdString();
    EXPECT_EQ(presenter.questions[0].buttons, (QStringList{"Cancel", "Erase"}));
    EXPECT_EQ(a->entries.size(), 2u);

    presenter.answer = 1;
    overview->erase();
    EXPECT_TRUE(a->entries.empty());
    EXPECT_TRUE(b->entries.empty());
    EXPECT_EQ(row("VRAX610-001").result, "メモリを消去しました");
}

TEST_F(OverviewTest, DownloadAllNewRunsEverySensorAndNamesTheOneThatBrokeOff) {
    addSensor("VRAX610-001", "00:1B:DC:61:00:01", {400, 300});
    addSensor("VRAX610-002", "00:1B:DC:61:00:02", {500});
    addSensor("VRAX610-003", "00:1B:DC:61:00:03", {2000})->faults.closeAfterFrames = 600;
    openWindow();
    overview->reloadSensors();
    // The button, with none selected: all of them.
    QPushButton* button = overview->findChild<QPushButton*>("DownloadAllNew");
    ASSERT_NE(button, nullptr);
    button->click();
    EXPECT_EQ(row("VRAX610-001").result, "2 件ダウンロードしました");
    EXPECT_EQ(row("VRAX610-002").result, "1 件ダウンロードしました");
    const QString broken = row("VRAX610-003").result;
    EXPECT_TRUE(broken.startsWith("0 件ダウンロード後に中断しました．途中までのデータ: "))
        << broken.toStdString();
    EXPECT_TRUE(broken.contains("incomplete")) << broken.toStdString();
    EXPECT_TRUE(row("VRAX610-003").failed);
    const std::string day =
        folder.path + "/memdata_" + QDate::currentDate().toString("yyyyMMdd").toStdString();
    const std::string kept = day + "/" + broken.mid(broken.indexOf(": ") + 2).toStdString();
    EXPECT_TRUE(std::filesystem::exists(kept)) << kept;

    // Again: the complete ones are not new; the broken one is tried again.
    platform.removeDevice("00:1B:DC:61:00:03");
    overview->reloadSensors();
    overview->downloadAllNew();
    EXPECT_EQ(row("VRAX610-001").result, "新しいデータはありません");
    EXPECT_EQ(row("VRAX610-002").result, "新しいデータはありません");
    EXPECT_TRUE(presenter.questions.empty());
}

// A whole session of three sensors: clocks set, recording started together,
// stopped, what they recorded downloaded, and their memory erased.
TEST_F(OverviewTest, AThreeSensorSessionFromClocksToErase) {
    VirtualSensor* s[3] = {addSensor("VRAX610-001", "00:1B:DC:61:00:01"),
                           addSensor("VRAX610-002", "00:1B:DC:61:00:02"),
                           addSensor("VRAX610-003", "00:1B:DC:61:00:03")};
    openWindow();
    measure::Config config;
    config[measure::Kind::ags] = {true, 100, 1, true};
    window->controller()->measurePanel()->setConfig(config);
    overview->reloadSensors();
    const QStringList all = addresses({"VRAX610-001", "VRAX610-002", "VRAX610-003"});
    overview->select(all);
    overview->setClocks();
    overview->setStartAt(std::nullopt);
    overview->startRecording();
    eventwait::runFor(1.0);
    overview->stop();
    for (int i = 0; i < 3; ++i) ASSERT_EQ(s[i]->entries.size(), 1u) << i;

    overview->downloadAllNew();
    for (const char* n : {"VRAX610-001", "VRAX610-002", "VRAX610-003"})
        EXPECT_EQ(row(n).result, "1 件ダウンロードしました") << n;
    presenter.answer = 1;
    overview->erase();
    ASSERT_EQ(presenter.questions.size(), 1u);
    EXPECT_TRUE(presenter.questions[0].text.contains("VRAX610-003: 1 件，全てダウンロード済み"))
        << presenter.questions[0].text.toStdString();
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(s[i]->entries.empty()) << i;
    EXPECT_TRUE(presenter.messages.empty()) << presenter.last().toStdString();
}

TEST_F(OverviewTest, LabelsLiveInTheSaveFolder) {
    addSensor("VRAX610-001", "00:1B:DC:61:00:01");
    openWindow();
    overview->reloadSensors();
    ASSERT_TRUE(overview->setLabel(row("VRAX610-001").address, "left ankle"));
    EXPECT_EQ(row("VRAX610-001").label, "left ankle");
    EXPECT_EQ(labels::labelOf(folder.path, "VRAX610-001"), "left ankle");
    EXPECT_EQ(overview->model()->index(0, OverviewModel::label).data().toString(), "left ankle");

    // Another save folder has labels of its own.
    TempFolder other;
    window->controller()->setSaveFolder(other.q());
    overview->reloadSensors();
    EXPECT_EQ(row("VRAX610-001").label, "");
}

// Every button of the window's pages and of the Measure panel can be reached
// at 1024×600: it lies inside the window, or its scroll area brings it there.
TEST_F(OverviewTest, EveryButtonIsReachableAt1024x600) {
    addSensor("VRAX610-001", "00:1B:DC:61:00:01");
    openWindow();
    window->resize(1024, 600);
    MeasurePanel* panel = window->controller()->measurePanel();
    panel->show();
    panel->resize(1024, 600);
    QApplication::processEvents();
    EXPECT_LE(window->width(), 1024);
    EXPECT_LE(window->height(), 600);
    EXPECT_LE(panel->height(), 600);
    int checked = 0;
    for (int page = 0; page < window->pages()->count(); ++page) {
        window->pages()->setCurrentIndex(page);
        QApplication::processEvents();
        for (QWidget* top : {static_cast<QWidget*>(window.get()), static_cast<QWidget*>(panel)}) {
            for (QPushButton* b : top->findChildren<QPushButton*>()) {
                if (!b->isVisibleTo(top) || b->window() != top) continue;
                // The innermost scroll area shows it (after scrolling), and
                // what that area shows lies inside the window.
                QWidget* shownIn = top;
                for (QWidget* p = b->parentWidget(); p && p != top; p = p->parentWidget())
                    if (auto* area = qobject_cast<QScrollArea*>(p)) {
                        area->ensureWidgetVisible(b, 0, 0);
                        QApplication::processEvents();
                        shownIn = area->viewport();
                        break;
                    }
                ++checked;
                const QRect r(b->mapTo(shownIn, QPoint(0, 0)), b->size());
                EXPECT_TRUE(shownIn->rect().contains(r))
                    << b->text().toStdString() << " of " << top->objectName().toStdString()
                    << " at " << r.x() << "," << r.y();
                const QRect area(shownIn->mapTo(top, QPoint(0, 0)), shownIn->size());
                EXPECT_TRUE(shownIn == top || top->rect().contains(area))
                    << b->text().toStdString();
            }
        }
    }
    EXPECT_GE(checked, 30);  // both pages, with the panel each time
}

TEST(WindowPlacement, ThePanelOpensBesideTheWindowWhenTheScreenHasRoom) {
    struct Case {
        QRect screen, window;
        bool beside;
        QRect movedWindow, panel;
    };
    const QSize wanted(1180, 720);
    const Case cases[] = {
        // A wide screen: beside, at the wanted size.
        {{0, 0, 1920, 1080}, {100, 100, 640, 520}, true, {100, 100, 640, 520}, {740, 0, 1180, 720}},
        // 1366×768 with the window in the middle: it moves left to make room.
        {{0, 0, 1366, 768}, {363, 124, 640, 520}, true, {0, 124, 640, 520}, {640, 0, 726, 720}},
        // 1024×600: no room beside; the panel fits the screen.
        {{0, 0, 1024, 600}, {192, 40, 640, 520}, false, {192, 40, 640, 520}, {0, 0, 1024, 600}},
    };
    for (const Case& c : cases) {
        const placement::Placement p = placement::besideWindow(c.screen, c.window, wanted);
        EXPECT_EQ(p.beside, c.beside) << c.screen.width();
        EXPECT_EQ(p.window, c.movedWindow) << c.screen.width();
        EXPECT_EQ(p.panel, c.panel) << c.screen.width();
        EXPECT_TRUE(c.screen.contains(p.panel)) << c.screen.width();
        if (p.beside) {
            EXPECT_FALSE(p.panel.intersects(p.window)) << c.screen.width();
        }
    }
}

}  // namespace
