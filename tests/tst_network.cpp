#include "network/ClientIdentity.h"
#include "network/DownloadManager.h"
#include "network/NetworkEnvironment.h"
#include "support/FakeHttpServer.h"
#include "support/TestEnvironment.h"

#include <QNetworkRequest>
#include <QPointer>
#include <QRegularExpression>
#include <QtTest>

using namespace Vorlant;
using Response = Vorlant::Test::FakeHttpServer::Response;

Q_DECLARE_METATYPE(Response)

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
            append(QStringLiteral("error %1 %2").arg(error).arg(tag.toString()));
        });
        QObject::connect(&manager, &DownloadManager::finishedSignal,
                         [this](uint code, const QByteArray& data, const QVariant& tag) {
                             append(QString("finished %1 ").arg(code) + data + ' ' +
                                    tag.toString());
                         });
        QObject::connect(&manager, &DownloadManager::abortSignal, [this] { append("abort"); });
    }
    int finishedCount() const { return filter("finished").size(); }
};

const QString kCancelled = QStringLiteral("error %1 ").arg(QNetworkReply::OperationCanceledError);

} // namespace

class TestNetwork : public QObject {
    Q_OBJECT

    QNetworkRequest request() const {
        QNetworkRequest request(m_server->url());
        request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
        return request;
    }

    std::unique_ptr<Test::FakeHttpServer> m_server;

private slots:
    void initTestCase() {
        Test::isolateEnvironment();
        DownloadManager::setTimeoutInterval(1000);
    }
    void init() {
        m_server = std::make_unique<Test::FakeHttpServer>();
        QVERIFY(m_server->listen());
    }

    void proxyDecision_data() {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("url");
        QTest::addColumn<QNetworkProxy>("expected");
        const QNetworkProxy none(QNetworkProxy::NoProxy);
        const QNetworkProxy full = socks("10.1.2.3", 1080);
        const auto row = [](const char* name, const char* mode, const char* url,
                            const QNetworkProxy& expected) {
            QTest::newRow(name) << QString(mode) << QString(url) << expected;
        };
        row("no, url ignored", "no", "socks://10.1.2.3:1080", none);
        row("system, url ignored", "system", "socks://10.1.2.3:1080", socks("s", 9));
        row("custom", "custom", "socks://10.1.2.3:1080", full);
        row("No is custom", "No", "socks://10.1.2.3:1080", full);
        row("custom, no url", "custom", "", none);
        row("http scheme", "custom", "http://10.1.2.3:1080", none);
        row("empty host", "custom", "socks://:1080", none);
        row("port 0", "custom", "socks://h:0", none);
        row("port 1", "custom", "socks://h:1", socks("h", 1));
        row("port 65535", "custom", "socks://h:65535", socks("h", 65535));
        row("port too big", "custom", "socks://h:65536", none);
        row("no port means 1080", "custom", "socks://h", socks("h", 1080));
        row("credentials dropped", "custom", "socks://u:p@h:1", socks("h", 1));
    }
    void proxyDecision() {
        QFETCH(QString, mode);
        QFETCH(QString, url);
        QFETCH(QNetworkProxy, expected);
        QCOMPARE(proxyFromSettings(mode, QUrl(url), socks("s", 9)), expected);
    }

    // What the server receives: the caller's headers first, then the identity in a fixed order,
    // and a User-Agent whose kind follows the environment at the time of sending.
    void identityHeaders_data() {
        QTest::addColumn<QByteArray>("console");
        QTest::addColumn<QByteArray>("service");
        QTest::addColumn<QByteArray>("agent");
        QTest::newRow("plain") << QByteArray() << QByteArray() << QByteArray("VorlantWin/5.10");
        QTest::newRow("console wins")
            << QByteArray("1") << QByteArray("1") << QByteArray("VorlantWin-cli/5.10");
        QTest::newRow("service") << QByteArray("0") << QByteArray("7")
                                 << QByteArray("VorlantWin-service/5.10");
        QTest::newRow("not decimal")
            << QByteArray("yes") << QByteArray("0x1") << QByteArray("VorlantWin/5.10");
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
        const Test::FakeHttpServer::Request& received = m_server->requests.first();
        QCOMPARE(received.method, QByteArray("GET"));
        QCOMPARE(received.header("Content-Type"), QByteArray("application/json"));
        QCOMPARE(received.header("User-Agent"), agent);
        QCOMPARE(received.header("client-name"), QByteArray("VorlantWin"));
        QCOMPARE(received.header("client-version"), QByteArray("5.10"));
        QVERIFY(QRegularExpression("^(0|[1-9a-f][0-9a-f]*)(,(0|[1-9a-f][0-9a-f]*)){3}$")
                    .match(QString::fromLatin1(received.header("x-cpu-id")))
                    .hasMatch());
        QStringList order;
        for (const QByteArray& line : received.headerLines) {
            const QByteArray name = line.left(line.indexOf(':')).toLower();
            if (name.startsWith("client-") || name == "x-cpu-id" || name == "x-caller")
                order << QString::fromLatin1(name);
        }
        const QString os = osInfo().second.isNull() ? QString() : "client-os-version,";
        QCOMPARE(order.join(','),
                 "x-caller,client-name,client-os-family," + os + "client-version,x-cpu-id");
    }

