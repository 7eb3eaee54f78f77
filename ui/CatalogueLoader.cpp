#include "ui/CatalogueLoader.h"

#include "log/Logger.h"
#include "network/DownloadManager.h"
#include "ui/PoolCatalogue.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <iterator>

namespace Vorlant {

int catalogueRetryPause(int failures) {
    static const int pauses[] = {5000, 15000, 60000, 300000};
    const int last = int(std::size(pauses)) - 1;
    return pauses[qBound(0, failures - 1, last)];
}

QString catalogueRetryText(int pause) {
    const int seconds = pause / 1000;
    if (seconds < 60)
        return CatalogueLoader::tr("Trying again in %1 seconds.").arg(seconds);
    if (seconds < 120)
        return CatalogueLoader::tr("Trying again in 1 minute.");
    return CatalogueLoader::tr("Trying again in %1 minutes.").arg(seconds / 60);
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

QString catalogueFailure(const QString& server, quint32 code, QNetworkReply::NetworkError error,
                         const QByteArray& body) {
    const QJsonDocument document = code == 200 ? QJsonDocument::fromJson(body) : QJsonDocument();
    if (!document.isObject()) {
        return CatalogueLoader::tr("The coin list could not be loaded from %1: %2.")
            .arg(server, catalogueFailureReason(code, error));
    }
    if (!listsCoins(document.object()))
        return CatalogueLoader::tr("The pool at %1 lists no coins to mine.").arg(server);
    return QString();
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
    // The line keeps saying what failed, and no longer a next try that has come.
    if (m_failures > 0)
        emit failedSignal(m_logged + QLatin1Char(' ') + tr("Trying again now."));
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
    const QUrl url = m_request.url();
    const QString message =
        catalogueFailure(url.host().isEmpty() ? url.toString() : url.host(), code, m_error, data);
    if (!message.isEmpty())
        return failed(message);
    stop();
    emit replySignal(code, data, userData);
}

void CatalogueLoader::failed(const QString& message) {
    if (message != m_logged)
        Logger::error(QString(), message);
    m_logged = message;
    const int pause = catalogueRetryPause(++m_failures);
    m_retry.start(pause);
    emit failedSignal(message + QLatin1Char(' ') + catalogueRetryText(pause));
}

} // namespace Vorlant
