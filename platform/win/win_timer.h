#pragma once
// Windows only.
#include "platform/timer.h"
#include "platform/win/win32_window.h"

// Timer1 on SetTimer, ticking into a message-only window of its own.
class WinTimer final : public Win32Window, public ITimer {
  public:
    WinTimer();
    void Start(int intervalMs) override;

  protected:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
};
