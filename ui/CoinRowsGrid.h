#pragma once

#include "ui/PoolCatalogue.h"

#include <QObject>
#include <QVector>

class QComboBox;
class QGridLayout;
class QWidget;

namespace Vorlant {

// The coin rows of the main window's grid: the one place where a description of rows, from the
// catalogue or from the store, becomes widgets. Each choice in a row is written to that coin's
// miner entry the moment it is made.
class CoinRowsGrid final : public QObject {
    Q_OBJECT

public:
    // The rows go into `grid`, whose widgets are children of `frame`.
    CoinRowsGrid(QGridLayout* grid, QWidget* frame);

    // Replaces the rows shown, from grid row `firstRow` on. A catalogue's row refreshes its
    // coin's entry as it is built. The keyboard focus stays on the same coin's cell, else it
    // goes to `elsewhere`.
    void show(const QVector<CoinRow>& rows, int firstRow, QWidget* elsewhere);
    bool isEmpty() const { return m_rows.isEmpty(); }

signals:
    // A choice was written to the store.
    void choiceSignal();

private:
    QString coinWithFocus(int* column) const;
    void focusCell(const QString& coin, int column, QWidget* elsewhere);
    void addRow(int gridRow, const CoinRow& row);
    QComboBox* createCoresCombo(const QString& coin, int cores);
    QComboBox* createMergedMiningCombo(const QString& coin, const QString& mergedMining);
    void nameRow(const CoinRow& row, QComboBox* cores, QComboBox* mergedMining);

    QGridLayout* m_grid;
    QWidget* m_frame;
    QVector<CoinRow> m_rows; // shown, from grid row m_first_row on
    int m_first_row = 1;
    QVector<QWidget*> m_widgets; // the rows' widgets, their hidden captions too
};

} // namespace Vorlant
