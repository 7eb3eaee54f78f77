#include "settings/Settings.h"
#include "support/StoreSnapshot.h"
#include "support/TestEnvironment.h"

#include <QUrl>
#include <QtTest>

using namespace Vorlant;

namespace {

QStringList sortedKeys(const QVariantMap& map) {
    QStringList keys = map.keys();
    keys.sort();
    return keys;
}

} // namespace

class TestMinerEntries : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { Test::isolateEnvironment(); }
    void init() { Test::clearStore(); }

    // Reading
    void minersOnStoreWithoutMiners();
    void minersReportsEngineAndEmptyMergedPools();
    void minersCollectsMergedPoolsSubgroup();
    void minersIgnoresMapValuedMergedPools();
    void minersOldEngineKeyWins();

    // Writing
    void setMinerMerges_data();
    void setMinerMerges();
    void setMinerKeepsOtherEntries();

    // One key
    void minerValue_data();
    void minerValue();
    void setMinerValueChoosesGroup_data();
    void setMinerValueChoosesGroup();

    void groupDiscipline_data();
    void groupDiscipline();
};

void TestMinerEntries::minersOnStoreWithoutMiners() {
    QVERIFY(Settings::instance().miners().isEmpty());
    Test::rawStore().setValue(QStringLiteral("email"), QStringLiteral("a@b.c"));
    Test::rawStore().setValue(QStringLiteral("customMiners/xmr/speed"), 2);
    QVERIFY(Settings::instance().miners().isEmpty());
}

void TestMinerEntries::minersReportsEngineAndEmptyMergedPools() {
    QSettings raw = Test::rawStore();
    raw.setValue(QStringLiteral("miners/xmr/pool"), QStringLiteral("h:443"));
    raw.setValue(QStringLiteral("miners/xmr/speed"), 2);
    raw.setValue(QStringLiteral("miners/xmr/running"), true);

    const QVariantMap miners = Settings::instance().miners();
    QCOMPARE(miners.keys(), QStringList{QStringLiteral("xmr")});
    const QVariantMap entry = miners.value(QStringLiteral("xmr")).toMap();
    QCOMPARE(sortedKeys(entry), (QStringList{"engine", "mergedPools", "pool", "running", "speed"}));
    QCOMPARE(entry.value("engine").toString(), QStringLiteral("xmr"));
    QCOMPARE(entry.value("mergedPools").toMap(), QVariantMap());
    QCOMPARE(entry.value("pool").toString(), QStringLiteral("h:443"));
    QCOMPARE(entry.value("speed").toUInt(), 2u);
    QCOMPARE(entry.value("running").toBool(), true);
}

void TestMinerEntries::minersCollectsMergedPoolsSubgroup() {
    QSettings raw = Test::rawStore();
    raw.setValue(QStringLiteral("miners/xmr/ticker"), QStringLiteral("XMR"));
    raw.setValue(QStringLiteral("miners/xmr/mergedPools/tari"), QStringLiteral("http://t:1"));
    raw.setValue(QStringLiteral("miners/xmr/mergedPools/wow"), QStringLiteral("http://w:2"));
    // An entry made only of the subgroup still counts as an entry.
    raw.setValue(QStringLiteral("miners/bare/mergedPools/x"), QStringLiteral("http://x:3"));

    const QVariantMap miners = Settings::instance().miners();
    QCOMPARE(miners.keys(), (QStringList{"bare", "xmr"}));
    const QVariantMap xmr = miners.value("xmr").toMap();
    QCOMPARE(sortedKeys(xmr), (QStringList{"engine", "mergedPools", "ticker"}));
    const QVariantMap pools = xmr.value("mergedPools").toMap();
    QCOMPARE(sortedKeys(pools), (QStringList{"tari", "wow"}));
    QCOMPARE(pools.value("tari").toString(), QStringLiteral("http://t:1"));
    QCOMPARE(pools.value("wow").toString(), QStringLiteral("http://w:2"));
    QCOMPARE(sortedKeys(miners.value("bare").toMap()), (QStringList{"engine", "mergedPools"}));
}

