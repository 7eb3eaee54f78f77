#include "settings/AutostartDesktopEntry.h"
#include "settings/AutostartValue.h"
#include "settings/Settings.h"
#include "support/Fixtures.h"
#include "support/TestEnvironment.h"

#include <QtTest>

#include <optional>

using namespace Vorlant;

Q_DECLARE_METATYPE(std::optional<QStringList>)

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
    void init() { Test::removeAutostartFile(); }

    void commandLineNamesExecutable_data();
    void commandLineNamesExecutable();
    void valueIsQuoted();

    void execEncoding_data();
    void execEncoding();
    void execRoundTrip_data();
    void execRoundTrip();
    void execParsing_data();
    void execParsing();
    void readsDesktopEntry_data();
    void readsDesktopEntry();
    void desktopFilePath_data();
    void desktopFilePath();

    void enabledFromStoredEntry_data();
    void enabledFromStoredEntry();
    void refresh_data();
    void refresh();
    void setThenRemove();
    void writtenEntryIsValid();
    void homeConfigWithoutXdgConfigHome();
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
    QTest::newRow("empty entry, no path") << ""
                                          << "" << false;
    QTest::newRow("quoted with argument") << "\"" + native(app) + "\" --auto" << app << true;
    QTest::newRow("bare with argument") << native(app) + " --auto" << app << true;
    QTest::newRow("quoted alone") << "\"" + native(app) + "\"" << app << true;
    QTest::newRow("bare alone") << native(app) << app << true;
    QTest::newRow("extra spaces") << "  \"" + native(app) + "\"   --auto" << app << true;
    QTest::newRow("spaces, quoted") << "\"" + native(spaced) + "\" --auto" << spaced << true;
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

void TestAutostart::valueIsQuoted() {
    const QString app = "/opt/My Apps/vorlant-settings";
    QCOMPARE(autostartValue(app), "\"" + native(app) + "\" --auto");
    QVERIFY(autostartNamesExecutable(autostartValue(app), app));
}

void TestAutostart::execEncoding_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("exec");
    QTest::newRow("plain") << "/usr/bin/v"
                           << "\"/usr/bin/v\" --auto";
    QTest::newRow("spaces") << "/opt/My Apps/v"
                            << "\"/opt/My Apps/v\" --auto";
    // One backslash for the quoting, doubled again for the desktop entry string.
    QTest::newRow("backslash") << "/a\\b"
                               << "\"/a\\\\\\\\b\" --auto";
    QTest::newRow("dollar") << "/a$HOME"
                            << "\"/a\\\\$HOME\" --auto";
    QTest::newRow("percent") << "/50%/v"
                             << "\"/50%%/v\" --auto";
}

void TestAutostart::execEncoding() {
    QFETCH(QString, path);
    QFETCH(QString, exec);
    QCOMPARE(desktopExecValue({path, "--auto"}), exec);
}

void TestAutostart::execRoundTrip_data() {
    QTest::addColumn<QString>("path");
    QTest::newRow("plain") << "/usr/bin/vorlant-settings";
    QTest::newRow("spaces") << "/opt/My Apps/vorlant settings";
    QTest::newRow("quotes") << "/opt/\"quoted\" 'single'/v";
    QTest::newRow("shell characters") << "/opt/$HOME/`id`/a;b|c&d/v";
    QTest::newRow("backslashes") << "/opt/a\\b\\\\c/v\\";
    QTest::newRow("percent") << "/opt/100%/%f/v";
    QTest::newRow("control characters") << "/opt/a\tb\nc/v";
    QTest::newRow("escape lookalikes") << "/opt/\\s\\n/v";
    QTest::newRow("unicode") << "/opt/Jörg’s Programme/v";
}

void TestAutostart::execRoundTrip() {
    QFETCH(QString, path);
    const QStringList arguments{path, "--auto"};
    QCOMPARE(desktopExecArguments(desktopExecValue(arguments)), std::optional(arguments));
    const QString value = autostartValueFromDesktopEntry(autostartDesktopEntry(path));
    QVERIFY2(autostartNamesExecutable(value, path), qPrintable(value));
}

