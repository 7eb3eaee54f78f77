// The built program as a user starts it, against the sample pool server and microsocks. The
// test command runs this as the first process of its own mount, network and process namespaces
// (unshare), where each test gets a fresh tmpfs over /etc/xdg for the store, the home and the
// requests received.
#include "support/TestEnvironment.h"

#include <QtTest>

#include <unistd.h>

using Vorlant::Test::readFile;
using Vorlant::Test::writeFile;

namespace {
const QString Store = "/etc/xdg/vorlant/Vorlant.conf", Data = VORLANT_TEST_DATA "/e2e/";
const QString Url = "http://pool.vorlant.test:8765", Record = "/etc/xdg/requests";
const QString Log = "/etc/xdg/home/.local/share/vorlant-service/log/vorlant.log";
// Generous, for the sanitizer build on a busy 2-core machine; normally a second or two.
constexpr int Deadline = 30000;
const QRegularExpression CpuId(R"("(0|[1-9a-f][0-9a-f]*)(,(0|[1-9a-f][0-9a-f]*)){3}")");

bool run(const QString& commandLine) {
    return QProcess::execute(commandLine.section(' ', 0, 0), commandLine.split(' ').mid(1)) == 0;
}

bool xdotool(const QString& commands) { // one command line per '|': 'type' ends a line
    const QStringList lines = commands.split('|');
    return std::all_of(lines.begin(), lines.end(),
                       [](auto& line) { return run("timeout 30 xdotool " + line); });
}

// The whole store as "key=value in JSON", against one of tests/data/e2e/ and the lines `extra`.
void compareStore(const QString& expected, QStringList extra = {}) {
    QSettings store(Store, QSettings::IniFormat);
    QStringList actual;
    for (const QString& key : store.allKeys()) {
        const QJsonArray value{QJsonValue::fromVariant(store.value(key))};
        actual << key + '=' + QJsonDocument(value).toJson(QJsonDocument::Compact).mid(1).chopped(1);
    }
    extra += QString(readFile(Data + expected)).replace("$URL", Url).split('\n', Qt::SkipEmptyParts);
    extra.sort();
    actual.sort();
    QCOMPARE(actual, extra);
}
} // namespace

class E2E : public QObject {
    Q_OBJECT
    QProcess *m_socks = nullptr, *m_app = nullptr;

    QProcess* start(const QString& program, const QStringList& arguments,
                    const QStringList& env = QProcess::systemEnvironment()) {
        auto process = new QProcess(this); // ended, if still running, as the test ends
        process->setEnvironment(env);
        process->start(program, arguments);
        return process;
    }

    // A null store: the test arranged it, and the program cannot write its entries into it.
    void startApp(const QByteArray& store, const QStringList& variables = {}) {
        if (!store.isNull())
            writeFile(Store, store);
        // A clean environment: no proxy, and no session bus (the machine user's, or one started).
        const QStringList env = QProcess::systemEnvironment().filter(
            QRegularExpression("^(PATH|DISPLAY|XAUTHORITY|.SAN_OPTIONS)="));
        m_app = start(VORLANT_APP_PATH, {},
                      env +
                          QStringList{"HOME=/etc/xdg/home", "XDG_RUNTIME_DIR=/etc/xdg", "LC_ALL=C.UTF-8",
                                      "QT_QPA_PLATFORM=offscreen", "DBUS_SESSION_BUS_ADDRESS=disabled:"} +
                          variables); // the last of a name counts
        const auto stored = [&] {
            // Read as text: Qt's reader would decode whatever the test stored, damaged or not.
            return store.isNull() || readFile(Store).contains("\nwownero\\pool=");
        };
        if (!QTest::qWaitFor(stored, Deadline))
            QFAIL("no coin rows stored; " + appState());
    }

