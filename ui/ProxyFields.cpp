#include "ui/ProxyFields.h"

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
    return {url.host(QUrl::FullyDecoded), QString::number(url.port())};
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

} // namespace Vorlant
