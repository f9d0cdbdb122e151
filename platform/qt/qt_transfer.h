#pragma once
#include <QByteArray>
#include <QNetworkAccessManager>
#include <QPointer>
#include <QString>

#include "platform/transfer.h"

class QNetworkReply;
class QUrl;

// Inet1 on Qt's network stack: one GET at a time, validators kept per address so an
// unchanged page costs a 304, and every failure (network, HTTP >= 400, time-out,
// oversized body) reported as state 11.
class QtTransfer final : public QObject, public ITransfer {
    Q_OBJECT
  public:
    struct Limits {
        qint64 maxBodyBytes = 16 * 1024 * 1024;
        int idleTimeoutMs = 60 * 1000;
        int maxRedirects = 10;
    };
    explicit QtTransfer(QObject* parent = nullptr);
    QtTransfer(Limits limits, QObject* parent);
    ~QtTransfer() override;

    void Execute(const std::string& url) override;
    std::string GetChunk(int size) override;

    // A request is running, or its body has not been read to the end yet.
    bool Busy() const;

  private:
    enum class Phase {
        Idle,
        Running,   // a reply is alive, or its outcome is queued for delivery
        Completed  // state 12 was reported; the body is being read
    };

    static bool usable(const QUrl& target);
    void start(const QString& url);
    void send(const QUrl& target);
    bool followRedirect(QNetworkReply* reply);
    void dropReply();
    void onMetaData(QNetworkReply* reply);
    void onProgress(QNetworkReply* reply, qint64 received, qint64 total);
    void onReadyRead(QNetworkReply* reply);
    void onFinished(QNetworkReply* reply);
    bool takeBody(QNetworkReply* reply);
    void abortTooLarge(QNetworkReply* reply);
    void finish(std::int16_t state);
    void report(std::int16_t state);

    Limits limits_;
    QNetworkAccessManager manager_;
    QPointer<QNetworkReply> reply_;
    Phase phase_ = Phase::Idle;
    quint64 serial_ = 0;  // counts requests, so a late callback can tell it is stale
    QString url_;
    bool conditional_ = false;  // validators went out with the running request
    bool tooLarge_ = false;
    int redirects_ = 0;
    QByteArray body_;
    qsizetype readPos_ = 0;
    // Validators and body of the last completed 2xx answer, for conditional requests.
    bool validated_ = false;
    QString validatedUrl_;
    QByteArray etag_;
    QByteArray lastModified_;
    QByteArray validatedBody_;
};
