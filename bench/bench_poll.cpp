// Costs of polling with the program's own pieces (frmMenu's read loop on QtTransfer):
//   bench_poll wire [KB]          bytes per unchanged poll against each kind of server
//   bench_poll cpu [polls]        CPU time per unchanged poll, server in a child process
//   bench_poll stall [MB] [runs]  longest event-loop gap while a large body is read
//   bench_poll serve KIND BYTES   (used by the others) a server alone, printing its port
#include <time.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLocale>
#include <QProcess>
#include <QTimeZone>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "bench/apache_server.h"
#include "notifier/frmMenu.h"
#include "platform/qt/qt_desktop.h"
#include "platform/qt/qt_notifier_window.h"
#include "platform/qt/qt_transfer.h"
#include "platform/qt/qt_tray.h"
#include "support/local_http_server.h"

using testsupport::HttpRequest;
using testsupport::HttpResponse;
using testsupport::LocalHttpServer;

namespace {

// RFC 1123 form, and the same instant in the obsolete RFC 850 form that only an exact
// echo matches.
const QByteArray kLastModified = "Tue, 03 Jun 2008 11:05:30 GMT";
const QByteArray kLastModifiedOdd = "Tuesday, 03-Jun-08 11:05:30 GMT";

// The RFC 1123 form only, as a server compares dates rather than strings.
QDateTime HttpDate(const QByteArray& text) {
    QDateTime date = QLocale::c().toDateTime(QString::fromLatin1(text),
                                             QStringLiteral("ddd, dd MMM yyyy HH:mm:ss 'GMT'"));
    date.setTimeZone(QTimeZone::utc());
    return date;
}

QByteArray Page(qsizetype bytes) {
    QByteArray body = "<html><body>";
    while (body.size() < bytes - 15)
        body += "News of the day, line " + QByteArray::number(body.size()) + "<br>\n";
    body.resize(bytes - 15, ' ');
    return body + "</body></html>\n";
}

// One kind of server; every answer carries the same body.
LocalHttpServer::Handler Handler(const QString& kind, QByteArray body) {
    auto answers = std::make_shared<int>(0);
    return [kind, body, answers](const HttpRequest& request) {
        ++*answers;
        if (kind == "etag") {
            if (request.header("If-None-Match") == "\"v1\"")
                return HttpResponse::withStatus(304).header("ETag", "\"v1\"");
            return HttpResponse::ok(body).header("ETag", "\"v1\"");
        }
        if (kind == "lastmod") {
            const QDateTime since = HttpDate(request.header("If-Modified-Since"));
            if (since.isValid() && since >= HttpDate(kLastModified))
                return HttpResponse::withStatus(304).header("Last-Modified", kLastModified);
            return HttpResponse::ok(body).header("Last-Modified", kLastModified);
        }
        if (kind == "lastmod-exact") {
            if (request.header("If-Modified-Since") == kLastModifiedOdd)
                return HttpResponse::withStatus(304).header("Last-Modified", kLastModifiedOdd);
            return HttpResponse::ok(body).header("Last-Modified", kLastModifiedOdd);
        }
        if (kind == "etag-changing") {
            // A new tag on every answer (as from a server farm), the same body.
            const QByteArray tag = "\"n" + QByteArray::number(*answers) + "\"";
            return HttpResponse::ok(body).header("ETag", tag);
        }
        if (kind == "etag-rotating") {
            // A new tag on every answer, 304 included; only the last one sent validates.
            const QByteArray last = "\"r" + QByteArray::number(*answers - 1) + "\"";
            const QByteArray tag = "\"r" + QByteArray::number(*answers) + "\"";
            if (request.header("If-None-Match") == last)
                return HttpResponse::withStatus(304).header("ETag", tag);
            return HttpResponse::ok(body).header("ETag", tag);
        }
        return HttpResponse::ok(body);  // "plain": no validators
    };
}

double ProcessCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// Only counts: an unchanged poll must never navigate.
class CountingBrowser final : public IBrowser {
  public:
    void Navigate(const std::string&) override { ++navigations; }
    void Move(int, int, int, int) override {}
    void AttachDocument(bool) override {}
    int navigations = 0;
};

// Polls go out when the bench says so, not every ten seconds.
class NoTimer final : public ITimer {
  public:
    void Start(int) override {}
};

// The notification window's logic on the real Qt pieces, polling on demand.
class Poller {
  public:
    Poller(const std::string& url, std::string lastText)
        : window_(),
          tray_(&window_, nullptr),
          fileSystem_(MakeFileSystem()),
          userKeys_(MakeUserKeyStore()),
          form_(settings_, {window_, browser_, inet_, timer_, tray_, menu_, messageBox_, shell_,
                            *fileSystem_, desktop_, *userKeys_}) {
        settings_.ScanTicks = 0;  // every tick polls
        form_.PageUrl = url;
        form_.LastPageText = std::move(lastText);
        auto logic = inet_.StateChanged;
        inet_.StateChanged = [this, logic](std::int16_t state) {
            if (Phase) Phase(true);
            if (state == kStateResponseCompleted) readStart_.start();
            logic(state);
            if (Phase) Phase(false);
            if (state == kStateResponseCompleted)
                lastReadMs = double(readStart_.nsecsElapsed()) / 1e6;
            lastState = state;
            loop_.quit();
        };
    }

