// The entry table: the start time and record count of each entry that the
// sensor's memory listing gave.
#pragma once

#include <QAbstractTableModel>
#include <QStringList>
#include <QVector>

class EntryTableModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    static constexpr const char* kColumns[2] = {"rec_time", "records"};

    using QAbstractTableModel::QAbstractTableModel;

    void setEntries(const QStringList& startTimes, const QVector<int32_t>& recordCounts);
    void clear() { setEntries({}, {}); }
    const QStringList& startTimes() const { return dataEntryStartTime; }
    const QVector<int32_t>& recordCounts() const { return dataEntryRecordCount; }

    // The cell of a column ("rec_time", "records") and row; none outside the list.
    QVariant tableView(const QString& column, int row) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    void reload() {
        beginResetModel();
        endResetModel();
    }

  private:
    QStringList dataEntryStartTime;
    QVector<int32_t> dataEntryRecordCount;
};
