// Runs inside tests/proxy_wire_test.sh, which provides the SOCKS5 server and the host name.

#include "network/DownloadManager.h"
#include "network/NetworkEnvironment.h"
#include "settings/Settings.h"
#include "support/FakeHttpServer.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <QHostInfo>
#include <QNetworkRequest>
#include <QSignalSpy>
#include <QtTest>

using namespace Vorlant;
using Vorlant::Test::FakeHttpServer;

class TestProxyWire : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();

    void catalogueRequestRoute_data();
    void catalogueRequestRoute();

private:
    QStringList proxiedConnections() const;

    QString m_host;
    QString m_socksPort;
    QHostAddress m_proxyEgress;
    QString m_socksLog;
    FakeHttpServer m_server;
};

void TestProxyWire::initTestCase() {
    m_host = qEnvironmentVariable("VORLANT_WIRE_HOST");
    m_socksPort = qEnvironmentVariable("VORLANT_SOCKS_PORT");
    m_proxyEgress = QHostAddress(qEnvironmentVariable("VORLANT_SOCKS_EGRESS"));
    m_socksLog = qEnvironmentVariable("VORLANT_SOCKS_LOG");
    if (m_host.isEmpty() || m_socksPort.isEmpty() || m_proxyEgress.isNull())
        QFAIL("run this through tests/proxy_wire_test.sh");

    const QHostInfo resolved = QHostInfo::fromName(m_host);
    QVERIFY2(resolved.addresses().contains(QHostAddress(QHostAddress::LocalHost)),
             qPrintable(m_host + QStringLiteral(" does not resolve to 127.0.0.1")));
    Test::isolateEnvironment();
    QVERIFY(m_server.listen(QHostAddress::LocalHost));
    m_server.setResponse(200, "{\"ok\":true}", "application/json");
}

void TestProxyWire::init() {
    Test::clearStore();
    qunsetenv("all_proxy");
    qunsetenv("http_proxy");
    m_server.clearRequests();
}

// What microsocks logged: one line per connection it made on a client's behalf.
QStringList TestProxyWire::proxiedConnections() const {
    QFile log(m_socksLog);
    if (!log.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(log.readAll())
        .split(QLatin1Char('\n'))
        .filter(QStringLiteral("connected to"));
}

void TestProxyWire::catalogueRequestRoute_data() {
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("proxyUrl");
    QTest::addColumn<QString>("allProxy");
    QTest::addColumn<bool>("viaProxy");

    const QString none;
    QTest::newRow("custom socks") << "custom"
                                  << "socks://127.0.0.1:%1" << none << true;
    QTest::newRow("custom, capital scheme") << "custom"
                                            << "SOCKS://127.0.0.1:%1" << none << true;
    QTest::newRow("custom, proxy by name") << "custom"
                                           << "socks://localhost:%1" << none << true;
    QTest::newRow("no") << "no"
                        << "socks://127.0.0.1:%1" << none << false;
    QTest::newRow("http scheme") << "custom"
                                 << "http://127.0.0.1:%1" << none << false;
    QTest::newRow("empty host") << "custom"
                                << "socks://:%1" << none << false;
    QTest::newRow("port 0") << "custom"
                            << "socks://127.0.0.1:0" << none << false;
    QTest::newRow("system socks") << "system" << none << "socks5://127.0.0.1:%1" << true;
    QTest::newRow("system http only") << "system" << none << "http://127.0.0.1:%1" << false;
}

void TestProxyWire::catalogueRequestRoute() {
    QFETCH(QString, mode);
    QFETCH(QString, proxyUrl);
    QFETCH(QString, allProxy);
    QFETCH(bool, viaProxy);

    Settings::instance().setValue(QStringLiteral("proxy"), mode);
    if (!proxyUrl.isNull())
        Settings::instance().setValue(QStringLiteral("proxy-url"),
                                      QString(proxyUrl).replace(QLatin1String("%1"), m_socksPort));
    if (!allProxy.isNull())
        qputenv("all_proxy", QString(allProxy).replace(QLatin1String("%1"), m_socksPort).toUtf8());
    NetworkEnvironment::instance().applyProxySettings();
    const int proxiedBefore = proxiedConnections().size();

    QNetworkRequest request(m_server.url(QStringLiteral("/api/2.3/pool/config"), m_host));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    DownloadManager manager(request, QStringLiteral("pool"), 0, QByteArray());
    QSignalSpy finished(&manager, &DownloadManager::finishedSignal);
    manager.get();
    QVERIFY(finished.wait());
    QCOMPARE(finished.constFirst().value(0).toUInt(), 200u);
    QCOMPARE(finished.constFirst().value(1).toByteArray(), QByteArray("{\"ok\":true}"));

    QCOMPARE(m_server.requests().size(), 1);
    const FakeHttpServer::Request received = m_server.requests().constFirst();
    QCOMPARE(received.header("Host"),
             QStringLiteral("%1:%2").arg(m_host).arg(m_server.port()).toUtf8());
    const QHostAddress expectedPeer =
        viaProxy ? m_proxyEgress : QHostAddress(QHostAddress::LocalHost);
    QCOMPARE(received.peer.toString(), expectedPeer.toString());
    if (!viaProxy) {
        QCOMPARE(proxiedConnections().size(), proxiedBefore);
        return;
    }
    QTRY_COMPARE(proxiedConnections().size(), proxiedBefore + 1);
    // A custom proxy is handed addresses only; a system one may get the name, as it says.
    const QString line = proxiedConnections().constLast();
    const QString port = QString::number(m_server.port());
    QVERIFY2(line.endsWith(QStringLiteral("connected to 127.0.0.1:") + port) ||
                 (mode == QLatin1String("system") &&
                  line.endsWith(QStringLiteral("connected to %1:%2").arg(m_host, port))),
             qPrintable(line));
}

QTEST_GUILESS_MAIN(TestProxyWire)
#include "proxywire.moc"
