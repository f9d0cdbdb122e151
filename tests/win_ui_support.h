#pragma once
// Real windows under Wine (on the private desktop of scripts/with_desktop.sh).
#include <windows.h>

namespace winui {
// Serves the thread's messages for about ms milliseconds.
inline void Pump(DWORD ms = 50) {
    const ULONGLONG end = GetTickCount64() + ms;
    do {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        Sleep(5);
    } while (GetTickCount64() < end);
}

// A plain top-level window to host a control, destroyed with the object.
class HostWindow {
  public:
    HostWindow() {
        window_ = CreateWindowExW(0, L"STATIC", L"host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10,
                                  400, 300, nullptr, nullptr, nullptr, nullptr);
    }
    ~HostWindow() { DestroyWindow(window_); }
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;
    HWND Get() const { return window_; }

  private:
    HWND window_;
};
}  // namespace winui
