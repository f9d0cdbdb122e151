// The transfer (Inet1) against a local server: run for QtTransfer on Linux and for the Win32
// transfer under Wine; support/transfer_platform_*.cpp supply the platform's half.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/socket_http_server.h"
#include "support/transfer_platform.h"

using testsupport::Reply;
using testsupport::Request;
using testsupport::SocketHttpServer;
using transfer::BasicTransfer;
using transfer::Limits;

namespace {

std::string BinaryBody(std::size_t size) {
    std::string body(size, '\0');
    for (std::size_t i = 0; i < size; ++i) body[i] = static_cast<char>((i * 131 + i / 256) % 256);
    return body;
}

// gzip of data with fixed Huffman codes, runs of one byte as matches of 258 at distance 1:
// enough to make large, well-compressed bodies without a compression library.
std::string Gzip(const std::string& data) {
    std::string out = std::string("\x1f\x8b\x08\0\0\0\0\0\0\x03", 10);
    std::uint32_t bits = 0;
    int count = 0;
    auto put = [&](std::uint32_t value, int n) {
        bits |= value << count;
        for (count += n; count >= 8; count -= 8, bits >>= 8) out += static_cast<char>(bits & 0xFF);
    };
    auto code = [&](std::uint32_t value, int n) {  // Huffman codes go most significant bit first
        std::uint32_t reversed = 0;
        for (int i = 0; i < n; ++i) reversed |= ((value >> i) & 1u) << (n - 1 - i);
        put(reversed, n);
    };
    put(1, 1);  // last block
    put(1, 2);  // fixed codes
    for (std::size_t i = 0; i < data.size();) {
        const auto byte = static_cast<unsigned char>(data[i]);
        byte < 144 ? code(0x30u + byte, 8) : code(0x190u + (byte - 144u), 9);
        std::size_t j = i + 1;
        while (j + 258 <= data.size() && data.compare(j, 258, std::string(258, data[i])) == 0) {
            code(0xC5, 8);  // length 258
            code(0, 5);     // distance 1
            j += 258;
        }
        i = j;
    }
    code(0, 7);  // end of block
    if (count > 0) out += static_cast<char>(bits & 0xFF);
    std::uint32_t crc = 0xFFFFFFFFu;
    for (const char c : data) {
        crc ^= static_cast<unsigned char>(c);
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    for (const std::uint32_t v : {~crc, static_cast<std::uint32_t>(data.size())})
        for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
    return out;
}

// The page gzipped for a client that asked for it, as a server does.
Reply MaybeGzipped(const Request& request, const std::string& page) {
    if (request.header("Accept-Encoding").find("gzip") == std::string::npos) return Reply::ok(page);
    return Reply::ok(Gzip(page)).header("Content-Encoding", "gzip");
}

using Clock = std::chrono::steady_clock;
long long MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

class TransferTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(server.listen()); }

    BasicTransfer& Make(Limits limits = {}) {
        transfer = testsupport::MakeTransfer(limits);
        transfer->StateChanged = [this](std::int16_t state) { Handle(state); };
        return *transfer;
    }

    // As the notifier does: the body is read in pieces while state 12 is handled.
    void Handle(std::int16_t state) {
        states.push_back(state);
        if (insideExecute) calledFromExecute = true;
        if (state != kStateResponseCompleted) return;
        std::string body;
        for (int pieces = 0; pieces != readPieces; ++pieces) {
            const std::string piece = transfer->GetChunk(1024);
            EXPECT_LE(piece.size(), 1024u);
            if (piece.empty()) break;
            body += piece;
        }
        bodies.push_back(body);
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
        if (!testsupport::Serve([&] { return Finals() > before; }, guardMs)) return 0;
        EXPECT_FALSE(transfer->Busy());
        return states.back();
    }

    std::string FetchBody(const std::string& url, int guardMs = 5000) {
        const std::size_t before = bodies.size();
        EXPECT_EQ(Fetch(url, guardMs), kStateResponseCompleted);
        return bodies.size() > before ? bodies.back() : "(no body)";
    }

    void Settle(int ms) {
        const auto start = Clock::now();
        testsupport::Serve([&] { return MsSince(start) >= ms; }, ms + 1000);
    }

