#include "network/DownloadManager.h"
#include "support/FakeHttpServer.h"
#include "support/TestEnvironment.h"

#include <QNetworkRequest>
#include <QPointer>
#include <QtTest>

#include <memory>

using namespace Vorlant;
using Response = Vorlant::Test::FakeHttpServer::Response;

Q_DECLARE_METATYPE(Response)

namespace {

// Writes down what a manager reports, in order: "error 203", "finished 404 gone", "abort".
struct Recorder {
    explicit Recorder(DownloadManager* manager) {
        QObject::connect(manager, &DownloadManager::errorSignal,
                         [this](QNetworkReply::NetworkError error, const QVariant& userData) {
                             events << QStringLiteral("error %1").arg(int(error));
                             tags << userData;
                         });
        QObject::connect(
            manager, &DownloadManager::finishedSignal,
            [this](uint code, const QByteArray& data, const QVariant& userData) {
                events << QStringLiteral("finished %1 %2").arg(code).arg(QString::fromUtf8(data));
                tags << userData;
            });
        QObject::connect(manager, &DownloadManager::abortSignal, [this] { events << "abort"; });
    }
    int finishedCount() const { return events.filter(QStringLiteral("finished")).size(); }

    QStringList events;
    QVariantList tags;
};

Response silent(int stallAfter = -1) {
    Response response(200, "0123456789");
    response.neverAnswer = stallAfter < 0;
    response.stallAfter = stallAfter;
    return response;
}

const QString kCancelled =
    QStringLiteral("error %1").arg(int(QNetworkReply::OperationCanceledError));

} // namespace

class TestDownloadManager : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup() { m_server.reset(); }

    void reply_data();
    void reply();
    void identityHeadersFollowCallersHeaders();
    void repeatAndPause();
    void negativeIntervalArmsNeither();
    void abortReportsCancellationThenAbort();
    void listenerMayDeleteManagerOnCancel_data();
    void listenerMayDeleteManagerOnCancel();

private:
    QNetworkRequest request() const {
        QNetworkRequest request(m_server->url());
        request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
        return request;
    }

    std::unique_ptr<Test::FakeHttpServer> m_server;
};

void TestDownloadManager::initTestCase() {
    Test::isolateEnvironment();
    DownloadManager::setTimeoutInterval(1000);
}

void TestDownloadManager::init() {
    m_server = std::make_unique<Test::FakeHttpServer>();
    QVERIFY(m_server->listen());
}

void TestDownloadManager::reply_data() {
    QTest::addColumn<Response>("response");
    QTest::addColumn<QStringList>("events");
    const QString notFound =
        QStringLiteral("error %1").arg(int(QNetworkReply::ContentNotFoundError));
    QTest::newRow("200") << Response(200, "{}") << QStringList{"finished 200 {}"};
    QTest::newRow("404 keeps its body")
        << Response(404, "no such coin") << QStringList{notFound, "finished 404 no such coin"};
    QTest::newRow("redirect not followed")
        << Response(302, "", "Location: /elsewhere\r\n") << QStringList{"finished 302 "};
    QTest::newRow("time-out") << silent() << QStringList{kCancelled, "finished 0 "};
    QTest::newRow("time-out after the status line keeps the code")
        << silent(4) << QStringList{kCancelled, "finished 200 0123"};
    // Status -1: no server at all.
    QTest::newRow("refused")
        << Response(-1)
        << QStringList{QStringLiteral("error %1").arg(int(QNetworkReply::ConnectionRefusedError)),
                       "finished 0 "};
}

void TestDownloadManager::reply() {
    QFETCH(Response, response);
    QFETCH(QStringList, events);
    m_server->setResponse(response);
    QNetworkRequest request = this->request();
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    request.setAttribute(QNetworkRequest::FollowRedirectsAttribute, true);
    QT_WARNING_POP
    if (response.status < 0)
        m_server.reset(); // nobody listens on that port any more
    DownloadManager manager(request, QStringLiteral("pool"), 0, QByteArray());
    Recorder recorder(&manager);
    manager.get();
    QTRY_COMPARE(recorder.finishedCount(), 1);
    QCOMPARE(recorder.events, events);
    QCOMPARE(recorder.tags.size(), events.size());
    for (const QVariant& tag : recorder.tags)
        QCOMPARE(tag, QVariant(QStringLiteral("pool")));
    if (m_server)
        QCOMPARE(m_server->requests.size(), 1);
}

