#pragma once

#include <QAbstractItemModel>

namespace Vorlant {

// The core counts a coin can be mined with: row r stands for r cores, row 0 for "not mined".
// One instance is shared by the cores combo of every coin row.
class CpuCoresModel final : public QAbstractItemModel {
    Q_OBJECT

public:
    explicit CpuCoresModel(QObject* parent = nullptr);

    static CpuCoresModel& instance();

    QModelIndex index(int row, int column,
                      const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    quint32 m_cores;
};

} // namespace Vorlant
