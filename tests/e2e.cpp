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

// X, Y, WIDTH and HEIGHT of the window on a screen of the virtual display (":N.S").
QStringList windowGeometry(const QString& screen = qgetenv("DISPLAY")) {
    QProcess xdotool;
    xdotool.setEnvironment(QProcess::systemEnvironment() << "DISPLAY=" + screen);
    xdotool.start("xdotool", {"search", "--sync", "--onlyvisible", "--name", "^Vorlant.service.settings$",
                              "getwindowgeometry", "--shell"});
    xdotool.waitForFinished(Deadline);
    return QRegularExpression("X=(.*)\nY=(.*)\nWIDTH=(.*)\nHEIGHT=(\\d+)").match(xdotool.readAll()).capturedTexts().mid(1);
}

bool xdotool(const QString& commands) { // one command line per '|': 'type' ends a line
    const QStringList lines = commands.split('|');
    return std::all_of(lines.begin(), lines.end(),
                       [](auto& line) { return run("timeout 30 xdotool " + line); });
}

// A store of tests/data/e2e/ as lines "key=value in JSON", its server `url`.
QStringList storeLines(const QString& file, const QString& url = Url) {
    return QString(readFile(Data + file)).replace("$URL", url).split('\n', Qt::SkipEmptyParts);
}

