#include "network/DownloadManager.h"
#include "network/NetworkEnvironment.h"
#include "support/FakeHttpServer.h"
#include "support/TestEnvironment.h"

#include <QMetaMethod>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QPointer>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

using namespace Vorlant;
using Vorlant::Test::FakeHttpServer;

namespace {

// Writes down what a manager reports, in order, e.g. "error 203", "finished 404 gone", "abort".
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
        QObject::connect(manager, &DownloadManager::abortSignal,
                         [this] { events << QStringLiteral("abort"); });
    }
    int finishedCount() const { return events.filter(QStringLiteral("finished")).size(); }

    QStringList events;
    QVariantList tags;
};

const QString kCancelled =
    QStringLiteral("error %1").arg(int(QNetworkReply::OperationCanceledError));

QNetworkRequest catalogueRequest(const FakeHttpServer& server) {
    QNetworkRequest request(server.url(QStringLiteral("/api/2.3/pool/config")));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    return request;
}

} // namespace

// Receives by signature, as the main dialog does.
class SignatureListener : public QObject {
    Q_OBJECT
public:
    uint code = 0;
    QVariant tag;
public slots:
    void poolResponce(quint32 _code, QByteArray, QVariant _user_data) {
        code = _code;
        tag = _user_data;
    }
};

class TestDownloadManager : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void declaredInterface();
    void identityHeadersFollowCallersHeaders();
    void replyReachesSignatureConnection();
    void httpErrorKeepsBody();
    void transportFailureHasNoCode();
    void redirectIsNotFollowed();
    void postSendsBody();

    void timeoutCancelsSilentRequest();
    void timeoutAfterStatusLineKeepsCode();
    void getTwiceCancelsTheFirst();
    void negativeIntervalArmsNeither();

    void repeatSendsAgainAndCancelsLateReply();
    void pauseLetsRunningRequestFinish();
    void resumeSendsAtOnceWithLastMethod();

    void abortReportsCancellationThenAbort();
    void abortWithoutReplyIsSilent();
    void listenerMayDeleteManagerOnCancel_data();
    void listenerMayDeleteManagerOnCancel();
    void destroyingManagerReleasesReplyInFlight();

private:
    std::unique_ptr<FakeHttpServer> m_server;
};

void TestDownloadManager::initTestCase() {
    Test::isolateEnvironment();
    DownloadManager::setTimeoutInterval(1000);
}

void TestDownloadManager::init() {
    Test::clearStore();
    m_server = std::make_unique<FakeHttpServer>();
    QVERIFY(m_server->listen());
}

void TestDownloadManager::cleanup() {
    m_server.reset();
}

void TestDownloadManager::declaredInterface() {
    const QMetaObject& meta = DownloadManager::staticMetaObject;
    QStringList signatures;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i)
        signatures << QString::fromLatin1(meta.method(i).methodSignature());
    QCOMPARE(signatures,
             QStringList({"finishedSignal(uint,QByteArray,QVariant)",
                          "errorSignal(QNetworkReply::NetworkError,QVariant)", "abortSignal()",
                          "get()", "post()", "pause()", "resume()", "abort()", "readyRead()",
                          "finished()", "error(QNetworkReply::NetworkError)"}));
}

