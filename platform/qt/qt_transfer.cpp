#include "platform/qt/qt_transfer.h"

#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>
#include <QtDebug>
#include <algorithm>
#include <exception>

namespace {

const QByteArray kUserAgent = QByteArrayLiteral("Tavorin/" TAVORIN_VERSION);
constexpr qint64 kReadBufferBytes = 256 * 1024;

QString describe(const std::exception_ptr& error) {
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        return QString::fromLocal8Bit(e.what());
    } catch (...) {
        return QStringLiteral("unknown exception");
    }
}

}  // namespace

QtTransfer::QtTransfer(QObject* parent) : QtTransfer(Limits{}, parent) {}

QtTransfer::QtTransfer(Limits limits, QObject* parent) : QObject(parent), limits_(limits) {
    // No QNetworkDiskCache: its freshness heuristic answers for the server and hides changes.
    manager_.setCache(nullptr);
}

QtTransfer::~QtTransfer() {
    StateChanged = nullptr;
    if (QNetworkReply* reply = reply_.data()) {
        reply_ = nullptr;
        // abort() emits finished(); nothing may reach a half-destroyed object.
        reply->disconnect(this);
        reply->abort();
        delete reply;
    }
}

bool QtTransfer::Busy() const {
    return phase_ != Phase::Idle;
}

void QtTransfer::Execute(const std::string& url) {
    // A poll falling due while the previous one runs or is still being read is dropped.
    if (phase_ != Phase::Idle) return;
    phase_ = Phase::Running;
    ++serial_;
    body_ = QByteArray();
    readPos_ = 0;
    tooLarge_ = false;
    conditional_ = false;
    redirects_ = 0;
    try {
        url_ = QString::fromStdString(url);
        start(url_);
    } catch (...) {
        qWarning("Transfer of %s not started: %s", url.c_str(),
                 qPrintable(describe(std::current_exception())));
        dropReply();
        finish(kStateError);
    }
}

bool QtTransfer::usable(const QUrl& target) {
    const QString scheme = target.scheme();
    return target.isValid() && !target.host().isEmpty() &&
           (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
}

void QtTransfer::start(const QString& url) {
    const QUrl target(url, QUrl::TolerantMode);
    if (!usable(target)) {
        qWarning("Transfer refused, not an http(s) address: \"%s\"", qPrintable(url));
        finish(kStateError);
        return;
    }
    send(target);
}

void QtTransfer::send(const QUrl& target) {
    QNetworkRequest request(target);
    request.setHeader(QNetworkRequest::UserAgentHeader, kUserAgent);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    // WORKAROUND: Qt 6.4's own redirect following sometimes sends a request twice and resets
    // kept-alive connections, so redirects are followed here, one finished reply at a time.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    request.setTransferTimeout(std::max(limits_.idleTimeoutMs, 0));
    // The body cap already bounds what decompression can produce; Qt's ratio check would
    // otherwise refuse well-compressed pages above 10 MB.
    request.setDecompressedSafetyCheckThreshold(limits_.maxBodyBytes);
    // The validators go along every hop, as the address they belong to is the first one.
    if (validated_ && validatedUrl_ == url_) {
        if (!etag_.isEmpty()) request.setRawHeader("If-None-Match", etag_);
        if (!lastModified_.isEmpty()) request.setRawHeader("If-Modified-Since", lastModified_);
        conditional_ = !etag_.isEmpty() || !lastModified_.isEmpty();
    }

    QNetworkReply* reply = manager_.get(request);
    // Delivered in bounded pieces: a large body read in one go stalls the event loop for tens
    // of milliseconds while its fresh pages fault in.
    reply->setReadBufferSize(kReadBufferBytes);
    reply_ = reply;
    connect(reply, &QNetworkReply::metaDataChanged, this, [this, reply] { onMetaData(reply); });
    connect(reply, &QNetworkReply::downloadProgress, this,
            [this, reply](qint64 received, qint64 total) { onProgress(reply, received, total); });
    connect(reply, &QNetworkReply::readyRead, this, [this, reply] { onReadyRead(reply); });
    connect(reply, &QNetworkReply::finished, this, [this, reply] { onFinished(reply); });
}

bool QtTransfer::followRedirect(QNetworkReply* reply) {
    const QUrl from = reply->url();
    const QUrl location = reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl();
    const QUrl target = from.resolved(location);
    if (location.isEmpty() || !usable(target)) {
        qWarning("Transfer of %s failed: redirect to unusable address \"%s\"", qPrintable(url_),
                 qPrintable(location.toString()));
        return false;
    }
    // Never from https down to http, as Qt's NoLessSafeRedirectPolicy.
    if (from.scheme() == QLatin1String("https") && target.scheme() == QLatin1String("http")) {
        qWarning("Transfer of %s failed: redirect from https to http", qPrintable(url_));
        return false;
    }
    if (redirects_ >= limits_.maxRedirects) {
        qWarning("Transfer of %s failed: more than %d redirects", qPrintable(url_),
                 limits_.maxRedirects);
        return false;
    }
    ++redirects_;
    send(target);
    return true;
}

void QtTransfer::dropReply() {
    if (QNetworkReply* reply = reply_.data()) {
        reply_ = nullptr;
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
}

void QtTransfer::onMetaData(QNetworkReply* reply) {
    if (reply != reply_) return;
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status < 200 || status >= 300) return;  // a redirect or an error page, not our body
    bool known = false;
    const qint64 length = reply->header(QNetworkRequest::ContentLengthHeader).toLongLong(&known);
    if (!known || length <= 0) return;
    if (length > limits_.maxBodyBytes) {
        abortTooLarge(reply);
        return;
    }
    try {
        // Growing a large buffer piecemeal stalls the event loop; one allocation does not.
        body_.reserve(static_cast<qsizetype>(length));
    } catch (...) {
        abortTooLarge(reply);
    }
}

void QtTransfer::onProgress(QNetworkReply* reply, qint64 received, qint64 total) {
    if (reply != reply_) return;
    // Aborting here keeps the reply's own buffer from growing much past the cap.
    if (received > limits_.maxBodyBytes || total > limits_.maxBodyBytes) abortTooLarge(reply);
}

void QtTransfer::onReadyRead(QNetworkReply* reply) {
    if (reply != reply_ || tooLarge_) return;
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status < 200 || status >= 300) {
        // A redirect's or an error's body is not ours, but with a bounded read buffer it must
        // still be drained for the reply to finish.
        reply->skip(reply->bytesAvailable());
        return;
    }
    if (body_.size() + reply->bytesAvailable() > limits_.maxBodyBytes) {
        abortTooLarge(reply);
        return;
    }
    try {
        takeBody(reply);
    } catch (...) {
        abortTooLarge(reply);
    }
}

