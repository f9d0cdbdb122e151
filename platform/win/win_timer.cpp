#include "platform/win/win_timer.h"

namespace {
constexpr UINT_PTR kTimerId = 1;
}  // namespace

WinTimer::WinTimer() {
    Create(L"TavorinTimer", nullptr, 0, 0, HWND_MESSAGE);
}

void WinTimer::Start(int intervalMs) {
    SetTimer(hwnd(), kTimerId, static_cast<UINT>(intervalMs), nullptr);
}

LRESULT WinTimer::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_TIMER && wParam == kTimerId) {
        if (Timer) Timer();
        return 0;
    }
    return Win32Window::OnMessage(message, wParam, lParam);
}
