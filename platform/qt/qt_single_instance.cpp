// One running program per copy on Linux: a lock held with flock in the user's private
// runtime folder (the kernel drops it with the process, so a crashed copy never blocks), and
// a local socket beside it on which a later start asks the running copy for its window.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>
#include <cstdio>

#include "platform/single_instance.h"

namespace {
// The one request honoured; anything else on the socket is dropped unread.
constexpr char kShowRequest[] = "Tavorin show\n";
constexpr qint64 kRequestSize = sizeof kShowRequest - 1;
constexpr int kClientDeadlineMs = 2000;
constexpr int kMaxClients = 8;
// How long a start waits for a running copy that holds the lock to listen.
constexpr int kReachDeadlineMs = 5000;

void Warn(const char* what, const QString& detail) {
    std::fprintf(stderr, "Tavorin: %s: %s\n", what, qPrintable(detail));
}

// The runtime folder when it is this user's alone (owned, no access for others), else empty.
QString PrivateRuntimeFolder() {
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    struct stat info {};
    if (folder.isEmpty() || ::lstat(QFile::encodeName(folder).constData(), &info) != 0 ||
        !S_ISDIR(info.st_mode) || info.st_uid != ::geteuid() || (info.st_mode & 077) != 0)
        return {};
    return folder;
}

bool FromThisUser(const QLocalSocket& client) {
    ucred peer{};
    socklen_t size = sizeof peer;
    return ::getsockopt(int(client.socketDescriptor()), SOL_SOCKET, SO_PEERCRED, &peer, &size) ==
               0 &&
           peer.uid == ::geteuid();
}

class QtSingleInstance final : public SingleInstance {
  public:
    explicit QtSingleInstance(const std::string& programPath)
        : key_(QString::fromStdString(InstanceKey(programPath))) {}

    ~QtSingleInstance() override {
        // The socket file goes while the lock is still ours: never a successor's socket.
        server_.reset();
        if (lock_ >= 0) ::close(lock_);
    }

    bool Claim() override {
        const QString folder = PrivateRuntimeFolder();
        if (folder.isEmpty()) {
            Warn("no private runtime folder; other starts of this copy are not noticed",
                 QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation));
            return true;
        }
        const QString base = folder + QLatin1Char('/') + key_;
        socketPath_ = base + QStringLiteral(".socket");
        lock_ = ::open(QFile::encodeName(base + QStringLiteral(".lock")).constData(),
                       O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (lock_ < 0) {
            Warn("cannot open the lock; other starts of this copy are not noticed", base);
            return true;
        }
        // The lock holder may not listen yet (it starts at this same moment), or may just have
        // died: keep trying both until one answers.
        QElapsedTimer waited;
        waited.start();
        for (;;) {
            if (::flock(lock_, LOCK_EX | LOCK_NB) == 0) {
                Listen();
                return true;
            }
            if (AskToShow()) return false;
            if (waited.hasExpired(kReachDeadlineMs)) {
                Warn("this copy is running already but does not answer", socketPath_);
                return false;
            }
            QThread::msleep(50);
        }
    }

  private:
    void Listen() {
        // A socket file left by a killed copy: the lock is ours, so it is no one's.
        QLocalServer::removeServer(socketPath_);
        server_ = std::make_unique<QLocalServer>();
        server_->setSocketOptions(QLocalServer::UserAccessOption);
        server_->setMaxPendingConnections(kMaxClients);
        QObject::connect(server_.get(), &QLocalServer::newConnection, [this] { Accept(); });
        if (!server_->listen(socketPath_))
            Warn("later starts of this copy cannot reach it", server_->errorString());
    }

    void Accept() {
        while (QLocalSocket* client = server_->nextPendingConnection()) {
            if (clients_ >= kMaxClients || !FromThisUser(*client)) {
                client->abort();
                client->deleteLater();
                continue;
            }
            ++clients_;
            QObject::connect(client, &QObject::destroyed, [this] { --clients_; });
            QObject::connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
            QObject::connect(client, &QLocalSocket::readyRead, client, [this, client] {
                const QByteArray got = client->peek(kRequestSize + 1);
                if (got.size() < kRequestSize && QByteArray(kShowRequest).startsWith(got))
                    return;  // the rest is on its way
                Drop(client);
                if (got == kShowRequest && ShowRequested) ShowRequested();
            });
            // A client that sends nothing, or not all of it, does not hold a place for long.
            QTimer::singleShot(kClientDeadlineMs, client, [this, client] { Drop(client); });
        }
    }

    static void Drop(QLocalSocket* client) {
        client->abort();
        client->deleteLater();
    }

    bool AskToShow() const {
        QLocalSocket socket;
        socket.connectToServer(socketPath_);
        if (!socket.waitForConnected(1000)) return false;
        socket.write(kShowRequest, kRequestSize);
        while (socket.bytesToWrite() > 0)
            if (!socket.waitForBytesWritten(1000)) return false;
        socket.disconnectFromServer();
        return true;
    }

    QString key_;
    QString socketPath_;
    int lock_ = -1;
    int clients_ = 0;
    std::unique_ptr<QLocalServer> server_;
};
}  // namespace

std::unique_ptr<SingleInstance> MakeSingleInstance(const std::string& programPath) {
    return std::make_unique<QtSingleInstance>(programPath);
}
