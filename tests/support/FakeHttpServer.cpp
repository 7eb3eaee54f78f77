#include "support/FakeHttpServer.h"

#include <QTimer>

namespace Vorlant::Test {

QByteArray Request::header(const QByteArray& name) const {
    for (const QByteArray& line : headerLines) {
        const int colon = line.indexOf(':');
        if (line.left(colon).compare(name, Qt::CaseInsensitive) == 0)
            return line.mid(colon + 1).trimmed();
    }
    return QByteArray();
}

FakeHttpServer::FakeHttpServer() {
    m_server.listen(QHostAddress::LocalHost);
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) {
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readFrom(socket); });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
}

FakeHttpServer::~FakeHttpServer() {
    // Open sockets close as the server goes; nothing of this object may hear about it.
    for (QTcpSocket* socket : m_server.findChildren<QTcpSocket*>())
        socket->disconnect(this);
}

void FakeHttpServer::readFrom(QTcpSocket* socket) {
    // Requests come whole or in pieces; what is not complete yet waits on the socket.
    QByteArray buffer = socket->property("pending").toByteArray() + socket->readAll();
    for (int headEnd; (headEnd = buffer.indexOf("\r\n\r\n")) >= 0;) {
        Request request;
        request.headerLines = buffer.left(headEnd).split('\n');
        const QList<QByteArray> requestLine = request.headerLines.takeFirst().split(' ');
        for (QByteArray& line : request.headerLines)
            line = line.trimmed();
        const int end = headEnd + 4 + request.header("Content-Length").toInt();
        if (buffer.size() < end)
            break;
        request.method = requestLine.value(0);
        request.path = requestLine.value(1);
        request.body = buffer.mid(headEnd + 4, end - headEnd - 4);
        request.peer = socket->peerAddress();
        buffer.remove(0, end);
        requests.append(request);
        const Response response = respond(request);
        if (response.status == 0)
            continue;
        if (response.endless) {
            socket->write("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n");
            connect(socket, &QTcpSocket::bytesWritten, socket, [socket] { socket->write(QByteArray(1 << 16, 'x')); });
            continue;
        }
        QTimer::singleShot(response.delayMs, socket, [socket, response] {
            socket->write("HTTP/1.1 " + QByteArray::number(response.status) +
                          " Status\r\nContent-Length: " + QByteArray::number(response.body.size()) +
                          "\r\n" + response.extraHeaders + "Connection: close\r\n\r\n" +
                          response.body);
            socket->disconnectFromHost();
        });
    }
    socket->setProperty("pending", buffer);
}

} // namespace Vorlant::Test
