#include "network/ClientIdentity.h"
#include "network/NetworkEnvironment.h"
#include "settings/Settings.h"
#include "support/FakeHttpServer.h"
#include "support/TestEnvironment.h"

#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QSysInfo>
#include <QtTest>

#include <memory>

using namespace Vorlant;
using Vorlant::Test::FakeHttpServer;

namespace {

const QNetworkProxy kNoProxy(QNetworkProxy::NoProxy);

QNetworkProxy socks(const QString& host, quint16 port) {
    QNetworkProxy proxy(QNetworkProxy::Socks5Proxy, host, port);
    proxy.setCapabilities(proxy.capabilities() & ~QNetworkProxy::HostNameLookupCapability);
    return proxy;
}

} // namespace

class TestNetworkEnvironment : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void proxyDecision_data();
    void proxyDecision();
    void systemLookup_data();
    void systemLookup();
    void applyReadsStoreAndSignalsOnce();
    void systemModeAsksThePlatform();

    void userAgent_data();
    void userAgent();
    void cpuIdFormat_data();
    void cpuIdFormat();
    void cpuIdIsStable();
    void windowsVersionNames_data();
    void windowsVersionNames();
    void osInfoReportsThisSystem();

    void getStampsUserAgentOnACopy();
    void postSendsBodyAndCallersContentType();
};

void TestNetworkEnvironment::initTestCase() {
    Test::isolateEnvironment();
    qunsetenv("all_proxy");
    qunsetenv("http_proxy");
}

void TestNetworkEnvironment::init() {
    Test::clearStore();
    qunsetenv("CONSOLE_APP");
    qunsetenv("SERVICE_APP");
}

void TestNetworkEnvironment::cleanup() {
    qunsetenv("all_proxy");
    QNetworkProxy::setApplicationProxy(kNoProxy);
}

void TestNetworkEnvironment::proxyDecision_data() {
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("url");
    QTest::addColumn<QNetworkProxy>("expected");

    const QString full = QStringLiteral("socks://10.1.2.3:1080");
    const QNetworkProxy system(QNetworkProxy::Socks5Proxy, QStringLiteral("sys.example"), 9050);
    QTest::newRow("no, full url ignored") << "no" << full << kNoProxy;
    QTest::newRow("system, url ignored") << "system" << full << system;
    QTest::newRow("custom") << "custom" << full << socks(QStringLiteral("10.1.2.3"), 1080);
    QTest::newRow("No is custom") << "No" << full << socks(QStringLiteral("10.1.2.3"), 1080);
    QTest::newRow("System is custom")
        << "System" << full << socks(QStringLiteral("10.1.2.3"), 1080);
    QTest::newRow("empty mode is custom") << "" << full << socks(QStringLiteral("10.1.2.3"), 1080);
    QTest::newRow("custom, no url") << "custom"
                                    << "" << kNoProxy;
    QTest::newRow("No, no url") << "No"
                                << "" << kNoProxy;
    QTest::newRow("http scheme") << "custom"
                                 << "http://10.1.2.3:1080" << kNoProxy;
    QTest::newRow("socks5 scheme") << "custom"
                                   << "socks5://10.1.2.3:1080" << kNoProxy;
    QTest::newRow("capital scheme")
        << "custom"
        << "SOCKS://proxy.lan:1080" << socks(QStringLiteral("proxy.lan"), 1080);
    QTest::newRow("empty host") << "custom"
                                << "socks://:1080" << kNoProxy;
    QTest::newRow("port 0") << "custom"
                            << "socks://10.1.2.3:0" << kNoProxy;
    QTest::newRow("port 1") << "custom"
                            << "socks://10.1.2.3:1" << socks(QStringLiteral("10.1.2.3"), 1);
    QTest::newRow("port 65535") << "custom"
                                << "socks://h:65535" << socks(QStringLiteral("h"), 65535);
    QTest::newRow("port too big") << "custom"
                                  << "socks://h:65536" << kNoProxy;
    QTest::newRow("no port means 1080") << "custom"
                                        << "socks://h" << socks(QStringLiteral("h"), 1080);
    QTest::newRow("ipv6 host") << "custom"
                               << "socks://[::1]:1080" << socks(QStringLiteral("::1"), 1080);
    QTest::newRow("credentials dropped")
        << "custom"
        << "socks://u:p@h:1080" << socks(QStringLiteral("h"), 1080);
    QTest::newRow("not a url") << "custom"
                               << "::::" << kNoProxy;
}

void TestNetworkEnvironment::proxyDecision() {
    QFETCH(QString, mode);
    QFETCH(QString, url);
    QFETCH(QNetworkProxy, expected);
    const QNetworkProxy system(QNetworkProxy::Socks5Proxy, QStringLiteral("sys.example"), 9050);
    const QNetworkProxy proxy = proxyFromSettings(mode, QUrl(url), system);
    QCOMPARE(proxy.type(), expected.type());
    QCOMPARE(proxy.hostName(), expected.hostName());
    QCOMPARE(proxy.port(), expected.port());
    QCOMPARE(proxy.capabilities(), expected.capabilities());
    QVERIFY(proxy.user().isEmpty() || mode == QLatin1String("system"));
    QVERIFY(proxy.password().isEmpty() || mode == QLatin1String("system"));
}

