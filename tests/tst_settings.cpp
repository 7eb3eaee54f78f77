#include "settings/AutostartDesktopEntry.h"
#include "settings/AutostartValue.h"
#include "settings/MigrationPlan.h"
#include "settings/Settings.h"
#include "support/TestEnvironment.h"

#include <QtTest>

using namespace Vorlant;

namespace {

QString fixturePath(const QString& name) {
    return QStringLiteral(VORLANT_TEST_DATA "/stores/%1.conf").arg(name);
}

// Every key of a store file as sorted "key=value" lines.
QStringList linesOf(const QString& path) {
    QSettings store(path, QSettings::IniFormat);
    QStringList lines;
    for (const QString& key : store.allKeys())
        lines << key + '=' + store.value(key).toString();
    lines.sort();
    return lines;
}

// Puts the keys of tests/data/stores/<name>.conf, an old program's store, in the isolated one.
void loadStoreFixture(const QString& name) {
    QSettings fixture(fixturePath(name), QSettings::IniFormat);
    QSettings store = Test::rawStore();
    store.clear();
    for (const QString& key : fixture.allKeys())
        store.setValue(key, fixture.value(key));
    QVERIFY(!store.allKeys().isEmpty());
}

// Puts tests/data/stores/<name>.conf in place byte for byte, malformed lines included, and has
// the store read it again (QSettings does so only for a new size or modification time).
void copyStoreFixture(const QString& name) {
    Test::rawStore().sync();
    const QString path = Test::rawStore().fileName();
    Test::writeFile(path, Test::readFile(fixturePath(name)));
    QFile file(path);
    QVERIFY(file.open(QIODevice::Append));
    QVERIFY(file.setFileTime(QDateTime(QDate(2001, 1, 1), QTime(0, 0), Qt::UTC),
                             QFileDevice::FileModificationTime));
    file.close();
    Test::rawStore().sync();
}

QByteArray syncedStoreBytes() {
    Test::rawStore().sync();
    return Test::readFile(Test::rawStore().fileName());
}

// What an untouched store looks like after a start: the same keys, stamped with our version.
QStringList stampedOnly(const QString& fixture, const QStringList& dropped = {}) {
    QStringList lines;
    for (const QString& line : linesOf(fixturePath(fixture))) {
        if (!line.startsWith(QLatin1String("version=")) && !dropped.contains(line))
            lines << line;
    }
    return lines << QStringLiteral("version=5.10");
}

// The lines of an entry as the re-keying writes it.
QStringList rekeyed(const QString& engine, const QString& pool, int speed, const QString& worker) {
    const QString prefix = "miners/" + engine + "/";
    return {prefix + "pool=" + pool, prefix + "speed=" + QString::number(speed),
            prefix + "worker=" + worker};
}

} // namespace

class TestSettings : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
#ifdef Q_OS_WIN
        QSKIP("The autostart entry lives in the real per-user registry here");
