#include "network/ClientIdentity.h"
#include "network/DownloadManager.h"
#include "network/NetworkEnvironment.h"
#include "support/TestEnvironment.h"

#include <QNetworkRequest>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

using namespace Vorlant;

// A SOCKS5 proxy at "host:port" to which names are resolved first; no proxy for "".
static QNetworkProxy socks(const QString& hostPort) {
    const QStringList part = hostPort.split(':');
    QNetworkProxy proxy(hostPort.isEmpty() ? QNetworkProxy::NoProxy : QNetworkProxy::Socks5Proxy, part[0],
                        part.value(1).toUShort());
    proxy.setCapabilities(proxy.capabilities() & ~QNetworkProxy::HostNameLookupCapability);
    return proxy;
}

// A whole answer; "Connection: close" has the client end the connection after it.
static QByteArray http(const QByteArray& status, const QByteArray& body = {}) {
    return "HTTP/1.1 " + status + "\r\nConnection: close\r\nContent-Length: " + QByteArray::number(body.size())
           + "\r\n\r\n" + body;
}

static const QString kCancelled = "error OperationCanceledError ";

// Answers the n-th request (from 1) with answer(n), nothing when empty: the first half at once, the
// rest 100 ms later, so that a body arrives in pieces. Keeps "method User-Agent body" of each request.
struct Server : QTcpServer {
    std::function<QByteArray(int)> answer = [](int) { return QByteArray(); };
    QVector<QString> requests;
    // Asks to follow redirects, which the manager must not do whatever the request says.
    QNetworkRequest request;

    Server() {
        listen(QHostAddress::LocalHost);
        request.setUrl(QUrl("http://127.0.0.1:" + QString::number(serverPort())));
        request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                             QNetworkRequest::NoLessSafeRedirectPolicy);
        connect(this, &QTcpServer::newConnection, [this] {
            QTcpSocket* socket = nextPendingConnection();
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            // One request per connection (every answer closes it), which may come in pieces.
            connect(socket, &QTcpSocket::readyRead, socket, [this, socket, in = QString()]() mutable {
                in += socket->readAll();
                const int head = in.indexOf("\r\n\r\n") + 4;
                const int length = QRegularExpression("Content-Length: (\\d+)").match(in).captured(1).toInt();
                if (head < 4 || in.size() < head + length)
                    return;
                const QString agent = QRegularExpression("\r\nUser-Agent: ([^\r]*)").match(in).captured(1);
                requests << in.left(in.indexOf(' ')) + ' ' + agent + ' ' + in.mid(head);
                const QByteArray out = answer(requests.size());
                socket->write(out.left(out.size() / 2));
                QTimer::singleShot(100, socket, [socket, out] { socket->write(out.mid(out.size() / 2)); });
            });
        });
    }
};

class TestNetwork : public QObject {
    Q_OBJECT

    std::unique_ptr<Server> server;
    // What a manager reported, in order: "error ContentNotFoundError pool", "finished 404 gone pool",
    // "abort".
    QStringList recorded;

    void record(DownloadManager& manager) {
        recorded.clear();
        connect(&manager, &DownloadManager::errorSignal, [this](QNetworkReply::NetworkError e, QVariant tag) {
            recorded << "error " + QVariant::fromValue(e).toString() + ' ' + tag.toString();
        });
        connect(&manager, &DownloadManager::finishedSignal, [this](uint code, QByteArray data, QVariant tag) {
            recorded << QString("finished %1 ").arg(code) + data + ' ' + tag.toString();
        });
        connect(&manager, &DownloadManager::abortSignal, [this] { recorded << "abort"; });
    }

private slots:
    void initTestCase() {
        Test::isolateEnvironment();
        QCOMPARE(DownloadManager::timeoutInterval(), 10000);
        DownloadManager::setTimeoutInterval(1000);
        // The identity headers as sent are the end-to-end test's; it cannot know the registers.
        QCOMPARE(formatCpuId({0x906ea, 0, 0x7ffafbff, 0xbfebfbff}), "906ea,0,7ffafbff,bfebfbff");
    }
    void init() { server = std::make_unique<Server>(); }

