#include "support/StoreSnapshot.h"
#include "support/TestEnvironment.h"
#include "ui/CpuCoresModel.h"
#include "ui/MergedMiningModel.h"
#include "ui/MergedMiningProxyModel.h"

#include <QAbstractItemModelTester>
#include <QStandardItemModel>
#include <QThread>
#include <QtTest>

using namespace Vorlant;

namespace {

using Mode = QAbstractItemModelTester::FailureReportingMode;

QStringList column(const QAbstractItemModel& model, int role) {
    QStringList values;
    for (int row = 0; row < model.rowCount(); ++row)
        values.append(model.index(row, 0).data(role).toString());
    return values;
}

} // namespace

class TestCoinModels : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { Test::isolateEnvironment(); }
    void init() { Test::clearStore(); }

    void coresModelRows();
    void coresModelOutsideItsRows();
    void coresModelTester();
    void coresModelInstance();

    void mergedModelNoRow();
    void mergedModelAddPool();
    void mergedModelTickerFollowsStore();
    void mergedModelNoRowIgnoresStrayTicker();
    void mergedModelColumnsAndFlags();
    void mergedModelTester();
    void mergedModelInstance();

    void proxyFilter_data();
    void proxyFilter();
    void proxySeesLaterPartners();
    void proxyTester();
    void proxyOverAnotherModel();
};

void TestCoinModels::coresModelRows() {
    CpuCoresModel model;
    const int rows = QThread::idealThreadCount() + 1;
    QCOMPARE(model.rowCount(), rows);
    QCOMPARE(model.columnCount(), 1);
    for (int row = 0; row < rows; ++row) {
        const QModelIndex index = model.index(row, 0);
        QCOMPARE(index.internalId(), quintptr(row));
        for (int role : {int(Qt::DisplayRole), int(Qt::EditRole), int(Qt::UserRole)}) {
            QCOMPARE(index.data(role).type(), QVariant::Int);
            QCOMPARE(index.data(role).toInt(), row);
        }
        QVERIFY(!index.data(Qt::ToolTipRole).isValid());
        QVERIFY(!index.data(Qt::UserRole + 1).isValid());
        QCOMPARE(model.flags(index),
                 Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren);
    }
}

void TestCoinModels::coresModelOutsideItsRows() {
    CpuCoresModel model;
    const int rows = model.rowCount();
    QVERIFY(!model.index(rows, 0).isValid());
    QVERIFY(!model.index(0, 1).isValid());
    QVERIFY(!model.index(-1, 0).isValid());
    QVERIFY(!model.index(0, 0, model.index(0, 0)).isValid());
    QCOMPARE(model.rowCount(model.index(0, 0)), 0);
    QVERIFY(!model.parent(model.index(1, 0)).isValid());
    QVERIFY(!model.data(QModelIndex()).isValid());
    QCOMPARE(model.flags(QModelIndex()), Qt::NoItemFlags);
    QVERIFY(!model.headerData(0, Qt::Horizontal).isValid());
    QVERIFY(!model.headerData(0, Qt::Vertical, Qt::UserRole).isValid());
}

void TestCoinModels::coresModelTester() {
    CpuCoresModel model;
    QAbstractItemModelTester tester(&model, Mode::QtTest);
    QVERIFY(!QTest::currentTestFailed());
}

void TestCoinModels::coresModelInstance() {
    CpuCoresModel& model = CpuCoresModel::instance();
    QCOMPARE(&model, &CpuCoresModel::instance());
    QCOMPARE(model.rowCount(), QThread::idealThreadCount() + 1);
}

void TestCoinModels::mergedModelNoRow() {
    MergedMiningModel model;
    QCOMPARE(model.rowCount(), 1);
    QCOMPARE(model.columnCount(), 1);
    const QModelIndex no = model.index(0, 0);
    QCOMPARE(no.data().toString(), QStringLiteral("No"));
    QCOMPARE(no.data(MergedMiningModel::TickerRole).toString(), QStringLiteral("No"));
    QVERIFY(no.data(Qt::UserRole).toString().isNull());
    QVERIFY(no.data(MergedMiningModel::CoinRole).toString().isNull());
    QVERIFY(!no.data(Qt::ToolTipRole).isValid());
    QVERIFY(!no.data(Qt::UserRole + 3).isValid());
}