void TestDownloadManager::identityHeadersFollowCallersHeaders() {
    QNetworkRequest request = catalogueRequest(*m_server);
    request.setRawHeader("x-caller", "1");
    DownloadManager manager(request, QStringLiteral("pool"), 0, QByteArray());
    QCOMPARE(request.rawHeaderList(), QList<QByteArray>({"Content-Type", "x-caller"}));
    QSignalSpy finished(&manager, &DownloadManager::finishedSignal);
    manager.get();
    QVERIFY(finished.wait());

    const FakeHttpServer::Request received = m_server->requests().value(0);
    QCOMPARE(received.requestLine, QByteArray("GET /api/2.3/pool/config HTTP/1.1"));
    QCOMPARE(received.header("Content-Type"), QByteArray("application/json"));
    // Qt puts its own headers (Host, Connection, ...) around them; ours keep their order.
    QList<QByteArray> names = received.headerNames();
    const QList<QByteArray> expectedOrder = {
        "content-type",      "x-caller",       "client-name", "client-os-family",
        "client-os-version", "client-version", "x-cpu-id",    "user-agent"};
    names.erase(
        std::remove_if(names.begin(), names.end(),
                       [&](const QByteArray& name) { return !expectedOrder.contains(name); }),
        names.end());
    QCOMPARE(names, expectedOrder);
    QCOMPARE(received.header("client-name"), QByteArray("VorlantWin"));
    QCOMPARE(received.header("client-version"), QByteArray("5.10"));
    QCOMPARE(received.header("user-agent"), QByteArray("VorlantWin/5.10"));
}

void TestDownloadManager::replyReachesSignatureConnection() {
    m_server->setResponse(200, "{\"coins\":1}", "application/json");
    auto manager = std::make_shared<DownloadManager>(catalogueRequest(*m_server),
                                                     QStringLiteral("pool"), 0, QByteArray());
    SignatureListener listener;
    QVERIFY(QObject::connect(manager.get(), SIGNAL(finishedSignal(quint32, QByteArray, QVariant)),
                             &listener, SLOT(poolResponce(quint32, QByteArray, QVariant))));
    Recorder recorder(manager.get());
    manager->get();
    QTRY_COMPARE(listener.code, 200u);
    QCOMPARE(listener.tag, QVariant(QStringLiteral("pool")));
    QCOMPARE(recorder.events, QStringList({"finished 200 {\"coins\":1}"}));
}

void TestDownloadManager::httpErrorKeepsBody() {
    m_server->setResponse(404, "no such coin");
    DownloadManager manager(catalogueRequest(*m_server), 42, 0, QByteArray());
    Recorder recorder(&manager);
    manager.get();
    QTRY_COMPARE(recorder.finishedCount(), 1);
    QCOMPARE(recorder.events,
             QStringList({QStringLiteral("error %1").arg(int(QNetworkReply::ContentNotFoundError)),
                          "finished 404 no such coin"}));
    QCOMPARE(recorder.tags, QVariantList({42, 42}));
}

void TestDownloadManager::transportFailureHasNoCode() {
    const QUrl url = m_server->url();
    m_server.reset(); // nobody listens on that port any more
    DownloadManager manager(QNetworkRequest(url), QStringLiteral("pool"), 0, QByteArray());
    Recorder recorder(&manager);
    manager.get();
    QTRY_COMPARE(recorder.finishedCount(), 1);
    QCOMPARE(
        recorder.events,
        QStringList({QStringLiteral("error %1").arg(int(QNetworkReply::ConnectionRefusedError)),
                     "finished 0 "}));
}

void TestDownloadManager::redirectIsNotFollowed() {
    FakeHttpServer::Response moved;
    moved.status = 302;
    moved.headers = {{"Location", m_server->url(QStringLiteral("/elsewhere")).toEncoded()}};
    m_server->setResponse(moved);
    QNetworkRequest request(m_server->url());
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    request.setAttribute(QNetworkRequest::FollowRedirectsAttribute, true);
    QT_WARNING_POP
    DownloadManager manager(request, QVariant(), 0, QByteArray());
    Recorder recorder(&manager);
    manager.get();
    QTRY_COMPARE(recorder.finishedCount(), 1);
    QCOMPARE(recorder.events.constLast(), QStringLiteral("finished 302 "));
    QCOMPARE(m_server->requests().size(), 1);
}

void TestDownloadManager::postSendsBody() {
    QNetworkRequest request(m_server->url(QStringLiteral("/socket.io/")));
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("text/plain"));
    DownloadManager manager(request, QVariant(), 0, QByteArray("handshake"));
    QSignalSpy finished(&manager, &DownloadManager::finishedSignal);
    manager.post();
    QVERIFY(finished.wait());
    QCOMPARE(m_server->requests().value(0).method, QByteArray("POST"));
    QCOMPARE(m_server->requests().value(0).body, QByteArray("handshake"));
}

