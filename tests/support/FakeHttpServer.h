#pragma once

// A small HTTP/1.1 server on this machine for tests: it records every request and answers each
// as told (a status, body and extra header lines, after a delay; status 0: no answer at all),
// then closes the connection.

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

#include <functional>

namespace Vorlant::Test {

struct Request {
    QByteArray method, path, body;
    QList<QByteArray> headerLines; // "Name: value", in the order sent
    QHostAddress peer;
    // Value of a header, names compared without case; null when absent.
    QByteArray header(const QByteArray& name) const;
};

struct Response {
    Response(int status = 200, const QByteArray& body = {}, const QByteArray& extra = {}, int delay = 0,
             bool endless = false)
        : status(status), body(body), extraHeaders(extra), delayMs(delay), endless(endless) {}
    int status;
    QByteArray body;
    QByteArray extraHeaders; // whole lines, e.g. "Location: /x\r\n"
    int delayMs;
    bool endless; // a body without Content-Length that never ends
};

class FakeHttpServer final : public QObject {
    Q_OBJECT

public:
    FakeHttpServer();
    ~FakeHttpServer() override;

    quint16 port() const { return m_server.serverPort(); }
    QUrl url(const QString& path = "/", const QString& host = "127.0.0.1") const {
        return QUrl(QStringLiteral("http://%1:%2%3").arg(host).arg(port()).arg(path));
    }
    int openConnectionCount() const { return m_server.findChildren<QTcpSocket*>().size(); }

    std::function<Response(const Request&)> respond = [](const Request&) { return Response(); };
    QList<Request> requests;

private:
    void readFrom(QTcpSocket* socket);

    QTcpServer m_server;
};

} // namespace Vorlant::Test
