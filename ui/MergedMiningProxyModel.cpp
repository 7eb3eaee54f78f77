#include "ui/MergedMiningProxyModel.h"

#include "ui/MergedMiningModel.h"

namespace Vorlant {

namespace {

// Every proxy filters every row of the shared model, and each proxy again on every row added
// to it; with hundreds of coins the direct read beats a QVariant round trip through data().
QString coinOf(const QAbstractItemModel& source, int row, const QModelIndex& parent) {
    const auto* pools = qobject_cast<const MergedMiningModel*>(&source);
    if (pools && !parent.isValid())
        return pools->coinAt(row);
    return source.index(row, 0, parent).data(MergedMiningModel::CoinRole).toString();
}

} // namespace

MergedMiningProxyModel::MergedMiningProxyModel(const QString& coin, QObject* parent)
    : QSortFilterProxyModel(parent)
    , m_coin(coin) {
    setSourceModel(&MergedMiningModel::instance());
}

bool MergedMiningProxyModel::filterAcceptsRow(int sourceRow,
                                              const QModelIndex& sourceParent) const {
    const QString coin = coinOf(*sourceModel(), sourceRow, sourceParent);
    if (coin == m_coin)
        return true;
    // Only the "No" row has a null coin id; every coin sees it.
    return coin.isNull();
}

} // namespace Vorlant
