#include "platform/win/win_desktop.h"

// Not the value of sign-in (the screen device's), which stays after the scaling changes.
int WinDesktop::ScreenWidthTwips() {
    return twips::FromPixels(GetSystemMetrics(SM_CXSCREEN), twips::DpiOf(placed_));
}

int WinDesktop::ScreenHeightTwips() {
    return twips::FromPixels(GetSystemMetrics(SM_CYSCREEN), twips::DpiOf(placed_));
}

void WinDesktop::SetMousePointer(int pointer) {
    SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(
                                       pointer == kMousePointerHourglass ? IDC_WAIT : IDC_ARROW)));
}
