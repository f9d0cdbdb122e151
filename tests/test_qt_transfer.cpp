#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/qt/qt_transfer.h"
#include "support/event_loop.h"
#include "support/local_http_server.h"

using testsupport::HttpRequest;
using testsupport::HttpResponse;
using testsupport::LocalHttpServer;
using testsupport::Settle;
using testsupport::SpinUntil;

namespace {

QByteArray BinaryBody(int size) {
    QByteArray body(size, '\0');
    for (int i = 0; i < size; ++i) body[i] = static_cast<char>((i * 131 + i / 256) % 256);
    return body;
}

QByteArray Gzip(const QByteArray& data) {
    // qCompress gives a 4-byte length and a zlib stream; gzip wants the bare deflate data.
    const QByteArray zlib = qCompress(data, 9);
    const QByteArray deflate = zlib.mid(4 + 2, zlib.size() - 4 - 2 - 4);
    quint32 crc = 0xFFFFFFFFu;
    for (const char c : data) {
        crc ^= static_cast<quint8>(c);
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    crc = ~crc;
    auto le32 = [](quint32 v) {
        QByteArray out(4, '\0');
        for (int i = 0; i < 4; ++i) out[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
        return out;
    };
    return QByteArray::fromHex("1f8b0800000000000003") + deflate + le32(crc) +
           le32(static_cast<quint32>(data.size()));
}

class QtTransferTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(server.listen()); }

    QtTransfer& Make(QtTransfer::Limits limits = {}) {
        transfer = std::make_unique<QtTransfer>(limits, nullptr);
        transfer->StateChanged = [this](std::int16_t state) {
            states.push_back(state);
            if (insideExecute) calledFromExecute = true;
            if (state == kStateError) busyAtFailure = transfer->Busy();
        };
        return *transfer;
    }

    void Execute(const std::string& url) {
        insideExecute = true;
        transfer->Execute(url);
        insideExecute = false;
    }

    int Finals() const {
        int n = 0;
        for (const auto s : states) n += (s == kStateError || s == kStateResponseCompleted);
        return n;
    }

    // Issues a request and returns its final state, or 0 if none came in time.
    std::int16_t Fetch(const std::string& url, int guardMs = 5000) {
        const int before = Finals();
        Execute(url);
        EXPECT_FALSE(calledFromExecute);
        if (!SpinUntil([&] { return Finals() > before; }, guardMs)) return 0;
        return states.back();
    }

    // Reads the body the way the notifier does, checking every piece's size.
    QByteArray ReadBody() {
        QByteArray body;
        for (int guard = 0; guard < 100000; ++guard) {
            const std::string piece = transfer->GetChunk(1024);
            EXPECT_LE(piece.size(), 1024u);
            if (piece.empty()) return body;
            body.append(piece.data(), static_cast<qsizetype>(piece.size()));
        }
        ADD_FAILURE() << "body never ended";
        return body;
    }

    QByteArray FetchBody(const std::string& url) {
        EXPECT_EQ(Fetch(url), kStateResponseCompleted);
        return ReadBody();
    }

    LocalHttpServer server;
    std::unique_ptr<QtTransfer> transfer;
    std::vector<std::int16_t> states;
    bool insideExecute = false;
    bool calledFromExecute = false;
    bool busyAtFailure = true;
};

TEST_F(QtTransferTest, BinaryBodyComesInPiecesOfAtMost1024Bytes) {
    const QByteArray page = BinaryBody(10 * 1024 + 37);
    ASSERT_TRUE(page.contains('\0'));
    server.setHandler([&](const HttpRequest&) { return HttpResponse::ok(page); });
    Make();

    ASSERT_EQ(Fetch(server.urlString("/page")), kStateResponseCompleted);
    EXPECT_TRUE(transfer->Busy());
    const std::string first = transfer->GetChunk(1024);
    EXPECT_EQ(first.size(), 1024u);
    const QByteArray body = QByteArray(first.data(), 1024) + ReadBody();
    EXPECT_EQ(body, page);
    EXPECT_FALSE(transfer->Busy());
    EXPECT_EQ(transfer->GetChunk(1024), "");
    EXPECT_EQ(server.requests().at(0).method, "GET");
    EXPECT_EQ(server.requests().at(0).path, "/page");
}

TEST_F(QtTransferTest, OutcomeArrivesLaterEvenForUnusableAddresses) {
    server.setHandler([](const HttpRequest&) { return HttpResponse::ok("fine"); });
    Make();
    EXPECT_EQ(Fetch(server.urlString()), kStateResponseCompleted);
    EXPECT_EQ(ReadBody(), "fine");

    for (const std::string url : {"", "abc", "ftp://127.0.0.1/file", "http://", "http://[::1"}) {
        SCOPED_TRACE(url);
        EXPECT_EQ(Fetch(url), kStateError);
        EXPECT_FALSE(busyAtFailure);
        EXPECT_FALSE(transfer->Busy());
    }
    EXPECT_FALSE(calledFromExecute);
    EXPECT_EQ(server.requestCount(), 1u);
}

TEST_F(QtTransferTest, FailuresEndIdleWithoutBody) {
    server.setHandler([](const HttpRequest& r) {
        return HttpResponse::withStatus(r.path == "/missing" ? 404 : 500, "error page");
    });
    Make();
    for (const char* path : {"/missing", "/broken"}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(Fetch(server.urlString(path)), kStateError);
        EXPECT_FALSE(transfer->Busy());
        EXPECT_EQ(transfer->GetChunk(1024), "");
    }

    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost, 0));
    const quint16 port = closed.serverPort();
    closed.close();
    EXPECT_EQ(Fetch("http://127.0.0.1:" + std::to_string(port) + "/"), kStateError);
    EXPECT_FALSE(transfer->Busy());
}

