#pragma once
// Windows only. Twips <-> pixels at a window's DPI (1440 twips per inch).
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include "platform/window.h"

namespace twips_win {
// The window's DPI where the system tells it per window, else the screen's.
inline int Dpi(HWND window) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto getDpiForWindow = reinterpret_cast<GetDpiForWindowFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (window && getDpiForWindow)
        if (const UINT dpi = getDpiForWindow(window)) return static_cast<int>(dpi);
    HDC screen = GetDC(nullptr);
    const int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSX) : 96;
    if (screen) ReleaseDC(nullptr, screen);
    return dpi > 0 ? dpi : 96;
}
inline int ToPixels(int twips, int dpi) {
    return MulDiv(twips, dpi, 1440);
}
inline int FromPixels(int pixels, int dpi) {
    return MulDiv(pixels, 1440, dpi);
}
inline RECT ToPixels(const TwipsRect& rect, int dpi) {
    const int left = ToPixels(rect.Left, dpi), top = ToPixels(rect.Top, dpi);
    return RECT{left, top, left + ToPixels(rect.Width, dpi), top + ToPixels(rect.Height, dpi)};
}
inline TwipsRect FromPixels(const RECT& rect, int dpi) {
    return TwipsRect{FromPixels(rect.left, dpi), FromPixels(rect.top, dpi),
                     FromPixels(rect.right - rect.left, dpi),
                     FromPixels(rect.bottom - rect.top, dpi)};
}
}  // namespace twips_win
