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

    // Every old store of tests/data/stores/ beside the store a start leaves of it (.upgraded):
    // the releases' layouts (v105 ... v510), entries whose engines collide (collision-*), and
    // malformed lines that list a nameless group (nameless-*).
    void migratesStore_data() {
        QTest::addColumn<QString>("fixture");
        for (const QString& file : QDir(VORLANT_TEST_DATA "/stores").entryList({"*.conf"})) {
#ifdef Q_OS_WIN // malformed lines are a file's fault: the registry cannot hold them
            if (file.startsWith("nameless"))
                continue;
#endif
            QTest::newRow(qPrintable(file)) << file.chopped(5);
        }
    }
    void migratesStore() {
        QFETCH(QString, fixture);
        const QStringList expected =
            QString(Test::readFile(VORLANT_TEST_DATA "/stores/" + fixture + ".upgraded")).split('\n', Qt::SkipEmptyParts);
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
