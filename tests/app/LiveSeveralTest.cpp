// Several sensors live in the Measure panel at once, chosen in the
// overview, through the real widgets on the offscreen platform against
// virtual sensors: shared charts, markers from the M key and the Mark
// button in events.tsv with one column per sensor, each sensor's file and
// time map complete after Stop; a sensor that cannot be reached is named
// while the others stream.
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <filesystem>

#include "AppFixture.h"
#include "app/LiveView.h"
#include "app/MeasurePanel.h"
#include "app/SensorsOverview.h"
#include "preview/LiveCharts.h"
#include "preview/SharedLiveCharts.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> splitText(const std::string& text, char at) {
    std::vector<std::string> out(1);
    for (char ch : text) {
        if (ch == at)
            out.emplace_back();
        else if (ch != '\r')
            out.back() += ch;
    }
    if (!out.empty() && out.back().empty()) out.pop_back();
    return out;
}

class LiveSeveralTest : public WindowFixture {
  protected:
    void openPanel() {
        openWindow();
        choose("VRAX610-001");
        ui->measureButton->click();
        panel = c->measurePanel();
        overview = window->overview();
        overview->reloadSensors();
        measure::Config config;
        config[measure::Kind::ags] = {true, 2, 1, false};
        config[measure::Kind::batt] = {true, 0, 0, false};
        panel->setConfig(config);
        panel->setWindowSeconds(5);
        panel->activateWindow();
        QApplication::processEvents();
    }
    QString address(const char* name) {
        for (const OverviewRow& r : overview->model()->rows())
            if (r.name == QLatin1String(name)) return r.address;
        ADD_FAILURE() << name;
        return {};
    }
    void key(QWidget* to, int k) {
        QKeyEvent press(QEvent::KeyPress, k, Qt::NoModifier, k == Qt::Key_M ? "m" : "");
        QApplication::sendEvent(to, &press);
        QKeyEvent release(QEvent::KeyRelease, k, Qt::NoModifier, k == Qt::Key_M ? "m" : "");
        QApplication::sendEvent(to, &release);
    }
    // Clicks Stop once `seconds` have passed (never reached when the test stops first).
    std::unique_ptr<QTimer> giveUpAfter(double seconds) {
        auto t = std::make_unique<QTimer>();
        t->setSingleShot(true);
        QObject::connect(t.get(), &QTimer::timeout,
                         [this] { panel->live()->stopButton()->click(); });
        t->start(int(seconds * 1000));
        return t;
    }

    MeasurePanel* panel = nullptr;
    SensorsOverview* overview = nullptr;
};

}  // namespace

