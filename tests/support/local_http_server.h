#pragma once
// An HTTP/1.1 server on 127.0.0.1 for tests, run by the test's own event loop. Each request
// goes to a handler that returns the answer; the answer can be delayed, trickled or left
// hanging to imitate slow and stuck servers. Every request is recorded as received.
#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>
#include <utility>
#include <vector>

namespace testsupport {

using HttpHeaders = QList<std::pair<QByteArray, QByteArray>>;

struct HttpRequest {
    QByteArray method;
    QByteArray path;  // as sent, query included
    QByteArray version;
    HttpHeaders headers;  // as sent, in order
    QByteArray body;
    int connection = 0;  // which connection it came on, counted from 1

    bool hasHeader(const QByteArray& name) const {
        for (const auto& [key, value] : headers)
            if (key.compare(name, Qt::CaseInsensitive) == 0) return true;
        return false;
    }
    QByteArray header(const QByteArray& name) const {
        for (const auto& [key, value] : headers)
            if (key.compare(name, Qt::CaseInsensitive) == 0) return value;
        return {};
    }
};

struct HttpResponse {
    int status = 200;
    QByteArray reason;  // empty: a generic one
    HttpHeaders headers;
    QByteArray body;
    // Without Content-Length the body ends when the server closes the connection.
    bool contentLength = true;
    int delayMs = 0;            // silence before the first byte
    qsizetype stallAfter = -1;  // send this many bytes of the whole answer, then fall silent
    int pieceBytes = 0;         // > 0: the body goes out in pieces of this size...
    int pieceIntervalMs = 0;    // ...this far apart
    bool closeAfter = false;

    HttpResponse& header(const QByteArray& name, const QByteArray& value) {
        headers.append({name, value});
        return *this;
    }
    static HttpResponse ok(const QByteArray& body) {
        HttpResponse r;
        r.body = body;
        return r;
    }
    static HttpResponse withStatus(int status, const QByteArray& body = {}) {
        HttpResponse r;
        r.status = status;
        r.body = body;
        return r;
    }
    static HttpResponse redirect(int status, const QByteArray& location) {
        return withStatus(status).header("Location", location);
    }
    // Holds the connection open and never answers.
    static HttpResponse silent() {
        HttpResponse r;
        r.stallAfter = 0;
        return r;
    }
};

class LocalHttpServer : public QObject {
  public:
    using Handler = std::function<HttpResponse(const HttpRequest&)>;

    explicit LocalHttpServer(Handler handler = {}, QObject* parent = nullptr)
        : QObject(parent), handler_(std::move(handler)) {
        QObject::connect(&server_, &QTcpServer::newConnection, this, [this] { accept(); });
    }
    ~LocalHttpServer() override {
        server_.close();
        for (auto& [socket, conn] : connections_) {
            socket->disconnect(this);
            socket->abort();
            delete socket;
        }
    }

    bool listen() { return server_.listen(QHostAddress::LocalHost, 0); }
    quint16 port() const { return server_.serverPort(); }
    QString url(const QString& path = QStringLiteral("/")) const {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(port()).arg(path);
    }
    std::string urlString(const QString& path = QStringLiteral("/")) const {
        return url(path).toStdString();
    }
    void setHandler(Handler handler) { handler_ = std::move(handler); }

    const std::vector<HttpRequest>& requests() const { return requests_; }
    std::size_t requestCount() const { return requests_.size(); }
    qint64 bytesSent() const { return bytesSent_; }
    qint64 bytesReceived() const { return bytesReceived_; }
    int connectionsAccepted() const { return accepted_; }

  private:
    struct Connection {
        int number = 0;
        QByteArray buffer;
        bool answering = false;
    };

