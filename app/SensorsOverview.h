// The sensors overview: every paired sensor of the supported models in one
// table (battery, memory, clock, state, last read) and the actions that work
// on the selected rows side by side: refresh, set clocks, start recording
// (now or at a common time), stop, identify, erase, and the sensors' labels
// for the save folder. One sensor's failure is its row's result; the others
// go on.
#pragma once

#include <QStringList>
#include <QWidget>
#include <functional>
#include <map>
#include <optional>

#include "app/OverviewModel.h"
#include "app/SensorFleet.h"

class QCheckBox;
class QDateTimeEdit;
class QLabel;
class QPushButton;
class QSortFilterProxyModel;
class QTableView;
class ActionHost;

class SensorsOverview : public QWidget {
    Q_OBJECT
  public:
    // The settings a recording starts with, or none after saying why.
    using ConfigSource = std::function<std::optional<measure::Config>()>;

    SensorsOverview(ActionHost* host, QWidget* parent = nullptr);

    void setConfigSource(ConfigSource source) { panelConfig = std::move(source); }
    // Whether downloads write filtered 16-bit AD values (the window's choice).
    void setFilteredSource(std::function<bool()> source) { filteredSource = std::move(source); }
    // A configuration file instead of the Measure panel's settings; empty
    // goes back to the panel.
    bool useConfigFile(const QString& path);

    // The paired list afresh (labels from the save folder).
    void reloadSensors();
    // The rows' sensors that are selected (addresses), and selecting them.
    QStringList selectedAddresses() const;
    void select(const QStringList& addresses);

    // Actions on the selected rows (all rows when none is selected for Refresh).
    void refresh();
    void setClocks();
    void startRecording();
    void stop();
    void identify();
    void erase();
    // Every entry of the selected sensors (all when none is selected) that
    // the save folder does not hold complete yet.
    void downloadAllNew();
    // Sets the label of the selected sensor.
    bool setLabel(const QString& address, const QString& label);

    // The common start time (none: now).
    void setStartAt(std::optional<QDateTime> at);

    OverviewModel* model() const { return rows; }
    QTableView* table() const { return view; }
    SensorFleet* fleet() const { return sensors; }

  private:
    void build();
    void editLabel();
    void setBusy(bool busy);
    // How the sensors of an action run at once: side by side in the
    // window's event loop (a download, which reports progress and may ask
    // on the way), or each on a thread of its own (actions whose work
    // touches nothing but its own sensor).
    enum class Together { sideBySide, onThreads };
    // Runs `work` on the given rows under the window's guard; each row shows
    // "working…" meanwhile and then its result. On threads, `work` may write
    // only to what belongs to its own sensor.
    void runOn(const QStringList& addresses, const SensorFleet::Work& work,
               const std::function<void(OverviewRow&, const session::Outcome&)>& done,
               Together together = Together::sideBySide);
    // The row's result and state after an action that failed.
    static void tellFailure(OverviewRow& row, const session::Outcome& outcome);
    // Each row's memory listing, read side by side, by address; rows that
    // could not be listed have none.
    std::map<std::string, session::MemoryListing> listEach(const QStringList& addresses);
    // The download of entry row `row` of `entries` into `folder`, named as
    // the single download names it.
    static session::DownloadRequest entryRequest(const std::string& folder,
                                                 const std::vector<session::EntryInfo>& entries,
                                                 size_t row, bool filtered);

    ActionHost* host;
    OverviewModel* rows;
    QSortFilterProxyModel* sorted;
    QTableView* view = nullptr;
    SensorFleet* sensors;
    ConfigSource panelConfig;
    std::function<bool()> filteredSource;
    std::optional<measure::Config> fileConfig;
    QString fileConfigName;
    QLabel* configLabel = nullptr;
    QCheckBox* startAtBox = nullptr;
    QDateTimeEdit* startAtEdit = nullptr;
    QList<QPushButton*> buttons;
};