void TestNetworkEnvironment::systemLookup_data() {
    QTest::addColumn<QList<QNetworkProxy>>("reported");
    QTest::addColumn<QNetworkProxy>("expected");

    const QNetworkProxy http(QNetworkProxy::HttpProxy, QStringLiteral("web"), 3128);
    QNetworkProxy first(QNetworkProxy::Socks5Proxy, QStringLiteral("s1"), 1080,
                        QStringLiteral("user"), QStringLiteral("secret"));
    const QNetworkProxy second(QNetworkProxy::Socks5Proxy, QStringLiteral("s2"), 1081);
    QTest::newRow("nothing") << QList<QNetworkProxy>() << kNoProxy;
    QTest::newRow("only no proxy") << QList<QNetworkProxy>{kNoProxy} << kNoProxy;
    QTest::newRow("http only") << QList<QNetworkProxy>{http} << kNoProxy;
    QTest::newRow("http then socks, taken whole")
        << QList<QNetworkProxy>{http, first, second} << first;
}

void TestNetworkEnvironment::systemLookup() {
    QFETCH(QList<QNetworkProxy>, reported);
    QFETCH(QNetworkProxy, expected);
    QCOMPARE(systemSocksProxy(reported), expected);
}

void TestNetworkEnvironment::applyReadsStoreAndSignalsOnce() {
    NetworkEnvironment& environment = NetworkEnvironment::instance();
    QSignalSpy spy(&environment, &NetworkEnvironment::updateProxySignal);
    Settings::instance().setValue(QStringLiteral("proxy-url"),
                                  QStringLiteral("socks://10.0.0.9:1085"));

    environment.applyProxySettings(); // no "proxy" key: no proxy, whatever the url says
    QCOMPARE(QNetworkProxy::applicationProxy().type(), QNetworkProxy::NoProxy);
    QCOMPARE(spy.count(), 1);

    Settings::instance().setValue(QStringLiteral("proxy"), QStringLiteral("custom"));
    environment.applyProxySettings();
    QCOMPARE(QNetworkProxy::applicationProxy(), socks(QStringLiteral("10.0.0.9"), 1085));
    environment.applyProxySettings();
    QCOMPARE(spy.count(), 3);
}

void TestNetworkEnvironment::systemModeAsksThePlatform() {
    // Qt's generic platform query reads all_proxy for a query without protocol.
    qputenv("all_proxy", "socks5://10.0.0.7:1090");
    QCOMPARE(systemSocksProxy().hostName(), QStringLiteral("10.0.0.7"));
    Settings::instance().setValue(QStringLiteral("proxy"), QStringLiteral("system"));
    NetworkEnvironment::instance().applyProxySettings();
    QCOMPARE(QNetworkProxy::applicationProxy().type(), QNetworkProxy::Socks5Proxy);
    QCOMPARE(QNetworkProxy::applicationProxy().port(), quint16(1090));

    qputenv("all_proxy", "http://10.0.0.7:3128");
    NetworkEnvironment::instance().applyProxySettings();
    QCOMPARE(QNetworkProxy::applicationProxy().type(), QNetworkProxy::NoProxy);
}

void TestNetworkEnvironment::userAgent_data() {
    QTest::addColumn<QByteArray>("console");
    QTest::addColumn<QByteArray>("service");
    QTest::addColumn<QString>("expected");

    const QByteArray unset;
    QTest::newRow("neither") << unset << unset << "VorlantWin/5.10";
    QTest::newRow("console") << QByteArray("1") << unset << "VorlantWin-cli/5.10";
    QTest::newRow("both: console wins")
        << QByteArray("1") << QByteArray("1") << "VorlantWin-cli/5.10";
    QTest::newRow("console 0, service 1")
        << QByteArray("0") << QByteArray("1") << "VorlantWin-service/5.10";
    QTest::newRow("negative counts") << QByteArray("-2") << unset << "VorlantWin-cli/5.10";
    QTest::newRow("yes is 0") << QByteArray("yes") << QByteArray("yes") << "VorlantWin/5.10";
    QTest::newRow("hex is 0") << QByteArray("0x1") << QByteArray("0x1") << "VorlantWin/5.10";
    QTest::newRow("empty is 0") << QByteArray("") << QByteArray("") << "VorlantWin/5.10";
    QTest::newRow("trailing junk is 0")
        << QByteArray("1a") << QByteArray("7") << "VorlantWin-service/5.10";
}

void TestNetworkEnvironment::userAgent() {
    QFETCH(QByteArray, console);
    QFETCH(QByteArray, service);
    QFETCH(QString, expected);
    if (!console.isNull())
        qputenv("CONSOLE_APP", console);
    if (!service.isNull())
        qputenv("SERVICE_APP", service);
    QCOMPARE(Vorlant::userAgent(), expected);
}

