#include "app/MyTools.h"

#include <QApplication>
#include <QDesktopServices>
#include <QMessageBox>
#include <QPushButton>

#include "link/EventWait.h"

namespace {

class MessageBoxPresenter : public MessagePresenter {
  public:
    void showMessage(const QString& message, const QString& title) override {
        QMessageBox box(QMessageBox::NoIcon, title, message, QMessageBox::NoButton,
                        QApplication::activeWindow());
        box.setTextFormat(Qt::PlainText);
        box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
        box.setWindowModality(Qt::ApplicationModal);
        box.exec();
    }
    int ask(const QString& message, const QString& title, const QStringList& buttons) override {
        QMessageBox box(QMessageBox::Warning, title, message, QMessageBox::NoButton,
                        QApplication::activeWindow());
        box.setTextFormat(Qt::PlainText);
        QList<QPushButton*> added;
        for (const QString& b : buttons) added.append(box.addButton(b, QMessageBox::AcceptRole));
        // The first button answers Return. Escape and the close button give
        // "Cancel" or "No" where the box has one, as desktop dialogs do, and
        // otherwise the first button too.
        if (!added.isEmpty()) {
            box.setDefaultButton(added.first());
            qsizetype escape = buttons.indexOf(QStringLiteral("Cancel"));
            if (escape < 0) escape = buttons.indexOf(QStringLiteral("No"));
            box.setEscapeButton(added[escape < 0 ? 0 : escape]);
        }
        box.setWindowModality(Qt::ApplicationModal);
        box.exec();
        const int chosen = int(added.indexOf(qobject_cast<QPushButton*>(box.clickedButton())));
        return chosen < 0 ? 0 : chosen;  // no button at all: the default
    }
};

MessageBoxPresenter defaultPresenter;
MessagePresenter* current = nullptr;
std::function<bool(const QUrl&)> urlOpener;

}  // namespace

void MyTools::setPresenter(MessagePresenter* p) {
    current = p;
}

MessagePresenter* MyTools::presenter() {
    return current ? current : &defaultPresenter;
}

void MyTools::dispMessageOK(const QString& message, const QString& title) {
    presenter()->showMessage(message, title);
}

int MyTools::askQuestion(const QString& message, const QString& title, const QStringList& buttons) {
    return presenter()->ask(message, title, buttons);
}

void MyTools::waitLoop(float seconds) {
    eventwait::runFor(double(seconds));
}

bool MyTools::openUrl(const QUrl& url) {
    return urlOpener ? urlOpener(url) : QDesktopServices::openUrl(url);
}

void MyTools::setUrlOpener(std::function<bool(const QUrl&)> opener) {
    urlOpener = std::move(opener);
}

bool MyTools::isNotSameColor(const QColor& color1, const QColor& color2) {
    const QColor a = color1.toRgb();
    const QColor b = color2.toRgb();
    // NaN never compares equal, so it counts as different.
    return !(a.redF() == b.redF()) || !(a.greenF() == b.greenF()) || !(a.blueF() == b.blueF()) ||
           !(a.alphaF() == b.alphaF());
}