void TestDownloadManager::identityHeadersFollowCallersHeaders() {
    QNetworkRequest request(m_server->url(QStringLiteral("/socket.io/")));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("text/plain"));
    request.setRawHeader("x-caller", "1");
    DownloadManager manager(request, QVariant(), 0, QByteArray("handshake"));
    QCOMPARE(request.rawHeaderList(), QList<QByteArray>({"Content-Type", "x-caller"}));
    QSignalSpy finished(&manager, &DownloadManager::finishedSignal);
    manager.post();
    QVERIFY(finished.wait());

    const Test::FakeHttpServer::Request received = m_server->requests.value(0);
    QCOMPARE(received.method + ' ' + received.path, QByteArray("POST /socket.io/"));
    QCOMPARE(received.body, QByteArray("handshake"));
    // Qt puts its own headers (Host, Connection, ...) around them; ours keep their order.
    const QList<QByteArray> expected = {"content-type",     "x-caller",          "client-name",
                                        "client-os-family", "client-os-version", "client-version",
                                        "x-cpu-id",         "user-agent"};
    QList<QByteArray> names;
    for (const auto& header : received.headers) {
        if (expected.contains(header.first.toLower()))
            names << header.first.toLower();
    }
    QCOMPARE(names, expected);
    QCOMPARE(received.header("client-name"), QByteArray("VorlantWin"));
    QCOMPARE(received.header("client-version"), QByteArray("5.10"));
    QCOMPARE(received.header("user-agent"), QByteArray("VorlantWin/5.10"));
}

void TestDownloadManager::repeatAndPause() {
    // The second request never gets an answer: the next tick cancels it.
    m_server->setHandler([this](const Test::FakeHttpServer::Request&) {
        const int served = m_server->requests.size();
        Response response = served == 2 ? silent() : Response(200, QByteArray::number(served));
        response.delayMs = 100;
        return response;
    });
    DownloadManager manager(request(), QVariant(), 400, QByteArray("body"));
    Recorder recorder(&manager);
    manager.post();
    QTRY_VERIFY(m_server->requests.size() >= 3);
    manager.pause();
    // The request running at the pause still finishes.
    QTRY_COMPARE(recorder.finishedCount(), m_server->requests.size());
    QCOMPARE(recorder.events.mid(0, 4),
             QStringList({"finished 200 1", kCancelled, "finished 0 ", "finished 200 3"}));

    // No more ticks; resuming sends at once, with the method last used.
    const int sent = m_server->requests.size();
    QSignalSpy finished(&manager, &DownloadManager::finishedSignal);
    QVERIFY(!finished.wait(600));
    QCOMPARE(m_server->requests.size(), sent);
    manager.resume();
    QTRY_COMPARE(m_server->requests.size(), sent + 1);
    manager.pause();
    for (const Test::FakeHttpServer::Request& request : m_server->requests)
        QCOMPARE(request.method + ' ' + request.body, QByteArray("POST body"));
}

void TestDownloadManager::negativeIntervalArmsNeither() {
    m_server->setResponse(silent());
    DownloadManager::setTimeoutInterval(200);
    DownloadManager manager(request(), QVariant(), -1, QByteArray());
    DownloadManager::setTimeoutInterval(1000);
    QSignalSpy finished(&manager, &DownloadManager::finishedSignal);
    manager.get();
    QVERIFY(!finished.wait(600));
    QCOMPARE(m_server->requests.size(), 1);
}

void TestDownloadManager::abortReportsCancellationThenAbort() {
    m_server->setResponse(silent());
    DownloadManager manager(request(), QVariant(), 500, QByteArray());
    Recorder recorder(&manager);
    manager.abort(); // nothing running: nothing to report
    QVERIFY(recorder.events.isEmpty());
    manager.get();
    QTRY_COMPARE(m_server->requests.size(), 1);
    manager.abort();
    QCOMPARE(recorder.events, QStringList({kCancelled, "finished 0 ", "abort"}));
    manager.abort();
    QSignalSpy finished(&manager, &DownloadManager::finishedSignal);
    QVERIFY(!finished.wait(1000)); // the repeat timer stopped too
    QCOMPARE(recorder.events.size(), 3);
}

void TestDownloadManager::listenerMayDeleteManagerOnCancel_data() {
    QTest::addColumn<bool>("byAbort");
    QTest::newRow("abort") << true;
    QTest::newRow("restart") << false;
}

void TestDownloadManager::listenerMayDeleteManagerOnCancel() {
    QFETCH(bool, byAbort);
    m_server->setResponse(silent());
    QPointer<DownloadManager> manager = new DownloadManager(request(), QVariant(), 0, QByteArray());
    connect(manager, &DownloadManager::errorSignal, manager, [&manager] { delete manager; });
    manager->get();
    QTRY_COMPARE(m_server->requests.size(), 1);
    if (byAbort)
        manager->abort();
    else
        manager->get();
    QVERIFY(manager.isNull());
    QTRY_COMPARE(m_server->openConnectionCount(), 0);
    QCOMPARE(m_server->requests.size(), 1);
}

QTEST_GUILESS_MAIN(TestDownloadManager)
#include "tst_downloadmanager.moc"
