// Runs inside tests/proxy_wire_test.sh, which provides the SOCKS5 server and the host name.

#include "network/DownloadManager.h"
#include "network/NetworkEnvironment.h"
#include "settings/Settings.h"
#include "support/FakeHttpServer.h"
#include "support/TestEnvironment.h"

#include <QHostInfo>
#include <QNetworkRequest>
#include <QtTest>

using namespace Vorlant;

class TestProxyWire : public QObject {
    Q_OBJECT

    // What microsocks logged: one line per connection it made on a client's behalf.
    static QStringList proxiedConnections() {
        const QByteArray log = Test::readFile(qEnvironmentVariable("VORLANT_SOCKS_LOG"));
        return QString::fromUtf8(log).split('\n').filter("connected to");
    }

    const QString m_host = qEnvironmentVariable("VORLANT_WIRE_HOST");
    const QString m_socksPort = qEnvironmentVariable("VORLANT_SOCKS_PORT");
    const QString m_proxyEgress = qEnvironmentVariable("VORLANT_SOCKS_EGRESS");
    Test::FakeHttpServer m_server;

private slots:
    void initTestCase() {
        if (m_host.isEmpty() || m_socksPort.isEmpty() || m_proxyEgress.isEmpty())
            QFAIL("run this through tests/proxy_wire_test.sh");
        QVERIFY2(QHostInfo::fromName(m_host).addresses().contains(QHostAddress("127.0.0.1")),
                 qPrintable(m_host + " does not resolve to 127.0.0.1"));
        Test::isolateEnvironment();
        qunsetenv("http_proxy");
        QVERIFY(m_server.listen());
        m_server.respond = [](const auto&) {
            return Test::FakeHttpServer::Response(200, "{}");
        };
    }

    void catalogueRequestRoute_data() {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("proxyUrl");
        QTest::addColumn<QString>("allProxy");
        QTest::addColumn<bool>("viaProxy");
        const auto row = [](const char* name, const char* mode, const char* proxyUrl,
                            const char* allProxy, bool viaProxy) {
            QTest::newRow(name) << QString(mode) << QString(proxyUrl) << QString(allProxy)
                                << viaProxy;
        };
        row("custom", "custom", "socks://127.0.0.1:%1", "", true);
        row("capital scheme", "custom", "SOCKS://127.0.0.1:%1", "", true);
        row("proxy by name", "custom", "socks://localhost:%1", "", true);
        row("no", "no", "socks://127.0.0.1:%1", "", false);
        row("http scheme", "custom", "http://127.0.0.1:%1", "", false);
        row("system socks", "system", "", "socks5://127.0.0.1:%1", true);
        row("system http only", "system", "", "http://127.0.0.1:%1", false);
    }
    void catalogueRequestRoute() {
        QFETCH(QString, mode);
        QFETCH(QString, proxyUrl);
        QFETCH(QString, allProxy);
        QFETCH(bool, viaProxy);
        Test::clearStore();
        m_server.requests.clear();
        Settings::instance().setValue(QStringLiteral("proxy"), mode);
        Settings::instance().setValue("proxy-url", proxyUrl.replace("%1", m_socksPort));
        qputenv("all_proxy", allProxy.replace("%1", m_socksPort).toUtf8());
        NetworkEnvironment::instance().applyProxySettings();
        const int proxiedBefore = proxiedConnections().size();

        QNetworkRequest request(m_server.url(QStringLiteral("/api/2.3/pool/config"), m_host));
        request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
        DownloadManager manager(request, QStringLiteral("pool"), 0, QByteArray());
        QSignalSpy finished(&manager, &DownloadManager::finishedSignal);
        manager.get();
        QVERIFY(finished.wait());
        QCOMPARE(finished.constFirst().value(0).toUInt(), 200u);
        QCOMPARE(finished.constFirst().value(1).toByteArray(), QByteArray("{}"));

        QCOMPARE(m_server.requests.size(), 1);
        const QString port = QString::number(m_server.port());
        QCOMPARE(m_server.requests[0].header("Host"), (m_host + ':' + port).toUtf8());
        QCOMPARE(m_server.requests[0].peer.toString(), viaProxy ? m_proxyEgress : "127.0.0.1");
        if (!viaProxy) {
            QCOMPARE(proxiedConnections().size(), proxiedBefore);
            return;
        }
        QTRY_COMPARE(proxiedConnections().size(), proxiedBefore + 1);
        // A custom proxy is handed addresses only; a system one may get the name, as it says.
        const QString line = proxiedConnections().constLast();
        QVERIFY2(line.endsWith("connected to 127.0.0.1:" + port) ||
                     (mode == "system" && line.endsWith("connected to " + m_host + ':' + port)),
                 qPrintable(line));
    }
};

QTEST_GUILESS_MAIN(TestProxyWire)
#include "proxywire.moc"
