#pragma once
#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <functional>

class QLocalSocket;

// One end of the local channel between the program and its viewer: each message is a line
// of words, the first naming it; text arguments are percent-encoded.
class ViewerChannel final : public QObject {
    Q_OBJECT
  public:
    using Message = QList<QByteArray>;
    // Takes over descriptor, a connected stream socket.
    ViewerChannel(int descriptor, QObject* parent);

    void Send(const Message& message);
    // Sends what is queued and closes; Ended is not called for it.
    void Close();
    bool IsOpen() const;

    static QByteArray Text(const QString& text) { return text.toUtf8().toPercentEncoding(); }
    static QString Text(const QByteArray& word) {
        return QString::fromUtf8(QByteArray::fromPercentEncoding(word));
    }

    std::function<void(const Message&)> Received;
    // The other end is gone (ended, crashed or closed its end).
    std::function<void()> Ended;

  private:
    void ReadLines();

    QLocalSocket* socket_;
    bool closing_ = false;
};