void TestAutostart::execParsing_data() {
    QTest::addColumn<QString>("exec");
    QTest::addColumn<std::optional<QStringList>>("arguments");
    using Args = std::optional<QStringList>;
    QTest::newRow("bare") << "/usr/bin/v --auto" << Args({"/usr/bin/v", "--auto"});
    QTest::newRow("quoted") << "\"/opt/My Apps/v\" --auto" << Args({"/opt/My Apps/v", "--auto"});
    QTest::newRow("runs of blanks") << "  /a \t  b  " << Args({"/a", "b"});
    QTest::newRow("escaped space string") << "/a\\sb" << Args({"/a", "b"});
    QTest::newRow("quoted escapes") << "\"a\\\\\"\\\\$b\\\\`c\"" << Args(QStringList{"a\"$b`c"});
    QTest::newRow("other backslash kept in quotes") << "\"a\\\\x\"" << Args(QStringList{"a\\x"});
    QTest::newRow("empty quoted argument") << "v \"\"" << Args({"v", ""});
    QTest::newRow("percent") << "v 100%%" << Args({"v", "100%"});
    QTest::newRow("empty") << "" << Args(QStringList());
    QTest::newRow("unterminated quote") << "\"/opt/v --auto" << Args();
}

void TestAutostart::execParsing() {
    QFETCH(QString, exec);
    QFETCH(std::optional<QStringList>, arguments);
    QCOMPARE(desktopExecArguments(exec), arguments);
}

void TestAutostart::readsDesktopEntry_data() {
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QString>("value");
    QTest::newRow("ours") << autostartDesktopEntry("/opt/v") << "\"/opt/v\" --auto";
    QTest::newRow("bare") << Test::autostartFileWithExec("/opt/v --auto") << "\"/opt/v\" --auto";
    QTest::newRow("no arguments") << Test::autostartFileWithExec("/opt/v") << "\"/opt/v\"";
    QTest::newRow("spaces around =, CRLF, comment")
        << QByteArray("# mine\r\n[Desktop Entry]\r\nType=Application\r\nExec  =  /opt/v\r\n")
        << "\"/opt/v\"";
    QTest::newRow("first Exec wins")
        << QByteArray("[Desktop Entry]\nExec=/a\nExec=/b\n") << "\"/a\"";
    QTest::newRow("localised key ignored")
        << QByteArray("[Desktop Entry]\nExec[de]=/de\nExec=/opt/v\n") << "\"/opt/v\"";
    QTest::newRow("no Exec") << QByteArray("[Desktop Entry]\nType=Application\n") << QString();
    QTest::newRow("empty Exec") << Test::autostartFileWithExec("") << QString();
    QTest::newRow("Exec in another group")
        << QByteArray("[Desktop Entry]\nType=Application\n[Desktop Action x]\nExec=/opt/v\n")
        << QString();
    QTest::newRow("hidden") << autostartDesktopEntry("/opt/v") + "Hidden=true\n" << QString();
    QTest::newRow("broken quoting") << Test::autostartFileWithExec("\"/opt/v") << QString();
}

void TestAutostart::readsDesktopEntry() {
    QFETCH(QByteArray, contents);
    QFETCH(QString, value);
    const QString read = autostartValueFromDesktopEntry(contents);
    QCOMPARE(read, value);
    QCOMPARE(read.isNull(), value.isNull());
}

void TestAutostart::desktopFilePath_data() {
    QTest::addColumn<QString>("xdgConfigHome");
    QTest::addColumn<QString>("path");
    QTest::newRow("set") << "/x/cfg"
                         << "/x/cfg/autostart/VorlantGui.desktop";
    QTest::newRow("trailing slash") << "/x/cfg/"
                                    << "/x/cfg/autostart/VorlantGui.desktop";
    QTest::newRow("unset") << QString() << "/h/.config/autostart/VorlantGui.desktop";
    QTest::newRow("empty") << ""
                           << "/h/.config/autostart/VorlantGui.desktop";
    QTest::newRow("relative") << "cfg"
                              << "/h/.config/autostart/VorlantGui.desktop";
}