TEST_F(QtTransferTest, IdleTimeoutEndsAStalledTransferButNotASlowOne) {
    const QByteArray page = BinaryBody(2000);
    server.setHandler([&](const HttpRequest& r) {
        HttpResponse response = HttpResponse::ok(page);
        if (r.path == "/silent") response.stallAfter = 0;
        if (r.path == "/halfway") response.stallAfter = 700;
        if (r.path == "/slow") {
            // Takes about a second in all, but never pauses as long as the time-out.
            response.pieceBytes = 200;
            response.pieceIntervalMs = 100;
        }
        return response;
    });
    QtTransfer::Limits limits;
    limits.idleTimeoutMs = 300;
    Make(limits);

    for (const char* path : {"/silent", "/halfway"}) {
        SCOPED_TRACE(path);
        QElapsedTimer clock;
        clock.start();
        EXPECT_EQ(Fetch(server.urlString(path), 4000), kStateError);
        EXPECT_GE(clock.elapsed(), 250);
        EXPECT_FALSE(transfer->Busy());
    }
    EXPECT_EQ(FetchBody(server.urlString("/slow")), page);
}

TEST_F(QtTransferTest, BodyAboveTheCapFails) {
    const QByteArray zeros(200 * 1024, '\0');
    server.setHandler([&](const HttpRequest& r) {
        if (r.path == "/exact") return HttpResponse::ok(BinaryBody(4096));
        if (r.path == "/over") return HttpResponse::ok(BinaryBody(4097));
        if (r.path == "/gzip")
            return HttpResponse::ok(Gzip(zeros)).header("Content-Encoding", "gzip");
        HttpResponse unsized = HttpResponse::ok(BinaryBody(100 * 1024));
        unsized.contentLength = false;
        return unsized;
    });
    QtTransfer::Limits limits;
    limits.maxBodyBytes = 4096;
    Make(limits);

    EXPECT_EQ(FetchBody(server.urlString("/exact")), BinaryBody(4096));
    for (const char* path : {"/over", "/unsized", "/gzip"}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(Fetch(server.urlString(path)), kStateError);
        EXPECT_FALSE(transfer->Busy());
    }
}