void QtTransfer::abortTooLarge(QNetworkReply* reply) {
    if (tooLarge_) return;  // abort() reports progress once more on its way out
    qWarning("Transfer of %s aborted: body larger than %lld bytes", qPrintable(url_),
             static_cast<long long>(limits_.maxBodyBytes));
    tooLarge_ = true;
    reply->abort();  // emits finished(), which reports the failure
}

void QtTransfer::onFinished(QNetworkReply* reply) {
    reply->deleteLater();
    if (reply != reply_) return;
    reply_ = nullptr;

    std::int16_t state = kStateError;
    try {
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (tooLarge_) {
            // already logged
        } else if (reply->error() != QNetworkReply::NoError) {
            qWarning("Transfer of %s failed: %s", qPrintable(url_),
                     qPrintable(reply->errorString()));
        } else if (status == 304) {
            if (conditional_ && validated_ && validatedUrl_ == url_) {
                body_ = validatedBody_;
                state = kStateResponseCompleted;
            } else {
                qWarning("Transfer of %s failed: 304 with no page to stand for", qPrintable(url_));
            }
        } else if (status == 301 || status == 302 || status == 303 || status == 307 ||
                   status == 308) {
            if (followRedirect(reply)) return;
        } else if (status >= 200 && status < 300) {
            if (takeBody(reply)) {
                validated_ = true;
                validatedUrl_ = url_;
                etag_ = reply->rawHeader("ETag");
                lastModified_ = reply->rawHeader("Last-Modified");
                validatedBody_ = body_;
                state = kStateResponseCompleted;
            }
        } else {
            // Informational or unusual 3xx: there is no page to show.
            qWarning("Transfer of %s failed: HTTP status %d", qPrintable(url_), status);
        }
    } catch (...) {
        qWarning("Transfer of %s failed: %s", qPrintable(url_),
                 qPrintable(describe(std::current_exception())));
        dropReply();
        state = kStateError;
    }
    if (state != kStateResponseCompleted) body_ = QByteArray();
    finish(state);
}

bool QtTransfer::takeBody(QNetworkReply* reply) {
    // Read into the buffer reserved from Content-Length instead of readAll()'s fresh copy.
    for (qint64 available = reply->bytesAvailable(); available > 0;
         available = reply->bytesAvailable()) {
        const qsizetype used = body_.size();
        if (used + available > limits_.maxBodyBytes) {
            qWarning("Transfer of %s failed: body larger than %lld bytes", qPrintable(url_),
                     static_cast<long long>(limits_.maxBodyBytes));
            return false;
        }
        body_.resize(used + static_cast<qsizetype>(available));
        const qint64 got = reply->read(body_.data() + used, available);
        body_.resize(used + static_cast<qsizetype>(std::max<qint64>(got, 0)));
        if (got <= 0) break;
    }
    return true;
}

void QtTransfer::finish(std::int16_t state) {
    // Always through the event loop: never from inside Execute, and never while Qt's
    // network code is still on the stack when the caller runs its own event loop.
    const quint64 serial = serial_;
    QMetaObject::invokeMethod(
        this,
        [this, state, serial] {
            if (serial == serial_ && phase_ == Phase::Running) report(state);
        },
        Qt::QueuedConnection);
}

void QtTransfer::report(std::int16_t state) {
    const quint64 serial = serial_;
    if (state == kStateResponseCompleted) {
        phase_ = Phase::Completed;
        readPos_ = 0;
    } else {
        phase_ = Phase::Idle;
        body_ = QByteArray();
    }
    if (!StateChanged) {
        phase_ = Phase::Idle;  // nobody will read the body
        body_ = QByteArray();
        return;
    }
    const QPointer<QtTransfer> alive(this);
    try {
        StateChanged(state);
    } catch (...) {
        qWarning("Transfer state %d handler failed: %s", state,
                 qPrintable(describe(std::current_exception())));
        // An unread body would block every later request.
        if (alive && serial == serial_ && phase_ == Phase::Completed) {
            phase_ = Phase::Idle;
            body_ = QByteArray();
        }
    }
}

std::string QtTransfer::GetChunk(int size) {
    if (phase_ != Phase::Completed || size <= 0) return {};
    const qsizetype left = body_.size() - readPos_;
    if (left <= 0) {
        phase_ = Phase::Idle;
        body_ = QByteArray();  // the remembered copy, if any, stays shared in validatedBody_
        readPos_ = 0;
        return {};
    }
    const qsizetype n = std::min<qsizetype>(left, size);
    std::string piece(body_.constData() + readPos_, static_cast<std::size_t>(n));
    readPos_ += n;
    return piece;
}
