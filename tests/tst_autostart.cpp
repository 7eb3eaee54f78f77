#include "settings/AutostartDesktopEntry.h"
#include "settings/AutostartValue.h"
#include "settings/Settings.h"
#include "support/Fixtures.h"
#include "support/TestEnvironment.h"

#include <QtTest>

using namespace Vorlant;

namespace {

QString native(const QString& path) {
    return QDir::toNativeSeparators(path);
}

QString thisProgram() {
    return QCoreApplication::applicationFilePath();
}

} // namespace

class TestAutostart : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init() { QFile::remove(autostartDesktopFilePath()); }

    void commandLineNamesExecutable_data();
    void commandLineNamesExecutable();
    void execRoundTrip_data();
    void execRoundTrip();
    void readsDesktopEntry_data();
    void readsDesktopEntry();
    void desktopFilePath();
    void storedEntry_data();
    void storedEntry();
    void writtenEntryIsValid();
};

void TestAutostart::initTestCase() {
#ifdef Q_OS_WIN
    QSKIP("The entry lives in the real per-user registry here");
#endif
    Test::isolateEnvironment();
}

void TestAutostart::commandLineNamesExecutable_data() {
    const QString app = "/opt/vorlant/vorlant-settings";
    const QString spaced = "/opt/My Apps/vorlant settings";
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("appPath");
    QTest::addColumn<bool>("names");
    QTest::newRow("no entry") << QString() << app << false;
    QTest::newRow("empty entry") << "" << app << false;
    QTest::newRow("as written") << autostartValue(spaced) << spaced << true;
    QTest::newRow("quoted alone") << "\"" + native(app) + "\"" << app << true;
    QTest::newRow("bare with argument") << native(app) + " --auto" << app << true;
    QTest::newRow("bare alone") << native(app) << app << true;
    QTest::newRow("extra spaces") << "  \"" + native(app) + "\"   --auto" << app << true;
    QTest::newRow("spaces, bare") << native(spaced) + " --auto" << spaced << true;
    QTest::newRow("one quote only") << "\"" + native(app) + " --auto" << app << false;
    QTest::newRow("another program") << "\"/usr/bin/other\" --auto" << app << false;
    QTest::newRow("other letter case") << native(app).toUpper() + " --auto" << app << false;
    QTest::newRow("another argument") << "\"" + native(app) + "\" --autostart" << app << false;
    QTest::newRow("argument twice") << native(app) + " --auto --auto" << app << false;
}

void TestAutostart::commandLineNamesExecutable() {
    QFETCH(QString, value);
    QFETCH(QString, appPath);
    QFETCH(bool, names);
    QCOMPARE(autostartNamesExecutable(value, appPath), names);
}

void TestAutostart::execRoundTrip_data() {
    QTest::addColumn<QString>("path");
    QTest::newRow("spaces") << "/opt/My Apps/vorlant settings";
    QTest::newRow("quotes") << "/opt/\"quoted\" 'single'/v";
    QTest::newRow("shell characters") << "/opt/$HOME/`id`/a;b|c&d/v";
    QTest::newRow("backslashes") << "/opt/a\\b\\\\c/v\\";
    QTest::newRow("percent") << "/opt/100%/%f/v";
    QTest::newRow("control characters") << "/opt/a\tb\nc/v";
    QTest::newRow("escape lookalikes") << "/opt/\\s\\n/v";
}

void TestAutostart::execRoundTrip() {
    QFETCH(QString, path);
    const QStringList arguments{path, "--auto"};
    QCOMPARE(desktopExecArguments(desktopExecValue(arguments)), std::optional(arguments));
    const QString value = autostartValueFromDesktopEntry(autostartDesktopEntry(path));
    QCOMPARE(value, autostartValue(path));
    QVERIFY(autostartNamesExecutable(value, path));
}

