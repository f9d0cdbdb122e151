#include "platform/qt/qt_notifier_window.h"

#include <QCloseEvent>
#include <QIcon>
#include <QImageReader>
#include <QPainter>
#include <QTimer>
#include <QToolButton>

#include "platform/qt/twips.h"

namespace {
constexpr int kBorderPx = 1;
}  // namespace

QtNotifierWindow::QtNotifierWindow()
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
      client_(new QWidget(this)),
      browserHost_(new QWidget(client_)),
      cmdMini_(new QToolButton(client_)) {
    setObjectName("frmMenu");
    // It comes up while the user works elsewhere: the keyboard stays there until a click.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setWindowTitle(QString());
    setWindowIcon(QIcon(":/tavorin/window.png"));
    cmdMini_->setObjectName("cmdMini");
    cmdMini_->setIcon(QIcon(":/tavorin/mini.png"));
    cmdMini_->setAutoRaise(false);
    cmdMini_->setFocusPolicy(Qt::TabFocus);
    cmdMini_->setGeometry(twips::ToPixels(kMiniDesign));
    cmdMini_->setIconSize(cmdMini_->size() - QSize(6, 6));
    connect(cmdMini_, &QToolButton::clicked, this, [this] {
        if (MiniButtonClick) MiniButtonClick();
    });
    setTabOrder(cmdMini_, browserHost_);
    browserHost_->setObjectName("WebBrowser1");
    cmdMini_->raise();
}

int QtNotifierWindow::Width() {
    return twips::FromPixels(width());
}
int QtNotifierWindow::Height() {
    return twips::FromPixels(height());
}

void QtNotifierWindow::SetSize(int width, int height) {
    const QSize outer(twips::ToPixels(width), twips::ToPixels(height));
    setFixedSize(outer);
    client_->setGeometry(kBorderPx, kBorderPx, outer.width() - 2 * kBorderPx,
                         outer.height() - 2 * kBorderPx);
}

void QtNotifierWindow::Move(int left, int top) {
    move(twips::ToPixels(left), twips::ToPixels(top));
}

bool QtNotifierWindow::Visible() {
    return isVisible();
}

void QtNotifierWindow::setTrayless(bool trayless) {
    if (trayless == trayless_) return;
    trayless_ = trayless;
    const bool shown = isVisible();
    setWindowFlag(Qt::Tool, !trayless);  // a flag change hides the window
    if (shown) show();
}

void QtNotifierWindow::SetVisible(bool visible) {
    if (!visible && trayless_) {
        // Qt keeps the state it asked for, even when the window manager did not take it or
        // has restored the window since: ask afresh rather than trust it.
        minimized_ = true;
        setWindowState(windowState() & ~Qt::WindowMinimized);
        showMinimized();
        return;
    }
    if (visible == isVisible()) return;
    setVisible(visible);
    if (visible) raise();
}

int QtNotifierWindow::WindowState() {
    return minimized_ || isMinimized() ? vbMinimized : vbNormal;
}

void QtNotifierWindow::SetWindowState(int state) {
    minimized_ = state == vbMinimized;
    if (!minimized_) {
        if (isMinimized()) setWindowState(windowState() & ~Qt::WindowMinimized);
        return;
    }
    // Hiding usually follows at once. Iconified and then withdrawn, the window may come back
    // iconic on its next show, so iconify only a window still shown once the caller is done.
    QTimer::singleShot(0, this, [this] {
        if (minimized_ && isVisible()) setWindowState(windowState() | Qt::WindowMinimized);
    });
}

void QtNotifierWindow::SetWindowPos(std::intptr_t insertAfter, int, int, int, int, unsigned) {
    // Created with the stays-on-top hint; bringing it up again is what remains to do.
    if (insertAfter == kHwndTopmost && isVisible()) raise();
}

std::uintptr_t QtNotifierWindow::Handle() {
    return static_cast<std::uintptr_t>(winId());
}

bool QtNotifierWindow::LoadIcon(const std::string& path) {
    QImageReader reader(QString::fromStdString(path));
    const QImage image = reader.read();
    if (image.isNull()) return false;
    QIcon icon(QString::fromStdString(path));
    if (icon.isNull()) icon = QIcon(QPixmap::fromImage(image));
    setWindowIcon(icon);
    ++iconHandle_;
    return true;
}

TwipsRect QtNotifierWindow::MiniButton() {
    return twips::FromPixels(cmdMini_->geometry());
}

void QtNotifierWindow::MoveMiniButton(const TwipsRect& rect) {
    cmdMini_->setGeometry(twips::ToPixels(rect));
}

void QtNotifierWindow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && Activate) Activate();
}

void QtNotifierWindow::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Showing counts as activation even where the window manager keeps the focus elsewhere.
    if (Activate) Activate();
    emit visibilityChanged(true);
}

void QtNotifierWindow::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    emit visibilityChanged(false);
}

void QtNotifierWindow::closeEvent(QCloseEvent* event) {
    if (QueryUnload && QueryUnload())
        event->ignore();
    else
        event->accept();
}

void QtNotifierWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}
