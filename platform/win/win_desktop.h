#pragma once
// Windows only.
#include "platform/desktop.h"
#include "platform/message_box.h"
#include "platform/shell.h"
#include "platform/timer.h"
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

// Timer1 on SetTimer, ticking into a message-only window of its own.
class WinTimer final : public Win32Window, public ITimer {
  public:
    WinTimer();
    void Start(int intervalMs) override;

  protected:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
};

class WinShell final : public IShell {
  public:
    void ShellExecute(const std::string& operation, const std::string& file,
                      const std::string& parameters, const std::string& directory,
                      int showCommand) override;
    // The process's own windows and hosted controls go with it; nothing runs after.
    void EndProcess(int exitCode) override;
};

class WinMessageBox final : public IMessageBox {
  public:
    int MsgBox(const std::string& text, int style) override;
};