    // Whether the program still runs, where its threads wait (with gdb at hand), and the end of
    // its output, where a sanitizer's report stands.
    QByteArray appState() {
        if (m_app->state() != QProcess::Running)
            return "the program ended, exit code " + QByteArray::number(m_app->exitCode()) + ":\n" +
                   m_app->readAllStandardError().right(2000);
        QProcess gdb;
        gdb.start("gdb", {"-p", QString::number(m_app->processId()), "-batch", "-ex", "thread apply all bt 12"});
        gdb.waitForFinished(Deadline);
        return "the program runs:\n" + gdb.readAll() + m_app->readAllStandardError().right(2000);
    }

private slots:
    void initTestCase() {
        QVERIFY2(getpid() == 1, "run through ctest: it needs namespaces of its own (unshare, as root)");
        // Qt never sends a loopback literal through a proxy: the pool is reached by a name.
        QVERIFY(run("ip link set lo up") && run("mount -t tmpfs e2e /etc/xdg"));
        writeFile("/etc/xdg/hosts", "127.0.0.1 localhost pool.vorlant.test\n");
        QVERIFY(run("mount --bind /etc/xdg/hosts /etc/hosts"));
        // microsocks's connections leave from 127.0.0.2, which tells the pool proxied from direct.
        m_socks = start("microsocks", {"-i", "127.0.0.1", "-p", "1080", "-b", "127.0.0.2"});
        QProcess* pool = start("python3", {VORLANT_SOURCE_DIR "/tools/samplepool/serve.py", "--record", Record});
        // The pool's port, once it listens; microsocks, started earlier, listens by then.
        QVERIFY(pool->waitForReadyRead(Deadline));
    }

    // Small, so that the full-disk case fills it in a moment, not half the machine's memory.
    void init() { QVERIFY(run("mount -t tmpfs -o mode=0700,size=64m e2e /etc/xdg") && QDir().mkdir("/etc/xdg/vorlant")); }

    void cleanup() {
        if (m_app && (m_app->terminate(), !m_app->waitForFinished(5000)))
            m_app->kill();
        const QString output = m_app ? m_app->readAll() + m_app->readAllStandardError() : "";
        // The end of the program's output, when it shows a sanitizer's report or the test failed.
        QVERIFY2(!QTest::currentTestFailed() && !output.contains(QRegularExpression("Sanitizer|runtime error:")),
                 qPrintable(output.right(2000)));
    }

    // Settings stored | environment | User-Agent's kind | where microsocks connects ("": not used)
    void catalogueRequest_data() {
        QTest::addColumn<QString>("row");
        const auto row = QTest::newRow;
        row("desktop") << "|CONSOLE_APP=yes SERVICE_APP=0x1||"; // only a decimal number switches a kind on
        row("console") << "|CONSOLE_APP=1 SERVICE_APP=1|-cli|";
        row("service") << "|CONSOLE_APP=0 SERVICE_APP=1|-service|";
        row("custom socks") << R"(proxy="custom" proxy-url="socks://127.0.0.1:1080"|||127.0.0.1)";
        row("capital scheme, no port") << R"(proxy="custom" proxy-url="SOCKS://127.0.0.1"|||127.0.0.1)";
        row("proxy by name") << R"(proxy="custom" proxy-url="socks://localhost:1080"|||127.0.0.1)";
        // Direct, as the service goes, but said: the log's second entry.
        row("http scheme") << R"(proxy="custom" proxy-url="http://127.0.0.1:1080"||||[error]  The custom proxy )"
            "(http://127.0.0.1:1080) can't be used, so connections go direct, without a proxy. Set its "
            "address and port in the proxy settings.";
        row("no proxy") << R"(proxy="no" proxy-url="socks://127.0.0.1:1080"|||)";
        // A system proxy is handed the name, as the system says.
        row("system socks") << R"(proxy="system"|all_proxy=socks5://127.0.0.1:1080||pool.vorlant.test)";
        row("system http") << R"(proxy="system"|all_proxy=http://127.0.0.1:1080||)";
    }
    void catalogueRequest() {
        QFETCH(QString, row);
        const QStringList column = row.split('|'), settings = column[0].split(' ', Qt::SkipEmptyParts);
        startApp(("[General]\nserver=" + Url + '\n' + settings.join('\n')).toUtf8(),
                 column[1].split(' ', Qt::SkipEmptyParts));
        // No e-mail nor other coins until chosen; the merge-mining servers stored as URLs.
        compareStore("catalogue.store", settings);
        const QVariantMap pools = QSettings(Store, QSettings::IniFormat).value("miners/arqma/mergedPools").toMap();
        for (const QVariant& url : pools)
            QCOMPARE(url.userType(), int(QMetaType::QUrl));

        // Where microsocks connected to (said before the request), and the one request received.
        QTest::qWait(100);
        const QString proxied =
            QRegularExpression("connected to (.*)").match(m_socks->readAllStandardError()).captured(1);
        QCOMPARE(proxied, column[3].isEmpty() ? "" : column[3] + ":8765");
        const QString received = QString(readFile(Record)).replace(CpuId, R"("4 hex numbers")");
        const QString expected = QString(readFile(Data + "request.json"))
                                     .arg(proxied.isEmpty() ? "127.0.0.1" : "127.0.0.2", column[2],
                                          QSysInfo::kernelVersion());
        QCOMPARE(QJsonDocument::fromJson(received.toUtf8()).toJson().split('\n'),
                 QJsonDocument::fromJson(expected.toUtf8()).toJson().split('\n'));

        // The log's first entry: the whole applied style sheet.
        const QByteArray entry = "] [ info]  *{font-family: \"DejaVu Sans\";}" +
                                 readFile(VORLANT_SOURCE_DIR "/resources/basestyle.qss") + '\n';
        QTRY_VERIFY_WITH_TIMEOUT(readFile(Log).mid(17).startsWith(entry), Deadline);
        const QString more = readFile(Log).mid(17 + entry.size() + 19); // after the second entry's time
        QCOMPARE(more, column.value(4).isEmpty() ? "" : column[4] + '\n');
        const QDateTime logged = QDateTime::fromString(readFile(Log).mid(1, 16), "dd.MM.yyyy hh:mm");
        QVERIFY(qAbs(logged.secsTo(QDateTime::currentDateTime())) < 120);
    }

