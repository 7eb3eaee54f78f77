#include "settings/AutostartDesktopEntry.h"
#include "settings/AutostartValue.h"
#include "settings/MigrationPlan.h"
#include "settings/Settings.h"
#include "support/TestEnvironment.h"

#include <QtTest>

using namespace Vorlant;

namespace {

// Every key of a store file as sorted "key=value" lines.
QStringList linesOf(const QString& path) {
    QSettings store(path, QSettings::IniFormat);
    QStringList lines;
    for (const QString& key : store.allKeys())
        lines << key + '=' + store.value(key).toString();
    lines.sort();
    return lines;
}

QString fixturePath(const QString& name) {
    return QStringLiteral(VORLANT_TEST_DATA "/stores/%1.conf").arg(name);
}

// What an untouched store looks like after a start: the same keys, stamped with our version.
QStringList stampedOnly(const QString& fixture, const QStringList& dropped = {}) {
    QStringList lines;
    for (const QString& line : linesOf(fixturePath(fixture)))
        if (!line.startsWith("version=") && !dropped.contains(line))
            lines << line;
    return lines << "version=5.10";
}

// The lines of an entry as the re-keying writes it.
QStringList rekeyed(const QString& engine, const QString& pool, int speed, const QString& worker) {
    const QString prefix = "miners/" + engine + "/";
    return {prefix + "pool=" + pool, prefix + "speed=" + QString::number(speed),
            prefix + "worker=" + worker, "version=5.10"};
}

} // namespace

