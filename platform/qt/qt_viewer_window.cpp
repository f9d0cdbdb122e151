#include "platform/qt/qt_viewer_window.h"

#include <QIcon>
#include <QImageReader>
#include <QProcess>
#include <QTimer>
#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "platform/qt/qt_notifier_window.h"
#include "platform/qt/twips.h"
#include "platform/qt/viewer_channel.h"

namespace {
// How long a viewer told to end may take before it is killed.
constexpr int kEndGraceMs = 5000;
constexpr qint64 kRestartSpacingMs = 10000;

QByteArray Num(int value) {
    return QByteArray::number(value);
}
}  // namespace

// WebBrowser1 of the viewer: navigation and placement go to it, its events come back.
class QtViewerWindow::RemoteBrowser final : public IBrowser {
  public:
    explicit RemoteBrowser(QtViewerWindow& window) : window_(window) {}
    void Navigate(const std::string& url) override {
        window_.url_ = url;
        window_.body_.reset();
        window_.sendPage();
    }
    void ShowPage(const std::string& url, const std::string& body) override {
        window_.url_ = url;
        // Kept for the next viewer too: the window shows what was compared, at any size.
        window_.body_ = body;
        window_.sendPage();
    }
    void Move(int left, int top, int width, int height) override {
        window_.browserRect_ = {left, top, width, height};
        window_.send({"browser", Num(left), Num(top), Num(width), Num(height)});
    }
    void AttachDocument(bool attach) override {
        window_.attached_ = attach;
        window_.send({"attach", Num(attach)});
    }

  private:
    QtViewerWindow& window_;
};

QtViewerWindow::QtViewerWindow()
    : browser_(std::make_unique<RemoteBrowser>(*this)),
      mini_(twips::FromPixels(twips::ToPixels(QtNotifierWindow::kMiniDesign))) {
    setWindowIcon(QIcon(":/tavorin/window.png"));
}

QtViewerWindow::~QtViewerWindow() {
    endViewer();
}

IBrowser& QtViewerWindow::browser() {
    return *browser_;
}

qint64 QtViewerWindow::viewerPid() const {
    return process_ && channel_ ? process_->processId() : 0;
}

void QtViewerWindow::send(const QList<QByteArray>& message) {
    if (channel_) channel_->Send(message);
}

bool QtViewerWindow::startViewer() {
    if (channel_ && channel_->IsOpen()) return true;
    const StartedViewer started = StartViewer(this, kViewerRoleWindow);
    if (!started.process) return false;
    QProcess* process = started.process;
    ViewerChannel* channel = started.channel;
    connect(process, &QProcess::finished, process, [this, process] {
        viewerGone(process);
        process->deleteLater();
#ifdef __GLIBC__
        // What showing it took (messages, the page's copy) goes back to the system.
        QTimer::singleShot(0, [] { malloc_trim(0); });
#endif
    });
    connect(process, &QProcess::errorOccurred, process, [this, process](QProcess::ProcessError e) {
        if (e == QProcess::FailedToStart) {
            viewerGone(process);
            process->deleteLater();
        }
    });
    channel->Received = [this](const QList<QByteArray>& message) { received(message); };
    channel->Ended = [this, process] { viewerGone(process); };
    process_ = process;
    channel_ = channel;

    // What the window is now, for the new viewer.
    send({"size", Num(size_.width()), Num(size_.height())});
    send({"move", Num(position_.x()), Num(position_.y())});
    send({"mini", Num(mini_.Left), Num(mini_.Top), Num(mini_.Width), Num(mini_.Height)});
    send({"browser", Num(browserRect_.Left), Num(browserRect_.Top), Num(browserRect_.Width),
          Num(browserRect_.Height)});
    if (!iconPath_.isEmpty()) send({"icon", ViewerChannel::Text(iconPath_)});
    if (trayless_) send({"trayless", Num(1)});
    pagePending_ = true;
    return true;
}

void QtViewerWindow::sendPage() {
    if (url_.empty()) return;
    const QByteArray url = ViewerChannel::Text(QString::fromStdString(url_));
    if (body_)
        send({"page", url, QByteArray::fromStdString(*body_).toPercentEncoding()});
    else
        send({"navigate", url});
}

void QtViewerWindow::stopViewer() {
    if (!process_) return;
    QProcess* process = process_;
    send({"visible", Num(0)});
    if (channel_) channel_->Close();
    process_ = nullptr;
    channel_ = nullptr;
    QTimer::singleShot(kEndGraceMs, process, [process] { process->kill(); });
}

