#include "app/EntryTableModel.h"

void EntryTableModel::setEntries(const QStringList& startTimes,
                                 const QVector<int32_t>& recordCounts) {
    beginResetModel();
    dataEntryStartTime = startTimes;
    dataEntryRecordCount = recordCounts;
    endResetModel();
}

QVariant EntryTableModel::tableView(const QString& column, int row) const {
    if (row < 0 || row >= int(dataEntryStartTime.size()) || row >= int(dataEntryRecordCount.size()))
        return {};
    if (column == QLatin1String("rec_time")) return dataEntryStartTime[row];
    if (column == QLatin1String("records")) return dataEntryRecordCount[row];
    return {};
}

int EntryTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(dataEntryStartTime.size());
}

int EntryTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 2;
}

QVariant EntryTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::TextAlignmentRole)) return {};
    if (role == Qt::TextAlignmentRole)
        return index.column() == 1 ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
    return tableView(QString::fromLatin1(kColumns[index.column()]), index.row());
}

QVariant EntryTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section > 1)
        return {};
    return section == 0 ? tr("Start time") : tr("Records");
}
