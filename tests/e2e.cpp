// The built program as a user starts it, against the sample pool server, a throwaway home and
// a throwaway store: the test command runs in a private mount namespace (unshare), where this
// test mounts a tmpfs over /etc/xdg and its own /etc/hosts.
#include <QtNetwork>
#include <QtTest>

#include <filesystem>
#include <sys/utsname.h>
#include <unistd.h>

namespace {
const QString Store = QStringLiteral("/etc/xdg/Vorlant.conf");
const QString Source = QStringLiteral(VORLANT_SOURCE_DIR);
// Qt never sends a loopback literal through a proxy, so the pool is reached by a name.
const QString PoolHost = QStringLiteral("pool.vorlant.test");
// Generous, for the sanitizer build on a busy 2-core machine; normally a second or two.
constexpr int Deadline = 30000;

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A store group as Qt reads it back, as JSON, so that a failure shows both sides.
QByteArray group(const QString& name) {
    QSettings store(Store, QSettings::IniFormat);
    store.beginGroup(name);
    QVariantMap map;
    for (const QString& key : store.childKeys())
        map[key] = store.value(key);
    return QJsonDocument(QJsonObject::fromVariantMap(map)).toJson(QJsonDocument::Compact);
}

QByteArray newEntry(const QJsonObject& item) {
    const QJsonObject server = item["server"].toObject(), merged = server["merged"].toObject();
    const auto address = [](const QJsonValue& s) {
        return s["ip"].toString() + ':' + QString::number(s["stratumPort"].toInt() % 65536);
    };
    QJsonObject pools;
    for (auto it = merged.begin(); it != merged.end(); ++it)
        pools[it.key()] = "http://" + address(*it);
    const QJsonObject entry{{"visible", item["showByDefault"].toBool() ? "true" : "false"},
                            {"ticker", item["ticker"].toString().toUpper()},
                            {"pool", address(server)}, {"worker", ""}, {"speed", "1"},
                            {"running", "false"}, {"mergedMining", ""}, {"mergedPools", pools}};
    return QJsonDocument(entry).toJson(QJsonDocument::Compact);
}
} // namespace

class E2E : public QObject {
    Q_OBJECT
    QTemporaryDir m_root;
    QJsonObject m_catalogue;
    QStringList m_coins; // every cryptonight coin of the catalogue, sorted as the rows are
    QProcess *m_pool = nullptr, *m_socks = nullptr, *m_app = nullptr, *m_xvfb = nullptr;
    QString m_url, m_socksPort, m_display;

    QProcess* start(const QString& program, const QStringList& arguments,
                    const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
        auto process = new QProcess(this);
        process->setProcessEnvironment(env);
        process->start(program, arguments);
        return process;
    }

    void startApp(const QByteArray& store, const QStringList& variables = {}) {
        QFile file(Store);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(store) == store.size());
        file.close();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        const QRegularExpression foreign(
            "^(DISPLAY|WAYLAND_DISPLAY|XAUTHORITY|CONSOLE_APP|SERVICE_APP|.*_proxy)$",
            QRegularExpression::CaseInsensitiveOption);
        for (const QString& name : env.keys())
            if (foreign.match(name).hasMatch())
                env.remove(name);
        for (const char* dir : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"})
            env.insert(dir, m_root.filePath(QString(dir).toLower()));
        env.insert("XDG_RUNTIME_DIR", m_root.path());
        env.insert("DBUS_SESSION_BUS_ADDRESS", "disabled:"); // away from the user's session bus
        env.insert("QT_QPA_PLATFORM", "offscreen");
        for (const QString& variable : variables)
            env.insert(variable.section('=', 0, 0), variable.section('=', 1));
        m_app = start(VORLANT_APP_PATH, {}, env);
    }

    QList<QJsonObject> requests() const {
        QList<QByteArray> lines = readFile(m_root.filePath("requests.jsonl")).split('\n');
        lines.removeLast(); // empty, or a line still being written
        QList<QJsonObject> result;
        for (const QByteArray& line : lines)
            result << QJsonDocument::fromJson(line).object();
        return result;
    }

    bool hasEntries() const {
        return std::all_of(m_coins.begin(), m_coins.end(), [](const QString& coin) {
            return QSettings(Store, QSettings::IniFormat).contains("miners/" + coin + "/ticker");
        });
    }

    bool xdotool(const QStringList& arguments, const QString& program = "xdotool") {
        QProcess x;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DISPLAY", m_display);
        x.setProcessEnvironment(env);
        x.start(program, arguments);
        return x.waitForFinished(Deadline) && x.exitStatus() == QProcess::NormalExit &&
               x.exitCode() == 0;
    }

