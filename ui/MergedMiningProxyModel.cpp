#include "ui/MergedMiningProxyModel.h"

#include "ui/MergedMiningModel.h"

#include <algorithm>

namespace Vorlant {

MergedMiningProxyModel::MergedMiningProxyModel(const QString& coin, QObject* parent)
    : QAbstractProxyModel(parent)
    , m_coin(coin) {
    MergedMiningModel& pools = MergedMiningModel::instance();
    setSourceModel(&pools);
    m_rows = shownRows();
    connect(&pools, &QAbstractItemModel::modelAboutToBeReset, this, [this] { beginResetModel(); });
    connect(&pools, &QAbstractItemModel::modelReset, this, [this] {
        m_rows = shownRows();
        endResetModel();
    });
}

QVector<int> MergedMiningProxyModel::shownRows() const {
    // Only the "No" row has a null coin id; every coin sees it, first.
    const MergedMiningModel& pools = MergedMiningModel::instance();
    QVector<int> rows = pools.rowsOf(QString());
    if (!m_coin.isEmpty())
        rows += pools.rowsOf(m_coin);
    return rows;
}

QModelIndex MergedMiningProxyModel::index(int row, int column, const QModelIndex& parent) const {
    if (!hasIndex(row, column, parent))
        return QModelIndex();
    return createIndex(row, column);
}

QModelIndex MergedMiningProxyModel::parent(const QModelIndex&) const {
    return QModelIndex();
}

int MergedMiningProxyModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_rows.size();
}

int MergedMiningProxyModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : 1;
}

QModelIndex MergedMiningProxyModel::mapToSource(const QModelIndex& proxyIndex) const {
    if (!proxyIndex.isValid() || proxyIndex.row() >= m_rows.size())
        return QModelIndex();
    return sourceModel()->index(m_rows.at(proxyIndex.row()), proxyIndex.column());
}

QModelIndex MergedMiningProxyModel::mapFromSource(const QModelIndex& sourceIndex) const {
    if (!sourceIndex.isValid() || sourceIndex.model() != sourceModel())
        return QModelIndex();
    const auto it = std::lower_bound(m_rows.cbegin(), m_rows.cend(), sourceIndex.row());
    if (it == m_rows.cend() || *it != sourceIndex.row())
        return QModelIndex();
    return index(int(it - m_rows.cbegin()), sourceIndex.column());
}

} // namespace Vorlant