void TestMinerEntries::minersIgnoresMapValuedMergedPools() {
    // setMiner() stores "mergedPools" as one map-valued key; miners() collects the subgroup
    // only, so it reports such an entry's partners as none.
    const QVariantMap pools{{"tari", QUrl(QStringLiteral("http://t:1"))}};
    Settings::instance().setMiner({{"engine", "xmr"}, {"mergedPools", pools}, {"ticker", "XMR"}});
    QCOMPARE(Test::rawStore().value("miners/xmr/mergedPools").toMap(), pools);
    const QVariantMap entry = Settings::instance().miners().value("xmr").toMap();
    QCOMPARE(entry.value("mergedPools").toMap(), QVariantMap());
    QCOMPARE(entry.value("ticker").toString(), QStringLiteral("XMR"));
}

void TestMinerEntries::minersOldEngineKeyWins() {
    Test::rawStore().setValue(QStringLiteral("miners/0/engine"), QStringLiteral("xmr"));
    const QVariantMap miners = Settings::instance().miners();
    QCOMPARE(miners.keys(), QStringList{QStringLiteral("0")});
    QCOMPARE(miners.value("0").toMap().value("engine").toString(), QStringLiteral("xmr"));
}

void TestMinerEntries::setMinerMerges_data() {
    QTest::addColumn<QVariantMap>("stored");
    QTest::addColumn<QVariantMap>("written");
    QTest::addColumn<QVariantMap>("expected");

    const QVariantMap stored{{"pool", "h:1"}, {"speed", 1}, {"worker", "w"}, {"running", true}};
    QTest::newRow("new entry") << QVariantMap() << QVariantMap{{"speed", 2}}
                               << QVariantMap{{"speed", 2}};
    QTest::newRow("one key updated, others kept")
        << stored << QVariantMap{{"speed", 2}}
        << QVariantMap{{"pool", "h:1"}, {"speed", 2}, {"worker", "w"}, {"running", true}};
    QTest::newRow("invalid value removes the key")
        << stored << QVariantMap{{"worker", QVariant()}, {"speed", 2}}
        << QVariantMap{{"pool", "h:1"}, {"speed", 2}, {"running", true}};
    QTest::newRow("removing a missing key")
        << stored << QVariantMap{{"ticker", QVariant()}} << stored;
    QTest::newRow("only engine") << stored << QVariantMap() << stored;
}

void TestMinerEntries::setMinerMerges() {
    QFETCH(QVariantMap, stored);
    QFETCH(QVariantMap, written);
    QFETCH(QVariantMap, expected);
    QSettings raw = Test::rawStore();
    for (auto it = stored.cbegin(); it != stored.cend(); ++it)
        raw.setValue(QStringLiteral("miners/xmr/") + it.key(), it.value());

    written.insert(QStringLiteral("engine"), QStringLiteral("xmr"));
    QVERIFY(Settings::instance().setMiner(written));

    raw.beginGroup(QStringLiteral("miners/xmr"));
    QStringList keys = raw.childKeys();
    keys.sort();
    QCOMPARE(keys, sortedKeys(expected)); // "engine" is the group's name, never a key
    for (auto it = expected.cbegin(); it != expected.cend(); ++it)
        QCOMPARE(raw.value(it.key()).toString(), it.value().toString());
    raw.endGroup();
    QCOMPARE(Test::storeSnapshot().keys().filter(QStringLiteral("engine")), QStringList());
}

void TestMinerEntries::setMinerKeepsOtherEntries() {
    QSettings raw = Test::rawStore();
    raw.setValue(QStringLiteral("miners/bcn/speed"), 3);
    raw.setValue(QStringLiteral("miners/xmr-lite/speed"), 4);
    Settings::instance().setMiner({{"engine", "xmr"}, {"speed", 2}});
    QCOMPARE(raw.value(QStringLiteral("miners/bcn/speed")).toInt(), 3);
    QCOMPARE(raw.value(QStringLiteral("miners/xmr-lite/speed")).toInt(), 4);
    QCOMPARE(raw.value(QStringLiteral("miners/xmr/speed")).toInt(), 2);
}