    // One poll as a timer tick issues it, until its outcome has been handled.
    bool Poll() {
        lastState = 0;
        QTimer guard;
        guard.setSingleShot(true);
        QObject::connect(&guard, &QTimer::timeout, &loop_, &QEventLoop::quit);
        guard.start(30000);
        form_.Timer1_Timer();
        loop_.exec();
        return lastState == kStateResponseCompleted;
    }

    int navigations() const { return browser_.navigations; }
    // Called as the transfer's state change handling begins (true) and ends (false).
    std::function<void(bool)> Phase;
    std::int16_t lastState = 0;
    double lastReadMs = 0;

  private:
    SharedSettings settings_;
    QtNotifierWindow window_;
    CountingBrowser browser_;
    QtTransfer inet_;
    NoTimer timer_;
    QtTray tray_;
    QtPopupMenu menu_;
    QtMessageBox messageBox_;
    QtDesktop desktop_;
    QtShell shell_{[](int) {}};
    std::unique_ptr<IFileSystem> fileSystem_;
    std::unique_ptr<IUserKeyStore> userKeys_;
    frmMenu form_;
    QEventLoop loop_;
    QElapsedTimer readStart_;
};

// A server of that kind in a process of its own, so that its work is not counted.
class ChildServer {
  public:
    ChildServer(const QString& kind, qsizetype bytes) {
        process_.setProgram(QCoreApplication::applicationFilePath());
        process_.setArguments({"serve", kind, QString::number(bytes)});
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start();
        if (process_.waitForReadyRead(10000)) port_ = process_.readLine().trimmed().toInt();
    }
    ~ChildServer() {
        process_.kill();
        process_.waitForFinished(5000);
    }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/info"; }
    bool ok() const { return port_ > 0; }

