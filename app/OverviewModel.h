// The rows of the sensors overview: one per paired sensor of the supported
// models, with what the last look at it found, what state the window knows
// it in, and the result of the last action on it. Each column sorts by the
// value under Qt::UserRole (numbers as numbers).
#pragma once

#include <QAbstractTableModel>
#include <QDateTime>
#include <QString>
#include <QVector>
#include <optional>

#include "sensor/SensorSession.h"

struct OverviewRow {
    enum class State {
        unknown,      // not read yet
        idle,         // read, not measuring
        recording,    // recording into its memory (started here)
        scheduled,    // recording to start at `startAt` (set here)
        working,      // an action of this window runs on it now
        busy,         // held by another program or computer
        unreachable,  // off, out of range, or not answering (`why`)
    };
    QString name;
    QString address;
    QString model;
    QString label;
    std::optional<session::SensorStatus> status;
    std::optional<timebase::ClockReading> clock;  // the latest probe or set
    std::optional<double> driftPpm;
    State state = State::unknown;
    QDateTime startAt;  // scheduled start
    QString why;        // why not reachable
    QDateTime lastRead;
    QString result;  // the last action's result on this sensor
    bool failed = false;
};

class OverviewModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    enum Column {
        sensor,
        label,
        model,
        battery,
        firmware,
        entries,
        freeMemory,
        clock,
        drift,
        state,
        lastRead,
        result,
        columnTotal
    };

    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // The paired list afresh: rows of sensors still paired keep what is known.
    void setSensors(const QVector<OverviewRow>& paired);
    const QVector<OverviewRow>& rows() const { return all; }
    const OverviewRow& row(int i) const { return all[i]; }
    int rowOf(const QString& address) const;
    // Changes one row and tells the views.
    void update(int i, const std::function<void(OverviewRow&)>& change);

    static QString stateText(const OverviewRow& row);

  private:
    QVector<OverviewRow> all;
};