    void reply_data() {
        QTest::addColumn<Response>("response");
        QTest::addColumn<QStringList>("events");
        const auto error = [](int code) {
            return QStringLiteral("error %1 pool").arg(code);
        };
        const auto row = [](const char* name, const Response& response, const QString& events) {
            QTest::newRow(name) << response << events.split(',');
        };
        row("200", Response(200, "{}"), "finished 200 {} pool");
        row("404 keeps its body", Response(404, "gone"),
            error(QNetworkReply::ContentNotFoundError) + ",finished 404 gone pool");
        row("redirect not followed", Response(302, "", "Location: /x\r\n"), "finished 302  pool");
        row("time-out", Response(0), kCancelled + "pool,finished 0  pool");
        row("nobody listens", Response(-1),
            error(QNetworkReply::ConnectionRefusedError) + ",finished 0  pool");
    }
    void reply() {
        QFETCH(Response, response);
        QFETCH(QStringList, events);
        m_server->respond = [response](const auto&) {
            return response;
        };
        QNetworkRequest request = this->request();
        QT_WARNING_PUSH
        QT_WARNING_DISABLE_DEPRECATED
        request.setAttribute(QNetworkRequest::FollowRedirectsAttribute, true);
        QT_WARNING_POP
        if (response.status < 0)
            m_server.reset(); // then nobody listens on that port any more
        DownloadManager manager(request, QStringLiteral("pool"), 0, QByteArray());
        Recorder recorded(manager);
        manager.get();
        QTRY_COMPARE(recorded.finishedCount(), 1);
        QCOMPARE(recorded, events);
        QVERIFY(!m_server || m_server->requests.size() == 1);
    }

    void repeatAndPause() {
        // The second request never gets an answer: the next tick cancels it.
        m_server->respond = [this](const auto&) {
            const int served = m_server->requests.size();
            Response response =
                served == 2 ? Response(0) : Response(200, QByteArray::number(served));
            response.delayMs = 100;
            return response;
        };
        DownloadManager manager(request(), QVariant(), 400, QByteArray("body"));
        Recorder recorded(manager);
        manager.post();
        QTRY_VERIFY(m_server->requests.size() >= 3);
        manager.pause();
        // The request running at the pause still finishes.
        QTRY_COMPARE(recorded.finishedCount(), m_server->requests.size());
        QCOMPARE(recorded.mid(0, 4),
                 QStringList({"finished 200 1 ", kCancelled, "finished 0  ", "finished 200 3 "}));

        QSignalSpy finished(&manager, &DownloadManager::finishedSignal);
        QVERIFY(!finished.wait(600)); // no more ticks
        manager.resume();             // sends at once, with the method last used
        QTRY_VERIFY(finished.count() == 1);
        manager.pause();
        for (const Test::FakeHttpServer::Request& request : m_server->requests)
            QCOMPARE(request.method + ' ' + request.body, QByteArray("POST body"));
    }

    void abortReportsCancellationThenAbort() {
        m_server->respond = [](const auto&) {
            return Response(0);
        };
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

    void listenerMayDeleteManagerOnCancel_data() {
        QTest::addColumn<bool>("byAbort");
        QTest::newRow("abort") << true;
        QTest::newRow("restart") << false;
    }
    void listenerMayDeleteManagerOnCancel() {
        QFETCH(bool, byAbort);
        m_server->respond = [](const auto&) {
            return Response(0);
        };
        QPointer<DownloadManager> manager =
            new DownloadManager(request(), QVariant(), 0, QByteArray());
        connect(manager, &DownloadManager::errorSignal, manager, [&manager] { delete manager; });
        manager->get();
        QTRY_COMPARE(m_server->requests.size(), 1);
        byAbort ? manager->abort() : manager->get();
        QVERIFY(manager.isNull());
        QTRY_COMPARE(m_server->openConnectionCount(), 0);
        QCOMPARE(m_server->requests.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestNetwork)
#include "tst_network.moc"
