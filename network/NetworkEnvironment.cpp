#include "network/NetworkEnvironment.h"

#include "log/Logger.h"
#include "network/ClientIdentity.h"
#include "settings/Settings.h"

#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QNetworkProxyQuery>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

namespace Vorlant {

namespace {

QNetworkProxy customProxy(const QUrl& url) {
    if (url.isEmpty() || !url.isValid() || url.scheme() != QLatin1String("socks"))
        return QNetworkProxy(QNetworkProxy::NoProxy);
    const QString host = url.host(QUrl::FullyDecoded);
    const int port = url.port(kDefaultSocksPort);
    if (host.isEmpty() || port <= 0)
        return QNetworkProxy(QNetworkProxy::NoProxy);

    QNetworkProxy proxy(QNetworkProxy::Socks5Proxy, host, quint16(port));
    // Names are resolved here, so the proxy only ever sees addresses.
    proxy.setCapabilities(proxy.capabilities() & ~QNetworkProxy::HostNameLookupCapability);
    return proxy;
}

} // namespace

QNetworkProxy proxyFromSettings(const QString& mode, const QUrl& url,
                                const QNetworkProxy& systemSocks) {
    if (mode == QLatin1String("no"))
        return QNetworkProxy(QNetworkProxy::NoProxy);
    if (mode == QLatin1String("system"))
        return systemSocks;
    return customProxy(url);
}

bool customProxyUnusable(const QString& mode, const QUrl& url) {
    return mode != QLatin1String("no") && mode != QLatin1String("system") &&
           customProxy(url).type() == QNetworkProxy::NoProxy;
}

QNetworkProxy systemSocksProxy(const QList<QNetworkProxy>& systemProxies) {
    for (const QNetworkProxy& proxy : systemProxies) {
        if (proxy.type() == QNetworkProxy::Socks5Proxy)
            return proxy;
    }
    return QNetworkProxy(QNetworkProxy::NoProxy);
}

QNetworkProxy systemSocksProxy() {
    return systemSocksProxy(QNetworkProxyFactory::systemProxyForQuery(QNetworkProxyQuery()));
}

struct NetworkEnvironment::Private {
    QNetworkAccessManager manager;
    QString proxyNotice;
};

NetworkEnvironment::NetworkEnvironment()
    : d(std::make_unique<Private>()) {
    d->manager.setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    applyProxySettings();
}

NetworkEnvironment::~NetworkEnvironment() = default;

NetworkEnvironment& NetworkEnvironment::instance() {
    static NetworkEnvironment environment;
    return environment;
}

void NetworkEnvironment::applyProxySettings() {
    const Settings& settings = Settings::instance();
    const QString mode = settings.value(QStringLiteral("proxy"), QStringLiteral("no")).toString();
    const QUrl url = settings.value(QStringLiteral("proxy-url")).toUrl();
    const QNetworkProxy system =
        mode == QLatin1String("system") ? systemSocksProxy() : QNetworkProxy();
    QNetworkProxy::setApplicationProxy(proxyFromSettings(mode, url, system));
    // No proxy on the wire either way, as the service does with the same keys; but said, once.
    const QString notice = noticeFor(mode, url, system);
    if (!notice.isEmpty() && notice != d->proxyNotice)
        Logger::error(QString(), notice);
    d->proxyNotice = notice;
    emit updateProxySignal();
}

QString NetworkEnvironment::proxyNotice() const {
    return d->proxyNotice;
}

QString NetworkEnvironment::noticeFor(const QString& mode, const QUrl& url,
                                      const QNetworkProxy& system) {
    // The user chose a proxy in system mode too: going direct for want of one is said alike.
    if (mode == QLatin1String("system") && system.type() == QNetworkProxy::NoProxy)
        return tr("The system has no SOCKS5 proxy, so connections go direct, without a proxy. "
                  "Set one in the system, or choose another in the proxy settings.");
    if (!customProxyUnusable(mode, url))
        return QString();
    // Without user info: a hand-edited URL may carry a password, which has no place in a log.
    const QString shown = url.isEmpty() ? tr("no address") : url.toString(QUrl::RemoveUserInfo);
    return tr("The custom proxy (%1) can't be used, so connections go direct, without a proxy. "
              "Set its address and port in the proxy settings.")
        .arg(shown);
}

QNetworkReply* NetworkEnvironment::get(const QNetworkRequest& request) {
    QNetworkRequest stamped(request);
    stamped.setHeader(QNetworkRequest::UserAgentHeader, userAgent());
    return d->manager.get(stamped);
}

QNetworkReply* NetworkEnvironment::post(const QNetworkRequest& request, const QByteArray& data) {
    QNetworkRequest stamped(request);
    stamped.setHeader(QNetworkRequest::UserAgentHeader, userAgent());
    return d->manager.post(stamped, data);
}

QNetworkAccessManager* NetworkEnvironment::accessManager() const {
    return &d->manager;
}

} // namespace Vorlant
