#include "network/DownloadManager.h"

#include "network/ClientIdentity.h"
#include "network/NetworkEnvironment.h"
#include "settings/Settings.h"

#include <QNetworkRequest>
#include <QPointer>
#include <QTimer>

#include <utility>

namespace Vorlant {

namespace {

constexpr int kDefaultTimeoutInterval = 10000;
int g_timeoutInterval = kDefaultTimeoutInterval;

void addIdentityHeaders(QNetworkRequest& request) {
    const QPair<QString, QString> os = osInfo();
    request.setRawHeader("client-name", kClientName);
    request.setRawHeader("client-os-family", os.first.toUtf8());
    // A null value drops the header: an unknown version is left out, not sent empty.
    request.setRawHeader("client-os-version",
                         os.second.isNull() ? QByteArray() : os.second.toUtf8());
    request.setRawHeader("client-version", Settings::currentVersion().toUtf8());
    request.setRawHeader("x-cpu-id", cpuId().toUtf8());
}

} // namespace

struct DownloadManager::Private {
    QVariant m_user_data;
    QByteArray m_post_data;
    QByteArray m_buffer;
    QNetworkRequest m_request;
    QNetworkReply* m_reply = nullptr;
    QTimer m_repeat_timer;
    QTimer m_timeout_timer;
    Method m_method = Method::Get;
    bool m_oversized = false;
    bool m_timed_out = false;
};

DownloadManager::DownloadManager(const QNetworkRequest& request, const QVariant& userData,
                                 int repeatInterval, const QByteArray& body)
    : d(std::make_unique<Private>()) {
    d->m_user_data = userData;
    d->m_post_data = body;
    d->m_request = request;
    addIdentityHeaders(d->m_request);
    // A redirect is the caller's to judge, whatever the request asked for.
    d->m_request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                              int(QNetworkRequest::ManualRedirectPolicy));

    if (repeatInterval != 0)
        d->m_repeat_timer.setInterval(repeatInterval);
    else
        d->m_timeout_timer.setInterval(g_timeoutInterval);
    d->m_timeout_timer.setSingleShot(true);

    connect(&d->m_repeat_timer, &QTimer::timeout, this, [this] { start(d->m_method); });
    connect(&d->m_timeout_timer, &QTimer::timeout, this, [this] {
        if (d->m_reply) {
            d->m_timed_out = true;
            d->m_reply->abort();
        }
    });
}

DownloadManager::~DownloadManager() {
    // Deleting the reply ends its transfer; it must not report to us any more meanwhile.
    if (d->m_reply)
        dropReply(d->m_reply);
}

void DownloadManager::setTimeoutInterval(int msec) {
    g_timeoutInterval = msec;
}

int DownloadManager::timeoutInterval() {
    return g_timeoutInterval;
}

void DownloadManager::get() {
    start(Method::Get);
}

void DownloadManager::post() {
    start(Method::Post);
}

void DownloadManager::pause() {
    d->m_repeat_timer.stop();
}

void DownloadManager::resume() {
    start(d->m_method);
}

void DownloadManager::abort() {
    QNetworkReply* reply = std::exchange(d->m_reply, nullptr);
    if (!reply)
        return;
    d->m_repeat_timer.stop();
    d->m_timeout_timer.stop();
    if (cancelReply(reply))
        emit abortSignal();
}

void DownloadManager::readyRead() {
    auto* reply = qobject_cast<QNetworkReply*>(sender());
    if (!reply)
        return;
    // Reads at most one byte beyond the bound, so no body is ever held much larger than it.
    d->m_buffer += reply->read(kMaxBodySize + 1 - d->m_buffer.size());
    if (d->m_buffer.size() > kMaxBodySize) {
        d->m_oversized = true;
        d->m_buffer.clear();
        // Reports the cancellation and the finish; listeners may delete us meanwhile.
        reply->abort();
    }
}

void DownloadManager::finished() {
    d->m_timeout_timer.stop();
    const auto* reply = qobject_cast<QNetworkReply*>(sender());
    const QVariant status =
        reply ? reply->attribute(QNetworkRequest::HttpStatusCodeAttribute) : QVariant();
    bool ok = false;
    const uint code = status.toUInt(&ok);
    emit finishedSignal(ok && !d->m_oversized ? code : 0, d->m_buffer, d->m_user_data);
}

void DownloadManager::error(QNetworkReply::NetworkError code) {
    // Our own time-out cancels the reply; the caller is told what it was, not a cancellation.
    if (d->m_timed_out && code == QNetworkReply::OperationCanceledError)
        code = QNetworkReply::TimeoutError;
    emit errorSignal(code, d->m_user_data);
}

void DownloadManager::start(Method method) {
    d->m_method = method;
    if (QNetworkReply* previous = std::exchange(d->m_reply, nullptr)) {
        // A listener of that cancellation may have started a request itself.
        if (!cancelReply(previous) || d->m_reply)
            return;
    }
    d->m_buffer.clear();
    d->m_oversized = false;
    d->m_timed_out = false;

    NetworkEnvironment& environment = NetworkEnvironment::instance();
    QNetworkReply* reply = method == Method::Post ? environment.post(d->m_request, d->m_post_data)
                                                  : environment.get(d->m_request);
    d->m_reply = reply;
    connect(reply, &QNetworkReply::readyRead, this, &DownloadManager::readyRead);
    connect(reply, &QNetworkReply::finished, this, &DownloadManager::finished);
    connect(reply, &QNetworkReply::errorOccurred, this, &DownloadManager::error,
            Qt::UniqueConnection);

    // Ticks keep the rhythm of the first start, however long each request takes.
    if (d->m_repeat_timer.interval() > 0 && !d->m_repeat_timer.isActive())
        d->m_repeat_timer.start();
    if (d->m_timeout_timer.interval() > 0)
        d->m_timeout_timer.start();
}

bool DownloadManager::cancelReply(QNetworkReply* reply) {
    // Listeners hear the cancellation first and may delete us while they do.
    const QPointer<DownloadManager> self(this);
    reply->abort();
    if (!self) {
        reply->deleteLater();
        return false;
    }
    dropReply(reply);
    return true;
}

void DownloadManager::dropReply(QNetworkReply* reply) {
    reply->disconnect(this);
    reply->deleteLater();
}

} // namespace Vorlant