    SocketHttpServer server;
    std::unique_ptr<BasicTransfer> transfer;
    std::vector<std::int16_t> states;
    std::vector<std::string> bodies;
    int readPieces = -1;  // pieces the handler reads before giving up; -1: all of them
    bool insideExecute = false;
    bool calledFromExecute = false;
};

TEST_F(TransferTest, BinaryBodyComesInPiecesOfAtMost1024Bytes) {
    const std::string page = BinaryBody(10 * 1024 + 37);
    server.setHandler([&](const Request&) { return Reply::ok(page); });
    Make();

    EXPECT_EQ(FetchBody(server.url("/page")), page);
    EXPECT_EQ(transfer->GetChunk(1024), "");
    EXPECT_EQ(server.requests().at(0).method, "GET");
    EXPECT_EQ(server.requests().at(0).path, "/page");
}

TEST_F(TransferTest, OutcomeArrivesLaterEvenForUnusableAddresses) {
    server.setHandler([](const Request&) { return Reply::ok("fine"); });
    Make();
    EXPECT_EQ(FetchBody(server.url()), "fine");

    for (const std::string url : {"", "abc", "ftp://127.0.0.1/file", "http://", "http://[::1"}) {
        SCOPED_TRACE(url);
        EXPECT_EQ(Fetch(url), kStateError);
    }
    EXPECT_EQ(server.requestCount(), 1u);
}

TEST_F(TransferTest, FailuresEndIdleWithoutBody) {
    server.setHandler([](const Request& r) {
        return Reply::withStatus(r.path == "/missing" ? 404 : 500, "error page");
    });
    Make();
    for (const char* path : {"/missing", "/broken"}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(Fetch(server.url(path)), kStateError);
        EXPECT_EQ(transfer->GetChunk(1024), "");
    }

    std::string refused;
    {
        SocketHttpServer closed;
        ASSERT_TRUE(closed.listen());
        refused = closed.url();
    }
    EXPECT_EQ(Fetch(refused), kStateError);
    EXPECT_TRUE(bodies.empty());
}

TEST_F(TransferTest, IdleAndTotalTimeoutsEndStalledAndTricklingTransfers) {
    const std::string page = BinaryBody(2000);
    server.setHandler([&](const Request& r) {
        Reply reply = Reply::ok(page);
        if (r.path == "/silent") reply.stallAfter = 0;
        if (r.path == "/halfway") reply.stallAfter = 700;
        if (r.path == "/slow") {
            // Takes about 0.6 s in all, never pausing as long as the idle time-out.
            reply.pieceBytes = 200;
            reply.pieceIntervalMs = 60;
        }
        if (r.path == "/trickle") {
            // Never idle for long, but never done either.
            reply.pieceBytes = 1;
            reply.pieceIntervalMs = 100;
        }
        return reply;
    });
    Limits limits;
    limits.idleTimeoutMs = 400;
    limits.totalTimeoutMs = 1200;
    Make(limits);

    for (const char* path : {"/silent", "/halfway", "/trickle"}) {
        SCOPED_TRACE(path);
        const auto start = Clock::now();
        EXPECT_EQ(Fetch(server.url(path), 5000), kStateError);
        const auto took = MsSince(start);
        EXPECT_GE(took, std::string(path) == "/trickle" ? 1100 : 350);
        EXPECT_LT(took, 3000);
    }
    EXPECT_EQ(FetchBody(server.url("/slow")), page);
}

TEST_F(TransferTest, BrokenAnswersFailAtOnce) {
    server.setHandler([](const Request& r) {
        if (r.path == "/headers") {
            Reply reply = Reply::ok("page");
            for (int i = 0; i < 10000; ++i)
                reply.header("X-Filler-" + std::to_string(i), "some value");
            return reply;
        }
        if (r.path == "/badgzip-late") {
            // More than a read buffer of stored blocks, then a block of a type that does not
            // exist.
            std::string body("\x1f\x8b\x08\0\0\0\0\0\0\x03", 10);
            for (int block = 0; block < 10; ++block)
                body += std::string("\0\xff\xff\0\0", 5) + BinaryBody(0xFFFF);
            return Reply::ok(body + "\x07" + std::string(1000, 'x'))
                .header("Content-Encoding", "gzip");
        }
        // A gzip header, then a block of a type that does not exist.
        return Reply::ok(std::string("\x1f\x8b\x08\0\0\0\0\0\0\x03\xff\xff\xff\xff", 14) +
                         std::string(1000, 'x'))
            .header("Content-Encoding", "gzip");
    });
    Limits limits;
    // Well apart from the idle time-out, so a loaded machine cannot blur the two.
    limits.idleTimeoutMs = 30000;
    Make(limits);
    for (const char* path : {"/headers", "/badgzip", "/badgzip-late"}) {
        SCOPED_TRACE(path);
        if (std::string(path) != "/headers" && !testsupport::DecodesGzip()) continue;
        if (std::string(path) == "/headers" && !testsupport::BoundsResponseHead()) continue;
        const auto start = Clock::now();
        EXPECT_EQ(Fetch(server.url(path), 40000), kStateError);
        EXPECT_LT(MsSince(start), 15000);
    }
}

