#include "ui/CatalogueLoader.h"

#include "log/Logger.h"
#include "network/DownloadManager.h"

#include <QJsonDocument>

#include <iterator>

namespace Vorlant {

int catalogueRetryPause(int failures) {
    static const int pauses[] = {5000, 15000, 60000, 300000};
    const int last = int(std::size(pauses)) - 1;
    return pauses[qBound(0, failures - 1, last)];
}

QString catalogueFailureReason(quint32 code, QNetworkReply::NetworkError error) {
    // First, since a time-out may strike after the status line: a 200 with half a body.
    if (error == QNetworkReply::TimeoutError || error == QNetworkReply::ProxyTimeoutError)
        return CatalogueLoader::tr("the server did not answer in time");
    if (code != 0 && code != 200)
        return CatalogueLoader::tr("the server answered with HTTP status %1").arg(code);
    // A cancellation that is not a time-out: the body went over the size bound.
    if (code == 200 || error == QNetworkReply::OperationCanceledError)
        return CatalogueLoader::tr("the server's reply could not be read");
    // Said apart from "no connection": the server was reached, and it is its certificate (or a
    // captive portal in its place) that the user or an administrator has to look at.
    if (error == QNetworkReply::SslHandshakeFailedError)
        return CatalogueLoader::tr("the server's certificate is not trusted");
    if (error >= QNetworkReply::ProxyConnectionRefusedError &&
        error <= QNetworkReply::UnknownProxyError)
        return CatalogueLoader::tr("the proxy refused the connection");
    return CatalogueLoader::tr("no connection to the server");
}

CatalogueLoader::CatalogueLoader(const QNetworkRequest& request, QObject* parent)
    : QObject(parent)
    , m_request(request) {
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &CatalogueLoader::requestNow);
}

CatalogueLoader::~CatalogueLoader() = default;

void CatalogueLoader::requestNow() {
    if (m_done)
        return;
    m_retry.stop();
    m_error = QNetworkReply::NoError;
    // The old manager takes its request with it: never two in flight at once.
    m_manager = std::make_unique<DownloadManager>(m_request, QVariant(QStringLiteral("pool")), 0,
                                                  QByteArray());
    connect(m_manager.get(), &DownloadManager::errorSignal, this,
            [this](QNetworkReply::NetworkError error) { m_error = error; });
    connect(m_manager.get(), &DownloadManager::finishedSignal, this, &CatalogueLoader::finished);
    m_manager->get();
}

void CatalogueLoader::stop() {
    m_done = true;
    m_retry.stop();
}

void CatalogueLoader::finished(quint32 code, const QByteArray& data, const QVariant& userData) {
    if (m_done)
        return;
    if (code == 200 && QJsonDocument::fromJson(data).isObject()) {
        stop();
        emit replySignal(code, data, userData);
    } else {
        failed(code);
    }
}

void CatalogueLoader::failed(quint32 code) {
    const QUrl url = m_request.url();
    const QString server = url.host().isEmpty() ? url.toString() : url.host();
    const QString message = tr("The coin list could not be loaded from %1: %2.")
                                .arg(server, catalogueFailureReason(code, m_error));
    if (message != m_logged)
        Logger::error(QString(), message);
    m_logged = message;
    m_retry.start(catalogueRetryPause(++m_failures));
    emit failedSignal(message);
}

} // namespace Vorlant
