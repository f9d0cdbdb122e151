#pragma once
// Windows only.
#include <functional>
#include <vector>

#include "platform/win/win32_window.h"
#include "platform/window.h"

// The notification window: a borderless popup with a thin border, no taskbar button,
// topmost, sized in twips at its monitor's dots per inch; cmdMini is a child button over
// the browser, which lives in the same client area (browserParent()).
class WinNotifierWindow final : public Win32Window, public IWindow {
  public:
    WinNotifierWindow();
    ~WinNotifierWindow() override;

    HWND browserParent() const { return hwnd(); }
    HWND miniButton() const { return cmdMini_; }

    // Without a tray icon to bring it back, the window gets a taskbar button and hiding
    // minimises it instead, so that it stays reachable and can be closed.
    void SetTrayless(bool trayless);

    // Shown (true) or hidden (false), whoever asked.
    std::function<void(bool visible)> VisibilityChanged;
    // The session ends now (WM_ENDSESSION) and nothing ended the process before.
    std::function<void()> SessionEnding;

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
    std::uintptr_t Handle() override { return reinterpret_cast<std::uintptr_t>(hwnd()); }
    bool LoadIcon(const std::string& path) override;
    std::uintptr_t IconHandle() override { return reinterpret_cast<std::uintptr_t>(smallIcon_); }
    TwipsRect MiniButton() override;
    void MoveMiniButton(const TwipsRect& rect) override;

  protected:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    void Layout();
    UINT Dpi() const { return twips::DpiOf(hwnd()); }

    HWND cmdMini_ = nullptr;
    HICON smallIcon_ = nullptr;
    std::vector<HICON> icons_;  // every icon made here; the tray may still name any of them
    TwipsRect size_{0, 0, 7800, 5160};
    TwipsRect mini_;
    bool trayless_ = false;
    bool minimized_ = false;  // asked for while hidden: takes effect if shown still asked so
    bool asking_ = false;     // the quit question of a close request is open
};
