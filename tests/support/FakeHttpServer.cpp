#include "support/FakeHttpServer.h"

#include <QTcpSocket>
#include <QTimer>

namespace Vorlant::Test {

namespace {

const char kBufferProperty[] = "fakeHttpBuffer";

// Parses one complete request off the front of buffer; false while more bytes are needed.
bool takeRequest(QByteArray& buffer, FakeHttpServer::Request& request) {
    const int headEnd = buffer.indexOf("\r\n\r\n");
    if (headEnd < 0)
        return false;
    const QList<QByteArray> lines = buffer.left(headEnd).split('\n');
    const QList<QByteArray> parts = lines.value(0).trimmed().split(' ');
    request.method = parts.value(0);
    request.path = parts.value(1);
    for (int i = 1; i < lines.size(); ++i) {
        const int colon = lines.at(i).indexOf(':');
        if (colon > 0)
            request.headers.append(
                {lines.at(i).left(colon).trimmed(), lines.at(i).mid(colon + 1).trimmed()});
    }
    const int bodyStart = headEnd + 4;
    const int end = bodyStart + request.header("Content-Length").toInt();
    if (buffer.size() < end)
        return false;
    request.body = buffer.mid(bodyStart, end - bodyStart);
    buffer.remove(0, end);
    return true;
}

} // namespace

QByteArray FakeHttpServer::Request::header(const QByteArray& name) const {
    for (const auto& header : headers) {
        if (header.first.compare(name, Qt::CaseInsensitive) == 0)
            return header.second;
    }
    return QByteArray();
}

FakeHttpServer::FakeHttpServer() {
    setResponse(Response());
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) {
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readFrom(socket); });
            connect(socket, &QTcpSocket::disconnected, this, [socket] {
                socket->setParent(nullptr);
                socket->deleteLater();
            });
        }
    });
}

FakeHttpServer::~FakeHttpServer() {
    // Open sockets close as the server goes; nothing of this object may hear about it.
    for (QTcpSocket* socket : m_server.findChildren<QTcpSocket*>())
        socket->disconnect(this);
}

QUrl FakeHttpServer::url(const QString& path, const QString& host) const {
    QUrl url;
    url.setScheme(QStringLiteral("http"));
    url.setHost(host);
    url.setPort(port());
    url.setPath(path);
    return url;
}

void FakeHttpServer::setResponse(const Response& response) {
    m_handler = [response](const Request&) {
        return response;
    };
}

int FakeHttpServer::openConnectionCount() const {
    return m_server.findChildren<QTcpSocket*>().size();
}

void FakeHttpServer::readFrom(QTcpSocket* socket) {
    QByteArray buffer = socket->property(kBufferProperty).toByteArray() + socket->readAll();
    Request request;
    while (takeRequest(buffer, request)) {
        request.peer = socket->peerAddress();
        requests.append(request);
        const Response response = m_handler(request);
        if (!response.neverAnswer)
            QTimer::singleShot(response.delayMs, socket, [=] { send(socket, response); });
        request = Request();
    }
    socket->setProperty(kBufferProperty, buffer);
}

void FakeHttpServer::send(QTcpSocket* socket, const Response& response) {
    const QByteArray head =
        "HTTP/1.1 " + QByteArray::number(response.status) +
        " Status\r\nContent-Length: " + QByteArray::number(response.body.size()) + "\r\n" +
        response.extraHeaders + "Connection: close\r\n\r\n";
    if (response.stallAfter >= 0) {
        socket->write(head + response.body.left(response.stallAfter));
        return;
    }
    socket->write(head + response.body);
    socket->disconnectFromHost();
}

} // namespace Vorlant::Test