  private:
    QProcess process_;
    int port_ = 0;
};

int Serve(const QString& kind, qsizetype bytes) {
    LocalHttpServer server(Handler(kind, Page(bytes)));
    if (!server.listen()) return 1;
    std::printf("%d\n", server.port());
    std::fflush(stdout);
    return QCoreApplication::exec();
}

int Wire(qsizetype bytes) {
    const int polls = 5;
    std::printf(
        "Bytes on the wire per unchanged poll of a %lld-byte page (%d polls after the "
        "first, request + response)\n",
        static_cast<long long>(bytes), polls);
    std::printf("%-15s %10s %10s %10s  %s\n", "server", "request", "response", "total", "status");
    for (const char* kind :
         {"etag", "lastmod", "lastmod-exact", "etag-changing", "etag-rotating"}) {
        const QByteArray body = Page(bytes);
        LocalHttpServer server(Handler(kind, body));
        if (!server.listen()) return 1;
        Poller poller(server.urlString("/info"), body.toStdString());
        if (!poller.Poll()) return 1;
        const qint64 sent = server.bytesSent(), received = server.bytesReceived();
        for (int i = 0; i < polls; ++i)
            if (!poller.Poll()) return 1;
        const double request = double(server.bytesReceived() - received) / polls;
        const double response = double(server.bytesSent() - sent) / polls;
        std::printf("%-15s %10.0f %10.0f %10.0f  %s%s\n", kind, request, response,
                    request + response,
                    response < 4096            ? "304"
                    : response < double(bytes) ? "some 200 with the whole body"
                                               : "200 with the whole body",
                    poller.navigations() ? "  (NOTIFIED: wrong)" : "");
    }
    // Debian's Apache with its compression on, counted from its own log.
    for (const char* filter : {"DEFLATE", "BROTLI_COMPRESS"}) {
        const char* kind = filter[0] == 'D' ? "apache-deflate" : "apache-brotli";
        const QByteArray body = Page(bytes);
        ApacheServer server(filter, body);
        if (!server.ok()) {
            std::printf("%-15s not run: %s cannot start\n", kind, ApacheServer::kBinary);
            continue;
        }
        Poller poller(server.url(), body.toStdString());
        for (int i = 0; i <= polls; ++i)
            if (!poller.Poll()) return 1;
        const std::vector<ApacheServer::Answer> answers = server.Log(polls + 1);
        if (answers.size() != std::size_t(polls) + 1) return 1;
        double request = 0, response = 0;
        for (int i = 1; i <= polls; ++i) {
            request += double(answers[i].in) / polls;
            response += double(answers[i].out) / polls;
        }
        std::printf("%-15s %10.0f %10.0f %10.0f  %d (first answer %d, %lld bytes, ETag %s)%s\n",
                    kind, request, response, request + response, answers[polls].status,
                    answers[0].status, static_cast<long long>(answers[0].out),
                    answers[0].etag.constData(), poller.navigations() ? "  (NOTIFIED: wrong)" : "");
    }
    return 0;
}

int Cpu(int polls) {
    std::printf(
        "CPU time of this process per unchanged poll (server in a child process), "
        "%d polls after 5 to warm up\n",
        polls);
    std::printf("%-7s %-9s %12s %12s %12s\n", "page", "answer", "cpu ms/poll", "wall ms/poll",
                "read ms/poll");
    for (qsizetype bytes : {qsizetype(10 * 1024), qsizetype(100 * 1024), qsizetype(1024 * 1024)}) {
        for (const char* kind : {"etag", "plain"}) {
            ChildServer server(kind, bytes);
            if (!server.ok()) return 1;
            Poller poller(server.url(), Page(bytes).toStdString());
            for (int i = 0; i < 5; ++i)
                if (!poller.Poll()) return 1;
            double reading = 0;
            QElapsedTimer wall;
            wall.start();
            const double cpu = ProcessCpuMs();
            for (int i = 0; i < polls; ++i) {
                if (!poller.Poll()) return 1;
                reading += poller.lastReadMs;
            }
            const double used = ProcessCpuMs() - cpu;
            std::printf("%-7s %-9s %12.3f %12.3f %12.3f%s\n",
                        (std::to_string(bytes / 1024) + "K").c_str(),
                        std::string(kind) == "etag" ? "304" : "200", used / polls,
                        double(wall.nsecsElapsed()) / 1e6 / polls, reading / polls,
                        poller.navigations() ? "  (NOTIFIED: wrong)" : "");
        }
    }
    return 0;
}

double ThreadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// One series of polls; cold gives the memory back to the system before each poll, as the
// program does whenever its window hides, so that the buffers start on fresh pages.
int StallSeries(Poller& poller, int runs, bool cold) {
    std::printf("\n%s: memory %s before each poll\n", cold ? "cold" : "warm",
                cold ? "given back (malloc_trim)" : "kept by the allocator");
    std::printf("%-4s %14s %14s %14s %14s %6s %6s\n", "run", "longest", "transfer", "read loop",
                "compare", "poll", "read");
    std::vector<double> worst, worstCpu;
    for (int run = 0; run < runs; ++run) {
#ifdef __GLIBC__
        if (cold) malloc_trim(0);
#endif
        // Gaps by where they end: before the body is read (the transfer), between two pieces
        // (the read loop), after the last piece (compare and keep the text).
        struct Gap {
            double wall = 0, cpu = 0;
        } longest[3];
        int phase = 0;
        QElapsedTimer clock;
        clock.start();
        qint64 last = clock.nsecsElapsed();
        double lastCpu = ThreadCpuMs();
        auto tick = [&](int bucket) {
            const qint64 now = clock.nsecsElapsed();
            const double cpu = ThreadCpuMs();
            if (double(now - last) / 1e6 > longest[bucket].wall)
                longest[bucket] = {double(now - last) / 1e6, cpu - lastCpu};
            last = now;
            lastCpu = cpu;
        };
        QTimer probe;
        probe.setTimerType(Qt::PreciseTimer);
        QObject::connect(&probe, &QTimer::timeout, [&] { tick(phase); });
        poller.Phase = [&](bool begin) {
            tick(begin ? 0 : 2);
            phase = begin ? 1 : 2;
        };
        probe.start(2);
        const bool ok = poller.Poll();
        probe.stop();
        poller.Phase = nullptr;
        if (!ok) return 1;
        const Gap* top =
            std::max_element(std::begin(longest), std::end(longest),
                             [](const Gap& a, const Gap& b) { return a.wall < b.wall; });
        worst.push_back(top->wall);
        worstCpu.push_back(top->cpu);
        auto cell = [](const Gap& g) {
            char text[32];
            std::snprintf(text, sizeof text, "%.1f (%.1f)", g.wall, g.cpu);
            return std::string(text);
        };
        std::printf("%-4d %14s %14s %14s %14s %6.0f %6.0f\n", run + 1, cell(*top).c_str(),
                    cell(longest[0]).c_str(), cell(longest[1]).c_str(), cell(longest[2]).c_str(),
                    double(clock.nsecsElapsed()) / 1e6, poller.lastReadMs);
    }
    std::vector<double> sorted = worst;
    std::sort(sorted.begin(), sorted.end());
    std::sort(worstCpu.begin(), worstCpu.end());
    std::printf(
        "longest gap: median %.1f ms, min %.1f, max %.1f over %d runs; CPU the GUI "
        "thread used in it: median %.1f ms, max %.1f\n",
        sorted[sorted.size() / 2], sorted.front(), sorted.back(), runs,
        worstCpu[worstCpu.size() / 2], worstCpu.back());
    return 0;
}

int Stall(qsizetype bytes, int runs) {
    std::printf(
        "Longest gap between ticks of a 2 ms timer during one poll of a %lld-byte page "
        "answered 200 (server in a child process).\n"
        "In ms, with the CPU time the GUI thread itself used during that gap: a gap far "
        "longer than its CPU time is the thread waiting for a core, not working.\n",
        static_cast<long long>(bytes));
    ChildServer server("plain", bytes);
    if (!server.ok()) return 1;
    Poller poller(server.url(), Page(bytes).toStdString());
    if (!poller.Poll()) return 1;  // connection and first buffers
    return StallSeries(poller, runs, true) || StallSeries(poller, runs, false);
}

void SetDefaultEnv(const char* name, const char* value) {
    if (!qEnvironmentVariableIsSet(name)) qputenv(name, value);
}

}  // namespace

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "serve" && argc > 3) {
        QCoreApplication app(argc, argv);
        return Serve(QString::fromLocal8Bit(argv[2]), std::atoll(argv[3]));
    }
    // As the program starts, but needing no display.
    SetDefaultEnv("QT_XCB_GL_INTEGRATION", "none");
    if (!qEnvironmentVariableIsSet("DISPLAY")) SetDefaultEnv("QT_QPA_PLATFORM", "offscreen");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    const long arg = argc > 2 ? std::atol(argv[2]) : 0;
    if (mode == "wire") return Wire(arg > 0 ? arg * 1024 : 1024 * 1024);
    if (mode == "cpu") return Cpu(arg > 0 ? int(arg) : 100);
    if (mode == "stall")
        return Stall(arg > 0 ? arg * 1024 * 1024 : 10 * 1024 * 1024,
                     argc > 3 ? std::max(1, std::atoi(argv[3])) : 11);
    std::fprintf(stderr, "usage: %s wire [KB] | cpu [polls] | stall [MB] [runs]\n", argv[0]);
    return 2;
}
