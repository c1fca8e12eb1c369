// The folder downloads and live files go into: shown as a path whose
// folders open with a click, chosen in a folder panel (only a folder where
// a file can really be made is taken).
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class QWidget;
class PathLabel;

class SaveFolder : public QObject {
    Q_OBJECT
  public:
    SaveFolder(PathLabel* label, QWidget* window, QObject* parent);

    QString path() const { return folder; }
    void setPath(const QString& path);
    // The user's Documents folder (the home folder when there is none).
    static QString documents();

    // Opens the folder panel as a sheet; its end comes to panelDidEnd.
    void choose();
    void panelDidEnd(const QStringList& chosen, int returnCode);
    // Opens a folder with the desktop's launcher; says so when none can.
    static void openFolder(const QString& folder);

  private:
    PathLabel* label;
    QWidget* window;
    QString folder;
};
