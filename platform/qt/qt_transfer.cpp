#include "platform/qt/qt_transfer.h"

#include <QNetworkProxyFactory>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>
#include <QtDebug>
#include <algorithm>
#include <utility>

namespace {

constexpr qint64 kReadBufferBytes = 256 * 1024;

// The proxy a failed reply went through, as host:port; empty when the failure is not its own.
// Through a proxy the program looks up and connects to the proxy alone (Qt 6.4 reports a refused
// tunnel as an unknown network error).
std::string FailedProxy(const QNetworkReply& reply) {
    const QNetworkReply::NetworkError error = reply.error();
    if (error != QNetworkReply::ConnectionRefusedError &&
        error != QNetworkReply::HostNotFoundError && error != QNetworkReply::UnknownNetworkError &&
        (error < QNetworkReply::ProxyConnectionRefusedError ||
         error > QNetworkReply::UnknownProxyError))
        return {};
    const QList<QNetworkProxy> proxies =
        QNetworkProxyFactory::proxyForQuery(QNetworkProxyQuery(reply.url()));
    if (proxies.isEmpty() || proxies.first().type() == QNetworkProxy::NoProxy) return {};
    return QStringLiteral("%1:%2")
        .arg(proxies.first().hostName())
        .arg(proxies.first().port())
        .toStdString();
}

std::string TooLarge(qint64 cap) {
    return "body larger than " + std::to_string(cap) + " bytes";
}

}  // namespace

QtTransfer::QtTransfer(QObject* parent) : QtTransfer(Limits{}, parent) {}

QtTransfer::QtTransfer(Limits limits, QObject* parent) : QObject(parent), BasicTransfer(limits) {
    // No QNetworkDiskCache: its freshness heuristic answers for the server and hides changes.
    manager_.setCache(nullptr);
    deadline_.setSingleShot(true);
    reportDeadline_.setSingleShot(true);
    connect(&reportDeadline_, &QTimer::timeout, this, [this] { DeadlinePassed(); });
    connect(&deadline_, &QTimer::timeout, this, [this] {
        if (QNetworkReply* reply = reply_.data())
            abortWith(reply, "not complete within " +
                                 std::to_string(this->limits().totalTimeoutMs / 1000) + " s");
    });
}

void QtTransfer::ArmDeadline(int ms) {
    reportDeadline_.start(ms);
}

QtTransfer::~QtTransfer() {
    Shutdown();
}

void QtTransfer::Warn(const std::string& message) {
    qWarning("%s", message.c_str());
}

void QtTransfer::Post(std::function<void()> call) {
    QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
}

void QtTransfer::Drop() {
    deadline_.stop();
    body_.clear();
    if (QNetworkReply* reply = reply_.data()) {
        reply_ = nullptr;
        // abort() emits finished(); nothing may reach us for a dropped reply.
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
}

void QtTransfer::Send(const transfer::Hop& hop) {
    body_.clear();
    failure_.clear();
    const QUrl target(QString::fromStdString(hop.url), QUrl::TolerantMode);
    if (!target.isValid() || target.host().isEmpty()) {
        Post([this] { HopFailed("not a usable address: \"" + url() + "\""); });
        return;
    }
    QNetworkRequest request(target);
    for (const auto& [name, value] : hop.headers)
        request.setRawHeader(QByteArray::fromStdString(name), QByteArray::fromStdString(value));
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    // WORKAROUND: Qt 6.4's own redirect following sometimes sends a request twice and resets
    // kept-alive connections; the shared rules follow redirects, one finished reply at a time.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    request.setTransferTimeout(std::max(limits().idleTimeoutMs, 0));
    // The body cap already bounds what decompression can produce; Qt's ratio check would
    // otherwise refuse well-compressed pages above 10 MB.
    request.setDecompressedSafetyCheckThreshold(limits().maxBodyBytes);

    QNetworkReply* reply = manager_.get(request);
    // Delivered in bounded pieces: a large body read in one go stalls the event loop for tens
    // of milliseconds while its fresh pages fault in.
    reply->setReadBufferSize(kReadBufferBytes);
    reply_ = reply;
    deadline_.start(RemainingMs());
    connect(reply, &QNetworkReply::metaDataChanged, this, [this, reply] { onMetaData(reply); });
    connect(reply, &QNetworkReply::downloadProgress, this,
            [this, reply](qint64 received, qint64 total) { onProgress(reply, received, total); });
    connect(reply, &QNetworkReply::readyRead, this, [this, reply] { onReadyRead(reply); });
    connect(reply, &QNetworkReply::finished, this, [this, reply] { onFinished(reply); });
}

void QtTransfer::abortWith(QNetworkReply* reply, const std::string& reason) {
    if (!failure_.empty()) return;  // abort() reports progress once more on its way out
    failure_ = reason;
    reply->abort();  // emits finished(), which reports the failure
}

void QtTransfer::onMetaData(QNetworkReply* reply) {
    if (reply != reply_) return;
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    // Qt gives a head it cannot parse (more fields than its limit, as the shared one) no fields
    // at all and then waits for the connection to close; only answers without a body come
    // that bare from real servers.
    if (status > 0 && status != 204 && status != 304 && reply->rawHeaderPairs().isEmpty()) {
        abortWith(reply, "response head with more than " +
                             std::to_string(limits().maxHeaderFields) + " fields, or unreadable");
        return;
    }
    if (status < 200 || status >= 300) return;  // a redirect or an error page, not our body
    bool known = false;
    const qint64 length = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&known);
    if (!known || length <= 0) return;
    if (length > limits().maxBodyBytes) {
        abortWith(reply, TooLarge(limits().maxBodyBytes));
        return;
    }
    try {
        // Growing a large buffer piecemeal stalls the event loop; one allocation does not.
        body_.reserve(static_cast<std::size_t>(length));
    } catch (...) {
        abortWith(reply, TooLarge(limits().maxBodyBytes));
    }
}

