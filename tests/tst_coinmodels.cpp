#include "support/TestEnvironment.h"
#include "ui/CpuCoresModel.h"
#include "ui/MergedMiningModel.h"
#include "ui/MergedMiningProxyModel.h"

#include <QAbstractItemModelTester>
#include <QThread>
#include <QtTest>

using namespace Vorlant;

namespace {

QStringList column(const QAbstractItemModel& model, int role) {
    QStringList values;
    for (int row = 0; row < model.rowCount(); ++row)
        values.append(model.index(row, 0).data(role).toString());
    return values;
}

void addPools(MergedMiningModel& model) {
    for (const char* pair : {"a x", "b y", "a z", "a m"})
        model.addPool(QString::fromLatin1(pair).left(1), QString::fromLatin1(pair).mid(2));
}

} // namespace

class TestCoinModels : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { Test::isolateEnvironment(); }
    void init() { Test::clearStore(); }

    void modelTesters();
    void proxyFilter_data();
    void proxyFilter();
    void tickerFollowsStore();
};

void TestCoinModels::modelTesters() {
    using Mode = QAbstractItemModelTester::FailureReportingMode;
    CpuCoresModel cores;
    MergedMiningModel merged;
    MergedMiningProxyModel proxy(QStringLiteral("a"));
    proxy.setSourceModel(&merged);
    QAbstractItemModelTester coresTester(&cores, Mode::QtTest);
    QAbstractItemModelTester mergedTester(&merged, Mode::QtTest);
    QAbstractItemModelTester proxyTester(&proxy, Mode::QtTest);
    addPools(merged);
    merged.addPool(QStringLiteral("a"), QString());
    const int most = QThread::idealThreadCount();
    QCOMPARE(cores.rowCount(), most + 1);
    QCOMPARE(cores.index(most, 0).data(Qt::UserRole).toInt(), most);
    QCOMPARE(column(proxy, Qt::UserRole), (QStringList{QString(), "x", "z", "m", ""}));
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
    addPools(model);
    MergedMiningProxyModel proxy(coin);
    proxy.setSourceModel(&model);
    QCOMPARE(column(proxy, Qt::UserRole), partners);
    QCOMPARE(proxy.index(0, 0).data().toString(), QStringLiteral("No"));
    QVERIFY(proxy.index(0, 0).data(Qt::UserRole).toString().isNull());
}

void TestCoinModels::tickerFollowsStore() {
    MergedMiningModel model;
    model.addPool(QStringLiteral("xmr"), QStringLiteral("tari"));
    const QModelIndex tari = model.index(1, 0);
    QCOMPARE(tari.data().toString(), QStringLiteral("No"));
    Test::rawStore().setValue(QStringLiteral("miners/tari/ticker"), QStringLiteral("XTM"));
    QCOMPARE(tari.data().toString(), QStringLiteral("XTM"));
    // A ticker in the custom group, in another entry or in "miners" itself is not the partner's.
    Test::clearStore();
    QSettings raw = Test::rawStore();
    raw.setValue(QStringLiteral("customMiners/tari/ticker"), QStringLiteral("C"));
    raw.setValue(QStringLiteral("miners/Tari/ticker"), QStringLiteral("CASE"));
    raw.setValue(QStringLiteral("miners/ticker"), QStringLiteral("STRAY"));
    QCOMPARE(tari.data().toString(), QStringLiteral("No"));
    QCOMPARE(model.index(0, 0).data().toString(), QStringLiteral("No"));
}

QTEST_GUILESS_MAIN(TestCoinModels)
#include "tst_coinmodels.moc"
