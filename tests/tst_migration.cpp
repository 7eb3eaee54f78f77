#include "settings/AutostartDesktopEntry.h"
#include "settings/MigrationPlan.h"
#include "settings/Settings.h"
#include "support/Fixtures.h"
#include "support/TestEnvironment.h"

#include <QSettings>
#include <QtTest>

using namespace Vorlant;

namespace {

constexpr int A = int(MigrationStep::MoveAccountKeys);
constexpr int B = int(MigrationStep::RekeyByEngine);
constexpr int C = int(MigrationStep::ClearMergedMining);
constexpr int D = int(MigrationStep::RefreshAutostart);

QStringList sorted(QStringList lines) {
    lines.sort();
    return lines;
}

// What an untouched store looks like after a start: the same keys, stamped with our version.
QStringList stampedOnly(const QString& fixture) {
    QStringList lines = Test::fixtureLines(fixture);
    lines.erase(std::remove_if(lines.begin(), lines.end(),
                               [](const QString& l) { return l.startsWith("version="); }),
                lines.end());
    lines << "version=5.10";
    return sorted(lines);
}

// The lines of an entry as the re-keying writes it.
QStringList rekeyed(const QString& engine, const QString& pool, int speed, const QString& worker) {
    const QString prefix = "miners/" + engine + "/";
    return {prefix + "pool=" + pool, prefix + "speed=" + QString::number(speed),
            prefix + "worker=" + worker};
}

QString thisProgram() {
    return QCoreApplication::applicationFilePath();
}

} // namespace

class TestMigration : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { Test::isolateEnvironment(); }
    void init() {
        Test::clearStore();
        Test::removeAutostartFile();
    }

    void stepsForVersion_data();
    void stepsForVersion();
    void versionFromFirstEngine_data();
    void versionFromFirstEngine();

    void fixtureIsReadThroughTheStore();
    void migratesStore_data();
    void migratesStore();
    void secondStartChangesNothing_data() { migratesStore_data(); }
    void secondStartChangesNothing();
    void restructuredEntriesReachTheDisk();
    void refreshesAutostart_data();
    void refreshesAutostart();
};

void TestMigration::stepsForVersion_data() {
    QTest::addColumn<QString>("version");
    QTest::addColumn<int>("steps");
    QTest::newRow("1.0") << "1.0" << C;
    QTest::newRow("1.04") << "1.04" << C;
    QTest::newRow("1.05") << "1.05" << (A | B | C);
    QTest::newRow("1.6") << "1.6" << (A | B | C);
    QTest::newRow("1.07") << "1.07" << (B | C);
    QTest::newRow("1.09") << "1.09" << (B | C);
    QTest::newRow("1.10") << "1.10" << C;
    QTest::newRow("1.-1 is past every bound") << "1.-1" << C;
    QTest::newRow("1..5 has an empty minor") << "1..5" << C;
    QTest::newRow("2.0") << "2.0" << C;
    QTest::newRow("2.6") << "2.6" << C;
    QTest::newRow("2.7") << "2.7" << 0;
    QTest::newRow("2.-1") << "2.-1" << 0;
    QTest::newRow("5.0") << "5.0" << D;
    QTest::newRow("5.6") << "5.6" << D;
    QTest::newRow("5.7") << "5.7" << 0;
    QTest::newRow("5.10") << "5.10" << 0;
    QTest::newRow("5.-1") << "5.-1" << 0;
    QTest::newRow("5.3.1 ignores the rest") << "5.3.1" << D;
    QTest::newRow("0.5") << "0.5" << 0;
    QTest::newRow("3.0") << "3.0" << 0;
    QTest::newRow("6.0") << "6.0" << 0;
    QTest::newRow("5") << "5" << 0;
    QTest::newRow("empty") << "" << 0;
    QTest::newRow("x.y") << "x.y" << 0;
    QTest::newRow("x.3 counts as 0.3") << "x.3" << 0;
}

void TestMigration::stepsForVersion() {
    QFETCH(QString, version);
    QFETCH(int, steps);
    QCOMPARE(int(migrationSteps(version)), steps);
}

