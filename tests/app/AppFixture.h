// The real window on virtual sensors, with a presenter that records every
// message and answers questions as the test says.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QString>
#include <QStringList>
#include <filesystem>
#include <functional>
#include <vector>

#include "app/MyTools.h"
#include "support/Files.h"

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

class TempFolder {
  public:
    TempFolder() { path = makeTempFolder("vrax-app"); }
    ~TempFolder() { std::filesystem::remove_all(path); }
    QString q() const { return QString::fromStdString(path); }
    std::string path;
};