// Three sensors live from the window: every one drawn on the shared charts
// with its label in the legend; a marker with the M key and a label, one
// with the Mark button and none; after Stop, one complete file and time map
// per sensor and events.tsv with both markers on each sensor's time.
TEST_F(LiveSeveralTest, ThreeSensorsLiveWithMarkersOnEverySensorsTime) {
    const char* names[] = {"VRAX610-001", "VRAX610-002", "VRAX650-003"};
    VirtualSensor* sensors[] = {
        addSensor(names[0], "00:1B:DC:61:00:01"), addSensor(names[1], "00:1B:DC:61:00:02"),
        addSensor(names[2], "00:1B:DC:65:00:03", {}, VirtualModel::VRAX650)};
    openPanel();
    ASSERT_TRUE(overview->setLabel(address(names[0]), "left ankle"));
    overview->select({address(names[0]), address(names[1]), address(names[2])});
    ASSERT_TRUE(panel->live()->liveButton()->isEnabled());

    int step = 0;
    int maxCharts = 0;
    size_t markersDrawn = 0;
    QString legend;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (!panel->isLive()) return;
        preview::SharedLiveCharts* charts = panel->sharedCharts();
        maxCharts = std::max(maxCharts, charts->chartCount());
        bool allDrawn = true;
        for (size_t i = 0; i < 3; ++i) allDrawn = allDrawn && charts->recordsShownOf(i) >= 100;
        QLineEdit* edit = panel->live()->markerEdit();
        if (step == 0 && allDrawn) {
            key(panel, Qt::Key_M);
            EXPECT_TRUE(edit->isVisible());
            edit->setText("left heel strike");
            key(edit, Qt::Key_Return);
            step = 1;
        } else if (step == 1) {
            panel->live()->markButton()->click();
            key(edit, Qt::Key_Return);  // no label: an unnamed marker
            EXPECT_FALSE(edit->isVisible());
            step = 2;
        } else if (step == 2) {
            legend = panel->findChild<QLabel*>("ratesLabel")->text();
            markersDrawn = charts->markersShown();
            panel->live()->stopButton()->click();
            step = 3;
        }
    });
    probe.start(50);
    const auto giveUp = giveUpAfter(10);
    panel->live()->liveButton()->click();
    probe.stop();

    EXPECT_TRUE(presenter.messages.empty()) << presenter.last().toStdString();
    ASSERT_EQ(step, 3) << "the sensors were not all drawn";
    EXPECT_TRUE(panel->liveWasSeveral());
    EXPECT_FALSE(panel->isLive());
    EXPECT_FALSE(c->busy());
    EXPECT_GE(maxCharts, 1);
    EXPECT_EQ(markersDrawn, 2u);
    EXPECT_TRUE(legend.contains("left ankle")) << legend.toStdString();
    EXPECT_TRUE(legend.contains(" V")) << legend.toStdString();  // battery
    EXPECT_TRUE(panel->statusText().contains("3台")) << panel->statusText().toStdString();

    // One file and one time map per sensor, complete, each sensor stopped.
    ASSERT_EQ(panel->liveFiles().size(), 3);
    ASSERT_EQ(panel->liveTimeMaps().size(), 3);
    std::vector<std::pair<long long, long long>> spans(3);  // each sensor's first and last time
    for (int i = 0; i < 3; ++i) {
        const std::string file = panel->liveFiles()[i].toStdString();
        EXPECT_NE(file.find(names[i]), std::string::npos) << file;
        EXPECT_EQ(file.find(".part"), std::string::npos) << file;
        const std::vector<std::string> lines = splitText(readFile(file), '\n');
        ASSERT_GE(lines.size(), 100u) << file;
        const long long first = std::stoll(splitText(lines.front(), ',')[1]);
        const long long last = std::stoll(splitText(lines.back(), ',')[1]);
        spans[size_t(i)] = {first, last};
        const std::string map = panel->liveTimeMaps()[i].toStdString();
        EXPECT_NE(map.find(names[i]), std::string::npos) << map;
        const std::vector<std::string> pairs = splitText(readFile(map), '\n');
        ASSERT_GE(pairs.size(), 2u) << map;
        EXPECT_EQ(pairs[0], "sensor_ms\thost_utc_ms\thost_utc");
        EXPECT_EQ(sensors[i]->receivedCodes().back(), kStopCode) << names[i];
    }

    // events.tsv: both markers, one time column per sensor, inside each sensor's records.
    const std::string events = panel->eventsFile().toStdString();
    ASSERT_FALSE(events.empty());
    EXPECT_EQ(fs::path(events).filename(), "events.tsv");
    EXPECT_EQ(fs::path(events).parent_path(),
              fs::path(panel->liveFiles()[0].toStdString()).parent_path());
    const std::vector<std::string> rows = splitText(readFile(events), '\n');
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0],
              "onset\tduration\ttrial_type\tutc\tVRAX610-001_time_ms\tVRAX610-002_time_ms\t"
              "VRAX650-003_time_ms");
    double lastOnset = -1;
    for (size_t r = 1; r < rows.size(); ++r) {
        const std::vector<std::string> f = splitText(rows[r], '\t');
        ASSERT_EQ(f.size(), 7u) << rows[r];
        EXPECT_EQ(f[2], r == 1 ? "left heel strike" : "n/a");
        EXPECT_GT(std::stod(f[0]), lastOnset);
        lastOnset = std::stod(f[0]);
        EXPECT_EQ(f[1], "0");
        for (size_t i = 0; i < 3; ++i) {
            const long long t = std::stoll(f[4 + i]);
            EXPECT_GE(t, spans[i].first - 200) << rows[r];
            EXPECT_LE(t, spans[i].second + 200) << rows[r];
        }
    }
    EXPECT_TRUE(panel->statusText().contains("events.tsv")) << panel->statusText().toStdString();
}

