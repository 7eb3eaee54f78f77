#pragma once

#include <QString>
#include <QUrl>

namespace Vorlant {

// The three choices of the proxy dialog and their stored "proxy" texts.
enum class ProxyMode { NoProxy, System, Custom };

// Exact, case-sensitive: anything but "no" and "system" (even "No") means a custom proxy.
ProxyMode proxyModeFromText(const QString& text);
QString proxyModeText(ProxyMode mode);

// What keeps the dialog's fields from making a usable custom proxy.
enum class ProxyFieldsProblem { None, NoAddress, BadAddress, BadPort };

// The address and port texts of the proxy dialog, and how they map to the stored "proxy-url".
struct ProxyFields {
    QString address;
    QString port;

    // Empty texts for an empty URL; a socks URL without a port shows 1080, as the network side
    // reads it; another URL without a port shows "-1".
    static ProxyFields fromUrl(const QUrl& url);

    // "socks://host:port" from the trimmed address; a port text that is not a number
    // from 0 to 65535 gives port 0.
    QUrl toUrl() const;

    // False when the address is not blank but cannot be stored as the URL's host: QUrl would
    // silently drop it (spaces, "/", "@", "host:port", ...) and store no host at all.
    bool addressFitsUrl() const;

    // For custom mode: an address that fits and a port that is a whole number from 1 to 65535.
    ProxyFieldsProblem customProblem() const;
};

} // namespace Vorlant
