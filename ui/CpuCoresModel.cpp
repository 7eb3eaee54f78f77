#include "ui/CpuCoresModel.h"

#include <QThread>

namespace Vorlant {

CpuCoresModel::CpuCoresModel(QObject* parent)
    : FlatListModel(parent)
    , m_cores(quint32(QThread::idealThreadCount()) + 1) {}

CpuCoresModel& CpuCoresModel::instance() {
    static CpuCoresModel model;
    return model;
}

int CpuCoresModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(m_cores);
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

} // namespace Vorlant