void TestMigration::versionFromFirstEngine_data() {
    QTest::addColumn<QString>("engine");
    QTest::addColumn<QString>("version");
    QTest::newRow("bytecoinminerengine") << "bytecoinminerengine"
                                         << "1.05";
    QTest::newRow("bcn") << "bcn"
                         << "1.07";
    QTest::newRow("other letter case") << "BCN"
                                       << "";
    QTest::newRow("other engine") << "fcn"
                                  << "";
    QTest::newRow("missing") << ""
                             << "";
}

void TestMigration::versionFromFirstEngine() {
    QFETCH(QString, engine);
    QFETCH(QString, version);
    QCOMPARE(Vorlant::versionFromFirstEngine(engine), version);
}

void TestMigration::fixtureIsReadThroughTheStore() {
    // Same size, copied back to back: only the version digit differs.
    QVERIFY(Test::loadStoreFixture("v23"));
    QCOMPARE(Settings::instance().value("version").toString(), QString("2.3"));
    QVERIFY(Test::loadStoreFixture("v27"));
    QCOMPARE(Settings::instance().value("version").toString(), QString("2.7"));
    QCOMPARE(Settings::instance().minerValue("bcn", "pool", false).toString(),
             QString("bcn.pool.example:3333"));
}

void TestMigration::migratesStore_data() {
    QTest::addColumn<QString>("fixture");
    QTest::addColumn<QStringList>("expected");
    const QString bcnPool = "bcn.pool.example:3333";
    const QString fcnPool = "fcn.pool.example:4444";
    const QString xmrPool = "xmr.pool.example:5555";
    const QStringList stamp{"version=5.10"};

    QTest::newRow("no miners") << "no-miners" << stampedOnly("no-miners");
    QTest::newRow("1.05 derived") << "v105-derived"
                                  << sorted(rekeyed("bcn", bcnPool, 1, "rig1") +
                                            rekeyed("fcn", fcnPool, 1, "rig2") + stamp +
                                            QStringList{"apiToken=tok-2", "email=two@example.org",
                                                        "proxy=no",
                                                        "server=https://two.example/api"});
    QTest::newRow("1.07 derived") << "v107-derived"
                                  << sorted(rekeyed("bcn", bcnPool, 3, "rig1") +
                                            rekeyed("fcn", fcnPool, 2, "rig2") + stamp);
    // A key the old entry lacked stays absent instead of holding Qt's invalid-value marker.
    QTest::newRow("1.07 entry without worker")
        << "v107-missing-keys"
        << QStringList{"miners/bcn/pool=" + bcnPool, "miners/bcn/speed=3", "version=5.10"};
    QTest::newRow("unknown engine") << "unknown-engine" << stampedOnly("unknown-engine");
    // Step A stands aside, so the old engine name and thread count reach step B.
    QTest::newRow("1.05 with a server")
        << "v105-server"
        << sorted(rekeyed("bytecoinminerengine", bcnPool, 4, "rig1") + stamp +
                  QStringList{"server=https://kept.example"});
    QTest::newRow("1.05 without entries")
        << "v105-empty-miners"
        << QStringList{"apiToken=", "email=", "miners/count=0", "server=", "version=5.10"};
    QTest::newRow("1.10") << "v110"
                          << QStringList{"miners/bcn/engine=bcn", "miners/bcn/pool=" + bcnPool,
                                         "miners/bcn/speed=2", "miners/bcn/threads=7",
                                         "version=5.10"};
    QStringList withoutMergedMining = stampedOnly("v23");
    withoutMergedMining.removeAll("miners/bcn/mergedMining=fcn");
    QTest::newRow("2.3") << "v23" << withoutMergedMining;
    for (const char* fixture : {"v27", "v53", "v57", "v510", "v5", "vxy", "v5-minus1"})
        QTest::newRow(fixture) << fixture << stampedOnly(fixture);

    QTest::newRow("engine names a later entry")
        << "collision-names-other"
        << sorted(rekeyed("fcn", fcnPool, 2, "rig-fcn") + rekeyed("xmr", xmrPool, 3, "rig-xmr") +
                  stamp);
    QTest::newRow("two entries swap names")
        << "collision-swap"
        << sorted(rekeyed("bcn", bcnPool, 3, "rig-bcn") + rekeyed("fcn", fcnPool, 2, "rig-fcn") +
                  stamp);
    QTest::newRow("engine names its own entry")
        << "collision-own" << sorted(rekeyed("bcn", bcnPool, 2, "rig1") + stamp);
    // Entries that cannot move stay whole; so does one that would land on one of them.
    QStringList unmoved = stampedOnly("collision-no-engine");
    unmoved.removeAll("miners/plain/engine=bcn");
    unmoved.removeAll("miners/plain/pool=" + bcnPool);
    unmoved.removeAll("miners/plain/threads=4");
    unmoved.removeAll("miners/plain/worker=rig1");
    QTest::newRow("entries without a usable engine")
        << "collision-no-engine" << sorted(rekeyed("bcn", bcnPool, 4, "rig1") + unmoved);
    QTest::newRow("two entries of one engine")
        << "collision-same-engine"
        << sorted(rekeyed("bcn", "second.pool.example:3333", 2, "rig2") + stamp);
}

