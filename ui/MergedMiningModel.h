#pragma once

#include "ui/FlatListModel.h"
#include <QPair>
#include <QString>
#include <QVector>

namespace Vorlant {

// Every merged-mining partner of every coin, as (coin id, merged pool id) pairs in the order
// they were registered, after a leading "No" row whose ids are null strings. Each coin row
// looks at it through its own MergedMiningProxyModel.
class MergedMiningModel final : public FlatListModel {
    Q_OBJECT

public:
    enum Roles {
        TickerRole = Qt::UserRole + 1,
        CoinRole = Qt::UserRole + 2,
    };

    explicit MergedMiningModel(QObject* parent = nullptr);

    static MergedMiningModel& instance();

    void addPool(const QString& coin, const QString& mergedPool);

    // The CoinRole value of a row without going through data(): every proxy filters every row.
    const QString& coinAt(int row) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    using Pool = QPair<QString, QString>;

    Pool poolAt(int row) const;
    static QVariant tickerOf(const QString& mergedPool);

    QVector<Pool> m_pools;
};

} // namespace Vorlant
