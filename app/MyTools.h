// The message panel through which every warning and error reaches the user,
// the event-loop wait, and the text and date helpers of MyToolsText.
#pragma once

#include <QColor>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>

#include "store/MyToolsText.h"

// Shows messages and asks questions. The application uses message boxes;
// tests install one that records and answers.
class MessagePresenter {
  public:
    virtual ~MessagePresenter() = default;
    virtual void showMessage(const QString& message, const QString& title) = 0;
    // Returns the index of the chosen button; buttons[0] is the default.
    virtual int ask(const QString& message, const QString& title, const QStringList& buttons) = 0;
};

class MyTools : public MyToolsText {
  public:
    // Modal, one "OK" button; the text is shown literally.
    static void dispMessageOK(const QString& message, const QString& title);
    static int askQuestion(const QString& message, const QString& title,
                           const QStringList& buttons);
    // Runs the event loop for `seconds`.
    static void waitLoop(float seconds);
    static bool isNotSameColor(const QColor& color1, const QColor& color2);
    // Opens a URL with the desktop's launcher; false when none could open
    // it. Tests install an opener that records and answers.
    static bool openUrl(const QUrl& url);
    static void setUrlOpener(std::function<bool(const QUrl&)> opener);

    // The presenter in use; null restores the message boxes.
    static void setPresenter(MessagePresenter* presenter);
    static MessagePresenter* presenter();
};
