#pragma once

#include <QByteArray>
#include <QList>
#include <QNetworkProxy>
#include <QObject>

#include <memory>

class QNetworkAccessManager;
class QNetworkReply;
class QNetworkRequest;
class QUrl;

namespace Vorlant {

// The port a stored "socks://host" without one stands for.
constexpr int kDefaultSocksPort = 1080;

// The proxy that the stored "proxy" mode and "proxy-url" stand for. Only a "socks" URL with a
// host and a non-zero port in custom mode gives a proxy; "system" mode takes systemSocks whole.
QNetworkProxy proxyFromSettings(const QString& mode, const QUrl& url,
                                const QNetworkProxy& systemSocks);

// True in custom mode when the URL gives no proxy (no host, port 0, another scheme, ...): the
// service reads the same keys and connects direct, so the user must hear of it.
bool customProxyUnusable(const QString& mode, const QUrl& url);

// The first SOCKS5 entry of a system proxy list, or no proxy.
QNetworkProxy systemSocksProxy(const QList<QNetworkProxy>& systemProxies);
// The same over what the platform reports for a default query.
QNetworkProxy systemSocksProxy();

// The process's one way onto the network: the access manager every request goes through, and
// the application-wide proxy taken from the settings store.
class NetworkEnvironment final : public QObject {
    Q_OBJECT

public:
    // Created on first use, which already applies the stored proxy settings.
    static NetworkEnvironment& instance();

    void applyProxySettings();
    // What the user must be told about the stored proxy settings; empty while they are usable.
    QString proxyNotice() const;

    // Issue a request with the program's User-Agent; the caller's request is left unchanged
    // and the caller disposes of the reply.
    QNetworkReply* get(const QNetworkRequest& request);
    QNetworkReply* post(const QNetworkRequest& request, const QByteArray& data);

    QNetworkAccessManager* accessManager() const;

    ~NetworkEnvironment() override;

signals:
    void updateProxySignal();

private:
    NetworkEnvironment();
    static QString noticeFor(const QString& mode, const QUrl& url, const QNetworkProxy& system);
    Q_DISABLE_COPY(NetworkEnvironment)

    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace Vorlant
