// The browser against hostile pages from a local server: dialogs, bodies shown as
// downloaded, and the watchdog on the page's renderer.
#include <gtest/gtest.h>

#include <QApplication>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QWidget>
#include <memory>
#include <string>

#include "platform/qt/qt_browser.h"
#include "support/event_loop.h"
#include "support/local_http_server.h"

using testsupport::HttpRequest;
using testsupport::HttpResponse;
using testsupport::LocalHttpServer;
using testsupport::SpinUntil;

namespace {

class BrowserTest : public ::testing::Test {
  protected:
    void SetUp() override {
        host = std::make_unique<QWidget>();
        host->resize(400, 300);
        host->show();
        browser = new QtBrowser(host.get());
        browser->Move(0, 0, 6000, 4500);
        ASSERT_TRUE(server.listen());
    }
    int RequestsFor(const QByteArray& path) const {
        int count = 0;
        for (const HttpRequest& request : server.requests()) count += request.path == path;
        return count;
    }
    QString Title() const { return browser->view() ? browser->view()->title() : QString(); }

    LocalHttpServer server{[](const HttpRequest& request) {
        if (request.path == "/pic.png") {
            // The smallest GIF: one transparent pixel.
            return HttpResponse::ok(QByteArray::fromBase64(
                                        "R0lGODlhAQABAIAAAAAAAP///yH5BAEAAAAALAAAAAABAAEAAAIBRAA7"))
                .header("Content-Type", "image/gif");
        }
        return HttpResponse::ok("<html><title>fetched</title></html>")
            .header("Content-Type", "text/html");
    }};
    std::unique_ptr<QWidget> host;
    QtBrowser* browser = nullptr;  // owned by host
};

TEST_F(BrowserTest, DialogsAreAnsweredAtOnceAndNeverShown) {
    int modals = 0;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            ++modals;
            modal->close();
        }
    });
    closer.start(50);
    browser->ShowPage(server.urlString("/page"),
                      "<html><script>for (let i = 0; i < 50; ++i) alert(i);"
                      "document.title = ['done', confirm('sure?'), prompt('name?', 'x')].join(':');"
                      "</script></html>");
    EXPECT_TRUE(SpinUntil([&] { return Title().startsWith("done"); }, 20000));
    EXPECT_EQ(Title(), "done:false:");
    EXPECT_EQ(modals, 0);
}

TEST_F(BrowserTest, ABodyIsShownAsDownloadedWithItsAddressAsBase) {
    // Valid UTF-8 without a declared charset reads as UTF-8; the picture's relative address
    // resolves against the page's.
    browser->ShowPage(server.urlString("/dir/page"),
                      "<html><title>Caf\xC3\xA9</title><img src='../pic.png' "
                      "onload=\"document.title += ' ' + location.pathname\"></html>");
    EXPECT_TRUE(SpinUntil([&] { return Title().startsWith("Caf"); }, 20000));
    EXPECT_TRUE(SpinUntil([&] { return Title() == QStringLiteral("Caf\u00e9 /dir/page"); }, 5000))
        << Title().toStdString();
    EXPECT_EQ(RequestsFor("/pic.png"), 1);
    EXPECT_EQ(RequestsFor("/dir/page"), 0) << "the page is not fetched a second time";

    // So is one past what the engine takes as a data address, in its own mode and with its
    // own base.
    browser->ShowPage(server.urlString("/dir/big"),
                      "<!DOCTYPE html><base href='/'><title>Caf\xC3\xA9</title><img src='pic.png' "
                      "onload=\"document.title += ' ' + document.compatMode\">" +
                          std::string(3 << 20, ' '));
    EXPECT_TRUE(SpinUntil([&] { return Title() == QStringLiteral("Caf\u00e9 CSS1Compat"); }, 20000))
        << Title().toStdString();
    EXPECT_EQ(RequestsFor("/pic.png"), 2);
    EXPECT_EQ(RequestsFor("/dir/big"), 0);
}

struct Hostile {
    const char* name;
    const char* script;
    QtBrowser::Budget budget;
};

class WatchdogTest : public BrowserTest, public ::testing::WithParamInterface<Hostile> {};

TEST_P(WatchdogTest, APageOverItsBudgetIsDropped) {
    browser->setBudget(GetParam().budget);
    browser->ShowPage(server.urlString("/page"),
                      std::string("<html><title>hostile</title><script>") + GetParam().script +
                          "</script></html>");
    ASSERT_TRUE(SpinUntil([&] { return Title() == "hostile"; }, 20000));
    const qint64 renderer = browser->view()->page()->renderProcessPid();
    EXPECT_TRUE(SpinUntil([&] { return browser->droppedPages() == 1; }, 30000));
    // An empty page takes its place, in a renderer of its own.
    EXPECT_TRUE(SpinUntil([&] { return Title() != "hostile"; }, 10000));
    EXPECT_NE(browser->view()->page()->renderProcessPid(), renderer);
    EXPECT_EQ(browser->droppedPages(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Pages, WatchdogTest,
    ::testing::Values(
        Hostile{"AllocatingLoop",
                "const kept = []; (function grow() { for (let i = 0; i < 16; ++i) "
                "kept.push(new Uint8Array(1 << 20).fill(1)); setTimeout(grow, 0); })();",
                {.memoryBytes = 400LL << 20, .cpuPercent = 100, .windowMs = 60000}},
        Hostile{"BusyLoop",
                "setTimeout(() => { for (;;) {} }, 100);",
                {.memoryBytes = 1LL << 40, .cpuPercent = 50, .windowMs = 2000}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