#endif
        Test::isolateEnvironment();
    }
    void init() {
        Test::clearStore();
        QFile::remove(autostartDesktopFilePath());
    }

    // Entries merge key by key, an invalid value removes a key, the entry's own name is never
    // written into it, and every operation leaves the store at its root.
    void minerEntries() {
        Settings& settings = Settings::instance();
        QVERIFY(settings.miners().isEmpty());
        QSettings raw = Test::rawStore();
        raw.setValue("miners/xmr/pool", "h:1");
        raw.setValue("miners/xmr/worker", "rig");
        raw.setValue("miners/xmr/mergedPools/tari", "http://t:2");
        QVERIFY(settings.setMiner({{"engine", "xmr"}, {"worker", QVariant()}, {"speed", 2u}}));
        QCOMPARE(raw.allKeys(), QStringList({"miners/xmr/mergedPools/tari", "miners/xmr/pool",
                                             "miners/xmr/speed"}));
        const QVariantMap entry = settings.miners().value("xmr").toMap();
        QCOMPARE(entry.keys(), QStringList({"engine", "mergedPools", "pool", "speed"}));
        QCOMPARE(entry.value("engine").toString(), QStringLiteral("xmr"));
        QCOMPARE(entry.value("mergedPools").toMap(), QVariantMap({{"tari", "http://t:2"}}));

        settings.setMinerValue("xmr", "speed", true, 5);
        QCOMPARE(raw.value("customMiners/xmr/speed").toInt(), 5);
        QCOMPARE(settings.minerValue("xmr", "speed", false).toInt(), 2);
        QCOMPARE(settings.minerValue("gone", "ticker", false, "No").toString(),
                 QStringLiteral("No"));
        settings.setValue("email", "top");
        QCOMPARE(raw.childKeys(), QStringList({"email"}));
    }

    void stepsForVersion_data() {
        QTest::addColumn<QString>("version");
        QTest::addColumn<int>("steps");
        const int A = int(MigrationStep::MoveAccountKeys), B = int(MigrationStep::RekeyByEngine),
                  C = int(MigrationStep::ClearMergedMining),
                  D = int(MigrationStep::RefreshAutostart);
        const QList<QPair<const char*, int>> rows = {
            {"1.04", C},  {"1.05", A | B | C}, {"1.6", A | B | C}, {"1.09", B | C},
            {"1.10", C},  {"1.-1", C},         {"2.6", C},         {"2.7", 0},
            {"5.0", D},   {"5.6", D},          {"5.7", 0},         {"5.-1", 0},
            {"5.3.1", D}, {"0.5", 0},          {"3.0", 0},         {"6.0", 0},
            {"5", 0},     {"empty", 0},        {"x.y", 0},         {"x.3", 0}};
        for (const auto& [version, steps] : rows)
            QTest::newRow(version) << QString(version).remove("empty") << steps;
    }
    void stepsForVersion() {
        QFETCH(QString, version);
        QFETCH(int, steps);
        QCOMPARE(int(migrationSteps(version)), steps);
    }

    void migratesStore_data() {
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<QStringList>("expected");
        const QString bcnPool = "bcn.pool.example:3333";
        const QString fcnPool = "fcn.pool.example:4444";
        const QStringList stamp{"version=5.10"};
        const auto row = [](const char* name, const char* fixture, QStringList expected) {
            expected.sort();
            QTest::newRow(name) << QString::fromLatin1(fixture) << expected;
        };
        row("no miners", "no-miners", stampedOnly("no-miners"));
        row("1.05", "v105-derived",
            rekeyed("bcn", bcnPool, 1, "rig1") + rekeyed("fcn", fcnPool, 1, "rig2") + stamp +
                QStringList{"apiToken=tok-2", "email=two@example.org", "proxy=no",
                            "server=https://two.example/api"});
        row("1.07", "v107-derived",
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
            rekeyed("fcn", fcnPool, 2, "rig-fcn") +
                rekeyed("xmr", "xmr.pool.example:5555", 3, "rig-xmr") + stamp);
        row("two entries swap names", "collision-swap",
            rekeyed("bcn", bcnPool, 3, "rig-bcn") + rekeyed("fcn", fcnPool, 2, "rig-fcn") + stamp);
        row("engine names its own entry", "collision-own",
            rekeyed("bcn", bcnPool, 2, "rig1") + stamp);
        // Entries that cannot move stay whole; so does one that would land on one of them.
        row("entries without a usable engine", "collision-no-engine",
            rekeyed("bcn", bcnPool, 4, "rig1") +
                stampedOnly("collision-no-engine",
                            {"miners/plain/engine=bcn", "miners/plain/pool=" + bcnPool,
                             "miners/plain/threads=4", "miners/plain/worker=rig1"}));
        row("two entries of one engine", "collision-same-engine",
            rekeyed("bcn", "second.pool.example:3333", 2, "rig2") + stamp);
    }
    void migratesStore() {
        QFETCH(QString, fixture);
        QFETCH(QStringList, expected);
        loadStoreFixture(fixture);
        Settings::instance().migrate();
        // Read from a copy, which shares no cache with the store: only what reached the disk
        // counts.
        const QByteArray upgraded = syncedStoreBytes();
        QTemporaryDir dir;
        Test::writeFile(dir.filePath("copy.conf"), upgraded);
        QCOMPARE(linesOf(dir.filePath("copy.conf")), expected);
        Settings::instance().migrate(); // a second start changes nothing
        QCOMPARE(syncedStoreBytes(), upgraded);
    }

    // A malformed "\x=1" line in the miners section shows as a group without a name. It is no
    // entry: it neither hides the first entry's engine nor takes the other entries with it.
    void malformedMinersLine_data() {
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<QStringList>("expected");
        const QStringList kept{"miners//x=", "version=5.10"}; // Qt keeps the line, unreachable
        const auto row = [](const char* name, const char* fixture, QStringList expected) {
            expected.sort();
            QTest::newRow(name) << QString::fromLatin1(fixture) << expected;
        };
        row("before the first entry", "nameless-first",
            rekeyed("bcn", "bcn.pool.example:3333", 3, "rig1") + kept);
        row("among entries", "nameless-among-entries",
            kept + QStringList{"apiToken=", "email=one@example.org", "miners/engine=bcn",
                               "miners/fcn/pool=fcn.pool.example:4444", "miners/fcn/speed=1",
                               "miners/kept/pool=kept.pool.example:1111", "miners/kept/threads=1",
                               "server=https://one.example/api"});
    }
    void malformedMinersLine() {
        QFETCH(QString, fixture);
        QFETCH(QStringList, expected);
        copyStoreFixture(fixture);
        Settings::instance().migrate();
        QTemporaryDir dir;
        Test::writeFile(dir.filePath("copy.conf"), syncedStoreBytes());
        QCOMPARE(linesOf(dir.filePath("copy.conf")), expected);
    }

    void commandLineNamesExecutable_data() {
        QTest::addColumn<QString>("value");
        QTest::addColumn<bool>("names");
        const QString app = QDir::toNativeSeparators("/opt/My Apps/vorlant-settings");
        QTest::newRow("no entry") << QString() << false;
        QTest::newRow("as written") << autostartValue("/opt/My Apps/vorlant-settings") << true;
        QTest::newRow("quoted alone") << "\"" + app + "\"" << true;
        QTest::newRow("unquoted with argument") << app + " --auto" << true;
        QTest::newRow("unquoted alone") << app << true;
        QTest::newRow("one quote only") << "\"" + app + " --auto" << false;
        QTest::newRow("another program") << "\"/usr/bin/other\" --auto" << false;
        QTest::newRow("other letter case") << app.toUpper() + " --auto" << false;
        QTest::newRow("another argument") << "\"" + app + "\" --autostart" << false;
    }
    void commandLineNamesExecutable() {
        QFETCH(QString, value);
        QFETCH(bool, names);
        QCOMPARE(autostartNamesExecutable(value, "/opt/My Apps/vorlant-settings"), names);
    }

    // The entry as the program finds it on disk, and as an upgrade from 5.3 leaves it.
    void autostartEntry_data() {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<QByteArray>("after");
        const QString app = QCoreApplication::applicationFilePath();
        const QByteArray current = autostartDesktopEntry(app);
        const QByteArray other = autostartDesktopEntry("/usr/bin/other");
        const QByteArray hidden = current + "Hidden=true\n";
        QTest::newRow("absent") << QByteArray() << false << QByteArray();
        QTest::newRow("current form") << current << true << current;
        QTest::newRow("unquoted") << "[Desktop Entry]\nType=Application\nExec=" + app.toUtf8() +
                                         " --auto\n"
                                  << true << current;
        QTest::newRow("another program") << other << false << other;
        QTest::newRow("hidden") << hidden << false << hidden;
    }
    void autostartEntry() {
        QFETCH(QByteArray, before);
        QFETCH(bool, enabled);
        QFETCH(QByteArray, after);
        if (!before.isNull())
            Test::writeFile(autostartDesktopFilePath(), before);
        QCOMPARE(Settings::isAutostartEnabled(), enabled);
        loadStoreFixture("v53"); // a store of 5.3 has the entry refreshed
        Settings::instance().migrate();
        QCOMPARE(Test::readFile(autostartDesktopFilePath()), after);

        Settings::setAutostart(true);
        const QByteArray written = Test::readFile(autostartDesktopFilePath());
        QCOMPARE(written, autostartDesktopEntry(QCoreApplication::applicationFilePath()));
        QVERIFY(Settings::isAutostartEnabled());
        Settings::setAutostart(false);
        QVERIFY(!QFile::exists(autostartDesktopFilePath()));
    }

    void writtenEntryIsValid() {
        const QString validator = QStandardPaths::findExecutable("desktop-file-validate");
        if (validator.isEmpty())
            QSKIP("desktop-file-validate is not installed (scripts/install-deps.sh installs it)");
        // A path that needs every kind of quoting the Exec key knows, read back the same.
        const QString path = "/opt/My Apps/$x `y` \\z \"q\" 100%/v";
        QCOMPARE(autostartValueFromDesktopEntry(autostartDesktopEntry(path)), autostartValue(path));
        QTemporaryDir dir;
        Test::writeFile(dir.filePath("VorlantGui.desktop"), autostartDesktopEntry(path));
        QProcess process;
        process.start(validator, {dir.filePath("VorlantGui.desktop")});
        QVERIFY(process.waitForFinished());
        const QByteArray output = process.readAllStandardOutput() + process.readAllStandardError();
        QVERIFY2(process.exitCode() == 0 && output.isEmpty(), output.constData());
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