TEST_F(TransferTest, BodyAboveTheCapFails) {
    const std::string zeros(200 * 1024, '\0');
    server.setHandler([&](const Request& r) {
        if (r.path == "/exact") return Reply::ok(BinaryBody(4096));
        if (r.path == "/over") return Reply::ok(BinaryBody(4097));
        if (r.path == "/gzip") return MaybeGzipped(r, zeros);
        Reply unsized = Reply::ok(BinaryBody(100 * 1024));
        unsized.contentLength = false;
        return unsized;
    });
    Limits limits;
    limits.maxBodyBytes = 4096;
    Make(limits);

    EXPECT_EQ(FetchBody(server.url("/exact")), BinaryBody(4096));
    for (const char* path : {"/over", "/unsized", "/gzip"}) {
        SCOPED_TRACE(path);
        EXPECT_EQ(Fetch(server.url(path)), kStateError);
    }
}

TEST_F(TransferTest, RedirectsAreFollowedUpToTheLimit) {
    server.setHandler([](const Request& r) {
        if (r.path == "/old") return Reply::redirect(302, "/new");
        if (r.path == "/loop") return Reply::redirect(302, "/loop");
        if (r.path == "/away") return Reply::redirect(301, "file:///etc/passwd");
        return Reply::ok("moved here");
    });
    Make();

    EXPECT_EQ(FetchBody(server.url("/old")), "moved here");
    ASSERT_EQ(server.requestCount(), 2u);
    EXPECT_EQ(server.requests()[1].path, "/new");

    EXPECT_EQ(Fetch(server.url("/loop")), kStateError);
    EXPECT_EQ(server.requestCount(), 2u + 1u + 10u);  // the first try and ten redirects
    EXPECT_EQ(Fetch(server.url("/away")), kStateError);
    EXPECT_EQ(server.requestCount(), 2u + 11u + 1u);
}

TEST_F(TransferTest, RedirectAndAddressRules) {
    const Limits limits;
    EXPECT_EQ(transfer::RedirectRefusal("https://a/", "http://a/", 0, limits),
              "redirect from https to http");
    EXPECT_EQ(transfer::RedirectRefusal("HTTPS://a/", "HTTP://a/x", 0, limits),
              "redirect from https to http");
    EXPECT_EQ(transfer::RedirectRefusal("http://a/", "https://b/", 9, limits), "");
    EXPECT_EQ(transfer::RedirectRefusal("http://a/", "https://b/", 10, limits),
              "more than 10 redirects");
    for (const char* bad : {"ftp://a/", "file:///c", "data:,x", "http:/a", "http://:80/", "//a"})
        EXPECT_FALSE(transfer::Usable(bad)) << bad;
    for (const char* good : {"http://a", "HTTPS://u@h:1/p?q#f", "http://[::1]:8/"})
        EXPECT_TRUE(transfer::Usable(good)) << good;
}

