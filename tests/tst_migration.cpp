#include "settings/AutostartDesktopEntry.h"
#include "settings/MigrationPlan.h"
#include "settings/Settings.h"
#include "support/Fixtures.h"
#include "support/TestEnvironment.h"

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
QStringList stampedOnly(const QString& fixture, const QStringList& dropped = {}) {
    QStringList lines;
    for (const QString& line : Test::fixtureLines(fixture)) {
        if (!line.startsWith(QLatin1String("version=")) && !dropped.contains(line))
            lines << line;
    }
    return sorted(lines << QStringLiteral("version=5.10"));
}

// The lines of an entry as the re-keying writes it.
QStringList rekeyed(const QString& engine, const QString& pool, int speed, const QString& worker) {
    const QString prefix = "miners/" + engine + "/";
    return {prefix + "pool=" + pool, prefix + "speed=" + QString::number(speed),
            prefix + "worker=" + worker};
}

} // namespace

class TestMigration : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { Test::isolateEnvironment(); }
    void init() {
        Test::clearStore();
        QFile::remove(autostartDesktopFilePath());
    }

    void stepsForVersion_data();
    void stepsForVersion();
    void versionFromFirstEngine();
    void migratesStore_data();
    void migratesStore();
    void secondStartChangesNothing_data() { migratesStore_data(); }
    void secondStartChangesNothing();
    void refreshesAutostart_data();
    void refreshesAutostart();
};

void TestMigration::stepsForVersion_data() {
    QTest::addColumn<QString>("version");
    QTest::addColumn<int>("steps");
    const QList<QPair<const char*, int>> rows = {
        {"1.04", C}, {"1.05", A | B | C}, {"1.6", A | B | C}, {"1.07", B | C}, {"1.09", B | C},
        {"1.10", C}, {"1.-1", C},         {"2.6", C},         {"2.7", 0},      {"5.0", D},
        {"5.6", D},  {"5.7", 0},          {"5.-1", 0},        {"5.3.1", D},    {"0.5", 0},
        {"3.0", 0},  {"6.0", 0},          {"5", 0},           {"", 0},         {"x.y", 0},
        {"x.3", 0}};
    for (const auto& [version, steps] : rows)
        QTest::newRow(*version ? version : "empty") << QString::fromLatin1(version) << steps;
}

void TestMigration::stepsForVersion() {
    QFETCH(QString, version);
    QFETCH(int, steps);
    QCOMPARE(int(migrationSteps(version)), steps);
}

void TestMigration::versionFromFirstEngine() {
    QCOMPARE(Vorlant::versionFromFirstEngine("bytecoinminerengine"), QStringLiteral("1.05"));
    QCOMPARE(Vorlant::versionFromFirstEngine("bcn"), QStringLiteral("1.07"));
    QCOMPARE(Vorlant::versionFromFirstEngine("BCN"), QString());
    QCOMPARE(Vorlant::versionFromFirstEngine("fcn"), QString());
    QCOMPARE(Vorlant::versionFromFirstEngine(""), QString());
}

void TestMigration::migratesStore_data() {
    QTest::addColumn<QString>("fixture");
    QTest::addColumn<QStringList>("expected");
    const QString bcnPool = "bcn.pool.example:3333";
    const QString fcnPool = "fcn.pool.example:4444";
    const QString xmrPool = "xmr.pool.example:5555";
    const QStringList stamp{"version=5.10"};
    const auto row = [](const char* name, const char* fixture, const QStringList& expected) {
        QTest::newRow(name) << QString::fromLatin1(fixture) << sorted(expected);
    };

    row("no miners", "no-miners", stampedOnly("no-miners"));
    row("1.05 derived", "v105-derived",
        rekeyed("bcn", bcnPool, 1, "rig1") + rekeyed("fcn", fcnPool, 1, "rig2") + stamp +
            QStringList{"apiToken=tok-2", "email=two@example.org", "proxy=no",
                        "server=https://two.example/api"});
    row("1.07 derived", "v107-derived",
        rekeyed("bcn", bcnPool, 3, "rig1") + rekeyed("fcn", fcnPool, 2, "rig2") + stamp);
    // A key the old entry lacked stays absent instead of holding Qt's invalid-value marker.
    row("1.07 entry without worker", "v107-missing-keys",
        {"miners/bcn/pool=" + bcnPool, "miners/bcn/speed=3", "version=5.10"});
    row("unknown engine", "unknown-engine", stampedOnly("unknown-engine"));
    // Step A stands aside, so the old engine name and thread count reach step B.
    row("1.05 with a server", "v105-server",
        rekeyed("bytecoinminerengine", bcnPool, 4, "rig1") + stamp +
            QStringList{"server=https://kept.example"});
    row("1.05 without entries", "v105-empty-miners",
        {"apiToken=", "email=", "miners/count=0", "server=", "version=5.10"});
    row("1.10", "v110",
        {"miners/bcn/engine=bcn", "miners/bcn/pool=" + bcnPool, "miners/bcn/speed=2",
         "miners/bcn/threads=7", "version=5.10"});
    row("2.3", "v23", stampedOnly("v23", {"miners/bcn/mergedMining=fcn"}));
    for (const char* fixture : {"v27", "v53", "v57", "v510", "v5", "vxy", "v5-minus1"})
        row(fixture, fixture, stampedOnly(fixture));

    row("engine names a later entry", "collision-names-other",
        rekeyed("fcn", fcnPool, 2, "rig-fcn") + rekeyed("xmr", xmrPool, 3, "rig-xmr") + stamp);
    row("two entries swap names", "collision-swap",
        rekeyed("bcn", bcnPool, 3, "rig-bcn") + rekeyed("fcn", fcnPool, 2, "rig-fcn") + stamp);
    row("engine names its own entry", "collision-own", rekeyed("bcn", bcnPool, 2, "rig1") + stamp);
    // Entries that cannot move stay whole; so does one that would land on one of them.
    row("entries without a usable engine", "collision-no-engine",
        rekeyed("bcn", bcnPool, 4, "rig1") +
            stampedOnly("collision-no-engine",
                        {"miners/plain/engine=bcn", "miners/plain/pool=" + bcnPool,
                         "miners/plain/threads=4", "miners/plain/worker=rig1"}));
    row("two entries of one engine", "collision-same-engine",
        rekeyed("bcn", "second.pool.example:3333", 2, "rig2") + stamp);
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

void TestMigration::refreshesAutostart_data() {
    QTest::addColumn<QString>("fixture");
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after");
    const QString program = QCoreApplication::applicationFilePath();
    const QByteArray bare = Test::autostartFileWithExec(program);
    const QByteArray other = Test::autostartFileWithExec("\"/usr/bin/other-miner\" --auto");
    QTest::newRow("5.3, this program") << "v53" << bare << autostartDesktopEntry(program);
    QTest::newRow("5.3, another program") << "v53" << other << other;
    QTest::newRow("5.7, this program") << "v57" << bare << bare;
    QTest::newRow("1.10, this program") << "v110" << bare << bare;
}

void TestMigration::refreshesAutostart() {
    QFETCH(QString, fixture);
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    QVERIFY(Test::loadStoreFixture(fixture));
    Test::writeAutostartFile(before);
    Settings::instance().migrate();
    QCOMPARE(Test::autostartFileContents(), after);
}

QTEST_GUILESS_MAIN(TestMigration)
#include "tst_migration.moc"