    // No window manager runs on the virtual display to hand a new window the keyboard.
    void focus(const QString& title) {
        QVERIFY2(xdotool({"search", "--sync", "--onlyvisible", "--name", '^' + title + '$',
                          "windowfocus", "--sync"}), qPrintable(title));
    }

private slots:
    void initTestCase() {
        QVERIFY2(geteuid() == 0, "needs root, for a private mount namespace over /etc/xdg");
        QVERIFY2(std::filesystem::read_symlink("/proc/self/ns/mnt") !=
                     std::filesystem::read_symlink(
                         "/proc/" + std::to_string(getppid()) + "/ns/mnt"),
                 "refusing to touch /etc outside a private mount namespace (unshare)");
        QVERIFY(m_root.isValid());
        QFile hosts(m_root.filePath("hosts"));
        QVERIFY(hosts.open(QIODevice::WriteOnly));
        hosts.write(readFile("/etc/hosts") + "\n127.0.0.1 " + PoolHost.toLatin1() + '\n');
        hosts.close();
        QCOMPARE(QProcess::execute("mount", {"--bind", hosts.fileName(), "/etc/hosts"}), 0);
        QCOMPARE(QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=16m", "e2e", "/etc/xdg"}), 0);
        m_catalogue = QJsonDocument::fromJson(
            readFile(Source + "/tools/samplepool/catalogue.json")).object();
        for (const QString& coin : m_catalogue.keys())
            if (m_catalogue.value(coin)["family"] == "cryptonight")
                m_coins << coin;
    }

    void init() {
        QFile::remove(Store);
        QFile::remove(m_root.filePath("requests.jsonl"));
        m_pool = start("python3", {Source + "/tools/samplepool/serve.py", "--port", "0",
                                   "--record", m_root.filePath("requests.jsonl")});
        QVERIFY(m_pool->waitForReadyRead(Deadline));
        m_url = "http://" + PoolHost + ':' + m_pool->readLine().trimmed();
        QTcpServer probe; // a free port for microsocks, whose connections leave from 127.0.0.2
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        m_socksPort = QString::number(probe.serverPort());
        probe.close();
        m_socks = start("microsocks", {"-i", "127.0.0.1", "-p", m_socksPort, "-b", "127.0.0.2"});
        QTRY_VERIFY_WITH_TIMEOUT([this] {
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, m_socksPort.toUShort());
            return socket.waitForConnected(500);
        }(), Deadline);
    }

    void cleanup() {
        for (QProcess* process : {m_app, m_pool, m_socks, m_xvfb}) {
            if (process && (process->terminate(), !process->waitForFinished(5000)))
                process->kill();
        }
        const QString output = m_app ? QString::fromLocal8Bit(m_app->readAll() +
                                                              m_app->readAllStandardError()) : "";
        m_app = nullptr;
        QVERIFY2(!output.contains(QRegularExpression(
                     "ERROR: (Address|Leak)Sanitizer|runtime error:")), qPrintable(output));
    }

