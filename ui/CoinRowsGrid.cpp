#include "ui/CoinRowsGrid.h"

#include "settings/Settings.h"
#include "ui/CpuCoresModel.h"
#include "ui/MainDialog.h"
#include "ui/MergedMiningModel.h"
#include "ui/MergedMiningProxyModel.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>

namespace Vorlant {

namespace {

void registerPartners(const QVector<CoinRow>& rows) {
    QVector<MergedMiningModel::Pool> pools;
    for (const CoinRow& row : rows) {
        for (const MergedPool& partner : row.partners)
            pools.append({row.id, partner.id, partner.ticker});
    }
    MergedMiningModel::instance().setPools(pools);
}

void coresChosen(const QComboBox* combo, const QString& coin, int index) {
    const quint32 cores = combo->itemData(index, Qt::UserRole).toUInt();
    Settings& settings = Settings::instance();
    settings.setMinerValue(coin, QStringLiteral("running"), false, cores != 0);
    // Switching a coin off keeps its core count for when it is switched on again.
    if (cores != 0)
        settings.setMinerValue(coin, QStringLiteral("speed"), false, cores);
}

void mergedMiningChosen(const QComboBox* combo, const QString& coin, int index) {
    const QString mergedPool = combo->itemData(index, Qt::UserRole).toString();
    Settings::instance().setMinerValue(coin, QStringLiteral("mergedMining"), false, mergedPool);
}

// Qt on Linux gives a combo box's current item as its accessible name and takes the caption
// from the label whose buddy it is, a sibling; on Windows that label's text is the name. A
// hidden caption tells a screen reader which coin a row's combo belongs to on both.
QLabel* nameForScreenReaders(QComboBox* combo, const QString& name) {
    auto* caption = new QLabel(name, combo->parentWidget());
    caption->setTextFormat(Qt::PlainText); // a ticker that looks like markup is read as it is
    caption->setBuddy(combo);
    caption->hide();
    return caption;
}

} // namespace

CoinRowsGrid::CoinRowsGrid(QGridLayout* grid, QWidget* frame)
    : QObject(frame)
    , m_grid(grid)
    , m_frame(frame) {}

void CoinRowsGrid::show(const QVector<CoinRow>& rows, int firstRow, QWidget* elsewhere) {
    int column = 0;
    const QString focusedCoin = coinWithFocus(&column);
    qDeleteAll(m_widgets);
    m_widgets.clear();
    registerPartners(rows);
    m_rows = rows;
    m_first_row = firstRow;
    for (int at = 0; at < rows.size(); ++at)
        addRow(m_first_row + at, rows.at(at));
    if (!focusedCoin.isNull())
        focusCell(focusedCoin, column, elsewhere);
}

// The coin whose row has the keyboard focus, and in which column; a null id when none has.
QString CoinRowsGrid::coinWithFocus(int* column) const {
    QWidget* focused = m_frame->window()->focusWidget(); // also while another window is active
    const int at = focused ? m_grid->indexOf(focused) : -1;
    int row = 0, span = 0;
    if (at < 0)
        return QString();
    m_grid->getItemPosition(at, &row, column, &span, &span);
    return m_rows.value(row - m_first_row).id;
}

void CoinRowsGrid::focusCell(const QString& coin, int column, QWidget* elsewhere) {
    for (int at = 0; at < m_rows.size(); ++at) {
        if (m_rows.at(at).id == coin)
            return m_grid->itemAtPosition(m_first_row + at, column)->widget()->setFocus();
    }
    elsewhere->setFocus();
}

void CoinRowsGrid::addRow(int gridRow, const CoinRow& row) {
    if (!row.entry.isEmpty())
        Settings::instance().setMiner(row.entry);
    auto* ticker = new QLabel(row.ticker, m_frame);
    ticker->setObjectName(QStringLiteral("m_coin_abbr_label"));
    // The server's text, shown as the characters it is: no markup, links or images.
    ticker->setTextFormat(Qt::PlainText);
    QComboBox* cores = createCoresCombo(row.id, row.cores);
    QComboBox* mergedMining = createMergedMiningCombo(row.id, row.mergedMining);
    m_widgets << ticker << cores << mergedMining;
    nameRow(row, cores, mergedMining);
    m_grid->addWidget(ticker, gridRow, 0, Qt::AlignLeft);
    m_grid->addWidget(cores, gridRow, 1, Qt::AlignCenter);
    m_grid->addWidget(mergedMining, gridRow, 2, Qt::AlignCenter);
}

void CoinRowsGrid::nameRow(const CoinRow& row, QComboBox* cores, QComboBox* mergedMining) {
    const QString coinName = row.ticker.isEmpty() ? row.id : row.ticker;
    m_widgets << nameForScreenReaders(cores, MainDialog::tr("%1 cores").arg(coinName))
              << nameForScreenReaders(mergedMining,
                                      MainDialog::tr("%1 merged mining").arg(coinName));
}

QComboBox* CoinRowsGrid::createCoresCombo(const QString& coin, int cores) {
    auto* combo = new QComboBox(m_frame);
    combo->setModel(&CpuCoresModel::instance());
    combo->setCurrentIndex(cores);
    combo->setFrame(false);
    connect(combo, QOverload<int>::of(&QComboBox::activated), this, [this, combo, coin](int index) {
        coresChosen(combo, coin, index);
        emit choiceSignal();
    });
    return combo;
}

QComboBox* CoinRowsGrid::createMergedMiningCombo(const QString& coin,
                                                 const QString& mergedMining) {
    auto* combo = new QComboBox(m_frame);
    // One proxy per row, going with it.
    combo->setModel(new MergedMiningProxyModel(coin, combo));
    combo->setCurrentIndex(
        combo->findData(mergedMining, Qt::UserRole, Qt::MatchExactly | Qt::MatchCaseSensitive));
    connect(combo, QOverload<int>::of(&QComboBox::activated), this, [this, combo, coin](int index) {
        mergedMiningChosen(combo, coin, index);
        emit choiceSignal();
    });
    return combo;
}

} // namespace Vorlant