TEST_F(TransferTest, EtagIsEchoedVerbatimAnd304ServesTheRememberedPage) {
    const std::string etag = R"(W/"v1 ; odd,tag")";
    std::string page = "first version";
    server.setHandler([&](const Request& r) {
        if (r.path == "/other") return Reply::withStatus(304);
        if (r.has("If-None-Match")) return Reply::withStatus(304);
        Reply reply = Reply::ok(page);
        if (page == "first version") reply.header("ETag", etag);
        return reply;
    });
    Make();
    const std::string url = server.url("/page");

    EXPECT_EQ(FetchBody(url), "first version");
    EXPECT_FALSE(server.requests()[0].has("If-None-Match"));
    EXPECT_EQ(FetchBody(url), "first version");
    EXPECT_EQ(server.requests()[1].header("If-None-Match"), etag);

    // Another address has nothing remembered: no validators go out, and a 304 is a failure.
    EXPECT_EQ(Fetch(server.url("/other")), kStateError);
    EXPECT_FALSE(server.requests()[2].has("If-None-Match"));

    // The page changes and loses its tag: the next request still carries the old one, the
    // one after carries none.
    page = "second version";
    server.setHandler([&](const Request&) { return Reply::ok(page); });
    EXPECT_EQ(FetchBody(url), "second version");
    EXPECT_EQ(server.requests()[3].header("If-None-Match"), etag);
    EXPECT_EQ(FetchBody(url), "second version");
    EXPECT_FALSE(server.requests()[4].has("If-None-Match"));
}

TEST_F(TransferTest, A304RefreshesTheValidatorsItCarries) {
    // A new tag and date on every answer, 304 included; only the last ones sent validate.
    int answers = 0;
    server.setHandler([&](const Request& r) {
        const std::string last = "\"r" + std::to_string(answers) + "\"";
        const std::string date = "Mon, 0" + std::to_string(answers) + " Jun 2008 10:00:00 GMT";
        ++answers;
        const std::string tag = "\"r" + std::to_string(answers) + "\"";
        const std::string stamp = "Mon, 0" + std::to_string(answers) + " Jun 2008 10:00:00 GMT";
        Reply reply = r.header("If-None-Match") == last && r.header("If-Modified-Since") == date
                          ? Reply::withStatus(304)
                          : Reply::ok("the page");
        return reply.header("ETag", tag).header("Last-Modified", stamp);
    });
    Make();
    for (int poll = 0; poll < 4; ++poll) EXPECT_EQ(FetchBody(server.url("/page")), "the page");
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[2].header("If-None-Match"), "\"r2\"");
    EXPECT_EQ(requests[3].header("If-Modified-Since"), "Mon, 03 Jun 2008 10:00:00 GMT");
}

TEST_F(TransferTest, LastModifiedIsEchoedExactly) {
    const std::string stamp = "tuesday,  3-mar-98 1:2:3 gmt+0";
    server.setHandler([&](const Request& r) {
        if (r.header("If-Modified-Since") == stamp) return Reply::withStatus(304);
        return Reply::ok("dated page").header("Last-Modified", stamp);
    });
    Make();
    const std::string url = server.url("/dated");

    EXPECT_EQ(FetchBody(url), "dated page");
    EXPECT_EQ(FetchBody(url), "dated page");
    ASSERT_EQ(server.requestCount(), 2u);
    EXPECT_EQ(server.requests()[1].header("If-Modified-Since"), stamp);
    EXPECT_FALSE(server.requests()[1].has("If-None-Match"));
}

TEST_F(TransferTest, OneRequestAtATimeAndReadyAgainAfterTheHandler) {
    server.setHandler([](const Request&) {
        Reply reply = Reply::ok(std::string(3000, 'x'));
        reply.delayMs = 100;
        return reply;
    });
    Make();
    const std::string url = server.url();

    Execute(url);
    Execute(url);
    EXPECT_TRUE(transfer->Busy());
    ASSERT_TRUE(testsupport::Serve([&] { return Finals() == 1; }, 5000));
    EXPECT_EQ(server.requestCount(), 1u);

    // The notifier reads inside the handler and serves the event loop after each piece;
    // a poll falling due in between must be dropped, not mix a second answer in.
    bool pollSent = false;
    transfer->StateChanged = [&](std::int16_t state) {
        testsupport::Later([&] {
            pollSent = true;
            transfer->Execute(url);
        });
        Handle(state);
        testsupport::Serve([&] { return pollSent; }, 1000);
        EXPECT_TRUE(transfer->Busy());
    };
    EXPECT_EQ(FetchBody(url), std::string(3000, 'x'));
    EXPECT_TRUE(pollSent);
    Settle(300);
    EXPECT_EQ(server.requestCount(), 2u);

    // A handler that gives up reading (a failed read) leaves the transfer ready for the next.
    transfer->StateChanged = [this](std::int16_t state) { Handle(state); };
    readPieces = 1;
    EXPECT_EQ(FetchBody(url), std::string(1024, 'x'));
    readPieces = -1;
    EXPECT_EQ(FetchBody(url), std::string(3000, 'x'));
    EXPECT_EQ(server.requestCount(), 4u);
}

