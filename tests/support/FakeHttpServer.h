#pragma once

// A small HTTP/1.1 server on this machine for tests: it records every request as received
// (request line, method, path, headers in order, body, peer address) and answers each with
// the configured response: a status and body, optionally after a delay, cut short after part
// of the body, or not at all. Every answer closes its connection; request bodies are read by
// Content-Length (no chunked uploads).
//
//     FakeHttpServer server;
//     QVERIFY(server.listen());
//     server.setResponse(404, "missing");
//     ... request server.url("/api/2.3/pool/config") ...
//     QTRY_COMPARE(server.requests().size(), 1);

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPair>
#include <QTcpServer>
#include <QUrl>

#include <functional>

class QTcpSocket;

namespace Vorlant::Test {

class FakeHttpServer final : public QObject {
    Q_OBJECT

public:
    using Header = QPair<QByteArray, QByteArray>;

    struct Request {
        QByteArray requestLine; // e.g. "GET /path HTTP/1.1"
        QByteArray method;
        QByteArray path;
        QList<Header> headers; // names as sent, in the order received
        QByteArray body;
        QHostAddress peer;

        // First value of a header, names compared without case; null when absent.
        QByteArray header(const QByteArray& name) const;
        bool hasHeader(const QByteArray& name) const;
        QList<QByteArray> headerNames() const;
    };

    struct Response {
        int status = 200;
        QByteArray body;
        QByteArray contentType = "text/plain";
        QList<Header> headers; // extra ones, e.g. Location
        int delayMs = 0;
        bool neverAnswer = false;
        int bodyBytesBeforeStall = -1; // >= 0: send that much of the body, then stall
    };

    explicit FakeHttpServer(QObject* parent = nullptr);
    ~FakeHttpServer() override;

    bool listen(const QHostAddress& address = QHostAddress::LocalHost, quint16 port = 0);
    quint16 port() const;
    // http://<host>:<port><path>
    QUrl url(const QString& path = QStringLiteral("/"),
             const QString& host = QStringLiteral("127.0.0.1")) const;

    // The answer to every following request.
    void setResponse(const Response& response);
    void setResponse(int status, const QByteArray& body,
                     const QByteArray& contentType = "text/plain");
    void setNeverAnswer();
    // Decides the answer per request instead; overrides setResponse while set.
    void setHandler(std::function<Response(const Request&)> handler);

    QList<Request> requests() const { return m_requests; }
    void clearRequests() { m_requests.clear(); }
    int connectionCount() const { return m_connectionCount; }
    int openConnectionCount() const;

signals:
    void requestReceived();
    void connectionClosed();

private:
    void acceptConnections();
    void readFrom(QTcpSocket* socket);
    void answer(QTcpSocket* socket, const Request& request);
    static void send(QTcpSocket* socket, const Response& response);

    QTcpServer m_server;
    Response m_response;
    std::function<Response(const Request&)> m_handler;
    QList<Request> m_requests;
    int m_connectionCount = 0;
};

} // namespace Vorlant::Test