    void catalogueRequest_data() {
        QTest::addColumn<QString>("general");
        QTest::addColumn<QStringList>("env");
        QTest::addColumn<QString>("agent");
        QTest::addColumn<QString>("proxied"); // the address the proxy connects to; "": direct
        const QString custom = "proxy=custom\nproxy-url=%1://%2:%3\n";
        QTest::newRow("desktop") << "" << QStringList() << "VorlantWin/5.10" << "";
        QTest::newRow("console") << "" << QStringList{"CONSOLE_APP=1", "SERVICE_APP=1"}
                                 << "VorlantWin-cli/5.10" << "";
        QTest::newRow("service") << "" << QStringList{"CONSOLE_APP=0", "SERVICE_APP=1"}
                                 << "VorlantWin-service/5.10" << "";
        QTest::newRow("custom socks") << custom.arg("socks", "127.0.0.1") << QStringList()
                                      << "VorlantWin/5.10" << "127\\.0\\.0\\.1";
        QTest::newRow("capital scheme") << custom.arg("SOCKS", "127.0.0.1") << QStringList()
                                        << "VorlantWin/5.10" << "127\\.0\\.0\\.1";
        QTest::newRow("proxy by name") << custom.arg("socks", "localhost") << QStringList()
                                       << "VorlantWin/5.10" << "127\\.0\\.0\\.1";
        QTest::newRow("http scheme") << custom.arg("http", "127.0.0.1") << QStringList()
                                     << "VorlantWin/5.10" << "";
        QTest::newRow("no proxy") << "proxy=no\nproxy-url=socks://127.0.0.1:%3\n"
                                  << QStringList() << "VorlantWin/5.10" << "";
        // A system proxy may be handed the name, as the system says.
        QTest::newRow("system socks") << "proxy=system\n"
                                      << QStringList{"all_proxy=socks5://127.0.0.1:%3"}
                                      << "VorlantWin/5.10" << "(127\\.0\\.0\\.1|pool\\.vorlant\\.test)";
        QTest::newRow("system http") << "proxy=system\n"
                                     << QStringList{"all_proxy=http://127.0.0.1:%3"}
                                     << "VorlantWin/5.10" << "";
    }
    void catalogueRequest() {
        QFETCH(QString, general);
        QFETCH(QStringList, env);
        QFETCH(QString, agent);
        QFETCH(QString, proxied);
        general = "[General]\nserver=" + m_url + '\n' + general.replace("%3", m_socksPort);
        startApp(general.toUtf8(), env.replaceInStrings("%3", m_socksPort));
        QTRY_VERIFY_WITH_TIMEOUT(hasEntries() || m_app->state() == QProcess::NotRunning, Deadline);
        QVERIFY2(hasEntries(), m_app->readAllStandardError());

        const QList<QJsonObject> received = requests();
        QCOMPARE(received.size(), 1);
        const QJsonObject request = received.first();
        QCOMPARE(request["method"].toString() + ' ' + request["path"].toString() + ' ' +
                     request["body"].toString(), "GET /api/2.3/pool/config ");
        QCOMPARE(request["client"].toString(), proxied.isEmpty() ? "127.0.0.1" : "127.0.0.2");
        QMap<QString, QString> headers;
        for (const QJsonValue& header : request["headers"].toArray()) {
            const QString name = header[0].toString().toLower();
            headers[name] = headers.contains(name) ? "(twice)" : header[1].toString();
        }
        utsname system;
        QCOMPARE(uname(&system), 0);
        const QMap<QString, QString> expected{
            {"host", m_url.mid(7)}, {"content-type", "application/json"},
            {"user-agent", agent}, {"client-name", "VorlantWin"},
            {"client-os-family", system.sysname}, {"client-os-version", system.release},
            {"client-version", "5.10"}};
        for (auto it = expected.begin(); it != expected.end(); ++it)
            QCOMPARE(headers.take(it.key()), it.value());
        QVERIFY(QRegularExpression("^(0|[1-9a-f][0-9a-f]*)(,(0|[1-9a-f][0-9a-f]*)){3}$")
                    .match(headers.take("x-cpu-id")).hasMatch());
        QCOMPARE(headers.value("content-length", "0"), "0");
        const QString socksLog = m_socks->readAllStandardError();
        QVERIFY2(proxied.isEmpty() ? !socksLog.contains("connected to") : socksLog.contains(
                     QRegularExpression("connected to " + proxied + ':' + m_url.section(':', 2))),
                 qPrintable(socksLog));

        QVariantMap top{{"version", "5.10"}};
        for (const QString& line : general.split('\n').mid(1))
            if (!line.isEmpty())
                top[line.section('=', 0, 0)] = line.section('=', 1);
        QCOMPARE(group(""), QJsonDocument(QJsonObject::fromVariantMap(top)).toJson(QJsonDocument::Compact));
        QSettings store(Store, QSettings::IniFormat);
        store.beginGroup("miners");
        QCOMPARE(store.childGroups(), m_coins); // no e-mail nor other coins until chosen
        for (const QString& coin : m_coins) {
            QCOMPARE(group("miners/" + coin), newEntry(m_catalogue[coin].toObject()));
            for (const QVariant& url : store.value(coin + "/mergedPools").toMap())
                QCOMPARE(url.userType(), int(QMetaType::QUrl));
        }

        const QString logPath = m_root.filePath("xdg_data_home/vorlant-service/log/vorlant.log");
        const QByteArray sheet = "*{font-family: \"DejaVu Sans\";}" +
                                 readFile(Source + "/resources/basestyle.qss") + '\n';
        QTRY_VERIFY_WITH_TIMEOUT(readFile(logPath).size() >= 28 + sheet.size(), Deadline);
        const QByteArray log = readFile(logPath);
        const QDateTime stamp = QDateTime::fromString(log.mid(1, 16), "dd.MM.yyyy hh:mm");
        QVERIFY2(qAbs(stamp.secsTo(QDateTime::currentDateTime())) < 120, log.left(30));
        QCOMPARE(log.mid(17, 11 + sheet.size()), "] [ info]  " + sheet);
    }

