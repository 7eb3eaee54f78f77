#include "support/FakeHttpServer.h"

#include <QTcpSocket>
#include <QTimer>

namespace Vorlant::Test {

namespace {

const char kBufferProperty[] = "fakeHttpBuffer";

QByteArray reasonPhrase(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    default:
        return "Status";
    }
}

// Parses one complete request off the front of buffer; false while more bytes are needed.
bool takeRequest(QByteArray& buffer, FakeHttpServer::Request& request) {
    const int headEnd = buffer.indexOf("\r\n\r\n");
    if (headEnd < 0)
        return false;
    const QList<QByteArray> lines = buffer.left(headEnd).split('\n');
    request.requestLine = lines.value(0).trimmed();
    const QList<QByteArray> parts = request.requestLine.split(' ');
    request.method = parts.value(0);
    request.path = parts.value(1);
    int contentLength = 0;
    for (int i = 1; i < lines.size(); ++i) {
        const int colon = lines.at(i).indexOf(':');
        if (colon <= 0)
            continue;
        const QByteArray name = lines.at(i).left(colon).trimmed();
        const QByteArray value = lines.at(i).mid(colon + 1).trimmed();
        request.headers.append({name, value});
        if (name.compare("content-length", Qt::CaseInsensitive) == 0)
            contentLength = value.toInt();
    }
    const int bodyStart = headEnd + 4;
    if (buffer.size() < bodyStart + contentLength)
        return false;
    request.body = buffer.mid(bodyStart, contentLength);
    buffer.remove(0, bodyStart + contentLength);
    return true;
}

} // namespace

QByteArray FakeHttpServer::Request::header(const QByteArray& name) const {
    for (const Header& header : headers) {
        if (header.first.compare(name, Qt::CaseInsensitive) == 0)
            return header.second;
    }
    return QByteArray();
}

bool FakeHttpServer::Request::hasHeader(const QByteArray& name) const {
    return headerNames().contains(name.toLower());
}

QList<QByteArray> FakeHttpServer::Request::headerNames() const {
    QList<QByteArray> names;
    for (const Header& header : headers)
        names.append(header.first.toLower());
    return names;
}

FakeHttpServer::FakeHttpServer(QObject* parent)
    : QObject(parent) {
    connect(&m_server, &QTcpServer::newConnection, this, &FakeHttpServer::acceptConnections);
}

FakeHttpServer::~FakeHttpServer() {
    // Open sockets close as the server goes; nothing of this object may hear about it.
    for (QTcpSocket* socket : m_server.findChildren<QTcpSocket*>())
        socket->disconnect(this);
}

bool FakeHttpServer::listen(const QHostAddress& address, quint16 port) {
    return m_server.listen(address, port);
}

quint16 FakeHttpServer::port() const {
    return m_server.serverPort();
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
    m_response = response;
}

void FakeHttpServer::setResponse(int status, const QByteArray& body,
                                 const QByteArray& contentType) {
    Response response;
    response.status = status;
    response.body = body;
    response.contentType = contentType;
    m_response = response;
}

void FakeHttpServer::setNeverAnswer() {
    m_response = Response();
    m_response.neverAnswer = true;
}

void FakeHttpServer::setHandler(std::function<Response(const Request&)> handler) {
    m_handler = std::move(handler);
}

int FakeHttpServer::openConnectionCount() const {
    return m_server.findChildren<QTcpSocket*>().size();
}

void FakeHttpServer::acceptConnections() {
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        ++m_connectionCount;
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readFrom(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            socket->deleteLater();
            socket->setParent(nullptr);
            emit connectionClosed();
        });
    }
}

void FakeHttpServer::readFrom(QTcpSocket* socket) {
    QByteArray buffer = socket->property(kBufferProperty).toByteArray() + socket->readAll();
    Request request;
    while (takeRequest(buffer, request)) {
        request.peer = socket->peerAddress();
        m_requests.append(request);
        emit requestReceived();
        answer(socket, request);
        request = Request();
    }
    socket->setProperty(kBufferProperty, buffer);
}

void FakeHttpServer::answer(QTcpSocket* socket, const Request& request) {
    const Response response = m_handler ? m_handler(request) : m_response;
    if (response.neverAnswer)
        return;
    if (response.delayMs > 0)
        QTimer::singleShot(response.delayMs, socket,
                           [socket, response] { send(socket, response); });
    else
        send(socket, response);
}

void FakeHttpServer::send(QTcpSocket* socket, const Response& response) {
    QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' +
                      reasonPhrase(response.status) + "\r\n";
    head += "Content-Type: " + response.contentType + "\r\n";
    head += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
    for (const Header& header : response.headers)
        head += header.first + ": " + header.second + "\r\n";
    head += "Connection: close\r\n\r\n";
    if (response.bodyBytesBeforeStall >= 0) {
        socket->write(head + response.body.left(response.bodyBytesBeforeStall));
        return;
    }
    socket->write(head + response.body);
    socket->disconnectFromHost();
}

} // namespace Vorlant::Test
