#include "ui/ProxyFields.h"

#include "network/NetworkEnvironment.h"

namespace Vorlant {

ProxyMode proxyModeFromText(const QString& text) {
    if (text == QLatin1String("no"))
        return ProxyMode::NoProxy;
    if (text == QLatin1String("system"))
        return ProxyMode::System;
    return ProxyMode::Custom;
}

QString proxyModeText(ProxyMode mode) {
    switch (mode) {
    case ProxyMode::NoProxy:
        return QStringLiteral("no");
    case ProxyMode::System:
        return QStringLiteral("system");
    case ProxyMode::Custom:
        break;
    }
    return QStringLiteral("custom");
}

ProxyFields ProxyFields::fromUrl(const QUrl& url) {
    if (url.isEmpty())
        return {};
    // A hand-edited "socks://host" has no port; show the one the network side then uses, so
    // that OK stores it rather than 0, which would turn the proxy off.
    const int port =
        url.scheme() == QLatin1String("socks") ? url.port(kDefaultSocksPort) : url.port();
    return {url.host(QUrl::FullyDecoded), QString::number(port)};
}

QUrl ProxyFields::toUrl() const {
    QUrl url;
    url.setScheme(QStringLiteral("socks"));
    url.setHost(address.trimmed(), QUrl::DecodedMode);
    url.setPort(port.toUShort(nullptr, 10));
    return url;
}

bool ProxyFields::addressFitsUrl() const {
    if (address.trimmed().isEmpty())
        return true;
    const QUrl url = toUrl();
    const QString host = url.host(QUrl::FullyDecoded);
    // The stored text is read back later, so the host must survive that trip unchanged.
    const QUrl storedAndRead(url.toString());
    return !host.isEmpty() && storedAndRead.host(QUrl::FullyDecoded) == host;
}

ProxyFieldsProblem ProxyFields::customProblem() const {
    if (address.trimmed().isEmpty())
        return ProxyFieldsProblem::NoAddress;
    if (!addressFitsUrl())
        return ProxyFieldsProblem::BadAddress;
    bool number = false;
    const quint16 value = port.toUShort(&number, 10);
    return number && value != 0 ? ProxyFieldsProblem::None : ProxyFieldsProblem::BadPort;
}

} // namespace Vorlant
