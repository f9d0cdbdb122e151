#include "platform/qt/qt_viewer.h"

#include <QApplication>
#include <QTimer>
#include <QWebEngineView>
#include <QWindow>
#include <functional>
#include <vector>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "platform/qt/qt_browser.h"
#include "platform/qt/qt_notifier_window.h"
#include "platform/qt/termination_signals.h"
#include "platform/qt/viewer_channel.h"

namespace {
// Runs a step once the window has painted itself (or after a while if it never does): the
// engine's start blocks the event loop, and the user should see the window meanwhile.
class AfterFirstPaint final : public QObject {
  public:
    AfterFirstPaint(QWidget& window) : QObject(&window) { window.installEventFilter(this); }
    void Run(std::function<void()> step) {
        if (painted_) return step();
        pending_.push_back(std::move(step));
        if (pending_.size() == 1) QTimer::singleShot(kLongestWaitMs, this, [this] { Flush(); });
    }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !painted_)
            QTimer::singleShot(0, this, [this] { Flush(); });
        return QObject::eventFilter(watched, event);
    }

  private:
    static constexpr int kLongestWaitMs = 300;
    void Flush() {
        painted_ = true;
        auto steps = std::move(pending_);
        pending_.clear();
        for (auto& step : steps) step();
    }
    bool painted_ = false;
    std::vector<std::function<void()>> pending_;
};

int Number(const ViewerChannel::Message& message, int index) {
    return message.value(index).toInt();
}
}  // namespace

void LetPageGoWhileHidden(QtNotifierWindow& window, QtBrowser& browser) {
    QObject::connect(&window, &QtNotifierWindow::visibilityChanged, &browser,
                     [&browser](bool visible) {
                         QTimer::singleShot(0, &browser, [&browser, visible] {
                             browser.setHostVisible(visible);
#ifdef __GLIBC__
                             // Return what the page held to the system, not just to the heap.
                             if (!visible) malloc_trim(0);
#endif
                         });
                     });
}

int RunViewer(int channelDescriptor) {
    QtNotifierWindow window;
    QtBrowser browser(window.browserHost());
    auto* channel = new ViewerChannel(channelDescriptor, qApp);
    auto* afterPaint = new AfterFirstPaint(window);
    LetPageGoWhileHidden(window, browser);

    window.Activate = [channel] { channel->Send({"activated"}); };
    window.MiniButtonClick = [channel] { channel->Send({"mini"}); };
    // The program asks the question and ends us if the answer is to quit.
    window.QueryUnload = [channel] {
        channel->Send({"close"});
        return true;
    };
    browser.DocumentComplete = [channel] { channel->Send({"loaded"}); };
    // The program shows its menu; the browser's own stays closed.
    browser.DocumentContextMenu = [channel] {
        channel->Send({"menu"});
        return false;
    };
    channel->Received = [&](const ViewerChannel::Message& m) {
        const QByteArray& name = m.value(0);
        if (name == "size") {
            window.SetSize(Number(m, 1), Number(m, 2));
        } else if (name == "move") {
            window.Move(Number(m, 1), Number(m, 2));
        } else if (name == "mini") {
            window.MoveMiniButton({Number(m, 1), Number(m, 2), Number(m, 3), Number(m, 4)});
        } else if (name == "browser") {
            browser.Move(Number(m, 1), Number(m, 2), Number(m, 3), Number(m, 4));
        } else if (name == "icon") {
            window.LoadIcon(ViewerChannel::Text(m.value(1)).toStdString());
        } else if (name == "trayless") {
            window.setTrayless(Number(m, 1) != 0);
        } else if (name == "navigate") {
            afterPaint->Run([&browser, url = ViewerChannel::Text(m.value(1)).toStdString()] {
                browser.Navigate(url);
            });
        } else if (name == "page") {
            afterPaint->Run([&browser, url = ViewerChannel::Text(m.value(1)).toStdString(),
                             body = QByteArray::fromPercentEncoding(m.value(2)).toStdString()] {
                browser.ShowPage(url, body);
            });
        } else if (name == "attach") {
            afterPaint->Run(
                [&browser, attach = Number(m, 1) != 0] { browser.AttachDocument(attach); });
        } else if (name == "visible") {
            window.SetVisible(Number(m, 1) != 0);
        } else if (name == "state") {
            window.SetWindowState(Number(m, 1));
        } else if (name == "raise") {
            window.SetWindowPos(kHwndTopmost, 0, 0, 0, 0, kSwpNoMove | kSwpNoSize);
        }
    };
    auto end = [&window] {
        window.hide();
        QCoreApplication::exit(0);
    };
    channel->Ended = end;
    WatchTerminationSignals(end);
    return QApplication::exec();
}

int RunPreview(int channelDescriptor) {
    // The pane the program lends us: our window goes inside it, with no frame of its own.
    QWidget pane(nullptr, Qt::FramelessWindowHint);
    QtBrowser browser(&pane);
    auto* channel = new ViewerChannel(channelDescriptor, qApp);
    // An inert preview: the page is looked at, never left, and keeps its menu closed.
    browser.PageNavigation = [] { return false; };
    browser.DocumentClick = [] { return false; };
    browser.DocumentContextMenu = [] { return false; };
    browser.DocumentComplete = [channel] { channel->Send({"loaded"}); };
    channel->Received = [&](const ViewerChannel::Message& m) {
        const QByteArray& name = m.value(0);
        if (name == "embed") {
            bool ok = false;
            const WId host = static_cast<WId>(m.value(1).toULongLong(&ok));
            QWindow* foreign = ok ? QWindow::fromWinId(host) : nullptr;
            if (!foreign) return;
            pane.winId();
            pane.windowHandle()->setParent(foreign);
            pane.show();
        } else if (name == "place") {
            pane.setGeometry(Number(m, 1), Number(m, 2), Number(m, 3), Number(m, 4));
            if (browser.view()) browser.view()->setGeometry(pane.rect());
        } else if (name == "navigate") {
            browser.Navigate(ViewerChannel::Text(m.value(1)).toStdString());
        } else if (name == "attach") {
            browser.AttachDocument(Number(m, 1) != 0);
        }
    };
    auto end = [] { QCoreApplication::exit(0); };
    channel->Ended = end;
    WatchTerminationSignals(end);
    return QApplication::exec();
}
