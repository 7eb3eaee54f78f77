#include "ui/MergedMiningProxyModel.h"

#include "ui/MergedMiningModel.h"

namespace Vorlant {

MergedMiningProxyModel::MergedMiningProxyModel(const QString& coin, QObject* parent)
    : QSortFilterProxyModel(parent)
    , m_coin(coin) {
    setSourceModel(&MergedMiningModel::instance());
}

bool MergedMiningProxyModel::filterAcceptsRow(int sourceRow,
                                              const QModelIndex& sourceParent) const {
    const QModelIndex source = sourceModel()->index(sourceRow, 0, sourceParent);
    const QString coin = source.data(MergedMiningModel::CoinRole).toString();
    if (coin.compare(m_coin, Qt::CaseSensitive) == 0)
        return true;
    // Only the "No" row has a null coin id; every coin sees it.
    return coin.isNull();
}

} // namespace Vorlant