    // A store that cannot be written (a full disk; the package test takes one that the user may
    // not change): one error entry, the store as it was, and the program running on; a damaged
    // value in it, which cannot be mended there, read as none all the same.
    void fullDisk() {
        const QByteArray store = ("[General]\nserver=" + Url + "\nproxy=@Variant(\\0\\0\\0\\t\\x7f\\xff\\xff\\xff)\n").toUtf8();
        writeFile(Store, store);
        QVERIFY(QDir().mkdir("/etc/xdg/home") && run("mount -t tmpfs e2e /etc/xdg/home"));
        QVERIFY(!run("dd if=/dev/zero of=/etc/xdg/filler")); // the log has a disk of its own
        startApp(QByteArray());
        const QByteArray entry = "] [error]  Settings can't be saved: writing " + Store.toUtf8() + " failed\n";
        QTRY_VERIFY_WITH_TIMEOUT(readFile(Log).contains(entry), Deadline);
        QTest::qWait(2000); // the catalogue's rows written meanwhile, where the pool could answer
        // Once; the pool, unable to record the request on the full disk, fails the catalogue besides.
        QCOMPARE(readFile(Log).count(entry), 1);
        QCOMPARE(readFile(Log).count("The stored setting proxy in " + Store.toUtf8() + " is damaged"), 1);
        QCOMPARE(m_app->state(), QProcess::Running);
        QCOMPARE(readFile(Store), store);
    }

    // The pool down as the program starts, up a moment later: the failure logged once (the window's
    // line says the same), then the rows from the first retry, after one request.
    void catalogueComesLater() {
        const QString record = "/etc/xdg/requests-later";
        writeFile(Store, "[General]\nserver=http://pool.vorlant.test:8766\n");
        startApp(QByteArray());
        const QByteArray failed = "] [error]  The coin list could not be loaded from pool.vorlant.test: no "
                                  "connection to the server.\n";
        QTRY_VERIFY_WITH_TIMEOUT(readFile(Log).contains(failed), Deadline);
        QProcess* pool = start("python3", {VORLANT_SOURCE_DIR "/tools/samplepool/serve.py", "--port", "8766",
                                           "--record", record});
        QVERIFY(pool->waitForReadyRead(Deadline));
        QTRY_VERIFY_WITH_TIMEOUT(QSettings(Store, QSettings::IniFormat).contains("miners/wownero/pool"), Deadline);
        QCOMPARE(readFile(Log).count("[error]") + readFile(record).count('\n'), 2);
    }