void QtTransfer::onProgress(QNetworkReply* reply, qint64 received, qint64 total) {
    if (reply != reply_) return;
    // Aborting here keeps the reply's own buffer from growing much past the cap.
    if (received > limits().maxBodyBytes || total > limits().maxBodyBytes)
        abortWith(reply, TooLarge(limits().maxBodyBytes));
}

void QtTransfer::onReadyRead(QNetworkReply* reply) {
    if (reply != reply_ || !failure_.empty()) return;
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status < 200 || status >= 300) {
        // A redirect's or an error's body is not ours, but with a bounded read buffer it must
        // still be drained for the reply to finish.
        reply->skip(reply->bytesAvailable());
        return;
    }
    try {
        if (!takeBody(reply)) abortWith(reply, TooLarge(limits().maxBodyBytes));
    } catch (...) {
        abortWith(reply, TooLarge(limits().maxBodyBytes));
    }
}

bool QtTransfer::takeBody(QNetworkReply* reply) {
    // Read into the buffer reserved from Content-Length instead of readAll()'s fresh copy.
    for (qint64 available = reply->bytesAvailable(); available > 0;
         available = reply->bytesAvailable()) {
        const std::size_t used = body_.size();
        if (static_cast<qint64>(used) + available > limits().maxBodyBytes) return false;
        body_.resize(used + static_cast<std::size_t>(available));
        const qint64 got = reply->read(body_.data() + used, available);
        body_.resize(used + static_cast<std::size_t>(std::max<qint64>(got, 0)));
        if (got <= 0) break;
    }
    return true;
}

void QtTransfer::onFinished(QNetworkReply* reply) {
    reply->deleteLater();
    if (reply != reply_) return;
    reply_ = nullptr;
    deadline_.stop();
    transfer::Response answer;
    answer.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    // HTTP errors come with their status; any other error means nothing usable came.
    if (failure_.empty() && reply->error() != QNetworkReply::NoError && answer.status < 400)
        failure_ = reply->errorString().toStdString();
    if (failure_.empty() && answer.status >= 200 && answer.status < 300 && !takeBody(reply))
        failure_ = TooLarge(limits().maxBodyBytes);
    std::string body = std::exchange(body_, std::string());
    if (const std::string proxy = FailedProxy(*reply); !proxy.empty()) {
        ProxyFailed(proxy, reply->errorString().toStdString());
        return;
    }
    if (!failure_.empty()) {
        HopFailed(failure_);
        return;
    }
    answer.etag = reply->rawHeader("ETag").toStdString();
    answer.lastModified = reply->rawHeader("Last-Modified").toStdString();
    const QUrl location = reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl();
    if (!location.isEmpty())
        answer.location = reply->url().resolved(location).toString().toStdString();
    HopDone(answer, std::move(body));
}