void TestMigration::migratesStore() {
    QFETCH(QString, fixture);
    QFETCH(QStringList, expected);
    QVERIFY(Test::loadStoreFixture(fixture));
    Settings::instance().migrate();
    QCOMPARE(Test::storeLines(), expected);
}

void TestMigration::secondStartChangesNothing() {
    QFETCH(QString, fixture);
    QVERIFY(Test::loadStoreFixture(fixture));
    Settings::instance().migrate();
    const QByteArray upgraded = Test::syncedStoreBytes();
    Settings::instance().migrate();
    QCOMPARE(Test::syncedStoreBytes(), upgraded);
}

void TestMigration::restructuredEntriesReachTheDisk() {
    QVERIFY(Test::loadStoreFixture("v105-derived"));
    Settings::instance().migrate();
    // Read a copy, which has no cache to share with the store.
    const QString copy = QDir::temp().filePath("tst_migration-ondisk.conf");
    QFile::remove(copy);
    QVERIFY(QFile::copy(Test::storeFilePath(), copy));
    QSettings onDisk(copy, QSettings::IniFormat);
    QCOMPARE(onDisk.value("miners/bcn/pool").toString(), QString("bcn.pool.example:3333"));
    QCOMPARE(onDisk.value("miners/fcn/worker").toString(), QString("rig2"));
    QCOMPARE(onDisk.value("miners/miner1/engine"), QVariant());
    QFile::remove(copy);
}

void TestMigration::refreshesAutostart_data() {
    QTest::addColumn<QString>("fixture");
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after");

    const QByteArray current = autostartDesktopEntry(thisProgram());
    const QByteArray bare = Test::autostartFileWithExec(thisProgram());
    const QByteArray other = Test::autostartFileWithExec("\"/usr/bin/other-miner\" --auto");
    QTest::newRow("5.3, no entry") << "v53" << QByteArray() << QByteArray();
    QTest::newRow("5.3, this program, older form") << "v53" << bare << current;
    QTest::newRow("5.3, this program, current form") << "v53" << current << current;
    QTest::newRow("5.3, another program") << "v53" << other << other;
    QTest::newRow("5.7, this program, older form") << "v57" << bare << bare;
    QTest::newRow("1.10, this program, older form") << "v110" << bare << bare;
}

void TestMigration::refreshesAutostart() {
    QFETCH(QString, fixture);
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    QVERIFY(Test::loadStoreFixture(fixture));
    if (!before.isNull())
        Test::writeAutostartFile(before);
    Settings::instance().migrate();
    QCOMPARE(Test::autostartFileContents(), after);
}

QTEST_GUILESS_MAIN(TestMigration)
#include "tst_migration.moc"
