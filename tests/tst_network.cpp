#include "network/ClientIdentity.h"
#include "network/DownloadManager.h"
#include "network/NetworkEnvironment.h"
#include "support/FakeHttpServer.h"
#include "support/TestEnvironment.h"

#include <QNetworkRequest>
#include <QPointer>
#include <QtTest>

using namespace Vorlant;
using Test::Response;
Q_DECLARE_METATYPE(Test::Response)

namespace {

QNetworkProxy socks(const QString& host, quint16 port) {
    QNetworkProxy proxy(QNetworkProxy::Socks5Proxy, host, port);
    proxy.setCapabilities(proxy.capabilities() & ~QNetworkProxy::HostNameLookupCapability);
    return proxy;
}

// What a manager reports, in order: "error 203 pool", "finished 404 gone pool", "abort".
struct Recorder : QStringList {
    explicit Recorder(DownloadManager& manager) {
        QObject::connect(&manager, &DownloadManager::errorSignal, [this](int error, QVariant tag) {
            append(QString("error %1 ").arg(error) + tag.toString());
        });
        QObject::connect(&manager, &DownloadManager::finishedSignal,
                         [this](uint code, const QByteArray& data, const QVariant& tag) {
                             append(QString("finished %1 ").arg(code) + data + ' ' + tag.toString());
                         });
        QObject::connect(&manager, &DownloadManager::abortSignal, [this] { append("abort"); });
    }
    int finishedCount() const { return filter("finished").size(); }
};

const QString kCancelled = QString("error %1 ").arg(QNetworkReply::OperationCanceledError);

} // namespace

class TestNetwork : public QObject {
    Q_OBJECT

    std::unique_ptr<Test::FakeHttpServer> m_server;

    QNetworkRequest request() const {
        QNetworkRequest request(m_server->url());
        request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
        return request;
    }
    void respondAlways(const Response& response) {
        m_server->respond = [response](const auto&) { return response; };
    }

private slots:
    void initTestCase() {
        Test::isolateEnvironment();
        QCOMPARE(DownloadManager::timeoutInterval(), 10000);
        DownloadManager::setTimeoutInterval(1000);
    }
    void init() { m_server = std::make_unique<Test::FakeHttpServer>(); }

    void proxyDecision_data() {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("url");
        QTest::addColumn<QNetworkProxy>("expected");
        const QNetworkProxy none(QNetworkProxy::NoProxy);
        const auto row = [](const char* mode, const char* url, const QNetworkProxy& expected) {
            QTest::addRow("%s %s", mode, url) << QString(mode) << QString(url) << expected;
        };
        row("no", "socks://10.1.2.3:1080", none);
        row("system", "socks://10.1.2.3:1080", socks("s", 9));
        row("custom", "socks://10.1.2.3:1080", socks("10.1.2.3", 1080));
        row("No", "socks://10.1.2.3:1080", socks("10.1.2.3", 1080));
        row("custom", "", none);
        row("custom", "http://10.1.2.3:1080", none);
        row("custom", "socks://:1080", none);
        row("custom", "socks://h:0", none);
        row("custom", "socks://h:1", socks("h", 1));
        row("custom", "socks://h:65535", socks("h", 65535));
        row("custom", "socks://h:65536", none);
        row("custom", "socks://h", socks("h", 1080));
        row("custom", "socks://u:p@h:1", socks("h", 1));
    }
    void proxyDecision() {
        QFETCH(QString, mode);
        QFETCH(QString, url);
        QFETCH(QNetworkProxy, expected);
        QCOMPARE(proxyFromSettings(mode, QUrl(url), socks("s", 9)), expected);
        const QNetworkProxy http(QNetworkProxy::HttpProxy, "web", 80);
        QCOMPARE(systemSocksProxy({http, socks("s", 9), socks("t", 8)}), socks("s", 9));
        QCOMPARE(systemSocksProxy({http}), QNetworkProxy(QNetworkProxy::NoProxy));
    }

    // What the server receives: the caller's headers first, then the identity in a fixed order,
    // and a User-Agent whose kind follows the environment at the time of sending.
    void identityHeaders_data() {
        QTest::addColumn<QByteArray>("console");
        QTest::addColumn<QByteArray>("service");
        QTest::addColumn<QByteArray>("agent");
        QTest::newRow("plain") << QByteArray() << QByteArray() << QByteArray("VorlantWin/5.10");
        QTest::newRow("console wins") << QByteArray("1") << QByteArray("1") << QByteArray("VorlantWin-cli/5.10");
        QTest::newRow("service") << QByteArray("0") << QByteArray("7") << QByteArray("VorlantWin-service/5.10");
        QTest::newRow("not decimal") << QByteArray("yes") << QByteArray("0x1") << QByteArray("VorlantWin/5.10");
    }
    void identityHeaders() {
        QFETCH(QByteArray, console);
        QFETCH(QByteArray, service);
        QFETCH(QByteArray, agent);
        QNetworkRequest request = this->request();
        request.setRawHeader("x-caller", "mine");
        DownloadManager manager(request, QVariant(), 0, QByteArray());
        qputenv("CONSOLE_APP", console);
        qputenv("SERVICE_APP", service);
        manager.get();
        QTRY_COMPARE(m_server->requests.size(), 1);
        qunsetenv("CONSOLE_APP");
        qunsetenv("SERVICE_APP");
        const Test::Request& received = m_server->requests.first();
        QCOMPARE(received.method + received.header("Content-Type"), "GETapplication/json");
        QCOMPARE(received.header("User-Agent"), agent);
        const QPair<QString, QString> os = osInfo();
        QStringList expected{"x-caller: mine", "client-name: VorlantWin",
                             "client-os-family: " + os.first, "client-version: 5.10",
                             "x-cpu-id: " + cpuId()};
        if (!os.second.isNull())
            expected.insert(3, "client-os-version: " + os.second);
        QStringList sent;
        for (const QByteArray& line : received.headerLines)
            if (line.startsWith("client-") || line.startsWith("x-"))
                sent << QString::fromUtf8(line);
        QCOMPARE(sent, expected);
        QCOMPARE(formatCpuId({0x906ea, 0, 0x7ffafbff, 0xbfebfbff}), "906ea,0,7ffafbff,bfebfbff");
    }