    void accept() {
        while (QTcpSocket* socket = server_.nextPendingConnection()) {
            ++accepted_;
            connections_[socket] = std::make_unique<Connection>();
            connections_[socket]->number = accepted_;
            QObject::connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
                if (auto it = connections_.find(socket); it != connections_.end()) {
                    const QByteArray data = socket->readAll();
                    bytesReceived_ += data.size();
                    it->second->buffer += data;
                    serve(socket, *it->second);
                }
            });
            // Forgotten only once deleted: serve() may still be on the stack when it closes.
            QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            QObject::connect(socket, &QObject::destroyed, this,
                             [this, socket] { connections_.erase(socket); });
        }
    }

    // Answers the requests waiting on one connection, in order.
    void serve(QTcpSocket* socket, Connection& conn) {
        while (!conn.answering) {
            const qsizetype end = conn.buffer.indexOf("\r\n\r\n");
            if (end < 0) return;
            HttpRequest request;
            const QList<QByteArray> lines = conn.buffer.left(end).split('\n');
            const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
            request.method = first.value(0);
            request.path = first.value(1);
            request.version = first.value(2);
            for (qsizetype i = 1; i < lines.size(); ++i) {
                const QByteArray line = lines[i].trimmed();
                const qsizetype colon = line.indexOf(':');
                if (colon > 0)
                    request.headers.append(
                        {line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
            }
            const qsizetype bodyLength = request.header("Content-Length").toLongLong();
            if (conn.buffer.size() < end + 4 + bodyLength) return;
            request.body = conn.buffer.mid(end + 4, bodyLength);
            request.connection = conn.number;
            conn.buffer.remove(0, end + 4 + bodyLength);
            requests_.push_back(request);
            const HttpResponse response =
                handler_ ? handler_(request) : HttpResponse::withStatus(404);
            conn.answering = true;
            if (response.delayMs > 0)
                QTimer::singleShot(response.delayMs, socket,
                                   [this, socket, response] { send(socket, response); });
            else
                send(socket, response);
        }
    }

    void send(QTcpSocket* socket, const HttpResponse& response) {
        QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' +
                          (response.reason.isEmpty() ? QByteArray("Status") : response.reason) +
                          "\r\n";
        bool hasLength = false;
        for (const auto& [name, value] : response.headers) {
            head += name + ": " + value + "\r\n";
            hasLength = hasLength || name.compare("Content-Length", Qt::CaseInsensitive) == 0 ||
                        name.compare("Transfer-Encoding", Qt::CaseInsensitive) == 0;
        }
        const bool closing = response.closeAfter || !response.contentLength;
        if (response.contentLength && !hasLength)
            head += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
        if (closing) head += "Connection: close\r\n";
        head += "\r\n";

        const QByteArray whole = head + response.body;
        if (response.stallAfter >= 0) {
            write(socket, whole.left(response.stallAfter));
            return;  // stays "answering": later requests on this connection get nothing
        }
        if (response.pieceBytes <= 0) {
            write(socket, whole);
            done(socket, closing);
            return;
        }
        write(socket, head);
        trickle(socket, response.body, 0, response.pieceBytes, response.pieceIntervalMs, closing);
    }

    void trickle(QTcpSocket* socket, QByteArray body, qsizetype from, int piece, int interval,
                 bool closing) {
        if (from >= body.size()) {
            done(socket, closing);
            return;
        }
        QTimer::singleShot(interval, socket, [=, this] {
            write(socket, body.mid(from, piece));
            trickle(socket, body, from + piece, piece, interval, closing);
        });
    }

    void write(QTcpSocket* socket, const QByteArray& data) {
        if (data.isEmpty()) return;
        const qint64 written = socket->write(data);
        if (written > 0) bytesSent_ += written;
        socket->flush();
    }

    void done(QTcpSocket* socket, bool closing) {
        if (closing) {
            socket->disconnectFromHost();
            return;
        }
        if (auto it = connections_.find(socket); it != connections_.end()) {
            it->second->answering = false;
            serve(socket, *it->second);
        }
    }

    QTcpServer server_;
    Handler handler_;
    std::map<QTcpSocket*, std::unique_ptr<Connection>> connections_;
    std::vector<HttpRequest> requests_;
    qint64 bytesSent_ = 0;
    qint64 bytesReceived_ = 0;
    int accepted_ = 0;
};

}  // namespace testsupport
