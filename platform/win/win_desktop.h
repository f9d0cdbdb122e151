#pragma once
// Windows only.
#include "platform/desktop.h"
#include "platform/win/message_loop.h"
#include "platform/win/win32_window.h"

class WinDesktop final : public IDesktop {
  public:
    // The screen is measured in twips at the dots per inch of placed, the window placed on
    // it: the window converts its own twips with that value, so both agree at any scaling.
    explicit WinDesktop(MessageLoop& loop, HWND placed = nullptr) : loop_(loop), placed_(placed) {}
    int ScreenWidthTwips() override;
    int ScreenHeightTwips() override;
    void SetMousePointer(int pointer) override;
    void DoEvents() override { loop_.ServePending(); }

  private:
    MessageLoop& loop_;
    HWND placed_;
};
