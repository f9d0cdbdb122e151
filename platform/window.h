#pragma once
#include <cstdint>
#include <functional>
#include <string>

inline constexpr int vbNormal = 0;
inline constexpr int vbMinimized = 1;
inline constexpr std::intptr_t kHwndTopmost = -1;
inline constexpr unsigned kSwpNoSize = 1, kSwpNoMove = 2;

struct TwipsRect {
    int Left = 0, Top = 0, Width = 0, Height = 0;
    bool operator==(const TwipsRect&) const = default;
};

// The notification window: a borderless top-level window with a minimise button
// (cmdMini) over its browser. Sizes and positions are in twips.
class IWindow {
  public:
    virtual ~IWindow() = default;
    virtual int Width() = 0;
    virtual int Height() = 0;
    virtual void SetSize(int width, int height) = 0;
    virtual void Move(int left, int top) = 0;
    virtual bool Visible() = 0;
    virtual void SetVisible(bool visible) = 0;
    virtual int WindowState() = 0;
    virtual void SetWindowState(int state) = 0;
    // SetWindowPos on this window.
    virtual void SetWindowPos(std::intptr_t insertAfter, int x, int y, int cx, int cy,
                              unsigned flags) = 0;
    virtual std::uintptr_t Handle() = 0;
    // Loads an icon file as the window's icon; false (icon unchanged) when it cannot be decoded.
    virtual bool LoadIcon(const std::string& path) = 0;
    virtual std::uintptr_t IconHandle() = 0;
    virtual TwipsRect MiniButton() = 0;
    virtual void MoveMiniButton(const TwipsRect& rect) = 0;
    std::function<void()> Activate;
    std::function<void()> MiniButtonClick;
    // A close request from outside (session end, window manager): Form_QueryUnload.
    std::function<bool()> QueryUnload;  // returns true to cancel
};
