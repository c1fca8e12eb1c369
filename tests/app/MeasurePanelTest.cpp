// The Measure panel driven through its real widgets on the offscreen
// platform, against virtual sensors: the configuration in the controls and
// its file, a message that names a refused setting, and live
// sessions that end with Stop or with a channel that closes.
#include <QApplication>
#include <QCheckBox>
#include <QDate>
#include <QDateTimeEdit>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimer>
#include <algorithm>
#include <filesystem>

#include "AppFixture.h"
#include "app/MeasurePanel.h"
#include "link/EventWait.h"
#include "preview/LiveCharts.h"
#include "store/VRAXSensorData.h"

namespace fs = std::filesystem;

namespace {

constexpr uint8_t kSetGyrRange = 0x25;
constexpr uint8_t kStart = 0x13;
constexpr uint8_t kSetDate = 0x11;

class MeasurePanelTest : public WindowFixture {
  protected:
    VirtualSensor* open610() {
        VirtualSensor* sensor = addSensor("VRAX610-001", "00:11:22:33:44:10");
        openWindow();
        choose("VRAX610-001");
        ui->measureButton->click();
        panel = c->measurePanel();
        return sensor;
    }
    template <class W>
    W* control(const char* name) {
        W* w = panel->findChild<W*>(QString::fromLatin1(name));
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    QPushButton* button(const QString& text) {
        for (QPushButton* b : panel->findChildren<QPushButton*>())
            if (b->text().remove(QLatin1Char('&')) == text) return b;
        ADD_FAILURE() << text.toStdString();
        return nullptr;
    }
    // A configuration streaming acceleration at 500 frames a second (the virtual sensor takes the
    // rate as a period in ms).
    static measure::Config agsConfig() {
        measure::Config c;
        c[measure::Kind::ags] = {true, 2, 1, false};
        c[measure::Kind::batt] = {true, 0, 0, false};
        return c;
    }
    // Clicks Stop once `seconds` of the live session have passed.
    std::unique_ptr<QTimer> stopAfter(double seconds) {
        auto t = std::make_unique<QTimer>();
        t->setSingleShot(true);
        QObject::connect(t.get(), &QTimer::timeout, [this] { button("Stop")->click(); });
        t->start(int(seconds * 1000));
        return t;
    }

    MeasurePanel* panel = nullptr;
};

}  // namespace

// Controls and the configuration file agree both ways; a file with an
// unknown key is refused naming it; a file in the way is replaced only when
// asked; values the senders do not take are refused before anything is sent.
TEST_F(MeasurePanelTest, ConfigurationInControlsAndFiles) {
    VirtualSensor* sensor = open610();
    ASSERT_NE(panel, nullptr);
    EXPECT_TRUE(panel->isVisible());
    EXPECT_EQ(panel->sensorName(), "VRAX610-001");

    control<QCheckBox>("enabled_geo")->setChecked(true);
    control<QSpinBox>("rate_geo")->setValue(50);
    control<QSpinBox>("average_geo")->setValue(2);
    control<QCheckBox>("record_geo")->setChecked(true);
    control<QSpinBox>("accRange")->setValue(3);
    control<QCheckBox>("extPortsSet")->setChecked(true);
    control<QSpinBox>("extPort2")->setValue(3);
    control<QSpinBox>("ad16Gain4")->setValue(7);
    const measure::Config c = panel->config();
    EXPECT_EQ(c[measure::Kind::geo], (measure::KindSetting{true, 50, 2, true}));
    EXPECT_FALSE(c[measure::Kind::ags].enabled);
    EXPECT_EQ(c.accRange, 3);
    EXPECT_FALSE(c.gyroRange.has_value());  // "not set": not sent
    EXPECT_EQ(c.extPorts, (std::array<int, 4>{0, 3, 0, 0}));
    EXPECT_EQ(c.ad16Gains[3], 7);
    EXPECT_FALSE(c.buzzerVolume.has_value());

    const QString file = folder.q() + "/settings.json";
    ASSERT_TRUE(panel->saveConfig(file));
    std::string error;
    const std::optional<measure::Config> saved =
        measure::parseConfig(readFile(file.toStdString()), error);
    ASSERT_TRUE(saved) << error;
    EXPECT_EQ(*saved, c);

    panel->setConfig(measure::Config{});
    EXPECT_FALSE(control<QCheckBox>("enabled_geo")->isChecked());
    ASSERT_TRUE(panel->openConfig(file));
    EXPECT_EQ(panel->config(), c);

    // Saving over it: asked; "Cancel" keeps the file as it was.
    control<QSpinBox>("accRange")->setValue(1);
    presenter.answer = 0;
    EXPECT_FALSE(panel->saveConfig(file));
    ASSERT_EQ(presenter.questions.size(), 1u);
    EXPECT_EQ(measure::parseConfig(readFile(file.toStdString()), error)->accRange, 3);
    presenter.answer = 1;
    EXPECT_TRUE(panel->saveConfig(file));
    EXPECT_EQ(measure::parseConfig(readFile(file.toStdString()), error)->accRange, 1);

    writeFile(folder.path + "/bad.json", R"({"ags": {"enabled": true}, "sampleRate": 3})");
    EXPECT_FALSE(panel->openConfig(folder.q() + "/bad.json"));
    EXPECT_TRUE(presenter.last().contains("sampleRate")) << presenter.last().toStdString();
    EXPECT_EQ(presenter.messages.back().title, "Error");
    EXPECT_EQ(panel->config().accRange, 1);  // the controls are left as they were

    // ext16ad on a VRAX610: refused before the sensor is touched.
    control<QCheckBox>("enabled_ext16ad")->setChecked(true);
    control<QSpinBox>("rate_ext16ad")->setValue(10);
    control<QSpinBox>("average_ext16ad")->setValue(1);
    const size_t before = presenter.messages.size();
    button("Live")->click();
    ASSERT_EQ(presenter.messages.size(), before + 1);
    EXPECT_TRUE(presenter.last().contains("ext16ad")) << presenter.last().toStdString();
    EXPECT_EQ(presenter.messages.back().title, "Warning");
    EXPECT_TRUE(sensor->receivedFrames().empty());
    EXPECT_FALSE(window->controller()->busy());
}

// A setting the sensor refuses is named in the message; no start command
// follows. (Unanswered settings take the session's time-outs; the session's
// tests cover them.) Then a start at a chosen time, and a recording stopped.
TEST_F(MeasurePanelTest, CommandsAndARefusedSetting) {
    VirtualSensor* sensor = open610();
    measure::Config c = agsConfig();
    c.gyroRange = 1;
    panel->setConfig(c);

    sensor->faults.ngCommands[kSetGyrRange] = -1;
    button("Start Recording")->click();
    ASSERT_EQ(presenter.messages.size(), 1u);
    EXPECT_TRUE(presenter.last().contains("gyroRange")) << presenter.last().toStdString();
    EXPECT_TRUE(presenter.last().contains("NG"));
    EXPECT_EQ(presenter.messages.back().title, "Error");
    std::vector<uint8_t> codes = sensor->receivedCodes();
    EXPECT_EQ(std::count(codes.begin(), codes.end(), kStart), 0);

    EXPECT_FALSE(window->controller()->busy());
    EXPECT_TRUE(button("Start Recording")->isEnabled());

    // A start time that has passed is refused before anything is sent.
    sensor->faults.ngCommands.clear();
    panel->findChild<QRadioButton*>("startAt")->setChecked(true);
    panel->findChild<QDateTimeEdit*>("startTime")
        ->setDateTime(QDateTime(QDate(2025, 1, 1), QTime(0, 0, 0)));
    const size_t framesBefore = sensor->receivedFrames().size();
    const size_t messagesBefore = presenter.messages.size();
    button("Start Recording")->click();
    ASSERT_EQ(presenter.messages.size(), messagesBefore + 1);
    EXPECT_TRUE(presenter.last().contains(QStringLiteral("2025/01/01 00:00:00")));
    EXPECT_TRUE(presenter.last().contains(QStringLiteral("過ぎています")));
    EXPECT_EQ(sensor->receivedFrames().size(), framesBefore);
    presenter.messages.pop_back();

    // A start at a chosen time, the clock set first.
    panel->findChild<QDateTimeEdit*>("startTime")
        ->setDateTime(QDateTime(QDate(2031, 6, 7), QTime(8, 9, 10)));
    button("Start Recording")->click();
    EXPECT_EQ(presenter.messages.size(), 1u) << presenter.last().toStdString();
    const std::vector<uint8_t>& start = sensor->receivedFrames().back();
    const std::vector<uint8_t> dated = {0x9A, kStart, 0x01, 31, 6, 7, 8, 9, 10};
    ASSERT_GE(start.size(), dated.size());
    EXPECT_TRUE(std::equal(dated.begin(), dated.end(), start.begin()));
    codes = sensor->receivedCodes();
    EXPECT_EQ(std::count(codes.begin(), codes.end(), kSetDate), 1);
    EXPECT_TRUE(panel->statusText().contains("2031/06/07 08:09:10"));

    // Record now, stop: the sensor holds a new entry (listing and downloading
    // it are the main window's).
    measure::Config recorded = agsConfig();
    recorded[measure::Kind::ags].record = true;
    panel->setConfig(recorded);
    panel->findChild<QRadioButton*>("startNow")->setChecked(true);
    const size_t entries = sensor->entries.size();
    button("Start Recording")->click();
    button("Stop")->click();  // its connect takes long enough for records to be made
    EXPECT_EQ(presenter.messages.size(), 1u) << presenter.last().toStdString();
    ASSERT_EQ(sensor->entries.size(), entries + 1);
    EXPECT_GT(sensor->entries.back().recordCount(), 0u);
}

// Live until Stop: the charts draw, the file under the save folder holds
// every record, the stop command went out; Save As writes the binary dump
// and the CSV split into parts. Then a live session whose channel closes
// part-way ends with a message naming its file, which holds what arrived.
TEST_F(MeasurePanelTest, LiveSessions) {
    VirtualSensor* sensor = open610();
    panel->setConfig(agsConfig());
    panel->setWindowSeconds(5);

    // Stop once the charts have drawn a few hundred records (at most 4 s).
    int drawnCharts = 0;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (!panel->isLive()) return;
        drawnCharts = std::max(drawnCharts, panel->charts()->chartCount());
        if (panel->charts()->recordsShown() >= 200) button("Stop")->click();
    });
    probe.start(50);
    const auto giveUpFirst = stopAfter(4);
    button("Live")->click();
    probe.stop();

    EXPECT_TRUE(presenter.messages.empty()) << presenter.last().toStdString();
    EXPECT_FALSE(panel->isLive());
    EXPECT_GE(drawnCharts, 2);  // acceleration and angular velocity at least
    EXPECT_GT(panel->charts()->pointCount(), 0u);
    const uint64_t records = panel->liveRecords();
    EXPECT_GE(records, 200u);
    // The count shown after Stop is the final one, records after the last tick included.
    EXPECT_TRUE(panel->findChild<QLabel*>("ratesLabel")
                    ->text()
                    .contains(QLocale::c().toString(qulonglong(records)) + " records"))
        << panel->findChild<QLabel*>("ratesLabel")->text().toStdString();
    ASSERT_EQ(panel->liveFiles().size(), 1);
    const std::string file = panel->liveFiles().first().toStdString();
    EXPECT_EQ(file.rfind(folder.path, 0), 0u) << file;
    EXPECT_NE(file.find("VRAX610-001"), std::string::npos) << file;
    const std::string text = readFile(file);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), long(records));
    EXPECT_EQ(text.substr(0, 4), "ags,");
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    const std::vector<uint8_t> codes = sensor->receivedCodes();
    EXPECT_EQ(codes.back(), kStopCode);
    EXPECT_FALSE(window->controller()->busy());

    // Save As: the binary dump, then CSV parts of 100 lines.
    ASSERT_TRUE(panel->saveLiveAs(folder.q() + "/dump", true));
    EXPECT_EQ(fs::file_size(folder.path + "/dump.bin"), records * sizeof(SensorDataRecord));
    panel->setLinesPerFile(100);
    ASSERT_TRUE(panel->saveLiveAs(folder.q() + "/parts.csv", false));
    EXPECT_EQ(linesIn(folder.path + "/parts-0.csv"), 100);
    const uint64_t parts = records / 100 + 1;
    EXPECT_TRUE(fs::exists(folder.path + "/parts-" + std::to_string(parts - 1) + ".csv"));
    // Again: the files in the way are the user's; "Cancel" keeps them.
    presenter.answer = 0;
    EXPECT_FALSE(panel->saveLiveAs(folder.q() + "/dump", true));
    EXPECT_EQ(presenter.questions.size(), 1u);

    // The channel closes after 60 streamed frames.
    sensor->faults.closeAfterFrames = 60;
    const auto giveUp = stopAfter(5);  // never reached when the close ends it
    button("Live")->click();
    ASSERT_EQ(presenter.messages.size(), 1u);
    ASSERT_EQ(panel->liveFiles().size(), 1);
    const QString closedFile = panel->liveFiles().first();
    EXPECT_NE(closedFile.toStdString(), file);
    EXPECT_TRUE(presenter.last().contains(closedFile)) << presenter.last().toStdString();
    EXPECT_EQ(presenter.messages.back().title, "Error");
    EXPECT_EQ(linesIn(closedFile.toStdString()), long(panel->liveRecords()));
    EXPECT_GT(panel->liveRecords(), 0u);
    EXPECT_FALSE(window->controller()->busy());
}