void TestAutostart::readsDesktopEntry_data() {
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QString>("value");
    const auto exec = [](const char* value) {
        return Test::autostartFileWithExec(value);
    };
    QTest::newRow("bare") << exec("/opt/v --auto") << "\"/opt/v\" --auto";
    QTest::newRow("no arguments") << exec("/opt/v") << "\"/opt/v\"";
    QTest::newRow("spaces around =, CRLF, comment")
        << QByteArray("# mine\r\n[Desktop Entry]\r\nType=Application\r\nExec  =  /opt/v\r\n")
        << "\"/opt/v\"";
    QTest::newRow("first Exec wins")
        << QByteArray("[Desktop Entry]\nExec=/a\nExec=/b\n") << "\"/a\"";
    QTest::newRow("localised key ignored")
        << QByteArray("[Desktop Entry]\nExec[de]=/de\nExec=/opt/v\n") << "\"/opt/v\"";
    QTest::newRow("no Exec") << QByteArray("[Desktop Entry]\nType=Application\n") << QString();
    QTest::newRow("empty Exec") << exec("") << QString();
    QTest::newRow("Exec in another group")
        << QByteArray("[Desktop Entry]\nType=Application\n[Desktop Action x]\nExec=/opt/v\n")
        << QString();
    QTest::newRow("hidden") << autostartDesktopEntry("/opt/v") + "Hidden=true\n" << QString();
    QTest::newRow("broken quoting") << exec("\"/opt/v") << QString();
}

void TestAutostart::readsDesktopEntry() {
    QFETCH(QByteArray, contents);
    QFETCH(QString, value);
    const QString read = autostartValueFromDesktopEntry(contents);
    QCOMPARE(read, value);
    QCOMPARE(read.isNull(), value.isNull());
}

void TestAutostart::desktopFilePath() {
    const QString inHome = "/h/.config/autostart/VorlantGui.desktop";
    QCOMPARE(autostartDesktopFilePath("/x/cfg/", "/h"), "/x/cfg/autostart/VorlantGui.desktop");
    QCOMPARE(autostartDesktopFilePath(QString(), "/h"), inHome);
    QCOMPARE(autostartDesktopFilePath("", "/h"), inHome);
    QCOMPARE(autostartDesktopFilePath("cfg", "/h"), inHome);
}

// The entry on disk as the program finds it, and as a start-up's refresh leaves it.
void TestAutostart::storedEntry_data() {
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<QByteArray>("after");
    const QString app = thisProgram();
    const QByteArray current = autostartDesktopEntry(app);
    const QByteArray other = autostartDesktopEntry("/usr/bin/other");
    const QByteArray hidden = current + "Hidden=true\n";
    QTest::newRow("absent") << QByteArray() << false << QByteArray();
    QTest::newRow("current form") << current << true << current;
    QTest::newRow("unquoted, with argument")
        << Test::autostartFileWithExec(app + " --auto") << true << current;
    QTest::newRow("unquoted alone") << Test::autostartFileWithExec(app) << true << current;
    QTest::newRow("another program") << other << false << other;
    QTest::newRow("other letter case")
        << autostartDesktopEntry(app.toUpper()) << false << autostartDesktopEntry(app.toUpper());
    QTest::newRow("hidden") << hidden << false << hidden;
}

void TestAutostart::storedEntry() {
    QFETCH(QByteArray, before);
    QFETCH(bool, enabled);
    QFETCH(QByteArray, after);
    if (!before.isNull())
        Test::writeAutostartFile(before);
    QCOMPARE(Settings::isAutostartEnabled(), enabled);
    Settings::refreshAutostart();
    QCOMPARE(Test::autostartFileContents(), after);

    Settings::setAutostart(true);
    QCOMPARE(Test::autostartFileContents(), autostartDesktopEntry(thisProgram()));
    QVERIFY(Settings::isAutostartEnabled());
    Settings::setAutostart(false);
    QVERIFY(!QFile::exists(autostartDesktopFilePath()));
}

void TestAutostart::writtenEntryIsValid() {
    const QString validator = QStandardPaths::findExecutable("desktop-file-validate");
    if (validator.isEmpty())
        QSKIP("desktop-file-validate is not installed (scripts/install-deps.sh installs it)");
    // A path that needs every kind of quoting the Exec key knows.
    QTemporaryDir dir;
    QFile file(dir.filePath("VorlantGui.desktop"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(autostartDesktopEntry("/opt/My Apps/$x `y` \\z \"q\" 100%/v"));
    file.close();
    QProcess process;
    process.start(validator, {file.fileName()});
    QVERIFY(process.waitForFinished());
    const QByteArray output = process.readAllStandardOutput() + process.readAllStandardError();
    QVERIFY2(process.exitCode() == 0 && output.isEmpty(), output.constData());
}

QTEST_GUILESS_MAIN(TestAutostart)
#include "tst_autostart.moc"