void TestDownloadManager::timeoutCancelsSilentRequest() {
    m_server->setNeverAnswer();
    DownloadManager manager(catalogueRequest(*m_server), QStringLiteral("pool"), 0, QByteArray());
    Recorder recorder(&manager);
    manager.get();
    QTRY_COMPARE(recorder.finishedCount(), 1);
    QCOMPARE(recorder.events, QStringList({kCancelled, "finished 0 "}));
    QCOMPARE(recorder.tags.constLast(), QVariant(QStringLiteral("pool")));
    QCOMPARE(m_server->requests().size(), 1);
}

void TestDownloadManager::timeoutAfterStatusLineKeepsCode() {
    FakeHttpServer::Response partial;
    partial.body = "0123456789";
    partial.bodyBytesBeforeStall = 4;
    m_server->setResponse(partial);
    DownloadManager manager(catalogueRequest(*m_server), QVariant(), 0, QByteArray());
    Recorder recorder(&manager);
    manager.get();
    QTRY_COMPARE(recorder.finishedCount(), 1);
    QCOMPARE(recorder.events, QStringList({kCancelled, "finished 200 0123"}));
}

void TestDownloadManager::getTwiceCancelsTheFirst() {
    int served = 0;
    m_server->setHandler([&served](const FakeHttpServer::Request&) {
        FakeHttpServer::Response response;
        response.neverAnswer = served++ == 0;
        response.body = "second";
        return response;
    });
    DownloadManager manager(catalogueRequest(*m_server), QVariant(), 0, QByteArray());
    Recorder recorder(&manager);
    manager.get();
    QTRY_COMPARE(m_server->requests().size(), 1);
    manager.get();
    QCOMPARE(recorder.events, QStringList({kCancelled, "finished 0 "}));
    QTRY_COMPARE(recorder.finishedCount(), 2);
    QCOMPARE(recorder.events.constLast(), QStringLiteral("finished 200 second"));
}

void TestDownloadManager::negativeIntervalArmsNeither() {
    m_server->setNeverAnswer();
    const int programTimeout = DownloadManager::timeoutInterval();
    DownloadManager::setTimeoutInterval(200);
    DownloadManager manager(catalogueRequest(*m_server), QVariant(), -1, QByteArray());
    DownloadManager::setTimeoutInterval(programTimeout);
    QSignalSpy finished(&manager, &DownloadManager::finishedSignal);
    manager.get();
    QVERIFY(!finished.wait(600));
    QCOMPARE(m_server->requests().size(), 1);
    manager.abort();
    QCOMPARE(finished.count(), 1);
}

void TestDownloadManager::repeatSendsAgainAndCancelsLateReply() {
    int served = 0;
    m_server->setHandler([&served](const FakeHttpServer::Request&) {
        FakeHttpServer::Response response;
        response.neverAnswer = ++served == 2;
        response.body = QByteArray::number(served);
        return response;
    });
    DownloadManager manager(catalogueRequest(*m_server), QVariant(), 400, QByteArray());
    Recorder recorder(&manager);
    manager.get();
    // The third request reaching the server is not yet its answer reaching the manager.
    QTRY_VERIFY(recorder.events.size() >= 4);
    manager.pause();
    // The second request never got an answer: the third tick cancelled it.
    QCOMPARE(recorder.events.mid(0, 4),
             QStringList({"finished 200 1", kCancelled, "finished 0 ", "finished 200 3"}));
}

void TestDownloadManager::pauseLetsRunningRequestFinish() {
    FakeHttpServer::Response slow;
    slow.body = "late";
    slow.delayMs = 100;
    m_server->setResponse(slow);
    DownloadManager manager(catalogueRequest(*m_server), QVariant(), 250, QByteArray());
    Recorder recorder(&manager);
    QSignalSpy finished(&manager, &DownloadManager::finishedSignal);
    manager.get();
    manager.pause();
    QVERIFY(finished.wait());
    QVERIFY(!finished.wait(600));
    QCOMPARE(recorder.events, QStringList({"finished 200 late"}));
    QCOMPARE(m_server->requests().size(), 1);
}

