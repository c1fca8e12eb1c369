// The download of one entry into the save folder: asks what to do with a
// file that lies under the target name, runs the transfer under the
// progress overlay (cancel, write failures, count), and says how it ended.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>
#include <functional>

#include "sensor/SensorSession.h"

class ActionRunner;
class ProgressView;

class DownloadFlow : public QObject {
    Q_OBJECT
  public:
    struct Entries {
        QStringList startTexts;         // of every entry, for the file's name
        QVector<int32_t> recordCounts;  // as the entry list said
    };
    struct Hooks {
        // The transfer began: the controls follow the overlay.
        std::function<void()> transferStarted;
        // The session is gone: the views follow.
        std::function<void()> disconnected;
        // The message of a failure before the transfer began.
        std::function<void(const session::Outcome&, const QString& name)> showOutcome;
    };

    DownloadFlow(ActionRunner* runner, ProgressView* view, Hooks hooks, QObject* parent);

    // Downloads entry `row` of the sensor into `saveFolder`.
    void download(const QString& name, const QString& address, const Entries& entries, int row,
                  const QString& saveFolder, bool filtered);
    // The file of the last download, when it holds the whole entry.
    QString lastFile() const { return lastDownloadPath; }

  private:
    // Says on the overlay (and in a message when it failed) how the transfer ended.
    void finish(const QString& name, const session::Outcome& o,
                const session::DownloadReport& report);

    ActionRunner* runner;
    ProgressView* view;
    Hooks hooks;
    QString lastDownloadPath;
};
