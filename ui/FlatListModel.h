#pragma once

#include <QAbstractItemModel>

namespace Vorlant {

// The shape both coin-row models share: one column of top-level rows, no children, no header,
// every valid row selectable and enabled. Subclasses say how many rows there are and what
// each holds.
class FlatListModel : public QAbstractItemModel {
    Q_OBJECT

public:
    using QAbstractItemModel::QAbstractItemModel;

    QModelIndex index(int row, int column,
                      const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
};

} // namespace Vorlant
