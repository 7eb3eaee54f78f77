#pragma once

#include <QByteArray>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QObject>
#include <QTimer>
#include <QVariant>

#include <memory>

namespace Vorlant {

class DownloadManager;

// The pause before the next catalogue request after `failures` failed ones in a row (from 1):
// short while the network may just be coming up at login, then every five minutes.
int catalogueRetryPause(int failures);

// The window's words for the next try, a pause of `pause` ms from now.
QString catalogueRetryText(int pause);

// Why a catalogue request failed, in the user's words, from the reply's HTTP status (0 when
// none came) and the last network error the request reported.
QString catalogueFailureReason(quint32 code, QNetworkReply::NetworkError error);

// What the user is told of a reply from `server`: empty for a catalogue that lists a coin the
// window shows. One that lists none is a failure too, retried alike: a pool in maintenance may
// answer so for a while.
QString catalogueFailure(const QString& server, quint32 code, QNetworkReply::NetworkError error,
                         const QByteArray& body);

// Fetches the pool catalogue until a catalogue with coins comes: one request at a time, again after
// growing pauses, and at once when asked (the proxy settings changed). A failure is told
// through failedSignal and logged once for as long as it stays the same.
class CatalogueLoader final : public QObject {
    Q_OBJECT

public:
    CatalogueLoader(const QNetworkRequest& request, QObject* parent);
    ~CatalogueLoader() override;

    // Sends the request now, dropping one still in flight; nothing once the catalogue came.
    void requestNow();
    // The catalogue came (or was taken from elsewhere): no more requests.
    void stop();

signals:
    // A reply with status 200 whose body is a catalogue listing at least one coin to mine.
    void replySignal(quint32 _code, QByteArray _data, QVariant _user_data);
    // The failure and when the next try comes.
    void failedSignal(QString _message);

private:
    void finished(quint32 code, const QByteArray& data, const QVariant& userData);
    void failed(const QString& message);

    QNetworkRequest m_request;
    std::unique_ptr<DownloadManager> m_manager;
    QTimer m_retry;
    QNetworkReply::NetworkError m_error = QNetworkReply::NoError;
    int m_failures = 0;
    bool m_done = false;
    QString m_logged;
};

} // namespace Vorlant