TEST_F(QtTransferTest, RedirectsAreFollowedUpToTheLimit) {
    server.setHandler([](const HttpRequest& r) {
        if (r.path == "/old") return HttpResponse::redirect(302, "/new");
        if (r.path == "/loop") return HttpResponse::redirect(302, "/loop");
        return HttpResponse::ok("moved here");
    });
    Make();

    EXPECT_EQ(FetchBody(server.urlString("/old")), "moved here");
    ASSERT_EQ(server.requestCount(), 2u);
    EXPECT_EQ(server.requests()[1].path, "/new");

    EXPECT_EQ(Fetch(server.urlString("/loop")), kStateError);
    EXPECT_FALSE(transfer->Busy());
    EXPECT_EQ(server.requestCount(), 2u + 1u + 10u);  // the first try and ten redirects
}

TEST_F(QtTransferTest, EtagIsEchoedVerbatimAnd304ServesTheRememberedPage) {
    const QByteArray etag = R"(W/"v1 ; odd,tag")";
    QByteArray page = "first version";
    server.setHandler([&](const HttpRequest& r) {
        if (r.path == "/other") return HttpResponse::withStatus(304);
        if (r.hasHeader("If-None-Match")) return HttpResponse::withStatus(304);
        HttpResponse response = HttpResponse::ok(page);
        if (page == "first version") response.header("ETag", etag);
        return response;
    });
    Make();
    const std::string url = server.urlString("/page");

    EXPECT_EQ(FetchBody(url), "first version");
    EXPECT_FALSE(server.requests()[0].hasHeader("If-None-Match"));
    EXPECT_EQ(FetchBody(url), "first version");
    EXPECT_EQ(server.requests()[1].header("If-None-Match"), etag);

    // Another address has nothing remembered: no validators go out, and a 304 is a failure.
    EXPECT_EQ(Fetch(server.urlString("/other")), kStateError);
    EXPECT_FALSE(server.requests()[2].hasHeader("If-None-Match"));

    // The page changes and loses its tag: the next request still carries the old one, the
    // one after carries none.
    page = "second version";
    server.setHandler([&](const HttpRequest&) { return HttpResponse::ok(page); });
    EXPECT_EQ(FetchBody(url), "second version");
    EXPECT_EQ(server.requests()[3].header("If-None-Match"), etag);
    EXPECT_EQ(FetchBody(url), "second version");
    EXPECT_FALSE(server.requests()[4].hasHeader("If-None-Match"));
}

TEST_F(QtTransferTest, LastModifiedIsEchoedExactly) {
    const QByteArray stamp = "tuesday,  3-mar-98 1:2:3 gmt+0";
    server.setHandler([&](const HttpRequest& r) {
        if (r.header("If-Modified-Since") == stamp) return HttpResponse::withStatus(304);
        return HttpResponse::ok("dated page").header("Last-Modified", stamp);
    });
    Make();
    const std::string url = server.urlString("/dated");

    EXPECT_EQ(FetchBody(url), "dated page");
    EXPECT_EQ(FetchBody(url), "dated page");
    ASSERT_EQ(server.requestCount(), 2u);
    EXPECT_EQ(server.requests()[1].header("If-Modified-Since"), stamp);
    EXPECT_FALSE(server.requests()[1].hasHeader("If-None-Match"));
}

