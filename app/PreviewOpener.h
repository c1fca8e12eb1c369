// Opens plot previews: of a CSV file chosen in a panel, or of a given file
// (a message says why when the file gives nothing to show).
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class QWidget;

class PreviewOpener : public QObject {
    Q_OBJECT
  public:
    PreviewOpener(QWidget* window, QObject* parent) : QObject(parent), window(window) {}

    // The file panel, starting in `folder`; its end comes to panelDidEnd.
    void choose(const QString& folder);
    void panelDidEnd(const QStringList& chosen, int returnCode);
    // False (with a message) when the file gives nothing to show.
    bool open(const QString& path);

  private:
    QWidget* window;
};
