#pragma once
// Windows only: the small base every Win32 window of the program derives from.
#include "platform/win/ansi.h"
// After windows.h, which it needs.
#include <shellapi.h>
// Interface members of these names; the macros would rename them to their A forms.
#undef LoadIcon
#undef ShellExecute

// Owns one HWND of a class registered for it and turns its messages into OnMessage calls.
class Win32Window {
  public:
    Win32Window() = default;
    virtual ~Win32Window();
    Win32Window(const Win32Window&) = delete;
    Win32Window& operator=(const Win32Window&) = delete;

    HWND hwnd() const { return hwnd_; }

  protected:
    // Registers className on first use (icon may be null) and creates the window.
    void Create(const wchar_t* className, HICON icon, DWORD exStyle, DWORD style, HWND parent,
                int x = 0, int y = 0, int width = 0, int height = 0);
    virtual LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);

  private:
    static LRESULT CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    HWND hwnd_ = nullptr;
};

HINSTANCE ProgramInstance();

// Twips (1/1440 inch) against pixels at a given number of dots per inch.
namespace twips {
int ToPixels(int twips, UINT dpi);
int FromPixels(int pixels, UINT dpi);
// The dots per inch of the monitor the window is on, or of the primary one for null.
UINT DpiOf(HWND window);
}  // namespace twips
