#pragma once
#include <QElapsedTimer>
#include <QPointer>
#include <QWidget>
#include <memory>
#include <optional>
#include <string>

#include "platform/browser.h"
#include "platform/window.h"

class QProcess;
class ViewerChannel;

// The notification window as the program sees it when a viewer shows it: a child process
// started from the same executable when the window is shown, and ended when it is hidden,
// so that the browser engine never runs in the program. This side keeps the window's state
// and hands it to each new viewer; the widget itself is never shown (it carries the icon).
class QtViewerWindow final : public QWidget, public IWindow {
    Q_OBJECT
  public:
    QtViewerWindow();
    ~QtViewerWindow() override;

    IBrowser& browser();
    void setTrayless(bool trayless);
    // Ends the viewer at once (the program is ending).
    void endViewer();
    // The running viewer's process id, 0 when there is none.
    qint64 viewerPid() const;

    int Width() override;
    int Height() override;
    void SetSize(int width, int height) override;
    void Move(int left, int top) override;
    bool Visible() override;
    void SetVisible(bool visible) override;
    int WindowState() override;
    void SetWindowState(int state) override;
    void SetWindowPos(std::intptr_t insertAfter, int x, int y, int cx, int cy,
                      unsigned flags) override;
    std::uintptr_t Handle() override;
    bool LoadIcon(const std::string& path) override;
    std::uintptr_t IconHandle() override { return iconHandle_; }
    TwipsRect MiniButton() override { return mini_; }
    void MoveMiniButton(const TwipsRect& rect) override;

  private:
    class RemoteBrowser;
    bool startViewer();
    void stopViewer();
    // The page as last given: its address, and the body to show for it when there is one.
    void sendPage();
    void send(const QList<QByteArray>& message);
    void received(const QList<QByteArray>& message);
    void viewerGone(QProcess* process);

    std::unique_ptr<RemoteBrowser> browser_;
    QPointer<QProcess> process_;
    QPointer<ViewerChannel> channel_;
    QSize size_;  // twips
    QPoint position_;
    TwipsRect mini_;
    TwipsRect browserRect_;
    QString iconPath_;
    std::string url_;
    std::optional<std::string> body_;
    std::uintptr_t iconHandle_ = 1;
    bool visible_ = false;
    bool minimized_ = false;
    bool trayless_ = false;
    bool attached_ = false;
    bool pagePending_ = false;
    QElapsedTimer lastRestart_;
};
