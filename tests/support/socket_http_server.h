#pragma once
// An HTTP/1.1 server on 127.0.0.1 on threads of its own, with plain sockets, so that the same
// transfer tests run on Linux and under Wine whatever event loop the transfer uses. Each
// request goes to a handler (on a server thread) that returns the answer; the answer can be
// delayed, trickled or left hanging. Every request is recorded as received.
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace testsupport {

using Fields = std::vector<std::pair<std::string, std::string>>;

inline bool SameName(const std::string& a, const std::string& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

struct Request {
    std::string method, path, version;
    Fields headers;  // as sent, in order
    int connection = 0;

    bool has(const std::string& name) const {
        return std::any_of(headers.begin(), headers.end(),
                           [&](const auto& h) { return SameName(h.first, name); });
    }
    std::string header(const std::string& name) const {
        for (const auto& [key, value] : headers)
            if (SameName(key, name)) return value;
        return {};
    }
};

struct Reply {
    int status = 200;
    Fields headers;
    std::string body;
    bool contentLength = true;  // without it the body ends when the connection closes
    int delayMs = 0;            // silence before the first byte
    long stallAfter = -1;       // send this many bytes of the whole answer, then fall silent
    int pieceBytes = 0;         // > 0: the body goes out in pieces of this size...
    int pieceIntervalMs = 0;    // ...this far apart

    Reply& header(std::string name, std::string value) {
        headers.emplace_back(std::move(name), std::move(value));
        return *this;
    }
    static Reply ok(std::string body) {
        Reply r;
        r.body = std::move(body);
        return r;
    }
    static Reply withStatus(int status, std::string body = {}) {
        Reply r = ok(std::move(body));
        r.status = status;
        return r;
    }
    static Reply redirect(int status, std::string location) {
        return withStatus(status).header("Location", std::move(location));
    }
    static Reply silent() {
        Reply r;
        r.stallAfter = 0;
        return r;
    }
};

class SocketHttpServer {
  public:
    using Handler = std::function<Reply(const Request&)>;
#ifdef _WIN32
    using Socket = SOCKET;
    static constexpr Socket kNone = INVALID_SOCKET;
    static void CloseSocket(Socket s) {
        closesocket(s);
    }
#else
    using Socket = int;
    static constexpr Socket kNone = -1;
    static void CloseSocket(Socket s) {
        close(s);
    }
#endif

    SocketHttpServer() {
#ifdef _WIN32
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
#endif
    }
    ~SocketHttpServer() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        if (acceptor_.joinable()) acceptor_.join();
        for (auto& worker : workers_) worker.join();
        if (listener_ != kNone) CloseSocket(listener_);
#ifdef _WIN32
        WSACleanup();
#endif
    }

    bool listen() {
        listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        if (listener_ == kNone) return false;
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (bind(listener_, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
            ::listen(listener_, 16) != 0 ||
            getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0)
            return false;
        port_ = ntohs(address.sin_port);
        acceptor_ = std::thread([this] { Accept(); });
        return true;
    }
    int port() const {
        return port_;
    }
    std::string url(const std::string& path = "/") const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }
    void setHandler(Handler handler) {
        std::lock_guard lock(mutex_);
        handler_ = std::move(handler);
    }
    std::vector<Request> requests() const {
        std::lock_guard lock(mutex_);
        return requests_;
    }
    std::size_t requestCount() const {
        std::lock_guard lock(mutex_);
        return requests_.size();
    }

  private:
    bool Stopping() {
        std::lock_guard lock(mutex_);
        return stopping_;
    }
    // Waits up to ms, ending early once the server stops; false when stopping.
    bool Pause(int ms) {
        std::unique_lock lock(mutex_);
        return !wake_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopping_; });
    }
    // Waits up to 50 ms for the socket to become readable.
    static bool Readable(Socket s) {
        fd_set set;
        FD_ZERO(&set);
        FD_SET(s, &set);
        timeval wait{0, 50 * 1000};
        return select(static_cast<int>(s) + 1, &set, nullptr, nullptr, &wait) > 0;
    }
    // Sends all of data unless the server stops first (a client may never read).
    bool Write(Socket s, const std::string& data) {
        std::size_t done = 0;
        while (done < data.size()) {
            fd_set set;
            FD_ZERO(&set);
            FD_SET(s, &set);
            timeval wait{0, 50 * 1000};
            if (select(static_cast<int>(s) + 1, nullptr, &set, nullptr, &wait) <= 0) {
                if (Stopping()) return false;
                continue;
            }
            const std::size_t size = std::min<std::size_t>(data.size() - done, 16384);
#ifdef _WIN32
            const int n = send(s, data.data() + done, static_cast<int>(size), 0);
            if (n < 0 && WSAGetLastError() == WSAEWOULDBLOCK) continue;
#else
            const auto n = send(s, data.data() + done, size, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) continue;
#endif
            if (n <= 0) return false;
            done += static_cast<std::size_t>(n);
        }
        return true;
    }

    void Accept() {
        int connections = 0;
        while (!Stopping()) {
            if (!Readable(listener_)) continue;
            const Socket client = accept(listener_, nullptr, nullptr);
            if (client == kNone) continue;
            const int number = ++connections;
#ifdef _WIN32
            u_long nonBlocking = 1;
            ioctlsocket(client, FIONBIO, &nonBlocking);
#endif
            workers_.emplace_back([this, client, number] {
                Serve(client, number);
                CloseSocket(client);
            });
        }
    }

    // Answers the requests of one connection in order until either side closes it.
    void Serve(Socket s, int number) {
        std::string buffer;
        char chunk[16384];
        while (!Stopping()) {
            const auto end = buffer.find("\r\n\r\n");
            if (end == std::string::npos) {
                if (!Readable(s)) continue;
                const auto n = recv(s, chunk, sizeof chunk, 0);
                if (n <= 0) return;
                buffer.append(chunk, static_cast<std::size_t>(n));
                continue;
            }
            Request request = Parse(buffer.substr(0, end));
            request.connection = number;
            buffer.erase(0, end + 4);  // GET requests carry no body
            Handler handler;
            {
                std::lock_guard lock(mutex_);
                requests_.push_back(request);
                handler = handler_;
            }
            const Reply reply = handler ? handler(request) : Reply::withStatus(404);
            if (!Answer(s, reply)) return;
        }
    }

    static Request Parse(const std::string& head) {
        Request request;
        std::size_t pos = 0;
        bool first = true;
        while (pos <= head.size()) {
            auto eol = head.find("\r\n", pos);
            if (eol == std::string::npos) eol = head.size();
            const std::string line = head.substr(pos, eol - pos);
            pos = eol + 2;
            if (first) {
                first = false;
                const auto a = line.find(' '), b = line.rfind(' ');
                request.method = line.substr(0, a);
                request.path = line.substr(a + 1, b - a - 1);
                request.version = line.substr(b + 1);
                continue;
            }
            const auto colon = line.find(':');
            if (colon == std::string::npos) continue;
            const auto start = line.find_first_not_of(' ', colon + 1);
            request.headers.emplace_back(line.substr(0, colon),
                                         start == std::string::npos ? "" : line.substr(start));
        }
        return request;
    }

    // Sends one answer; false when the connection is done with.
    bool Answer(Socket s, const Reply& reply) {
        if (reply.delayMs > 0 && !Pause(reply.delayMs)) return false;
        std::string head = "HTTP/1.1 " + std::to_string(reply.status) + " Status\r\n";
        bool sized = false;
        for (const auto& [name, value] : reply.headers) {
            head += name + ": " + value + "\r\n";
            sized = sized || SameName(name, "Content-Length");
        }
        if (reply.contentLength && !sized)
            head += "Content-Length: " + std::to_string(reply.body.size()) + "\r\n";
        if (!reply.contentLength) head += "Connection: close\r\n";
        head += "\r\n";
        if (reply.stallAfter >= 0) {
            Write(s, (head + reply.body).substr(0, static_cast<std::size_t>(reply.stallAfter)));
            while (Pause(50)) {
            }
            return false;
        }
        if (!Write(s, head)) return false;
        const std::size_t piece =
            reply.pieceBytes > 0 ? static_cast<std::size_t>(reply.pieceBytes) : reply.body.size();
        for (std::size_t from = 0; from < reply.body.size(); from += piece) {
            if (from > 0 && !Pause(reply.pieceIntervalMs)) return false;
            if (!Write(s, reply.body.substr(from, piece))) return false;
        }
        return reply.contentLength;
    }

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool stopping_ = false;
    Handler handler_;
    std::vector<Request> requests_;
    Socket listener_ = kNone;
    int port_ = 0;
    std::thread acceptor_;
    std::vector<std::thread> workers_;  // touched by the acceptor only, until it is joined
};

}  // namespace testsupport