void TestAutostart::desktopFilePath() {
    QFETCH(QString, xdgConfigHome);
    QFETCH(QString, path);
    QCOMPARE(autostartDesktopFilePath(xdgConfigHome, "/h"), path);
}

void TestAutostart::enabledFromStoredEntry_data() {
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<bool>("enabled");
    const QString app = thisProgram();
    QTest::newRow("absent") << QByteArray() << false;
    QTest::newRow("current form") << autostartDesktopEntry(app) << true;
    QTest::newRow("quoted, no argument") << Test::autostartFileWithExec("\"" + app + "\"") << true;
    QTest::newRow("bare with argument") << Test::autostartFileWithExec(app + " --auto") << true;
    QTest::newRow("bare, no argument") << Test::autostartFileWithExec(app) << true;
    QTest::newRow("another program") << autostartDesktopEntry("/usr/bin/other") << false;
    QTest::newRow("other letter case") << autostartDesktopEntry(app.toUpper()) << false;
    QTest::newRow("hidden") << autostartDesktopEntry(app) + "Hidden=true\n" << false;
}

void TestAutostart::enabledFromStoredEntry() {
    QFETCH(QByteArray, contents);
    QFETCH(bool, enabled);
    if (!contents.isNull())
        Test::writeAutostartFile(contents);
    QCOMPARE(Settings::isAutostartEnabled(), enabled);
}

void TestAutostart::refresh_data() {
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after");
    const QByteArray current = autostartDesktopEntry(thisProgram());
    const QByteArray other = autostartDesktopEntry("/usr/bin/other");
    QTest::newRow("absent stays absent") << QByteArray() << QByteArray();
    QTest::newRow("current form written again") << current << current;
    QTest::newRow("bare form brought up to date")
        << Test::autostartFileWithExec(thisProgram()) << current;
    QTest::newRow("another program untouched") << other << other;
}

void TestAutostart::refresh() {
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    if (!before.isNull())
        Test::writeAutostartFile(before);
    Settings::refreshAutostart();
    QCOMPARE(Test::autostartFileContents(), after);
}

void TestAutostart::setThenRemove() {
    Settings::setAutostart(true);
    QCOMPARE(Test::autostartFileContents(), autostartDesktopEntry(thisProgram()));
    QVERIFY(Settings::isAutostartEnabled());
    Settings::setAutostart(false);
    QVERIFY(!QFile::exists(autostartDesktopFilePath()));
    QVERIFY(!Settings::isAutostartEnabled());
}

void TestAutostart::writtenEntryIsValid() {
    const QString validator = QStandardPaths::findExecutable("desktop-file-validate");
    if (validator.isEmpty())
        QSKIP("desktop-file-validate is not installed (scripts/install-deps.sh installs it)");
    // A path that needs every kind of quoting the Exec key knows.
    QTemporaryDir dir;
    const QString file = dir.filePath("VorlantGui.desktop");
    QFile out(file);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(autostartDesktopEntry("/opt/My Apps/$x `y` \\z \"q\" 100%/v"));
    out.close();
    QProcess process;
    process.start(validator, {file});
    QVERIFY(process.waitForFinished());
    const QByteArray output = process.readAllStandardOutput() + process.readAllStandardError();
    QVERIFY2(process.exitCode() == 0 && output.isEmpty(), output.constData());
}

void TestAutostart::homeConfigWithoutXdgConfigHome() {
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", "");
    const QString expected = QDir::homePath() + "/.config/autostart/VorlantGui.desktop";
    Settings::setAutostart(true);
    const bool written = QFile::exists(expected);
    const bool enabled = Settings::isAutostartEnabled();
    Settings::setAutostart(false);
    qputenv("XDG_CONFIG_HOME", saved);
    QVERIFY(written);
    QVERIFY(enabled);
    QVERIFY(!QFile::exists(expected));
}

QTEST_GUILESS_MAIN(TestAutostart)
#include "tst_autostart.moc"
