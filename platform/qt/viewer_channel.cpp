#include "platform/qt/viewer_channel.h"

#include <QLocalSocket>

ViewerChannel::ViewerChannel(int descriptor, QObject* parent)
    : QObject(parent), socket_(new QLocalSocket(this)) {
    socket_->setSocketDescriptor(descriptor, QLocalSocket::ConnectedState, QIODevice::ReadWrite);
    connect(socket_, &QLocalSocket::readyRead, this, &ViewerChannel::ReadLines);
    connect(socket_, &QLocalSocket::disconnected, this, [this] {
        if (!closing_ && Ended) Ended();
    });
}

void ViewerChannel::Send(const Message& message) {
    if (!IsOpen()) return;
    QByteArray line = message.join(' ');
    line += '\n';
    socket_->write(line);
}

void ViewerChannel::Close() {
    closing_ = true;
    if (socket_->state() == QLocalSocket::ConnectedState) socket_->flush();
    socket_->disconnectFromServer();
}

bool ViewerChannel::IsOpen() const {
    return !closing_ && socket_->state() == QLocalSocket::ConnectedState;
}

void ViewerChannel::ReadLines() {
    while (socket_->canReadLine()) {
        const QByteArray line = socket_->readLine().trimmed();
        if (line.isEmpty()) continue;
        if (Received) Received(line.split(' '));
        if (closing_) return;
    }
}