    void oldStoreUpgraded() {
        // The old entries name their own servers: pointed at the pool, so that the upgraded
        // store is what the program then asks.
        startApp(readFile(Source + "/tests/data/stores/v105-derived.conf")
                     .replace("https://one.example/api", (m_url + "/one").toUtf8())
                     .replace("https://two.example/api", (m_url + "/two").toUtf8()));
        QTRY_VERIFY_WITH_TIMEOUT(hasEntries(), Deadline);
        QCOMPARE(requests().value(0)["path"].toString(), "/api/2.3/pool/config");
        // The account of the last entry, the entries keyed by engine, the old keys gone.
        QCOMPARE(group(""), QJsonDocument(QJsonObject{
            {"server", m_url + "/two"}, {"email", "two@example.org"}, {"apiToken", "tok-2"},
            {"version", "5.10"}, {"proxy", "no"}}).toJson(QJsonDocument::Compact));
        QCOMPARE(group("miners/bcn"), R"({"pool":"bcn.pool.example:3333","speed":"1","worker":"rig1"})");
        QCOMPARE(group("miners/fcn"), R"({"pool":"fcn.pool.example:4444","speed":"1","worker":"rig2"})");
        QCOMPARE(group("miners/miner1") + group("miners/miner2"), "{}{}");
    }

    void keyboard() {
        m_xvfb = start("Xvfb", {"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten",
                                   "tcp", "-noreset"});
        QVERIFY(m_xvfb->waitForReadyRead(Deadline));
        m_display = ':' + m_xvfb->readLine().trimmed();
        // Widgets draw without OpenGL, and the display has no GL driver worth loading.
        startApp(("[General]\nserver=" + m_url).toUtf8(),
                 {"QT_QPA_PLATFORM=xcb", "DISPLAY=" + m_display, "QT_XCB_GL_INTEGRATION=none"});
        const auto value = [](const QString& key) {
            return QSettings(Store, QSettings::IniFormat).value(key).toString();
        };
        const auto send = [this](const QString& command, const QStringList& what) {
            QVERIFY(xdotool(QStringList{command, "--delay", "40"} + what));
        };
        // The first coin with merge-mining partners, its first partner, some cores of this machine.
        const QString coin = *std::find_if(m_coins.begin(), m_coins.end(), [this](auto& c) {
            return !m_catalogue.value(c)["server"]["merged"].toObject().isEmpty();
        });
        const QString partner = m_catalogue.value(coin)["server"]["merged"].toObject().keys().first();
        const QString cores = QString::number(qMin(2, QThread::idealThreadCount()));
        // Focus order: e-mail, proxy button, then cores and partner of each row in turn.
        QStringList toRow =
            QString("Tab ").repeated(2 + 2 * m_coins.indexOf(coin)).split(' ', Qt::SkipEmptyParts);
        focus("Vorlant service settings");
        QTRY_VERIFY_WITH_TIMEOUT(hasEntries(), Deadline);

        send("type", {"person@example.org"});
        QTRY_COMPARE_WITH_TIMEOUT(value("email"), "person@example.org", Deadline);
        send("key", toRow + QString("Down ").repeated(cores.toInt()).split(' ', Qt::SkipEmptyParts));
        QTRY_COMPARE_WITH_TIMEOUT(value("miners/" + coin + "/speed"), cores, Deadline);
        QCOMPARE(value("miners/" + coin + "/running"), "true");
        send("key", {"Tab", "Down"});
        QTRY_COMPARE_WITH_TIMEOUT(value("miners/" + coin + "/mergedMining"), partner, Deadline);
        QVERIFY(xdotool({"-window", "root", VORLANT_ARTIFACTS "/e2e-main.png"}, "import"));

        send("key", toRow.replaceInStrings("Tab", "shift+Tab") << "space");
        focus("Proxy Settings");
        // "No proxy" has the focus; Down twice is "Custom settings", Tab past Cancel and OK.
        send("key", {"Down", "Down", "Tab", "Tab", "Tab"});
        send("type", {"proxy.vorlant.test"});
        send("key", {"Tab"});
        send("type", {"1080"});
        QVERIFY(xdotool({"-window", "root", VORLANT_ARTIFACTS "/e2e-proxy.png"}, "import"));
        send("key", {"Return"});
        QTRY_COMPARE_WITH_TIMEOUT(value("proxy-url"), "socks://proxy.vorlant.test:1080", Deadline);
        QCOMPARE(value("proxy"), "custom");

        focus("Vorlant service settings");
        send("key", {"Escape"});
        QVERIFY(m_app->waitForFinished(Deadline));
        QCOMPARE(m_app->exitStatus(), QProcess::NormalExit);
        QCOMPARE(m_app->exitCode(), 0);
        for (const QString& other : m_coins)
            QCOMPARE(value("miners/" + other + "/running"), other == coin ? "true" : "false");
    }
};

QTEST_GUILESS_MAIN(E2E)
#include "e2e.moc"
