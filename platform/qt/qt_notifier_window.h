#pragma once
#include <QWidget>

#include "platform/window.h"

class QToolButton;

// The notification window: frameless, one-pixel border, no taskbar button, fixed size,
// kept above other windows. Hosts the browser in browserHost() and cmdMini over it.
class QtNotifierWindow final : public QWidget, public IWindow {
    Q_OBJECT
  public:
    // cmdMini as designed: 375 x 375 twips at the top; start-up moves it.
    static constexpr TwipsRect kMiniDesign{7320, 0, 375, 375};

    QtNotifierWindow();

    QWidget* browserHost() const { return browserHost_; }

    // Without a tray icon to bring it back, the window gets a taskbar button and hiding
    // minimises it instead, so that it stays reachable and can be closed.
    void setTrayless(bool trayless);
    bool trayless() const { return trayless_; }
    QToolButton* miniButton() const { return cmdMini_; }

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
    TwipsRect MiniButton() override;
    void MoveMiniButton(const TwipsRect& rect) override;

  signals:
    void visibilityChanged(bool visible);

  protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    QWidget* client_;
    QWidget* browserHost_;
    QToolButton* cmdMini_;
    std::uintptr_t iconHandle_ = 1;
    bool trayless_ = false;
    bool minimized_ = false;
};