class TestSettings : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { Test::isolateEnvironment(); }
    void init() {
        Test::clearStore();
        QFile::remove(autostartDesktopFilePath());
    }

    void stepsForVersion_data() {
        QTest::addColumn<QString>("version");
        QTest::addColumn<int>("steps");
        const int A = int(MigrationStep::MoveAccountKeys), B = int(MigrationStep::RekeyByEngine),
                  C = int(MigrationStep::ClearMergedMining), D = int(MigrationStep::RefreshAutostart);
        const QList<QPair<const char*, int>> rows = {
            {"1.04", C}, {"1.05", A | B | C}, {"1.6", A | B | C}, {"1.09", B | C}, {"1.10", C},
            {"1.-1", C}, {"2.6", C},          {"2.7", 0},         {"5.0", D},     {"5.6", D},
            {"5.7", 0},  {"5.-1", 0},         {"5.3.1", D},       {"0.5", 0},     {"3.0", 0},
            {"6.0", 0},  {"5", 0},            {"", 0},            {"x.y", 0}};
        for (const auto& [version, steps] : rows)
            QTest::newRow(*version ? version : "empty") << QString(version) << steps;
    }
    void stepsForVersion() {
        QFETCH(QString, version);
        QFETCH(int, steps);
        QCOMPARE(int(migrationSteps(version)), steps);
    }

    void migratesStore_data() {
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<QStringList>("expected");
        const QString bcn = "bcn.pool.example:3333", fcn = "fcn.pool.example:4444";
        const auto row = [](const char* fixture, QStringList expected) {
            expected.removeDuplicates();
            expected.sort();
            QTest::newRow(fixture) << QString(fixture) << expected;
        };
        row("v105-derived", rekeyed("bcn", bcn, 1, "rig1") + rekeyed("fcn", fcn, 1, "rig2") +
                                QStringList{"apiToken=tok-2", "email=two@example.org", "proxy=no",
                                            "server=https://two.example/api"});
        row("v107-derived", rekeyed("bcn", bcn, 3, "rig1") + rekeyed("fcn", fcn, 2, "rig2"));
        // A key the old entry lacked stays absent instead of holding Qt's invalid-value marker.
        row("v107-missing-keys", {"miners/bcn/pool=" + bcn, "miners/bcn/speed=3", "version=5.10"});
        // Step A stands aside, so the old engine name and thread count reach step B.
        row("v105-server", rekeyed("bytecoinminerengine", bcn, 4, "rig1") +
                               QStringList{"server=https://kept.example"});
        row("v105-entry-stays", {"apiToken=tok-3", "email=three@example.org", "miners/plain/pool=p.pool.example:3333",
                                 "miners/plain/threads=1", "miners/plain/worker=rig3",
                                 "server=https://three.example/api", "version=5.10"});
        row("v105-empty-miners", {"apiToken=", "email=", "miners/count=0", "server=", "version=5.10"});
        row("v110", {"miners/bcn/engine=bcn", "miners/bcn/pool=" + bcn, "miners/bcn/speed=2",
                     "miners/bcn/threads=7", "version=5.10"});
        row("v23", stampedOnly("v23", {"miners/bcn/mergedMining=fcn"}));
        for (const char* fixture :
             {"no-miners", "unknown-engine", "v27", "v53", "v57", "v510", "v5", "vxy", "v5-minus1"})
            row(fixture, stampedOnly(fixture));
        row("collision-names-other",
            rekeyed("fcn", fcn, 2, "rig-fcn") + rekeyed("xmr", "xmr.pool.example:5555", 3, "rig-xmr"));
        row("collision-swap", rekeyed("bcn", bcn, 3, "rig-bcn") + rekeyed("fcn", fcn, 2, "rig-fcn"));
        row("collision-own", rekeyed("bcn", bcn, 2, "rig1"));
        // Entries that cannot move stay whole; so does one that would land on one of them.
        row("collision-no-engine",
            rekeyed("bcn", bcn, 4, "rig1") +
                stampedOnly("collision-no-engine", {"miners/plain/engine=bcn", "miners/plain/pool=" + bcn,
                                                    "miners/plain/threads=4", "miners/plain/worker=rig1"}));
        row("collision-same-engine", rekeyed("bcn", "second.pool.example:3333", 2, "rig2"));
        // The registry would merge engines "BCN" and "bcn": they merge everywhere, under the first.
        row("collision-letter-case", {"miners/BCN/pool=second.example:2", "miners/BCN/worker=rig2", "version=5.10"});
#ifndef Q_OS_WIN // malformed lines are a file's fault: the registry cannot hold them
        // A malformed "\x=1" line in [miners] lists a group without a name: it is no entry, so it
        // neither hides the first entry's engine nor takes the other entries with it.
        row("nameless-first", rekeyed("bcn", bcn, 3, "rig1") << "miners//x=");
        row("nameless-among-entries",
            {"miners//x=", "version=5.10", "apiToken=", "email=one@example.org", "miners/engine=bcn",
             "miners/fcn/pool=" + fcn, "miners/fcn/speed=1", "miners/kept/pool=kept.pool.example:1111",
             "miners/kept/threads=1", "server=https://one.example/api"});
#endif
    }
    void migratesStore() {
        QFETCH(QString, fixture);
        QFETCH(QStringList, expected);
        Test::loadStore(Test::readFile(fixturePath(fixture)));
        Settings::instance().migrate();
        QCOMPARE(Test::storeLines(), expected);
        Settings::instance().migrate(); // a second start changes nothing
        QCOMPARE(Test::storeLines(), expected);
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
#ifdef Q_OS_WIN
        QSKIP("Linux form of the entry; the Run key value is proven by tst_windows_deploy");
#endif
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<QByteArray>("after");
        const QString app = QCoreApplication::applicationFilePath();
        const QByteArray current = autostartDesktopEntry(app);
        const QByteArray other = autostartDesktopEntry("/usr/bin/other");
        QTest::newRow("absent") << QByteArray() << false << QByteArray();
        QTest::newRow("current form") << current << true << current;
        QTest::newRow("unquoted")
            << "[Desktop Entry]\nType=Application\nExec=" + app.toUtf8() + " --auto\n" << true << current;
        QTest::newRow("another program") << other << false << other;
        QTest::newRow("hidden") << current + "Hidden=true\n" << false << current + "Hidden=true\n";
    }
    void autostartEntry() {
        QFETCH(QByteArray, before);
        QFETCH(bool, enabled);
        QFETCH(QByteArray, after);
        if (!before.isNull())
            Test::writeFile(autostartDesktopFilePath(), before);
        QCOMPARE(Settings::isAutostartEnabled(), enabled);
        Test::loadStore(Test::readFile(fixturePath("v53")));
        Settings::instance().migrate();
        QCOMPARE(Test::readFile(autostartDesktopFilePath()), after);
        Settings::setAutostart(true);
        QCOMPARE(Test::readFile(autostartDesktopFilePath()),
                 autostartDesktopEntry(QCoreApplication::applicationFilePath()));
        QVERIFY(Settings::isAutostartEnabled());
        Settings::setAutostart(false);
        QVERIFY(!QFile::exists(autostartDesktopFilePath()));
    }

    // A path that needs every kind of quoting the Exec key knows: valid, and read back the same.
    void writtenEntryIsValid() {
#ifdef Q_OS_WIN
        QSKIP("Linux form of the entry; the Run key value is proven by tst_windows_deploy");
#endif
        // A relative XDG_CONFIG_HOME is invalid and counts as unset.
        QCOMPARE(autostartDesktopFilePath("rel", "/h"), "/h/.config/autostart/VorlantGui.desktop");
        const QString path = "/opt/My Apps/$x `y` \\z \"q\" 100%/v";
        QCOMPARE(autostartValueFromDesktopEntry(autostartDesktopEntry(path)), autostartValue(path));
        QTemporaryDir dir;
        Test::writeFile(dir.filePath("VorlantGui.desktop"), autostartDesktopEntry(path));
        QProcess validate;
        validate.start("desktop-file-validate", {dir.filePath("VorlantGui.desktop")});
        QVERIFY(validate.waitForFinished());
        const QByteArray output = validate.readAllStandardOutput() + validate.readAllStandardError();
        QVERIFY2(validate.exitCode() == 0 && output.isEmpty(), output.constData());
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