    void oldStoreUpgraded() {
        // Two serialized values that Qt cannot decode (a list of 2^31 - 1 items, one nested too
        // deep) where the upgrade drops the keys: the same store, and each logged once.
        const QByteArray nested = "@Variant(" + QByteArray("\\0\\0\\0\\t\\0\\0\\0\\x1").repeated(200000) + ')';
        const QByteArray old = readFile(VORLANT_TEST_DATA "/stores/v105-derived.conf")
                                   .replace("miner1\\mergePool=fcn.pool.example:4444",
                                            R"(miner1\mergePool=@Variant(\0\0\0\t\x7f\xff\xff\xff))")
                                   .replace("miner2\\userId=u-2", "miner2\\userId=" + nested);
        // The old entries name their own servers: pointed at the pool, so that the upgraded
        // store is what the program then asks.
        startApp(QByteArray(old).replace("https://", (Url + "/").toUtf8()));
        QVERIFY(readFile(Record).contains(R"("path": "/api/2.3/pool/config")"));
        compareStore("upgraded.store");
        for (const QString key : {"miners/miner1/mergePool", "miners/miner2/userId"})
            QCOMPARE(QString(readFile(Log)).count(key + " in " + Store + " is damaged"), 1);
    }

    void keyboard() {
        // Widgets draw without OpenGL, and the display has no GL driver worth loading.
        startApp(("[General]\nserver=" + Url).toUtf8(), {"QT_QPA_PLATFORM=xcb", "QT_XCB_GL_INTEGRATION=none"});
        // Two cores and the first partner for arqma, the first coin with partners. Focus order:
        // e-mail, proxy button, then cores and partner of each row in turn. In the proxy dialog
        // "No proxy" has the focus; Down twice is "Custom settings", then Tab reaches the address.
        // No window manager runs to hand a new window the keyboard: each gets it by name.
        const QString focus = "search --sync --onlyvisible --name ^%1$ windowfocus --sync|";
        const QStringList steps =
            QString("email=person@example.org;%1type person@example.org;"
                    "miners/arqma/speed=2;key Tab Tab Down Down;"
                    "miners/arqma/mergedMining=conceal;key Tab Down;"
                    "proxy-url=socks://proxy.vorlant.test:1080;key shift+Tab shift+Tab space|%2"
                    "key Down Down Tab type proxy.vorlant.test|key Tab type 1080|key Return")
                .arg(focus.arg("Vorlant.service.settings"), focus.arg("Proxy.Settings"))
                .split(';');
        for (int step = 0; step < steps.size(); step += 2) {
            const QString key = steps[step].section('=', 0, 0), value = steps[step].section('=', 1);
            QVERIFY2(xdotool(steps[step + 1]), qPrintable(steps[step + 1]));
            const auto stored = [&key] { return QSettings(Store, QSettings::IniFormat).value(key).toString(); };
            QTRY_COMPARE_WITH_TIMEOUT(stored(), value, Deadline);
        }
        QVERIFY(run("import -window root " QT_TESTCASE_BUILDDIR "/e2e-keyboard.png"));
        QVERIFY(xdotool(focus.arg("Vorlant.service.settings") + "key Escape"));
        QVERIFY(m_app->waitForFinished(Deadline) && m_app->exitStatus() == QProcess::NormalExit);
        QCOMPARE(m_app->exitCode(), 0);
        compareStore("keyboard.store"); // and nothing else changed
    }

    // A screen set to 192 DPI (as a desktop's scale sets it) shows the 500 x 513 window twice as large.
    void highDpi() {
        startApp(("[General]\nserver=" + Url).toUtf8(), {"QT_QPA_PLATFORM=xcb", "QT_XCB_GL_INTEGRATION=none", "QT_FONT_DPI=192"});
        QProcess xdotool;
        xdotool.start("xdotool", {"search", "--sync", "--onlyvisible", "--name", "^Vorlant.service.settings$",
                                  "getwindowgeometry", "--shell"});
        QVERIFY(xdotool.waitForFinished(Deadline));
        QVERIFY2(xdotool.readAll().contains("WIDTH=1000\nHEIGHT=1026\n"), "not twice 500 x 513");
    }
};

QTEST_GUILESS_MAIN(E2E)
#include "e2e.moc"