void TestCoinModels::mergedModelAddPool() {
    MergedMiningModel model;
    QSignalSpy about(&model, &QAbstractItemModel::rowsAboutToBeInserted);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    model.addPool(QStringLiteral("a"), QStringLiteral("x"));
    model.addPool(QStringLiteral("b"), QStringLiteral("y"));
    QCOMPARE(model.rowCount(), 3);
    QCOMPARE(inserted.count(), 2);
    QCOMPARE(about.count(), 2);
    for (int i = 0; i < 2; ++i) {
        QVERIFY(!inserted.at(i).at(0).value<QModelIndex>().isValid());
        QCOMPARE(inserted.at(i).at(1).toInt(), i + 1);
        QCOMPARE(inserted.at(i).at(2).toInt(), i + 1);
    }
    QCOMPARE(column(model, Qt::UserRole), (QStringList{QString(), "x", "y"}));
    QCOMPARE(column(model, MergedMiningModel::CoinRole), (QStringList{QString(), "a", "b"}));
}

void TestCoinModels::mergedModelTickerFollowsStore() {
    MergedMiningModel model;
    model.addPool(QStringLiteral("xmr"), QStringLiteral("tari"));
    const QModelIndex tari = model.index(1, 0);
    QCOMPARE(tari.data().toString(), QStringLiteral("No"));
    Test::rawStore().setValue(QStringLiteral("miners/tari/ticker"), QStringLiteral("XTM"));
    QCOMPARE(tari.data().toString(), QStringLiteral("XTM"));
    QCOMPARE(tari.data(MergedMiningModel::TickerRole).toString(), QStringLiteral("XTM"));
    // A ticker in the custom group or in another entry is not the partner's.
    Test::clearStore();
    Test::rawStore().setValue(QStringLiteral("customMiners/tari/ticker"), QStringLiteral("C"));
    Test::rawStore().setValue(QStringLiteral("miners/Tari/ticker"), QStringLiteral("CASE"));
    QCOMPARE(tari.data().toString(), QStringLiteral("No"));
}

void TestCoinModels::mergedModelNoRowIgnoresStrayTicker() {
    MergedMiningModel model;
    Test::rawStore().setValue(QStringLiteral("miners/ticker"), QStringLiteral("STRAY"));
    QCOMPARE(model.index(0, 0).data().toString(), QStringLiteral("No"));
}

void TestCoinModels::mergedModelColumnsAndFlags() {
    MergedMiningModel model;
    model.addPool(QStringLiteral("a"), QStringLiteral("x"));
    QVERIFY(!model.index(2, 0).isValid());
    QVERIFY(!model.index(1, 1).isValid());
    QVERIFY(!model.index(0, 0, model.index(1, 0)).isValid());
    QCOMPARE(model.rowCount(model.index(1, 0)), 0);
    QVERIFY(!model.parent(model.index(1, 0)).isValid());
    QCOMPARE(model.index(1, 0).internalId(), quintptr(1));
    QCOMPARE(model.flags(model.index(1, 0)),
             Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemNeverHasChildren);
    QCOMPARE(model.flags(QModelIndex()), Qt::NoItemFlags);
    QVERIFY(!model.data(QModelIndex(), Qt::UserRole).isValid());
    QVERIFY(!model.headerData(0, Qt::Horizontal).isValid());
}

void TestCoinModels::mergedModelTester() {
    MergedMiningModel model;
    QAbstractItemModelTester tester(&model, Mode::QtTest);
    model.addPool(QStringLiteral("a"), QStringLiteral("x"));
    model.addPool(QStringLiteral("a"), QString());
    model.addPool(QStringLiteral("b"), QStringLiteral("y"));
    QVERIFY(!QTest::currentTestFailed());
}