    // Each row: mode|stored URL|expected SOCKS5 host:port (empty: no proxy)|"!" when the user is told.
    void proxyDecision_data() {
        QTest::addColumn<QStringList>("field");
        for (const char* row :
             {"no|socks://10.1.2.3:1080|", "system|socks://10.1.2.3:1080|s:9", "no||", "system|socks://h:0|s:9",
              "custom|socks://10.1.2.3:1080|10.1.2.3:1080", "No|socks://10.1.2.3:1080|10.1.2.3:1080",
              "custom|||!", "custom|http://10.1.2.3:1080||!", "custom|socks://:1080||!", "custom|socks://h:0||!",
              "custom|socks://h:65535|h:65535", "custom|socks://h:65536||!", "custom|socks://u:p@h:1|h:1"})
            QTest::newRow(row) << QString(row).split('|');
    }
    void proxyDecision() {
        QFETCH(QStringList, field);
        // System mode takes the first SOCKS5 proxy the system lists.
        const QNetworkProxy web(QNetworkProxy::HttpProxy, "web", 80);
        const QNetworkProxy system = systemSocksProxy({web, socks("s:9"), socks("t:8")});
        QCOMPARE(proxyFromSettings(field[0], QUrl(field[1]), system), socks(field[2]));
        QCOMPARE(customProxyUnusable(field[0], QUrl(field[1])), field.value(3) == "!");
    }

    void reply_data() {
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QString>("events");
        const QByteArray large(1 << 20, 'x'), oversized(DownloadManager::kMaxBodySize + 1, 'x');
        QTest::newRow("large") << http("200 OK", large) << "finished 200 " + QString(large) + " pool";
        QTest::newRow("404 keeps its body")
            << http("404 No", "gone") << "error ContentNotFoundError pool,finished 404 gone pool";
        QTest::newRow("redirect not followed") << http("302 Go\r\nLocation: /x") << "finished 302  pool";
        QTest::newRow("time-out") << QByteArray() << "error TimeoutError pool,finished 0  pool";
        QTest::newRow("body over the cap") << http("200 OK", oversized) << kCancelled + "pool,finished 0  pool";
        QTest::newRow("nobody listens") << QByteArray() << "error ConnectionRefusedError pool,finished 0  pool";
    }
    void reply() {
        QFETCH(QByteArray, answer);
        QFETCH(QString, events);
        server->answer = [answer](int) { return answer; };
        if (QTest::currentDataTag() == QLatin1String("nobody listens"))
            server->close();
        // Only the row that waits for the time-out has one: a slow machine must not cut the others short.
        DownloadManager manager(server->request, QStringLiteral("pool"), answer.isEmpty() ? 0 : -1, {});
        record(manager);
        manager.get();
        QTRY_COMPARE(recorded.join(','), events);
    }

    // Ticks resend the POST; even requests get no answer: the next tick cancels the second, abort()
    // the fourth.
    void repeatPauseResumeAbort() {
        server->answer = [](int n) { return n % 2 ? http("200 OK", QByteArray::number(n)) : QByteArray(); };
        DownloadManager manager(server->request, {}, 1000, "body");
        record(manager);
        manager.post();
        QTRY_VERIFY(server->requests.size() >= 3);
        manager.pause();
        QTest::qWait(1500); // the request running at the pause still finishes, and no tick follows
        QCOMPARE(recorded, QStringList({"finished 200 1 ", kCancelled, "finished 0  ", "finished 200 3 "}));
        manager.resume(); // with the method last used
        QTRY_COMPARE(server->requests.size(), 4);
        manager.abort();
        manager.abort(); // nothing running any more: nothing to report
        QCOMPARE(recorded.mid(4), QStringList({kCancelled, "finished 0  ", "abort"}));
        QTest::qWait(1500); // the repeat timer stopped too
        QCOMPARE(server->requests, QVector<QString>(4, "POST VorlantWin/5.10 body"));
    }

    // A listener may delete the manager while it hears of a cancellation, by abort() or by a restart.
    void listenerMayDeleteManagerOnCancel() {
        for (const bool byAbort : {true, false}) {
            QPointer<DownloadManager> manager = new DownloadManager(server->request, {}, -1, {});
            connect(manager, &DownloadManager::errorSignal, manager, [&manager] { delete manager; });
            manager->get();
            QTRY_COMPARE(server->requests.size(), byAbort ? 1 : 2);
            byAbort ? manager->abort() : manager->get();
            QVERIFY(manager.isNull());
        }
        QTRY_COMPARE(server->findChildren<QTcpSocket*>().size(), 0); // both requests ended, no third
    }
};

QTEST_GUILESS_MAIN(TestNetwork)
#include "tst_network.moc"
