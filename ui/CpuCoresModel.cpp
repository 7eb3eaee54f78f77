#include "ui/CpuCoresModel.h"

#include <QThread>

namespace Vorlant {

CpuCoresModel::CpuCoresModel(QObject* parent)
    : QAbstractItemModel(parent)
    , m_cores(quint32(QThread::idealThreadCount()) + 1) {}

CpuCoresModel& CpuCoresModel::instance() {
    static CpuCoresModel model;
    return model;
}

QModelIndex CpuCoresModel::index(int row, int column, const QModelIndex& parent) const {
    // Out-of-range positions get no index, so a combo asked for a core count the machine
    // does not have shows no current item instead of a row that does not exist.
    if (!hasIndex(row, column, parent))
        return QModelIndex();
    return createIndex(row, column, quintptr(row));
}

QModelIndex CpuCoresModel::parent(const QModelIndex& child) const {
    Q_UNUSED(child);
    return QModelIndex();
}

int CpuCoresModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_cores);
}

int CpuCoresModel::columnCount(const QModelIndex& parent) const {
    Q_UNUSED(parent);
    return 1;
}

QVariant CpuCoresModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid())
        return QVariant();
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
    case Qt::UserRole:
        return index.row();
    default:
        return QVariant();
    }
}

QVariant CpuCoresModel::headerData(int section, Qt::Orientation orientation, int role) const {
    Q_UNUSED(section);
    Q_UNUSED(orientation);
    Q_UNUSED(role);
    return QVariant();
}

Qt::ItemFlags CpuCoresModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
}

} // namespace Vorlant