void TestCoinModels::mergedModelInstance() {
    MergedMiningModel& model = MergedMiningModel::instance();
    QCOMPARE(&model, &MergedMiningModel::instance());
    QVERIFY(model.rowCount() >= 1);
    QVERIFY(model.index(0, 0).data(MergedMiningModel::CoinRole).toString().isNull());
    MergedMiningProxyModel proxy(QStringLiteral("any"));
    QCOMPARE(proxy.sourceModel(), &model);
    QVERIFY(proxy.parent() == nullptr);
}

void TestCoinModels::proxyFilter_data() {
    QTest::addColumn<QString>("coin");
    QTest::addColumn<QStringList>("partners");
    QTest::newRow("a") << "a" << QStringList{QString(), "x", "z", "m"};
    QTest::newRow("b") << "b" << QStringList{QString(), "y"};
    QTest::newRow("no partners") << "c" << QStringList{QString()};
    QTest::newRow("other case") << "A" << QStringList{QString()};
    QTest::newRow("prefix") << "aa" << QStringList{QString()};
}

void TestCoinModels::proxyFilter() {
    QFETCH(QString, coin);
    QFETCH(QStringList, partners);
    MergedMiningModel model;
    model.addPool(QStringLiteral("a"), QStringLiteral("x"));
    model.addPool(QStringLiteral("b"), QStringLiteral("y"));
    model.addPool(QStringLiteral("a"), QStringLiteral("z"));
    model.addPool(QStringLiteral("a"), QStringLiteral("m"));
    MergedMiningProxyModel proxy(coin);
    proxy.setSourceModel(&model);
    QCOMPARE(column(proxy, Qt::UserRole), partners);
    QCOMPARE(proxy.index(0, 0).data().toString(), QStringLiteral("No"));
    QVERIFY(proxy.index(0, 0).data(Qt::UserRole).toString().isNull());
}

void TestCoinModels::proxySeesLaterPartners() {
    MergedMiningModel model;
    MergedMiningProxyModel proxy(QStringLiteral("a"));
    proxy.setSourceModel(&model);
    QCOMPARE(proxy.rowCount(), 1);
    model.addPool(QStringLiteral("b"), QStringLiteral("y"));
    QCOMPARE(proxy.rowCount(), 1);
    model.addPool(QStringLiteral("a"), QStringLiteral("x"));
    QCOMPARE(column(proxy, Qt::UserRole), (QStringList{QString(), "x"}));
    QCOMPARE(column(proxy, MergedMiningModel::CoinRole), (QStringList{QString(), "a"}));
}

void TestCoinModels::proxyTester() {
    MergedMiningModel model;
    MergedMiningProxyModel proxy(QStringLiteral("a"));
    proxy.setSourceModel(&model);
    QAbstractItemModelTester tester(&proxy, Mode::QtTest);
    model.addPool(QStringLiteral("a"), QStringLiteral("x"));
    model.addPool(QStringLiteral("b"), QStringLiteral("y"));
    model.addPool(QStringLiteral("a"), QStringLiteral("z"));
    QCOMPARE(proxy.rowCount(), 3);
    QVERIFY(!QTest::currentTestFailed());
}

void TestCoinModels::proxyOverAnotherModel() {
    // The filter goes by CoinRole, whatever model provides it.
    QStandardItemModel source;
    const QStringList coins{QString(), "a", "A", "b", "a"};
    for (const QString& coin : coins) {
        auto* item = new QStandardItem(coin.isNull() ? QStringLiteral("No") : coin);
        item->setData(coin, MergedMiningModel::CoinRole);
        source.appendRow(item);
    }
    MergedMiningProxyModel proxy(QStringLiteral("a"));
    proxy.setSourceModel(&source);
    QCOMPARE(column(proxy, Qt::DisplayRole), (QStringList{"No", "a", "a"}));
}

QTEST_GUILESS_MAIN(TestCoinModels)
#include "tst_coinmodels.moc"
