#pragma once

#include <QByteArray>
#include <QNetworkReply>
#include <QObject>
#include <QVariant>

#include <memory>

class QNetworkRequest;

namespace Vorlant {

// Runs one HTTP request for one caller and reports how it ended. A manager with a repeat
// interval above 0 sends the request again on every tick; one with interval 0 cancels a
// request that takes longer than the time-out (reported as TimeoutError); a negative interval
// does neither.
class DownloadManager final : public QObject {
    Q_OBJECT

public:
    // A reply body larger than this is cancelled and reported as failed: code 0, no body. A
    // catalogue is a few KB; the bound keeps memory in check whatever a server sends.
    static constexpr qint64 kMaxBodySize = 16 * 1024 * 1024;

    DownloadManager(const QNetworkRequest& request, const QVariant& userData, int repeatInterval,
                    const QByteArray& body);
    ~DownloadManager() override;

    // The time-out that managers constructed from now on use (the program keeps 10000 ms).
    static void setTimeoutInterval(int msec);
    static int timeoutInterval();

signals:
    void finishedSignal(uint _code, QByteArray _data, QVariant _user_data);
    void errorSignal(QNetworkReply::NetworkError _error, QVariant _user_data);
    void abortSignal();

public slots:
    void get();
    void post();
    void pause();
    // Starts again with the method the manager was last started with (GET if never).
    void resume();
    void abort();

private slots:
    void readyRead();
    void finished();
    void error(QNetworkReply::NetworkError code);

private:
    enum class Method { Get, Post };
    void start(Method method);
    // Cancels a reply that is no longer current; false when a listener deleted this manager.
    bool cancelReply(QNetworkReply* reply);
    void dropReply(QNetworkReply* reply);

    Q_DISABLE_COPY(DownloadManager)

    struct Private;
    std::unique_ptr<Private> d;
};

} // namespace Vorlant
