#include "settings/AutostartDesktopEntry.h"
#include "settings/AutostartValue.h"
#include "settings/MigrationPlan.h"
#include "log/Logger.h"
#include "settings/Settings.h"
#include "settings/StoreGuard.h"
#include "settings/StoredVariant.h"
#include "support/TestEnvironment.h"

#include <QUrl>
#include <QtTest>

using namespace Vorlant;

class TestSettings : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { Test::isolateEnvironment(); }
    void init() {
        Test::clearStore();
        QFile::remove(autostartDesktopFilePath());
    }

    // "version:steps", A to D the steps in the order they run (MigrationStep's bits).
    void stepsForVersion() {
        const QString table = "1.04:C 1.05:ABC 1.6:ABC 1.09:BC 1.10:C 1.-1:C 2.6:C 2.7: 5.0:D 5.6:D 5.7: "
                              "5.-1: 5.3.1:D 0.5: 3.0: 6.0: 5: : x.y:";
        for (const QString& row : table.split(' ')) {
            int steps = 0;
            for (const QChar step : row.section(':', 1))
                steps |= 1 << (step.unicode() - 'A');
            QVERIFY2(int(migrationSteps(row.section(':', 0, 0))) == steps, qPrintable(row));
        }
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
            QTest::newRow(qPrintable(file)) << QString(VORLANT_TEST_DATA "/stores/" + file.chopped(5));
        }
    }
    void migratesStore() {
        QFETCH(QString, fixture);
        const QString upgraded = Test::readFile(fixture + ".upgraded");
        const QStringList expected = upgraded.split('\n', Qt::SkipEmptyParts);
        Test::loadStore(Test::readFile(fixture + ".conf"));
        for (int start = 0; start < 2; ++start) { // a second start changes nothing
            Settings::instance().migrate();
            QCOMPARE(Test::storeLines(), expected);
        }
    }

    // What Qt writes of each type a store may hold passes as decodable, in both of the forms it
    // writes (the file puts a ')' after it); the same cut short by a byte does not.
    void soundValueDecodable() {
        const QVariantList values{true, -1, 2u, qint64(-3), quint64(4), 5.5, QChar('c'), QVariant(),
            QVariantMap{{"k", QUrl("http://h")}}, QVariantList{QString(), QByteArray()}, QStringList{"a"},
            QBitArray(9, true), QDate(2020, 1, 2), QTime(1, 2), QDateTime(QDate(2020, 1, 2), QTime(1, 2), Qt::UTC),
            QDateTime(QDate(2020, 1, 2), QTime(), QTimeZone("Europe/Berlin")), QDateTime(QDate(2020, 1, 2), QTime(), Qt::OffsetFromUTC, 60),
            QLocale("de_DE"), QRect(1, 2, 3, 4), QRectF(1, 2, 3, 4), QSize(1, 2), QSizeF(1, 2), QLine(1, 2, 3, 4),
            QLineF(1, 2, 3, 4), QPoint(1, 2), QPointF(1, 2), QRegExp("x"), QRegularExpression("y"), QVariantHash{{"h", 1}},
            QUuid::createUuid(), QVariant::fromValue(short(1)), QVariant::fromValue(1L), QVariant::fromValue(1.5f),
            QVariant::fromValue(QByteArrayList{"a"}), QVariant::fromValue(nullptr), QVariant::fromValue(QVariant(1))};
        for (const QDataStream::Version version : {QDataStream::Qt_4_0, QDataStream::Qt_5_6}) {
            for (const QVariant& value : values) {
                QByteArray bytes;
                QDataStream stream(&bytes, QIODevice::WriteOnly);
                stream.setVersion(version);
                stream << value;
                QVERIFY2(isDecodableVariant(bytes + ')', version), value.typeName());
                QVERIFY2(!isDecodableVariant(bytes.chopped(1), version), value.typeName());
            }
        }
        // A time in a zone Qt does not know ("XY"), which Qt reads and then crashes writing back.
        const QByteArray zone = QByteArray::fromHex("00000010000000000000253d8c0000047f030000000400580059");
        QVERIFY(!isDecodableVariant(zone, QDataStream::Qt_5_6));
    }

    // Serialized values that Qt cannot decode safely, at the top and in a miner entry beside sound
    // ones: absent to the program, logged once each, and nothing else changed.
    void damagedValue_data() { Test::addRows("damaged-values"); }
    void damagedValue() {
        QFETCH(QStringList, row);
        const QString name = QString(QTest::currentDataTag()).replace(' ', '-');
        const QStringList keys{name, "miners/xmr/" + name};
        const QVariantMap sound{{"version", "5.10"}, {"server", QUrl("https://h:1")},
                                {"miners/xmr/pool", "p:1"}, {"miners/xmr/mergedPools", QVariantMap{{"w", "w:2"}}}};
        for (auto it = sound.cbegin(); it != sound.cend(); ++it)
            Test::rawStore().setValue(it.key(), *it);
        Test::storeSerialized(keys, QByteArray::fromHex(row[0].toLatin1()).repeated(row.value(1, "1").toInt()));
        Settings& settings = Settings::instance();
        settings.migrate();
        QVERIFY(!settings.miners()["xmr"].toMap().value(name).isValid());
        QCOMPARE(settings.minerValue("xmr", "pool", false), sound["miners/xmr/pool"]);
        for (const QString& key : keys) {
            QCOMPARE(settings.value(key, "absent"), QVariant("absent"));
            QCOMPARE(QString(Test::readFile(Logger::logDirectory() + "/vorlant.log")).count(" " + key + " in "), 1);
            QVERIFY(damagedKeys().contains(key));
        }
        QCOMPARE(settings.writeBack(), StoreFault::None);
        for (auto it = sound.cbegin(); it != sound.cend(); ++it)
            QCOMPARE(Test::rawStore().value(it.key()), *it);
#ifndef Q_OS_WIN // the registry keeps the value; Qt writes a file anew on every save
        QCOMPARE(Test::readFile(Test::rawStore().fileName()).count("=@Invalid()"), 2);
#endif
    }

    // Command lines of the autostart entry, and whether each starts this program.
    void commandLineNamesExecutable_data() { Test::addRows("autostart-command-lines"); }
    void commandLineNamesExecutable() {
        QFETCH(QStringList, row);
        const QString app = "/opt/My Apps/vorlant-settings", native = QDir::toNativeSeparators(app);
        const QString value = QString(row[0]).replace("%1", native).replace("%2", native.toUpper());
        QCOMPARE(autostartNamesExecutable(value == "absent" ? QString() : value, app), row[1] == "yes");
        QVERIFY(autostartNamesExecutable(autostartValue(app), app));
    }

    // The entry as the program finds it on disk, and as an upgrade from 5.3 leaves it.
    void autostartEntry_data() {
#ifdef Q_OS_WIN
        QSKIP("Linux form of the entry; the Run key value is proven by tst_windows_deploy");
#endif
        Test::addRows("autostart-entries");
    }
    void autostartEntry() {
        QFETCH(QStringList, row);
        const QByteArray app = QCoreApplication::applicationFilePath().toUtf8();
        const QByteArray current = autostartDesktopEntry(app);
        const QMap<QString, QByteArray> entries{
            {"current", current}, {"hidden", current + "Hidden=true\n"},
            {"other", autostartDesktopEntry("/usr/bin/other")},
            {"unquoted", "[Desktop Entry]\nType=Application\nExec=" + app + " --auto\n"}};
        if (entries.contains(row[0]))
            Test::writeFile(autostartDesktopFilePath(), entries[row[0]]);
        QCOMPARE(Settings::isAutostartEnabled(), row[1] == "yes");
        Test::loadStore(Test::readFile(VORLANT_TEST_DATA "/stores/v53.conf"));
        Settings::instance().migrate();
        QCOMPARE(Test::readFile(autostartDesktopFilePath()), entries.value(row[2]));
        Settings::setAutostart(true);
        QCOMPARE(Test::readFile(autostartDesktopFilePath()), current);
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