void TestMinerEntries::minerValue_data() {
    QTest::addColumn<QString>("coin");
    QTest::addColumn<QString>("key");
    QTest::addColumn<bool>("custom");
    QTest::addColumn<QVariant>("expected");

    QTest::newRow("miners") << "xmr"
                            << "ticker" << false << QVariant("XMR");
    QTest::newRow("customMiners") << "xmr"
                                  << "ticker" << true << QVariant("CUSTOM");
    QTest::newRow("missing key") << "xmr"
                                 << "worker" << false << QVariant("default");
    QTest::newRow("missing entry") << "bcn"
                                   << "ticker" << false << QVariant("default");
    QTest::newRow("missing custom entry") << "bcn"
                                          << "ticker" << true << QVariant("default");
}

void TestMinerEntries::minerValue() {
    QFETCH(QString, coin);
    QFETCH(QString, key);
    QFETCH(bool, custom);
    QFETCH(QVariant, expected);
    QSettings raw = Test::rawStore();
    raw.setValue(QStringLiteral("miners/xmr/ticker"), QStringLiteral("XMR"));
    raw.setValue(QStringLiteral("customMiners/xmr/ticker"), QStringLiteral("CUSTOM"));
    raw.setValue(QStringLiteral("miners/ticker"), QStringLiteral("stray"));

    const QVariant value = Settings::instance().minerValue(coin, key, custom, "default");
    QCOMPARE(value.toString(), expected.toString());
}

void TestMinerEntries::setMinerValueChoosesGroup_data() {
    QTest::addColumn<bool>("custom");
    QTest::addColumn<QString>("key");
    QTest::newRow("miners") << false << "miners/xmr/speed";
    QTest::newRow("customMiners") << true << "customMiners/xmr/speed";
}

void TestMinerEntries::setMinerValueChoosesGroup() {
    QFETCH(bool, custom);
    QFETCH(QString, key);
    Settings::instance().setMinerValue(QStringLiteral("xmr"), QStringLiteral("speed"), custom, 3u);
    const QVariantMap snapshot = Test::storeSnapshot();
    QCOMPARE(snapshot.keys(), QStringList{key});
    QCOMPARE(snapshot.value(key).toUInt(), 3u);
    QCOMPARE(Settings::instance().minerValue("xmr", "speed", custom).toUInt(), 3u);
}

void TestMinerEntries::groupDiscipline_data() {
    QTest::addColumn<int>("operation");
    QTest::newRow("miners") << 0;
    QTest::newRow("setMiner") << 1;
    QTest::newRow("setMiner removing") << 2;
    QTest::newRow("minerValue") << 3;
    QTest::newRow("setMinerValue") << 4;
    QTest::newRow("custom minerValue") << 5;
    QTest::newRow("custom setMinerValue") << 6;
}

void TestMinerEntries::groupDiscipline() {
    QFETCH(int, operation);
    Settings& settings = Settings::instance();
    Test::rawStore().setValue(QStringLiteral("miners/xmr/mergedPools/tari"), QStringLiteral("u"));
    settings.setValue(QStringLiteral("email"), QStringLiteral("top@level"));
    switch (operation) {
    case 0:
        settings.miners();
        break;
    case 1:
        settings.setMiner({{"engine", "xmr"}, {"email", "inner"}});
        break;
    case 2:
        settings.setMiner({{"engine", "xmr"}, {"worker", QVariant()}});
        break;
    case 3:
        settings.minerValue("xmr", "email", false, "x");
        break;
    case 4:
        settings.setMinerValue("xmr", "email", false, "inner");
        break;
    case 5:
        settings.minerValue("xmr", "email", true, "x");
        break;
    case 6:
        settings.setMinerValue("xmr", "email", true, "inner");
        break;
    }
    // Back at the root: a top-level read and write see the top-level key.
    QCOMPARE(settings.value(QStringLiteral("email")).toString(), QStringLiteral("top@level"));
    settings.setValue(QStringLiteral("server"), QStringLiteral("http://s"));
    QCOMPARE(Test::rawStore().value(QStringLiteral("server")).toString(),
             QStringLiteral("http://s"));
}

QTEST_GUILESS_MAIN(TestMinerEntries)
#include "tst_minerentries.moc"
