#pragma once
#include <QNetworkAccessManager>
#include <QPointer>
#include <QTimer>

#include "platform/transfer_core.h"

class QNetworkReply;

// Inet1 on Qt's network stack; the rules it keeps are BasicTransfer's.
class QtTransfer final : public QObject, public transfer::BasicTransfer {
    Q_OBJECT
  public:
    using Limits = transfer::Limits;
    explicit QtTransfer(QObject* parent = nullptr);
    QtTransfer(Limits limits, QObject* parent);
    ~QtTransfer() override;

  private:
    void Send(const transfer::Hop& hop) override;
    void Drop() override;
    void Post(std::function<void()> call) override;
    void Warn(const std::string& message) override;
    void ArmDeadline(int ms) override;

    void onMetaData(QNetworkReply* reply);
    void onProgress(QNetworkReply* reply, qint64 received, qint64 total);
    void onReadyRead(QNetworkReply* reply);
    void onFinished(QNetworkReply* reply);
    bool takeBody(QNetworkReply* reply);
    void abortWith(QNetworkReply* reply, const std::string& reason);

    QNetworkAccessManager manager_;
    QPointer<QNetworkReply> reply_;
    QTimer deadline_;        // the whole allowance of one request, redirects included
    QTimer reportDeadline_;  // that allowance and the grace for its end to be reported
    std::string failure_;    // why the running reply was aborted
    std::string body_;
};
