// The entry table's model: rows and cells come from the controller.
#pragma once

#include <QAbstractTableModel>

class MainController;

class EntryTableModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    static constexpr const char* kColumns[2] = {"rec_time", "records"};

    explicit EntryTableModel(const MainController* controller, QObject* parent = nullptr)
        : QAbstractTableModel(parent), controller(controller) {}

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
    const MainController* controller;
};