TEST_F(QtTransferTest, OneRequestAtATimeUntilTheBodyIsRead) {
    server.setHandler([](const HttpRequest&) {
        HttpResponse response = HttpResponse::ok(QByteArray(3000, 'x'));
        response.delayMs = 100;
        return response;
    });
    Make();
    const std::string url = server.urlString();

    Execute(url);
    Execute(url);
    EXPECT_TRUE(transfer->Busy());
    ASSERT_TRUE(SpinUntil([&] { return Finals() == 1; }));
    Execute(url);  // completed but unread
    Settle(300);
    EXPECT_EQ(server.requestCount(), 1u);
    EXPECT_EQ(Finals(), 1);

    // The notifier reads inside the handler and serves the event loop after each piece;
    // a poll falling due in between must be dropped, not mix a second answer in.
    QByteArray read;
    bool pollSent = false;
    transfer->StateChanged = [&](std::int16_t state) {
        states.push_back(state);
        if (state != kStateResponseCompleted) return;
        QTimer::singleShot(0, [&] {
            pollSent = true;
            transfer->Execute(url);
        });
        for (std::string piece = transfer->GetChunk(1024); !piece.empty();
             piece = transfer->GetChunk(1024)) {
            read.append(piece.data(), static_cast<qsizetype>(piece.size()));
            QCoreApplication::processEvents();
        }
    };
    EXPECT_EQ(ReadBody().size(), 3000);
    EXPECT_EQ(Fetch(url), kStateResponseCompleted);
    EXPECT_TRUE(pollSent);
    EXPECT_EQ(read, QByteArray(3000, 'x'));
    EXPECT_FALSE(transfer->Busy());
    Settle(300);
    EXPECT_EQ(server.requestCount(), 2u);
}

TEST_F(QtTransferTest, SendsUserAgentAndDecodesGzip) {
    const QByteArray text = QByteArray("<html>") + QByteArray(5000, 'a') + "</html>";
    server.setHandler([&](const HttpRequest&) {
        return HttpResponse::ok(Gzip(text)).header("Content-Encoding", "gzip");
    });
    Make();

    EXPECT_EQ(FetchBody(server.urlString()), text);
    const HttpRequest& request = server.requests().at(0);
    EXPECT_EQ(request.header("User-Agent"), QByteArray("Tavorin/" TAVORIN_VERSION));
    EXPECT_TRUE(request.header("Accept-Encoding").contains("gzip"));

    // Qt refuses on its own a page that inflates past 10 MB at a high ratio; under the cap
    // such a page is still wanted.
    const QByteArray big(12 * 1024 * 1024, ' ');
    const QByteArray packed = Gzip(big);
    server.setHandler([&](const HttpRequest&) {
        return HttpResponse::ok(packed).header("Content-Encoding", "gzip");
    });
    EXPECT_EQ(FetchBody(server.urlString()).size(), big.size());
}

TEST_F(QtTransferTest, LargeBodiesOfEveryStatusGetThroughTheBoundedReadBuffer) {
    // Bodies are read as they arrive: one the transfer does not want must still be drained,
    // or the reply would never finish.
    const QByteArray page = BinaryBody(3 * 1024 * 1024 + 11);
    const QByteArray filler(1024 * 1024, 'x');
    server.setHandler([&](const HttpRequest& r) {
        if (r.path == "/moved") {
            HttpResponse moved = HttpResponse::redirect(302, "/page");
            moved.body = filler;
            return moved;
        }
        if (r.path == "/broken") return HttpResponse::withStatus(500, filler);
        return HttpResponse::ok(page);
    });
    Make();
    EXPECT_EQ(FetchBody(server.urlString("/page")), page);
    EXPECT_EQ(FetchBody(server.urlString("/moved")), page);
    EXPECT_EQ(Fetch(server.urlString("/broken"), 3000), kStateError);
    EXPECT_FALSE(transfer->Busy());
}

TEST_F(QtTransferTest, HandlerFailureOrDestructionLeavesNothingBehind) {
    server.setHandler([](const HttpRequest& r) {
        return r.path == "/hang" ? HttpResponse::silent() : HttpResponse::ok("page");
    });
    Make();
    transfer->StateChanged = [&](std::int16_t state) {
        states.push_back(state);
        throw std::runtime_error("handler gave up");
    };
    EXPECT_EQ(Fetch(server.urlString()), kStateResponseCompleted);
    EXPECT_FALSE(transfer->Busy());

    // Destroyed while waiting for a server and while a failure waits for delivery.
    Make();
    Execute(server.urlString("/hang"));
    ASSERT_TRUE(SpinUntil([&] { return server.requestCount() == 2; }));
    transfer.reset();
    Make();
    Execute("");
    transfer.reset();
    Settle(200);
    EXPECT_EQ(states.size(), 1u);
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QCoreApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
