#pragma once

// A small HTTP/1.1 server on this machine for tests: it records every request (method, path,
// headers in order, body, peer) and answers each as told: a status and body, optionally after
// a delay, cut short after part of the body, or not at all. Every answer closes its connection.

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPair>
#include <QTcpServer>
#include <QUrl>

#include <functional>

namespace Vorlant::Test {

class FakeHttpServer final : public QObject {
    Q_OBJECT

public:
    struct Request {
        QByteArray method;
        QByteArray path;
        QList<QPair<QByteArray, QByteArray>> headers; // as sent, in order
        QByteArray body;
        QHostAddress peer;

        // First value of a header, names compared without case; null when absent.
        QByteArray header(const QByteArray& name) const;
    };

    struct Response {
        Response(int status = 200, const QByteArray& body = {}, const QByteArray& extra = {})
            : status(status)
            , body(body)
            , extraHeaders(extra) {}
        int status;
        QByteArray body;
        QByteArray extraHeaders; // whole lines, e.g. "Location: /x\r\n"
        int delayMs = 0;
        bool neverAnswer = false;
        int stallAfter = -1; // >= 0: send that much of the body, then nothing more
    };

    FakeHttpServer();
    ~FakeHttpServer() override;

    bool listen() { return m_server.listen(QHostAddress::LocalHost); }
    quint16 port() const { return m_server.serverPort(); }
    QUrl url(const QString& path = QStringLiteral("/"),
             const QString& host = QStringLiteral("127.0.0.1")) const;

    // The answer to every following request, or one decided per request.
    void setResponse(const Response& response);
    void setHandler(std::function<Response(const Request&)> handler) { m_handler = handler; }

    QList<Request> requests;
    int openConnectionCount() const;

private:
    void readFrom(QTcpSocket* socket);
    static void send(QTcpSocket* socket, const Response& response);

    QTcpServer m_server;
    std::function<Response(const Request&)> m_handler;
};

} // namespace Vorlant::Test
