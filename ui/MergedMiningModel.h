#pragma once

#include "ui/FlatListModel.h"
#include <QHash>
#include <QString>
#include <QVector>

namespace Vorlant {

// Every merged-mining partner of every coin, in the order they were registered, after a leading
// "No" row whose ids are null strings. Each coin row looks at it through its own
// MergedMiningProxyModel.
class MergedMiningModel final : public FlatListModel {
    Q_OBJECT

public:
    enum Roles {
        TickerRole = Qt::UserRole + 1,
        CoinRole = Qt::UserRole + 2,
    };

    struct Pool {
        QString coin;
        QString mergedPool;
        QString catalogueTicker; // the catalogue's name for the partner, if it lists one
    };

    explicit MergedMiningModel(QObject* parent = nullptr);

    static MergedMiningModel& instance();

    // The partners of the rows shown, after the "No" row, as one reset: every proxy is told once
    // per set of rows rather than once per partner, which made handling grow with the square of
    // the coins. Rows shown from the store give way to a catalogue's whole, so the catalogue's
    // rows list exactly what they list on a start where the catalogue came at once.
    void setPools(const QVector<Pool>& pools);

    // The rows of one coin id, ascending; the "No" row is the only row of the null id. A coin
    // row's proxy looks its rows up here rather than filtering the whole list.
    const QVector<int>& rowsOf(const QString& coin) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

private:
    Pool poolAt(int row) const;
    static QString tickerOf(const Pool& pool);

    QVector<Pool> m_pools;
    QHash<QString, QVector<int>> m_rows_of;
};

} // namespace Vorlant
