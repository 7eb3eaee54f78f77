#pragma once

// A small HTTP/1.1 server on this machine for tests: it records every request and answers each
// as told (a status and body, after a delay; status 0: no answer at all), then closes the
// connection.

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

#include <functional>

namespace Vorlant::Test {

class FakeHttpServer final : public QObject {
    Q_OBJECT

public:
    struct Request {
        QByteArray method;
        QByteArray path;
        QList<QByteArray> headerLines; // "Name: value", in the order sent
        QByteArray body;
        QHostAddress peer;

        // Value of a header, names compared without case; null when absent.
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
    };

    FakeHttpServer();
    ~FakeHttpServer() override;

    bool listen() { return m_server.listen(QHostAddress::LocalHost); }
    quint16 port() const { return m_server.serverPort(); }
    QUrl url(const QString& path = "/", const QString& host = "127.0.0.1") const {
        return QUrl(QStringLiteral("http://%1:%2%3").arg(host).arg(port()).arg(path));
    }
    int openConnectionCount() const { return m_server.findChildren<QTcpSocket*>().size(); }

    // Decides the answer to each request; by default 200 with an empty body.
    std::function<Response(const Request&)> respond = [](const Request&) {
        return Response();
    };
    QList<Request> requests;

private:
    void readFrom(QTcpSocket* socket);

    QTcpServer m_server;
};

} // namespace Vorlant::Test
