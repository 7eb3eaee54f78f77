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
    m_pools = QVector<Pool>{Pool()} + pools;
    m_rows_of.clear();
    for (int row = 0; row < m_pools.size(); ++row)
        m_rows_of[m_pools.at(row).coin].append(row);
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
            return tickerOf(pool);
        case 1:
            return pool.mergedPool;
        case 2:
            return pool.coin;
        default:
            return QVariant();
        }
    case Qt::UserRole:
        return pool.mergedPool;
    case TickerRole:
        return tickerOf(pool);
    case CoinRole:
        return pool.coin;
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
    return row >= 0 && row < m_pools.size() ? m_pools.at(row) : Pool();
}

QString MergedMiningModel::tickerOf(const Pool& pool) {
    // An empty id would address the "miners" group itself, so it is never looked up.
    if (pool.mergedPool.isEmpty())
        return tr("No");
    // The ticker is read on every call: the catalogue handler may write it after the row exists.
    // A partner that is no row of its own has none stored; it is named all the same, never "No"
    // like the row of no partner, which the user would pick without knowing what it stores.
    const QString stored = Settings::instance()
                               .minerValue(pool.mergedPool, QStringLiteral("ticker"), false)
                               .toString();
    if (!stored.isEmpty())
        return stored;
    return pool.catalogueTicker.isEmpty() ? pool.mergedPool : pool.catalogueTicker;
}

} // namespace Vorlant