    void reply_data() {
        QTest::addColumn<Response>("response");
        QTest::addColumn<QString>("events");
        const auto error = [](int code) { return QString("error %1 pool,").arg(code); };
        QTest::newRow("200") << Response{200, "{}"} << "finished 200 {} pool";
        const QByteArray large(1 << 20, 'x'); // arrives in many pieces
        QTest::newRow("large") << Response{200, large} << "finished 200 " + QString(large) + " pool";
        QTest::newRow("404 keeps its body")
            << Response{404, "gone"} << error(QNetworkReply::ContentNotFoundError) + "finished 404 gone pool";
        QTest::newRow("redirect not followed")
            << Response{302, "", "Location: /x\r\n"} << "finished 302  pool";
        QTest::newRow("time-out") << Response{0} << kCancelled + "pool,finished 0  pool";
        QTest::newRow("endless body") << Response{200, "", "", 0, true} << kCancelled + "pool,finished 0  pool";
        QTest::newRow("nobody listens")
            << Response{-1} << error(QNetworkReply::ConnectionRefusedError) + "finished 0  pool";
    }
    void reply() {
        QFETCH(Response, response);
        QFETCH(QString, events);
        respondAlways(response);
        QNetworkRequest request = this->request();
        QT_WARNING_PUSH
        QT_WARNING_DISABLE_DEPRECATED
        request.setAttribute(QNetworkRequest::FollowRedirectsAttribute, true);
        QT_WARNING_POP
        if (response.status < 0)
            m_server.reset(); // then nobody listens on that port any more
        DownloadManager manager(request, QStringLiteral("pool"), 0, QByteArray());
        Recorder recorded(manager);
        QElapsedTimer clock;
        clock.start();
        manager.get();
        QTRY_COMPARE(recorded.finishedCount(), 1);
        QCOMPARE(recorded.join(','), events);
        QVERIFY(!m_server || m_server->requests.size() == 1);
        if (response.status == 0) // the time-out set for this test, give or take the timer's slack
            QVERIFY2(clock.elapsed() >= 900 && clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
    }

    void repeatAndPause() {
        // The second request never gets an answer: the next tick cancels it.
        m_server->respond = [this](const auto&) {
            const int served = m_server->requests.size();
            return Response{served == 2 ? 0 : 200, QByteArray::number(served), {}, 100};
        };
        DownloadManager manager(request(), QVariant(), 400, QByteArray("body"));
        Recorder recorded(manager);
        manager.post();
        QTRY_VERIFY(m_server->requests.size() >= 3);
        manager.pause();
        // The request running at the pause still finishes.
        QTRY_COMPARE(recorded.finishedCount(), m_server->requests.size());
        QCOMPARE(recorded.mid(0, 4), QStringList({"finished 200 1 ", kCancelled, "finished 0  ", "finished 200 3 "}));
        QSignalSpy finished(&manager, &DownloadManager::finishedSignal);
        QVERIFY(!finished.wait(600)); // no more ticks
        manager.resume();             // sends at once, with the method last used
        QTRY_COMPARE(finished.count(), 1);
        manager.pause();
        for (const Test::Request& request : m_server->requests)
            QCOMPARE(request.method + " " + request.body + " " + request.header("User-Agent"), QByteArray("POST body VorlantWin/5.10"));
    }

    void abortReportsCancellationThenAbort() {
        respondAlways({0});
        DownloadManager manager(request(), QVariant(), 500, QByteArray());
        Recorder recorded(manager);
        manager.abort(); // nothing running: nothing to report
        QVERIFY(recorded.isEmpty());
        manager.get();
        QTRY_COMPARE(m_server->requests.size(), 1);
        manager.abort();
        manager.abort();
        QCOMPARE(recorded, QStringList({kCancelled, "finished 0  ", "abort"}));
        QSignalSpy finished(&manager, &DownloadManager::finishedSignal);
        QVERIFY(!finished.wait(1000)); // the repeat timer stopped too
    }

    // A listener may delete the manager while it hears of a cancellation, by abort() or restart.
    void listenerMayDeleteManagerOnCancel() {
        for (const bool byAbort : {true, false}) {
            respondAlways({0});
            QPointer<DownloadManager> manager = new DownloadManager(request(), QVariant(), 0, QByteArray());
            connect(manager, &DownloadManager::errorSignal, manager, [&manager] { delete manager; });
            manager->get();
            QTRY_COMPARE(m_server->requests.size(), 1);
            byAbort ? manager->abort() : manager->get();
            QVERIFY(manager.isNull());
            QTRY_COMPARE(m_server->openConnectionCount(), 0);
            QCOMPARE(m_server->requests.size(), 1);
            init();
        }
    }
};

QTEST_GUILESS_MAIN(TestNetwork)
#include "tst_network.moc"
