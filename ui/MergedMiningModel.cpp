#include "ui/MergedMiningModel.h"

#include "settings/Settings.h"

namespace Vorlant {

MergedMiningModel::MergedMiningModel(QObject* parent)
    : FlatListModel(parent) {
    setPools({});
}

MergedMiningModel& MergedMiningModel::instance() {
    static MergedMiningModel model;
    return model;
}

void MergedMiningModel::setPools(const QVector<Pool>& pools) {
    beginResetModel();
    m_pools = QVector<Pool>{Pool(QString(), QString())} + pools;
    m_rows_of.clear();
    for (int row = 0; row < m_pools.size(); ++row)
        m_rows_of[m_pools.at(row).first].append(row);
    endResetModel();
}

int MergedMiningModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_pools.size();
}

QVariant MergedMiningModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid())
        return QVariant();
    const Pool pool = poolAt(index.row());
    switch (role) {
    case Qt::DisplayRole:
        switch (index.column()) {
        case 0:
            return tickerOf(pool.second);
        case 1:
            return pool.second;
        case 2:
            return pool.first;
        default:
            return QVariant();
        }
    case Qt::UserRole:
        return pool.second;
    case TickerRole:
        return tickerOf(pool.second);
    case CoinRole:
        return pool.first;
    default:
        return QVariant();
    }
}

const QVector<int>& MergedMiningModel::rowsOf(const QString& coin) const {
    static const QVector<int> none;
    const auto it = m_rows_of.constFind(coin);
    return it == m_rows_of.cend() ? none : it.value();
}

MergedMiningModel::Pool MergedMiningModel::poolAt(int row) const {
    return row >= 0 && row < m_pools.size() ? m_pools.at(row) : Pool(QString(), QString());
}

QVariant MergedMiningModel::tickerOf(const QString& mergedPool) {
    // The ticker is read on every call: the catalogue handler may write it after the row exists.
    // An empty id would address the "miners" group itself, so it is never looked up.
    const QString no = tr("No");
    if (mergedPool.isEmpty())
        return no;
    return Settings::instance().minerValue(mergedPool, QStringLiteral("ticker"), false, no);
}

} // namespace Vorlant