TEST_F(TransferTest, SendsUserAgentAndDecodesGzip) {
    const std::string text = "<html>" + std::string(5000, 'a') + "</html>";
    server.setHandler([&](const Request& r) { return MaybeGzipped(r, text); });
    Make();

    EXPECT_EQ(FetchBody(server.url()), text);
    const Request request = server.requests().at(0);
    EXPECT_EQ(request.header("User-Agent"), "Tavorin/" TAVORIN_VERSION);
    EXPECT_EQ(request.header("Accept-Encoding").find("gzip") != std::string::npos,
              testsupport::DecodesGzip());

    // A page inflating past 10 MB at a high ratio is still wanted under the cap.
    if (!testsupport::DecodesGzip()) return;
    const std::string big(12 * 1024 * 1024, ' ');
    server.setHandler([&](const Request& r) { return MaybeGzipped(r, big); });
    EXPECT_EQ(FetchBody(server.url(), 30000).size(), big.size());
}

TEST_F(TransferTest, LargeBodiesOfEveryStatusAreDrained) {
    // A body the transfer does not want must still be drained, or the answer never ends.
    const std::string page = BinaryBody(1024 * 1024 + 11);  // four times the Qt read buffer
    const std::string filler(512 * 1024, 'x');
    server.setHandler([&](const Request& r) {
        if (r.path == "/moved") {
            Reply moved = Reply::redirect(302, "/page");
            moved.body = filler;
            return moved;
        }
        if (r.path == "/broken") return Reply::withStatus(500, filler);
        return Reply::ok(page);
    });
    Make();
    EXPECT_EQ(FetchBody(server.url("/page")), page);
    EXPECT_EQ(FetchBody(server.url("/moved")), page);
    EXPECT_EQ(Fetch(server.url("/broken")), kStateError);
}

// A platform that never reports a hop's end: its report was lost (a full message queue).
struct LosingTransfer final : BasicTransfer {
    LosingTransfer() : BasicTransfer(Limits{}) {}
    ~LosingTransfer() override { Shutdown(); }
    void Send(const transfer::Hop&) override { ++sent; }
    void Drop() override {}
    void Post(std::function<void()>) override {}
    void Warn(const std::string&) override {}
    void ArmDeadline(int ms) override { armedMs = ms; }
    using BasicTransfer::DeadlinePassed;
    int sent = 0, armedMs = 0;
};

TEST(TransferDeadline, ALostReportEndsTheRequestAtItsDeadlineAndPollingGoesOn) {
    LosingTransfer transfer;
    std::vector<std::int16_t> states;
    transfer.StateChanged = [&](std::int16_t state) { states.push_back(state); };
    transfer.Execute("http://h/p");
    EXPECT_EQ(transfer.armedMs, Limits{}.totalTimeoutMs + Limits{}.reportGraceMs);
    transfer.DeadlinePassed();  // the platform's timer
    EXPECT_EQ(states, std::vector<std::int16_t>{kStateError});
    transfer.Execute("http://h/p");
    EXPECT_EQ(transfer.sent, 2);
}

TEST_F(TransferTest, HandlerFailureOrDestructionLeavesNothingBehind) {
    server.setHandler(
        [](const Request& r) { return r.path == "/hang" ? Reply::silent() : Reply::ok("page"); });
    Make();
    transfer->StateChanged = [&](std::int16_t state) {
        states.push_back(state);
        throw std::runtime_error("handler gave up");
    };
    EXPECT_EQ(Fetch(server.url()), kStateResponseCompleted);

    // Destroyed while waiting for a server and while a failure waits for delivery.
    Make();
    Execute(server.url("/hang"));
    ASSERT_TRUE(testsupport::Serve([&] { return server.requestCount() == 2; }, 5000));
    transfer.reset();
    Make();
    Execute("");
    transfer.reset();
    Settle(200);
    EXPECT_EQ(states.size(), 1u);
}

}  // namespace
