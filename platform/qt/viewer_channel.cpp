#include "platform/qt/viewer_channel.h"

#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDebug>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLocalSocket>
#include <QProcess>
#include <csignal>
#include <cstdlib>
#include <utility>

#include "platform/distribution.h"

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

int ViewerChannelFromEnvironment() {
    const char* value = std::getenv(kViewerChannelVariable);
    if (!value) return -1;
    char* end = nullptr;
    const long parsed = std::strtol(value, &end, 10);
    unsetenv(kViewerChannelVariable);
    if (end == value || *end != '\0' || parsed < 3 || parsed > 1 << 20) return -1;
    const int descriptor = static_cast<int>(parsed);
    struct stat info {};
    if (fstat(descriptor, &info) != 0 || !S_ISSOCK(info.st_mode)) return -1;
    // Set before the parent check, so that a parent ending from now on takes us with it.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    struct ucred peer {};
    socklen_t length = sizeof peer;
    if (getsockopt(descriptor, SOL_SOCKET, SO_PEERCRED, &peer, &length) != 0 ||
        peer.pid != getppid() || peer.uid != getuid()) {
        prctl(PR_SET_PDEATHSIG, 0);
        return -1;
    }
    fcntl(descriptor, F_SETFD, FD_CLOEXEC);
    return descriptor;
}

namespace {
QString ViewerExecutable() {
    return QCoreApplication::applicationDirPath() + QLatin1Char('/') +
           QString::fromLatin1(kViewerFile);
}
}  // namespace

StartedViewer StartViewer(QObject* parent, const char* role) {
    const QString executable = ViewerExecutable();
    if (!QFileInfo(executable).isExecutable()) {
        static bool said = false;
        if (!std::exchange(said, true))
            qWarning().noquote() << "Cannot show the page:" << executable << "is missing";
        return {};
    }
    int ends[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) return {};
    const int childEnd = ends[1];
    auto* process = new QProcess(parent);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(kViewerChannelVariable), QString::number(childEnd));
    environment.insert(QString::fromLatin1(kViewerRoleVariable), QString::fromLatin1(role));
    // The platform the program runs on, even where it chose it for itself.
    if (!environment.contains("QT_QPA_PLATFORM"))
        environment.insert("QT_QPA_PLATFORM", QGuiApplication::platformName());
    // The session manager knows the program; a viewer it saved would start as a second one.
    environment.remove("SESSION_MANAGER");
    process->setProcessEnvironment(environment);
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    process->setStandardInputFile(QProcess::nullDevice());
    process->setChildProcessModifier([childEnd] {
        // Only the viewer's end crosses exec; the viewer ends when the program does.
        fcntl(childEnd, F_SETFD, 0);
        prctl(PR_SET_PDEATHSIG, SIGTERM);
    });
    process->start(executable, {});
    ::close(childEnd);
    if (process->state() == QProcess::NotRunning) {
        ::close(ends[0]);
        delete process;
        return {};
    }
    return {process, new ViewerChannel(ends[0], process)};
}
