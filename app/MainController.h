// The controller of the main window: the sensor list, the connect sequence
// with the memory status and entry list, the download into a CSV file and
// the memory erase. Every action opens its own connection through a sensor
// session and closes it again; results become the window's messages.
#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVector>
#include <functional>
#include <memory>

#include "link/platform/BluetoothPlatform.h"
#include "sensor/SensorSession.h"

class QMainWindow;
class QFileDialog;
class QShortcut;
class QTimer;
class ProgressView;
class EntryTableModel;
class MeasurePanel;
namespace Ui {
class MainWindow;
}

class MainController : public QObject {
    Q_OBJECT
  public:
    MainController(QMainWindow* window, Ui::MainWindow* ui);
    ~MainController() override;

    // Sets up the window once its controls exist.
    void awakeFromNib();

    // Actions.
    void sensorChanged();
    void connectButtonClicked();
    void referSaveDirButton();
    // End of the folder panel: the chosen folders and the panel's result code.
    void openPanelDidEnd(const QStringList& chosen, int returnCode);
    void pathControlDoubleClick(const QString& clickedPath);
    // Opens a folder with the desktop's launcher; says so when none can.
    void openFolder(const QString& folder);
    void dataGetButtonClicked();
    void dlFinButtonClicked();
    void dataEraceButtonClicked();
    void cancelDownloadClicked();
    // Cancel while a connect waits: the session's cancel check answers yes.
    void cancelConnectClicked();
    bool connecting() const { return connectingNow; }
    // Plot preview: of the finished download, or of a CSV file chosen in a panel.
    void previewButtonClicked();
    void previewFileMenu();
    void previewPanelDidEnd(const QStringList& chosen, int returnCode);
    // Opens the preview window of a CSV file; false (with a message) when
    // the file gives nothing to show.
    bool openPreview(const QString& path);
    QString lastDownloadFile() const { return lastDownloadPath; }
    // False while a sequence runs: the window closes once it has ended
    // (a download is stopped, its file flushed, the sensor disconnected).
    bool windowShouldClose();
    void windowWillClose();

    // Entry table.
    int numberOfRowsInTableView() const;
    QVariant tableView(const QString& column, int row) const;

    // Sensor list and lookups.
    void setUpSensorList();
    void setUpSensorListPopUpButton();
    // The pop-up afresh from the paired list, the chosen sensor kept while it
    // is still paired; while a sequence runs, once it has ended.
    void refreshSensorList();
    void getSensorDataByIndex(int index, QString& name, QString& address) const;
    void getSensorDataByName(const QString& name, QString& addr, int& index) const;
    void getSensorDataByAddr(const QString& address, QString& name, int& index) const;

    // Sequences and views.
    bool updateEntryData();
    void upDateViews();
    void dispInternalMemoryInfo();
    // The steps of the session, one at a time; a failure is said at once.
    bool openSensorAndStop(const QString& name, const QString& addr);
    bool getMemStatus(uint32_t& entryCount, uint32_t& freeEntrySize, uint32_t& freeRecordSize);
    bool simpleDisconnectSensor();
    bool getWriteFilterdData() const;
    bool eraseDataEntry(const QString& name, const QString& addr);

    bool busy() const { return running; }
    QString saveFolder() const { return saveFolderPath; }
    void setSaveFolder(const QString& path);
    ProgressView* overlay() const { return progressView; }

    // The Measure panel of the selected sensor (a window of its own).
    MeasurePanel* measurePanel() const { return measure; }
    void showMeasurePanel();
    // For the Measure panel: runs one user action under the same guard as
    // the window's own (controls disabled, no nested action).
    void runGuarded(const std::function<void()>& action);
    // The selected sensor; false (having said why) when none is selected or
    // Bluetooth cannot reach it.
    bool selectedSensor(QString& name, QString& address);
    // A new session on the sensor; endSession disconnects it and hands it
    // over (its store keeps the records of the action).
    session::SensorSession& beginSession(const QString& name, const QString& address);
    std::unique_ptr<session::SensorSession> endSession();
    // The message of a failed outcome, by the step that failed.
    void reportOutcome(const session::Outcome& outcome, const QString& name) {
        showOutcome(outcome, name);
    }
    // True when the running action is asked to stop (the window closes).
    bool stopAsked() const { return cancelRequested; }

  Q_SIGNALS:
    // A user action began or ended.
    void busyChanged(bool running);

  protected:
    // Return in the entry table downloads, in the sensor pop-up connects.
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // Runs one user action unless another one is running; controls are
    // disabled for its length and a close asked for meanwhile happens after.
    template <class F>
    void guarded(F&& action);
    void refreshControls();
    void setEntryButtonsEnabled(bool enabled);
    QString selectedTitle() const;
    // The message of a failed outcome, by the step that failed.
    void showOutcome(const session::Outcome& outcome, const QString& name);
    // True when the sensor was never opened and stopped (no device information).
    static bool failedOpening(const session::Outcome& outcome);
    // A new session on the sensor, after the current one is disconnected.
    void startSession(const QString& name, const QString& address);
    void download(const QString& name, const QString& address, int row);
    void showDeviceInfo(const std::string& firmVersion, float volts);
    // True when Bluetooth can reach a sensor; otherwise says why.
    bool bluetoothUsable();
    // The line under the pop-up: connecting, a cancelled connect, or why no
    // sensor can be listed or reached.
    void updateSensorLine();
    // The connect of the current session waits: the connect button cancels it.
    void beginConnecting(const QString& name);
    void endConnecting();

    QMainWindow* thisWindow;
    Ui::MainWindow* ui;
    ProgressView* progressView = nullptr;
    EntryTableModel* entryModel = nullptr;

    QStringList pairdSensorPoolArray;
    std::unique_ptr<session::SensorSession> sensorSession;
    uint32_t freeRecordCount = 0;
    uint32_t freeEntryCount = 0;
    uint32_t entryCount = 0;
    QStringList dataEntryStartTime;
    QVector<int32_t> dataEntryRecordCount;
    QString saveFolderPath;
    QString lastDownloadPath;  // the file of the last download, when it holds the whole entry

    bool running = false;
    bool entryButtonsEnabled = false;
    bool cancelRequested = false;
    bool closePending = false;
    bool askingToClose = false;

    BluetoothPlatform* listenedPlatform = nullptr;
    BluetoothState bluetoothState = BluetoothState::ready;
    bool pairedListAvailable = true;
    bool refreshPending = false;  // a refresh waits for the running sequence to end
    QString sensorNote;           // said on the sensor line until the next action
    bool connectingNow = false;
    QString connectingName;
    QTimer* connectPoll = nullptr;
    QShortcut* escapeCancelsConnect = nullptr;
    MeasurePanel* measure = nullptr;
};
