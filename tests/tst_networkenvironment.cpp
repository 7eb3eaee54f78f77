#include "network/ClientIdentity.h"
#include "network/NetworkEnvironment.h"

#include <QtTest>

using namespace Vorlant;

namespace {

const QNetworkProxy kNoProxy(QNetworkProxy::NoProxy);
const QNetworkProxy kSystem(QNetworkProxy::Socks5Proxy, QStringLiteral("sys.example"), 9050);

QNetworkProxy socks(const QString& host, quint16 port) {
    QNetworkProxy proxy(QNetworkProxy::Socks5Proxy, host, port);
    proxy.setCapabilities(proxy.capabilities() & ~QNetworkProxy::HostNameLookupCapability);
    return proxy;
}

} // namespace

class TestNetworkEnvironment : public QObject {
    Q_OBJECT

private slots:
    void proxyDecision_data();
    void proxyDecision();
    void systemLookup();
    void userAgentSuffix_data();
    void userAgentSuffix();
};

void TestNetworkEnvironment::proxyDecision_data() {
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("url");
    QTest::addColumn<QNetworkProxy>("expected");
    const auto row = [](const char* name, const char* mode, const char* url,
                        const QNetworkProxy& expected) {
        QTest::newRow(name) << QString::fromLatin1(mode) << QString::fromLatin1(url) << expected;
    };
    const QNetworkProxy full = socks(QStringLiteral("10.1.2.3"), 1080);
    row("no, url ignored", "no", "socks://10.1.2.3:1080", kNoProxy);
    row("system, url ignored", "system", "socks://10.1.2.3:1080", kSystem);
    row("custom", "custom", "socks://10.1.2.3:1080", full);
    row("No is custom", "No", "socks://10.1.2.3:1080", full);
    row("empty mode is custom", "", "socks://10.1.2.3:1080", full);
    row("custom, no url", "custom", "", kNoProxy);
    row("http scheme", "custom", "http://10.1.2.3:1080", kNoProxy);
    row("capital scheme", "custom", "SOCKS://h:1080", socks(QStringLiteral("h"), 1080));
    row("empty host", "custom", "socks://:1080", kNoProxy);
    row("port 0", "custom", "socks://h:0", kNoProxy);
    row("port 1", "custom", "socks://h:1", socks(QStringLiteral("h"), 1));
    row("port 65535", "custom", "socks://h:65535", socks(QStringLiteral("h"), 65535));
    row("port too big", "custom", "socks://h:65536", kNoProxy);
    row("no port means 1080", "custom", "socks://h", socks(QStringLiteral("h"), 1080));
    row("credentials dropped", "custom", "socks://u:p@h:1080", socks(QStringLiteral("h"), 1080));
}

void TestNetworkEnvironment::proxyDecision() {
    QFETCH(QString, mode);
    QFETCH(QString, url);
    QFETCH(QNetworkProxy, expected);
    const QNetworkProxy proxy = proxyFromSettings(mode, QUrl(url), kSystem);
    QCOMPARE(proxy.type(), expected.type());
    QCOMPARE(proxy.hostName(), expected.hostName());
    QCOMPARE(proxy.port(), expected.port());
    QCOMPARE(proxy.capabilities(), expected.capabilities());
    QVERIFY(proxy.user().isEmpty() && proxy.password().isEmpty());
}

void TestNetworkEnvironment::systemLookup() {
    const QNetworkProxy http(QNetworkProxy::HttpProxy, QStringLiteral("web"), 3128);
    const QNetworkProxy first(QNetworkProxy::Socks5Proxy, QStringLiteral("s1"), 1080,
                              QStringLiteral("user"), QStringLiteral("secret"));
    const QNetworkProxy second(QNetworkProxy::Socks5Proxy, QStringLiteral("s2"), 1081);
    QCOMPARE(systemSocksProxy({}), kNoProxy);
    QCOMPARE(systemSocksProxy({http}), kNoProxy);
    QCOMPARE(systemSocksProxy({http, first, second}), first);
}

void TestNetworkEnvironment::userAgentSuffix_data() {
    QTest::addColumn<QByteArray>("console");
    QTest::addColumn<QByteArray>("service");
    QTest::addColumn<QString>("expected");
    QTest::newRow("neither") << QByteArray() << QByteArray() << "";
    QTest::newRow("console") << QByteArray("1") << QByteArray() << "-cli";
    QTest::newRow("both: console wins") << QByteArray("1") << QByteArray("1") << "-cli";
    QTest::newRow("console 0, service") << QByteArray("0") << QByteArray("1") << "-service";
    QTest::newRow("negative counts") << QByteArray("-2") << QByteArray() << "-cli";
    QTest::newRow("yes is 0") << QByteArray("yes") << QByteArray("yes") << "";
    QTest::newRow("trailing junk is 0") << QByteArray("1a") << QByteArray("7") << "-service";
}

void TestNetworkEnvironment::userAgentSuffix() {
    QFETCH(QByteArray, console);
    QFETCH(QByteArray, service);
    QFETCH(QString, expected);
    QCOMPARE(Vorlant::userAgentSuffix(console, service), expected);
}

QTEST_GUILESS_MAIN(TestNetworkEnvironment)
#include "tst_networkenvironment.moc"