void TestNetworkEnvironment::cpuIdFormat_data() {
    QTest::addColumn<quint32>("eax");
    QTest::addColumn<quint32>("ebx");
    QTest::addColumn<quint32>("ecx");
    QTest::addColumn<quint32>("edx");
    QTest::addColumn<QString>("expected");
    QTest::newRow("zeros") << 0u << 0u << 0u << 0u << "0,0,0,0";
    QTest::newRow("typical") << 0x000906eau << 0x00100800u << 0x7ffafbffu << 0xbfebfbffu
                             << "906ea,100800,7ffafbff,bfebfbff";
    QTest::newRow("extremes") << 0xffffffffu << 1u << 0x10u << 0xa0000000u
                              << "ffffffff,1,10,a0000000";
}

void TestNetworkEnvironment::cpuIdFormat() {
    QFETCH(quint32, eax);
    QFETCH(quint32, ebx);
    QFETCH(quint32, ecx);
    QFETCH(quint32, edx);
    QFETCH(QString, expected);
    QCOMPARE(formatCpuId({eax, ebx, ecx, edx}), expected);
}

void TestNetworkEnvironment::cpuIdIsStable() {
    const QString id = cpuId();
    static const QRegularExpression shape(
        QStringLiteral("^(0|[1-9a-f][0-9a-f]*)(,(0|[1-9a-f][0-9a-f]*)){3}$"));
    QVERIFY2(shape.match(id).hasMatch(), qPrintable(id));
#if defined(Q_PROCESSOR_X86)
    QVERIFY(id != QLatin1String("0,0,0,0"));
#endif
    QCOMPARE(cpuId(), id);
}

void TestNetworkEnvironment::windowsVersionNames_data() {
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("expected");
    QTest::newRow("XP") << 0x30 << "XP";
    QTest::newRow("2003") << 0x40 << "Server 2003";
    QTest::newRow("Vista") << 0x80 << "Vista";
    QTest::newRow("7") << 0x90 << "7";
    QTest::newRow("8") << 0xA0 << "8";
    QTest::newRow("8.1") << 0xB0 << "8.1";
    QTest::newRow("10") << 0xC0 << QString();
    QTest::newRow("2000") << 0x20 << QString();
    QTest::newRow("unknown") << 0 << QString();
}

void TestNetworkEnvironment::windowsVersionNames() {
    QFETCH(int, value);
    QFETCH(QString, expected);
    const QString name = windowsVersionName(value);
    QCOMPARE(name, expected);
    QCOMPARE(name.isNull(), expected.isNull());
}

void TestNetworkEnvironment::osInfoReportsThisSystem() {
    const QPair<QString, QString> os = osInfo();
#ifdef Q_OS_LINUX
    QCOMPARE(os.first, QStringLiteral("Linux"));
    QCOMPARE(os.second, QSysInfo::kernelVersion());
#elif defined(Q_OS_WIN)
    QCOMPARE(os.first, QStringLiteral("Windows"));
#endif
    QVERIFY(!os.first.isEmpty());
}

void TestNetworkEnvironment::getStampsUserAgentOnACopy() {
    FakeHttpServer server;
    QVERIFY(server.listen());
    qputenv("SERVICE_APP", "1");
    QNetworkRequest request(server.url(QStringLiteral("/x")));
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Caller/1"));

    std::unique_ptr<QNetworkReply> reply(NetworkEnvironment::instance().get(request));
    QTRY_VERIFY(reply->isFinished());
    QCOMPARE(request.header(QNetworkRequest::UserAgentHeader).toString(),
             QStringLiteral("Caller/1"));
    QCOMPARE(server.requests().size(), 1);
    const FakeHttpServer::Request received = server.requests().constFirst();
    QCOMPARE(received.method, QByteArray("GET"));
    QCOMPARE(received.header("User-Agent"), QByteArray("VorlantWin-service/5.10"));
    QCOMPARE(reply->parent(), NetworkEnvironment::instance().accessManager());
}

void TestNetworkEnvironment::postSendsBodyAndCallersContentType() {
    FakeHttpServer server;
    QVERIFY(server.listen());
    QNetworkRequest request(server.url(QStringLiteral("/session")));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("text/x-vorlant"));

    std::unique_ptr<QNetworkReply> reply(
        NetworkEnvironment::instance().post(request, QByteArray("a=1&b=ü")));
    QTRY_VERIFY(reply->isFinished());
    const FakeHttpServer::Request received = server.requests().value(0);
    QCOMPARE(received.method, QByteArray("POST"));
    QCOMPARE(received.path, QByteArray("/session"));
    QCOMPARE(received.body, QByteArray("a=1&b=ü"));
    QCOMPARE(received.header("Content-Type"), QByteArray("text/x-vorlant"));
    QCOMPARE(received.header("User-Agent"), QByteArray("VorlantWin/5.10"));
}

QTEST_GUILESS_MAIN(TestNetworkEnvironment)
#include "tst_networkenvironment.moc"