void TestDownloadManager::resumeSendsAtOnceWithLastMethod() {
    DownloadManager manager(catalogueRequest(*m_server), QVariant(), 1000, QByteArray("body"));
    QSignalSpy finished(&manager, &DownloadManager::finishedSignal);
    manager.post();
    manager.pause();
    QVERIFY(finished.wait());
    manager.resume();
    QTRY_COMPARE(m_server->requests().size(), 2);
    QTRY_VERIFY(m_server->requests().size() >= 3); // ticks run again
    manager.pause();
    for (const FakeHttpServer::Request& request : m_server->requests()) {
        QCOMPARE(request.method, QByteArray("POST"));
        QCOMPARE(request.body, QByteArray("body"));
    }
}

void TestDownloadManager::abortReportsCancellationThenAbort() {
    m_server->setNeverAnswer();
    DownloadManager manager(catalogueRequest(*m_server), QVariant(), 500, QByteArray());
    Recorder recorder(&manager);
    manager.get();
    QTRY_COMPARE(m_server->requests().size(), 1);
    manager.abort();
    QCOMPARE(recorder.events, QStringList({kCancelled, "finished 0 ", "abort"}));
    manager.abort();
    QSignalSpy finished(&manager, &DownloadManager::finishedSignal);
    QVERIFY(!finished.wait(1000)); // the repeat timer stopped too
    QCOMPARE(recorder.events.size(), 3);
}

void TestDownloadManager::abortWithoutReplyIsSilent() {
    DownloadManager manager(catalogueRequest(*m_server), QVariant(), 0, QByteArray());
    Recorder recorder(&manager);
    manager.abort();
    QVERIFY(recorder.events.isEmpty());
}

void TestDownloadManager::listenerMayDeleteManagerOnCancel_data() {
    QTest::addColumn<bool>("byAbort");
    QTest::newRow("abort") << true;
    QTest::newRow("restart") << false;
}

void TestDownloadManager::listenerMayDeleteManagerOnCancel() {
    QFETCH(bool, byAbort);
    m_server->setNeverAnswer();
    QPointer<DownloadManager> manager =
        new DownloadManager(catalogueRequest(*m_server), QVariant(), 0, QByteArray());
    connect(manager, &DownloadManager::errorSignal, manager, [&manager] { delete manager; });
    manager->get();
    QTRY_COMPARE(m_server->requests().size(), 1);
    if (byAbort)
        manager->abort();
    else
        manager->get();
    QVERIFY(manager.isNull());
    QTRY_COMPARE(m_server->openConnectionCount(), 0);
    QCOMPARE(m_server->requests().size(), 1);
}

void TestDownloadManager::destroyingManagerReleasesReplyInFlight() {
    m_server->setNeverAnswer();
    auto manager =
        std::make_unique<DownloadManager>(catalogueRequest(*m_server), QVariant(), 0, QByteArray());
    QSignalSpy finished(manager.get(), &DownloadManager::finishedSignal);
    manager->get();
    QTRY_COMPARE(m_server->requests().size(), 1);
    QList<QPointer<QNetworkReply>> replies;
    for (QNetworkReply* reply :
         NetworkEnvironment::instance().accessManager()->findChildren<QNetworkReply*>())
        replies << reply;
    QVERIFY(!replies.isEmpty());

    manager.reset();
    QTRY_VERIFY(std::all_of(replies.cbegin(), replies.cend(), [](auto& r) { return r.isNull(); }));
    QTRY_COMPARE(m_server->openConnectionCount(), 0); // the transfer really ended
    QCOMPARE(finished.count(), 0);
}

QTEST_GUILESS_MAIN(TestDownloadManager)
#include "tst_downloadmanager.moc"
