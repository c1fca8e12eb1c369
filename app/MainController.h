// The controller of the main window: it wires the window's controls to the
// parts that do the work (the sensor list, the action runner, the save
// folder, the download flow, the entry table, the preview) and keeps the
// window's named operations: the connect sequence with the memory status and
// entry list, the download into a CSV file and the memory erase. Every
// action opens its own connection through a sensor session and closes it
// again; results become the window's messages.
#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <memory>

#include "app/ActionHost.h"
#include "sensor/SensorSession.h"

class QMainWindow;
class QShortcut;
class ActionRunner;
class DownloadFlow;
class EntryTableModel;
class MeasurePanel;
class PreviewOpener;
class ProgressView;
class SaveFolder;
class SensorList;
namespace Ui {
class MainWindow;
}

class MainController : public ActionHost {
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
    bool connecting() const;
    // Plot preview: of the finished download, or of a CSV file chosen in a panel.
    void previewButtonClicked();
    void previewFileMenu();
    void previewPanelDidEnd(const QStringList& chosen, int returnCode);
    // Opens the preview window of a CSV file; false (with a message) when
    // the file gives nothing to show.
    bool openPreview(const QString& path);
    QString lastDownloadFile() const;
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

    bool busy() const;
    QString saveFolder() const override;
    void setSaveFolder(const QString& path);
    ProgressView* overlay() const { return progressView; }

    // The Measure panel of the selected sensor (a window of its own).
    MeasurePanel* measurePanel() const { return measure; }
    void showMeasurePanel();

    // What the Measure panel asks of the window.
    void runGuarded(const std::function<void()>& action) override;
    bool selectedSensor(QString& name, QString& address) override;
    std::unique_ptr<session::SensorSession> runSession(const QString& name, const QString& address,
                                                       const Work& work,
                                                       session::Outcome& outcome) override;
    void reportOutcome(const session::Outcome& outcome, const QString& name) override {
        showOutcome(outcome, name);
    }
    bool stopAsked() const override;

  protected:
    // Return in the entry table downloads, in the sensor pop-up connects.
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void wireControls();
    // An action ended: a refresh or close asked for meanwhile happens now.
    void actionEnded();
    void refreshControls();
    void setEntryButtonsEnabled(bool enabled);
    QString selectedTitle() const;
    // The message of a failed outcome, by the step that failed.
    void showOutcome(const session::Outcome& outcome, const QString& name);
    void showDeviceInfo(const std::string& firmVersion, float volts);
    // The memory status and entry list shown: none.
    void clearShownSensor();

    QMainWindow* thisWindow;
    Ui::MainWindow* ui;
    ActionRunner* runner = nullptr;
    SensorList* sensors = nullptr;
    SaveFolder* folder = nullptr;
    DownloadFlow* downloads = nullptr;
    PreviewOpener* previews = nullptr;
    ProgressView* progressView = nullptr;
    EntryTableModel* entryModel = nullptr;

    uint32_t freeRecordCount = 0;
    uint32_t freeEntryCount = 0;
    uint32_t entryCount = 0;

    bool entryButtonsEnabled = false;
    bool closePending = false;
    bool askingToClose = false;
    bool refreshPending = false;  // a refresh waits for the running sequence to end
    QShortcut* escapeCancelsConnect = nullptr;
    MeasurePanel* measure = nullptr;
};