void QtViewerWindow::endViewer() {
    QProcess* process = process_;
    stopViewer();
    visible_ = false;
    if (process && !process->waitForFinished(kEndGraceMs)) {
        process->kill();
        process->waitForFinished(kEndGraceMs);
    }
}

void QtViewerWindow::viewerGone(QProcess* process) {
    if (process != process_) return;  // one told to end, or one that has gone already
    process_ = nullptr;
    if (channel_) channel_->Close();
    channel_ = nullptr;
    // The window went with it; the next show starts a new viewer.
    visible_ = false;
    // Without a tray that show could never be asked for: the window comes back by itself,
    // minimised if it was, and at most once in a while should viewers keep failing.
    if (trayless_ && (!lastRestart_.isValid() || lastRestart_.elapsed() > kRestartSpacingMs)) {
        lastRestart_.start();
        QTimer::singleShot(0, this, [this, minimized = minimized_] {
            if (!trayless_ || visible_) return;
            SetVisible(true);
            if (minimized) SetVisible(false);
        });
    }
}

void QtViewerWindow::received(const QList<QByteArray>& message) {
    const QByteArray& name = message.value(0);
    if (name == "activated") {
        if (Activate) Activate();
    } else if (name == "mini") {
        if (MiniButtonClick) MiniButtonClick();
    } else if (name == "close") {
        // The viewer kept its window; the program asks and ends both if told to.
        if (QueryUnload) QueryUnload();
    } else if (name == "loaded") {
#ifdef __GLIBC__
        // The page has crossed: its encoded copies go back to the system, not just the heap.
        malloc_trim(0);
#endif
        if (browser_->DocumentComplete) browser_->DocumentComplete();
    } else if (name == "menu") {
        if (browser_->DocumentContextMenu) browser_->DocumentContextMenu();
    }
}

// Sizes read back as the shown window reports them: whole pixels.
int QtViewerWindow::Width() {
    return twips::FromPixels(twips::ToPixels(size_.width()));
}

int QtViewerWindow::Height() {
    return twips::FromPixels(twips::ToPixels(size_.height()));
}

void QtViewerWindow::SetSize(int width, int height) {
    size_ = QSize(width, height);
    send({"size", Num(width), Num(height)});
}

void QtViewerWindow::Move(int left, int top) {
    position_ = QPoint(left, top);
    send({"move", Num(left), Num(top)});
}

bool QtViewerWindow::Visible() {
    return visible_;
}

void QtViewerWindow::setTrayless(bool trayless) {
    if (trayless == trayless_) return;
    trayless_ = trayless;
    send({"trayless", Num(trayless)});
}

void QtViewerWindow::SetVisible(bool visible) {
    if (!visible) {
        if (trayless_) {
            // Minimised rather than hidden: the viewer stays, with its taskbar button.
            minimized_ = true;
            send({"visible", Num(0)});
            return;
        }
        if (!visible_) return;
        visible_ = false;
        stopViewer();
        return;
    }
    if (visible_ && channel_) return;
    if (!startViewer()) return;
    visible_ = true;
    // As a shown window activates before it is mapped: placed before it appears.
    if (Activate) Activate();
    send({"visible", Num(1)});
    // The page after the window: a new viewer shows its window before the engine starts.
    if (pagePending_) {
        pagePending_ = false;
        sendPage();
        if (attached_) send({"attach", Num(1)});
    }
}

int QtViewerWindow::WindowState() {
    return minimized_ ? vbMinimized : vbNormal;
}

void QtViewerWindow::SetWindowState(int state) {
    minimized_ = state == vbMinimized;
    send({"state", Num(state)});
}

void QtViewerWindow::SetWindowPos(std::intptr_t insertAfter, int, int, int, int, unsigned) {
    if (insertAfter == kHwndTopmost && visible_) send({"raise"});
}

std::uintptr_t QtViewerWindow::Handle() {
    return reinterpret_cast<std::uintptr_t>(this);
}

bool QtViewerWindow::LoadIcon(const std::string& path) {
    const QString file = QString::fromStdString(path);
    QImageReader reader(file);
    const QImage image = reader.read();
    if (image.isNull()) return false;
    QIcon icon(file);
    if (icon.isNull()) icon = QIcon(QPixmap::fromImage(image));
    setWindowIcon(icon);
    iconPath_ = file;
    ++iconHandle_;
    send({"icon", ViewerChannel::Text(file)});
    return true;
}

void QtViewerWindow::MoveMiniButton(const TwipsRect& rect) {
    mini_ = twips::FromPixels(twips::ToPixels(rect));
    send({"mini", Num(rect.Left), Num(rect.Top), Num(rect.Width), Num(rect.Height)});
}
