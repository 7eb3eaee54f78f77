#pragma once

#include <QAbstractProxyModel>
#include <QString>
#include <QVector>

namespace Vorlant {

// One coin's view of the shared MergedMiningModel: the "No" row and that coin's own partners,
// in the order they were set. It maps only those rows, so building one costs as much as the
// coin has partners, not as much as the catalogue has.
class MergedMiningProxyModel final : public QAbstractProxyModel {
    Q_OBJECT

public:
    explicit MergedMiningProxyModel(const QString& coin, QObject* parent = nullptr);

    QModelIndex index(int row, int column,
                      const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex mapToSource(const QModelIndex& proxyIndex) const override;
    QModelIndex mapFromSource(const QModelIndex& sourceIndex) const override;

private:
    QVector<int> shownRows() const;

    QString m_coin;
    QVector<int> m_rows; // the source rows shown, ascending
};

} // namespace Vorlant
