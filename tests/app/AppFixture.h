// The real window on virtual sensors, with a presenter that records every
// message and answers questions as the test says, and folders opened recorded
// instead of starting a file manager.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QString>
#include <QStringList>
#include <QUrl>
#include <algorithm>
#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

#include "app/MainWindow.h"
#include "app/MyTools.h"
#include "link_sim/SimulatedPlatform.h"
#include "support/Files.h"
#include "ui_MainWindow.h"

// The code of the stop command, the last a live session sends.
inline constexpr uint8_t kStopCode = 0x15;

struct Message {
    QString text;
    QString title;
    QStringList buttons;  // of a question
};

class RecordingPresenter : public MessagePresenter {
  public:
    std::vector<Message> messages;
    std::vector<Message> questions;
    int answer = 0;  // index of the button chosen for questions
    std::function<void()> onMessage;

    void showMessage(const QString& message, const QString& title) override {
        messages.push_back({message, title, {}});
        if (onMessage) onMessage();
    }
    int ask(const QString& message, const QString& title, const QStringList& buttons) override {
        questions.push_back({message, title, buttons});
        return answer;
    }
    QString last() const { return messages.empty() ? QString() : messages.back().text; }
};

inline long linesIn(const std::string& file) {
    const std::string text = readFile(file);
    return long(std::count(text.begin(), text.end(), '\n'));
}

class TempFolder {
  public:
    TempFolder() { path = makeTempFolder("vrax-app"); }
    ~TempFolder() { std::filesystem::remove_all(path); }
    QString q() const { return QString::fromStdString(path); }
    std::string path;
};

class WindowFixture : public ::testing::Test {
  protected:
    void SetUp() override {
        BluetoothPlatform::setCurrent(&platform);
        MyTools::setPresenter(&presenter);
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
    // A paired sensor holding entries of the given sizes, all starting at
    // 2014-03-05 07:08:09 (45 ms, 46 ms, ...).
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
        Q_EMIT ui->sensorPB->activated(ui->sensorPB->currentIndex());
    }

    SimulatedPlatform platform;
    RecordingPresenter presenter;
    QStringList opened;
    bool openerWorks = true;
    TempFolder folder;
    std::unique_ptr<MainWindow> window;
    Ui::MainWindow* ui = nullptr;
    MainController* c = nullptr;
};