// A sensor that cannot be reached is named at the end while the other
// streams its file to the end; with a single row chosen, Live is the
// panel's one-sensor session as before.
TEST_F(LiveSeveralTest, AnUnreachableSensorIsNamedAndTheOtherStreams) {
    addSensor("VRAX610-001", "00:1B:DC:61:00:01");
    addSensor("VRAX610-002", "00:1B:DC:61:00:02")->faults.busy = true;
    openPanel();
    overview->select({address("VRAX610-001"), address("VRAX610-002")});

    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (panel->isLive() && panel->sharedCharts()->recordsShownOf(0) >= 100)
            panel->live()->stopButton()->click();
    });
    probe.start(50);
    auto giveUp = giveUpAfter(10);
    panel->live()->liveButton()->click();
    probe.stop();

    ASSERT_EQ(presenter.messages.size(), 1u);
    EXPECT_TRUE(presenter.last().contains("VRAX610-002")) << presenter.last().toStdString();
    EXPECT_FALSE(presenter.last().contains("VRAX610-001")) << presenter.last().toStdString();
    ASSERT_EQ(panel->liveFiles().size(), 1);
    EXPECT_NE(panel->liveFiles()[0].indexOf("VRAX610-001"), -1);
    EXPECT_GE(linesIn(panel->liveFiles()[0].toStdString()), 100);
    EXPECT_TRUE(panel->eventsFile().isEmpty());  // no marker, no events file

    // One row chosen: the panel's one-sensor session, which takes markers too.
    overview->select({address("VRAX610-001")});
    probe.disconnect();
    bool marked = false;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (!panel->isLive() || panel->charts()->recordsShown() < 50) return;
        if (!marked) {
            key(panel, Qt::Key_M);
            panel->live()->markerEdit()->setText("tap");
            key(panel->live()->markerEdit(), Qt::Key_Return);
            marked = true;
        } else {
            panel->live()->stopButton()->click();
        }
    });
    probe.start(50);
    giveUp = giveUpAfter(10);
    panel->live()->liveButton()->click();
    EXPECT_FALSE(panel->liveWasSeveral());
    EXPECT_EQ(panel->charts()->markerCount(), 1u);
    ASSERT_EQ(panel->liveFiles().size(), 1);
    EXPECT_NE(panel->liveFiles()[0].indexOf("VRAX610-001"), -1);
    const std::vector<std::string> rows =
        splitText(readFile(panel->eventsFile().toStdString()), '\n');
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0], "onset\tduration\ttrial_type\tutc\tVRAX610-001_time_ms");
    const std::vector<std::string> f = splitText(rows[1], '\t');
    ASSERT_EQ(f.size(), 5u) << rows[1];
    EXPECT_EQ(f[2], "tap");
    EXPECT_NE(f[4], "n/a");
}

// The session of three sensors done in the window: clocks set in the
// overview, all three started together live (recording into their memory
// too) with a marker, stopped, what they recorded downloaded, their memory
// erased.
TEST_F(LiveSeveralTest, AThreeSensorSessionFromClocksThroughLiveToErase) {
    VirtualSensor* s[3] = {addSensor("VRAX610-001", "00:1B:DC:61:00:01"),
                           addSensor("VRAX610-002", "00:1B:DC:61:00:02"),
                           addSensor("VRAX610-003", "00:1B:DC:61:00:03")};
    openPanel();
    measure::Config config;
    config[measure::Kind::ags] = {true, 10, 1, true};
    config[measure::Kind::batt] = {true, 0, 0, false};
    panel->setConfig(config);
    const QStringList all{address("VRAX610-001"), address("VRAX610-002"), address("VRAX610-003")};
    overview->select(all);
    overview->setClocks();
    for (const OverviewRow& r : overview->model()->rows())
        EXPECT_FALSE(r.failed) << r.name.toStdString();

    bool marked = false;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (!panel->isLive()) return;
        for (size_t i = 0; i < 3; ++i)
            if (panel->sharedCharts()->recordsShownOf(i) < 50) return;
        if (!marked) {
            panel->markClicked();
            panel->live()->markerEdit()->setText("trial 1");
            panel->markerLabelEntered();
            marked = true;
        } else {
            panel->stopClicked();
        }
    });
    probe.start(100);
    const auto giveUp = giveUpAfter(10);
    panel->live()->liveButton()->click();
    probe.stop();
    ASSERT_TRUE(marked);
    EXPECT_EQ(panel->liveFiles().size(), 3);
    EXPECT_EQ(linesIn(panel->eventsFile().toStdString()), 2);

    overview->downloadAllNew();
    for (int i = 0; i < 3; ++i) ASSERT_EQ(s[i]->entries.size(), 1u) << i;
    for (const OverviewRow& r : overview->model()->rows())
        EXPECT_EQ(r.result, "1 件ダウンロードしました") << r.name.toStdString();
    presenter.answer = 1;
    overview->erase();
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(s[i]->entries.empty()) << i;
    EXPECT_TRUE(presenter.messages.empty()) << presenter.last().toStdString();
}
