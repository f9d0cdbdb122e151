#pragma once

inline constexpr int kMousePointerDefault = 0;
inline constexpr int kMousePointerHourglass = 11;

// Application-wide facilities: the screen, the mouse cursor and the event loop.
class IDesktop {
  public:
    virtual ~IDesktop() = default;
    virtual int ScreenWidthTwips() = 0;
    virtual int ScreenHeightTwips() = 0;
    virtual void SetMousePointer(int pointer) = 0;
    // Serves pending events once, then returns.
    virtual void DoEvents() = 0;
};