// The whole store, key by key, against such lines; of two for a key, the later counts.
void compareStore(const QStringList& expected) {
    QSettings store(Store, QSettings::IniFormat);
    QMap<QString, QString> actual, wanted;
    for (const QString& key : store.allKeys()) {
        const QJsonArray value{QJsonValue::fromVariant(store.value(key))};
        actual[key] = QJsonDocument(value).toJson(QJsonDocument::Compact).mid(1).chopped(1);
    }
    for (const QString& line : expected)
        wanted[line.section('=', 0, 0)] = line.section('=', 1);
    QCOMPARE(actual, wanted);
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

    // The window on a screen of the virtual display (":N.S"), with the sample catalogue and as many
    // more coins after it; the keyboard in its window. Gives the last coin's id.
    QString startOnScreen(const QString& screen, int coins, const QString& variables) {
        QJsonObject catalogue = QJsonDocument::fromJson(readFile(VORLANT_SOURCE_DIR "/tools/samplepool/catalogue.json")).object();
        QString last = "wownero";
        for (int coin = 8; coin <= coins; ++coin) {
            QJsonObject entry = catalogue["monero"].toObject();
            entry["ticker"] = last = QString("zz%1").arg(coin, 2, 10, QChar('0'));
            catalogue[last] = entry;
        }
        writeFile("/etc/xdg/catalogue.json", QJsonDocument(catalogue).toJson());
        QProcess* pool = start("python3", {VORLANT_SOURCE_DIR "/tools/samplepool/serve.py", "--port", "0",
                                           "--catalogue", "/etc/xdg/catalogue.json"});
        pool->waitForReadyRead(Deadline);
        startApp("[General]\nserver=http://pool.vorlant.test:" + pool->readLine().trimmed() + '\n',
                 QStringList{"DISPLAY=" + screen, "QT_QPA_PLATFORM=xcb", "QT_XCB_GL_INTEGRATION=none"} +
                     variables.split(' ', Qt::SkipEmptyParts));
        [&] { QVERIFY(run("env DISPLAY=" + screen + " xdotool search --sync --onlyvisible --name ^Vorlant.service.settings$ windowfocus --sync")); }();
        return last;
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
        // Direct, as the service goes, but said: the log's second entry (a system proxy below too).
        row("http scheme") << R"(proxy="custom" proxy-url="http://127.0.0.1:1080"||||[error]  The custom proxy )"
            "(http://127.0.0.1:1080) can't be used, so connections go direct, without a proxy. Set its "
            "address and port in the proxy settings.";
        row("no proxy") << R"(proxy="no" proxy-url="socks://127.0.0.1:1080"|||)";
        // A system proxy is handed the name, as the system says.
        row("system socks") << R"(proxy="system"|all_proxy=socks5://127.0.0.1:1080||pool.vorlant.test)";
        row("system http") << R"(proxy="system"|all_proxy=http://127.0.0.1:1080|||[error]  The system has no )"
            "SOCKS5 proxy, so connections go direct, without a proxy. Set one in the system, or choose another in "
            "the proxy settings.";
    }
    void catalogueRequest() {
        QFETCH(QString, row);
        const QStringList column = row.split('|'), settings = column[0].split(' ', Qt::SkipEmptyParts);
        startApp(("[General]\nserver=" + Url + '\n' + settings.join('\n')).toUtf8(),
                 column[1].split(' ', Qt::SkipEmptyParts));
        // No e-mail nor other coins until chosen; the merge-mining servers stored as URLs.
        compareStore(storeLines("catalogue.store") + settings);
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
    // line says the same), then the rows from the first retry, after one request. Meanwhile the rows
    // of the catalogue's entries, as stored, take choices and write nothing else; a coin the
    // catalogue has dropped among them, and a pool address it has changed since.
    void catalogueComesLater() {
        const QString record = "/etc/xdg/requests-later";
        QStringList stored = storeLines("catalogue.store", "http://pool.vorlant.test:8766")
                             << R"(miners/gone/ticker="GON")" << R"(miners/gone/mergedPools={"arqma":"http://a:1"})"
                             << R"(miners/arqma/pool="arq.old.example.net:3731")";
        for (const QString& line : stored) {
            const QJsonDocument value = QJsonDocument::fromJson(('[' + line.section('=', 1) + ']').toUtf8());
            QSettings(Store, QSettings::IniFormat).setValue(line.section('=', 0, 0), value[0].toVariant());
        }
        startApp(QByteArray(), {"QT_QPA_PLATFORM=xcb", "QT_XCB_GL_INTEGRATION=none"});
        const QByteArray failed = "] [error]  The coin list could not be loaded from pool.vorlant.test: no "
                                  "connection to the server.\n";
        QTRY_VERIFY_WITH_TIMEOUT(readFile(Log).contains(failed), Deadline);
        const auto value = [](const char* key) { return QSettings(Store, QSettings::IniFormat).value(key).toString(); };
        // Two cores and the first partner for arqma, the first row; then its cores' list left open.
        QVERIFY(xdotool("search --sync --onlyvisible --name ^Vorlant.service.settings$ windowfocus --sync "
                        "key Tab Tab Down Down Tab Down"));
        stored << R"(miners/arqma/running="true")" << R"(miners/arqma/speed="2")" << R"(miners/arqma/mergedMining="conceal")";
        QTRY_COMPARE_WITH_TIMEOUT(value("miners/arqma/mergedMining"), "conceal", Deadline);
        QVERIFY(run("import -window root " QT_TESTCASE_BUILDDIR "/e2e-stored-rows.png"));
        compareStore(stored);
        QVERIFY(xdotool("key shift+Tab space"));
        QProcess* pool = start("python3", {VORLANT_SOURCE_DIR "/tools/samplepool/serve.py", "--port", "8766",
                                           "--record", record});
        QVERIFY(pool->waitForReadyRead(Deadline));
        QTRY_VERIFY_WITH_TIMEOUT(readFile(record).count('\n'), Deadline);
        QTest::qWait(500); // the reply handled by now, were it not for the open list
        compareStore(stored);
        // One core chosen in the list, then the catalogue's rows with the focus on the same cell.
        QVERIFY(xdotool("key Up Return"));
        QTRY_COMPARE_WITH_TIMEOUT(value("miners/arqma/pool") + value("miners/arqma/speed"),
                                  "arq.pool.example.net:37311", Deadline);
        QVERIFY(xdotool("key Down"));
        QTRY_COMPARE_WITH_TIMEOUT(value("miners/arqma/speed"), "2", Deadline);
        QCOMPARE(windowGeometry().mid(2).join("x"), "500x513"); // taller while the failure line was shown
        // As on a start where the catalogue came at once, with the same choices; the dropped coin kept.
        compareStore(stored << R"(miners/arqma/pool="arq.pool.example.net:3731")");
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
        compareStore(storeLines("upgraded.store"));
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
        compareStore(storeLines("keyboard.store")); // and nothing else changed
    }

    // The window on screens people have, with catalogues longer than one fits: within the screen,
    // 500 wide as scaled, the last row reached by keys and its choice stored; the sample's as ever.
    // Screen 1 of the virtual display is 1920 x 1080, screen 0 1366 x 768.
    void window_data() {
        QTest::addColumn<QString>("display");
        QTest::addColumn<int>("coins");
        QTest::addColumn<QString>("size");
        QTest::newRow("sample, 1366x768 at 100 %") << "" << 7 << "500x513";
        QTest::newRow("40 coins, 1366x768 at 100 %") << "" << 40 << "500x";
        QTest::newRow("15 coins, 1920x1080 at 150 %") << ".1 QT_SCREEN_SCALE_FACTORS=1.5" << 15 << "750x";
    }
    void window() {
        QFETCH(QString, display);
        QFETCH(int, coins);
        QFETCH(QString, size);
        const QString screen = qgetenv("DISPLAY") + display.section(' ', 0, 0), last = startOnScreen(screen, coins, display.section(' ', 1));
        QTest::qWait(500); // the rows are stored before they are laid out
        const QStringList geometry = windowGeometry(screen);
        const QSize screenSize = display.isEmpty() ? QSize(1366, 768) : QSize(1920, 1080);
        QVERIFY2(QRect(QPoint(0, 0), screenSize).contains(QRect(geometry[0].toInt(), geometry[1].toInt(),
                                                                  geometry[2].toInt(), geometry[3].toInt())),
                 qPrintable(geometry.join(' ')));
        QVERIFY2((geometry[2] + 'x' + geometry[3]).startsWith(size), qPrintable(geometry.join(' ')));
        // Backwards from the e-mail field: the last row's partner, then its cores.
        QVERIFY(run("env DISPLAY=" + screen + " xdotool key shift+Tab shift+Tab Down"));
        QTRY_COMPARE_WITH_TIMEOUT(QSettings(Store, QSettings::IniFormat).value("miners/" + last + "/running").toString(), "true", Deadline);
        QVERIFY(run("env DISPLAY=" + screen + " import -window root " QT_TESTCASE_BUILDDIR "/e2e-window-" + QString::number(coins) + ".png"));
    }

    // Two notches of the wheel over the first row's cores store nothing, until it has the focus.
    void wheel() {
        const QString screen = qgetenv("DISPLAY");
        startOnScreen(screen, 7, QString());
        QTest::qWait(500); // the rows are stored before they are laid out
        const QStringList geometry = windowGeometry(screen);
        const QString overCores = QString("mousemove %1 %2 click 5 click 5").arg(geometry[0].toInt() + 249).arg(geometry[1].toInt() + 217);
        const QString speed = "miners/arqma/running";
        QVERIFY(run("xdotool " + overCores));
        QTest::qWait(500);
        QCOMPARE(QSettings(Store, QSettings::IniFormat).value(speed).toString(), "false");
        QVERIFY(run("xdotool key Tab Tab") && run("xdotool " + overCores));
        QTRY_COMPARE_WITH_TIMEOUT(QSettings(Store, QSettings::IniFormat).value(speed).toString(), "true", Deadline);
    }
};

QTEST_GUILESS_MAIN(E2E)
#include "e2e.moc"
