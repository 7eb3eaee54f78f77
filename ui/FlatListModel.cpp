#include "ui/FlatListModel.h"

namespace Vorlant {

QModelIndex FlatListModel::index(int row, int column, const QModelIndex& parent) const {
    // Out-of-range positions get no index, so a combo asked for a row that does not exist
    // (a stored core count above the machine's) shows no current item.
    if (!hasIndex(row, column, parent))
        return QModelIndex();
    return createIndex(row, column, quintptr(row));
}

QModelIndex FlatListModel::parent(const QModelIndex&) const {
    return QModelIndex();
}

int FlatListModel::columnCount(const QModelIndex&) const {
    return 1;
}

QVariant FlatListModel::headerData(int, Qt::Orientation, int) const {
    return QVariant();
}

Qt::ItemFlags FlatListModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
}

} // namespace Vorlant
