#pragma once

#include <QSortFilterProxyModel>
#include <QString>

namespace Vorlant {

// One coin's view of the shared MergedMiningModel: the "No" row and that coin's own partners,
// in the order they were registered.
class MergedMiningProxyModel final : public QSortFilterProxyModel {
    Q_OBJECT

public:
    explicit MergedMiningProxyModel(const QString& coin, QObject* parent = nullptr);

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

private:
    QString m_coin;
};

} // namespace Vorlant
