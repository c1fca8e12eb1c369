#include "app/EntryTableModel.h"

#include "app/MainController.h"

int EntryTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : controller->numberOfRowsInTableView();
}

int EntryTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 2;
}

QVariant EntryTableModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::TextAlignmentRole)) return {};
    if (role == Qt::TextAlignmentRole)
        return index.column() == 1 ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
    return controller->tableView(QString::fromLatin1(kColumns[index.column()]), index.row());
}

QVariant EntryTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section > 1)
        return {};
    return section == 0 ? tr("Start time") : tr("Records");
}
