#include "ui/MergedMiningProxyModel.h"

#include "ui/MergedMiningModel.h"

#include <algorithm>
#include <iterator>

namespace Vorlant {

namespace {

// The rows of one id that lie in [first, last], appended to rows.
void appendRowsOf(const QString& coin, int first, int last, QVector<int>& rows) {
    const QVector<int>& all = MergedMiningModel::instance().rowsOf(coin);
    std::copy(std::lower_bound(all.cbegin(), all.cend(), first),
              std::upper_bound(all.cbegin(), all.cend(), last), std::back_inserter(rows));
}

} // namespace

MergedMiningProxyModel::MergedMiningProxyModel(const QString& coin, QObject* parent)
    : QAbstractProxyModel(parent)
    , m_coin(coin) {
    MergedMiningModel& pools = MergedMiningModel::instance();
    setSourceModel(&pools);
    m_rows = shownAmong(0, pools.rowCount() - 1);
    // The shared model only ever grows at its end, so new rows of this coin go at the end too.
    connect(&pools, &QAbstractItemModel::rowsInserted, this,
            &MergedMiningProxyModel::sourceRowsInserted);
}

QVector<int> MergedMiningProxyModel::shownAmong(int first, int last) const {
    // Only the "No" row has a null coin id; every coin sees it.
    QVector<int> rows;
    appendRowsOf(QString(), first, last, rows);
    if (!m_coin.isEmpty())
        appendRowsOf(m_coin, first, last, rows);
    std::sort(rows.begin(), rows.end());
    return rows;
}

void MergedMiningProxyModel::sourceRowsInserted(const QModelIndex& parent, int first, int last) {
    const QVector<int> added = parent.isValid() ? QVector<int>() : shownAmong(first, last);
    if (added.isEmpty())
        return;
    beginInsertRows(QModelIndex(), m_rows.size(), m_rows.size() + added.size() - 1);
    m_rows += added;
    endInsertRows();
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
