#include "platform/win/win_notifier_window.h"

#include "resources/win/resource_ids.h"

namespace {
constexpr UINT kMiniId = 1;
constexpr UINT kApplyMinimize = WM_APP + 1;
// cmdMini as designed: 375 x 375 twips at the top; start-up moves it.
constexpr TwipsRect kMiniDesign{7320, 0, 375, 375};

HICON ResourceIcon(int id, int size) {
    return static_cast<HICON>(LoadImageW(ProgramInstance(), MAKEINTRESOURCEW(id), IMAGE_ICON, size,
                                         size, LR_DEFAULTCOLOR));
}

DWORD ExStyle(bool trayless) {
    return WS_EX_TOPMOST | (trayless ? WS_EX_APPWINDOW : WS_EX_TOOLWINDOW);
}
}  // namespace

WinNotifierWindow::WinNotifierWindow() : mini_(kMiniDesign) {
    smallIcon_ = ResourceIcon(IDI_TAVORIN, GetSystemMetrics(SM_CXSMICON));
    HICON big = ResourceIcon(IDI_TAVORIN, GetSystemMetrics(SM_CXICON));
    icons_ = {smallIcon_, big};
    Create(L"TavorinNotifier", big, ExStyle(false), WS_POPUP | WS_BORDER | WS_CLIPCHILDREN,
           nullptr);
    SendMessageW(hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_));
    SendMessageW(hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
    cmdMini_ = CreateWindowExW(0, L"BUTTON", L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_ICON, 0,
                               0, 0, 0, hwnd(), reinterpret_cast<HMENU>(UINT_PTR{kMiniId}),
                               ProgramInstance(), nullptr);
    HICON face = ResourceIcon(IDI_MINI, 0);
    icons_.push_back(face);
    SendMessageW(cmdMini_, BM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(face));
    Layout();
}

WinNotifierWindow::~WinNotifierWindow() {
    for (HICON icon : icons_)
        if (icon) DestroyIcon(icon);
}

void WinNotifierWindow::Layout() {
    const UINT dpi = Dpi();
    ::SetWindowPos(hwnd(), nullptr, 0, 0, twips::ToPixels(size_.Width, dpi),
                   twips::ToPixels(size_.Height, dpi), SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    ::SetWindowPos(cmdMini_, HWND_TOP, twips::ToPixels(mini_.Left, dpi),
                   twips::ToPixels(mini_.Top, dpi), twips::ToPixels(mini_.Width, dpi),
                   twips::ToPixels(mini_.Height, dpi), SWP_NOACTIVATE);
}

int WinNotifierWindow::Width() {
    RECT r{};
    GetWindowRect(hwnd(), &r);
    return twips::FromPixels(r.right - r.left, Dpi());
}

int WinNotifierWindow::Height() {
    RECT r{};
    GetWindowRect(hwnd(), &r);
    return twips::FromPixels(r.bottom - r.top, Dpi());
}

void WinNotifierWindow::SetSize(int width, int height) {
    size_.Width = width;
    size_.Height = height;
    Layout();
}

void WinNotifierWindow::Move(int left, int top) {
    const UINT dpi = Dpi();
    ::SetWindowPos(hwnd(), nullptr, twips::ToPixels(left, dpi), twips::ToPixels(top, dpi), 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

bool WinNotifierWindow::Visible() {
    return IsWindowVisible(hwnd()) != FALSE;
}

void WinNotifierWindow::SetVisible(bool visible) {
    if (!visible) {
        if (trayless_) {
            minimized_ = true;
            ShowWindow(hwnd(), SW_MINIMIZE);
        } else {
            ShowWindow(hwnd(), SW_HIDE);
        }
        return;
    }
    if (Visible() && !IsIconic(hwnd())) return;
    // It comes up while the user works elsewhere: the keyboard stays where it is.
    ShowWindow(hwnd(), IsIconic(hwnd()) && !minimized_ ? SW_SHOWNOACTIVATE : SW_SHOWNA);
    // Showing counts as activation even where the system keeps the focus elsewhere.
    if (GetActiveWindow() != hwnd() && Activate) Activate();
}

int WinNotifierWindow::WindowState() {
    return minimized_ || IsIconic(hwnd()) ? vbMinimized : vbNormal;
}

void WinNotifierWindow::SetWindowState(int state) {
    minimized_ = state == vbMinimized;
    if (!minimized_) {
        if (IsIconic(hwnd())) ShowWindow(hwnd(), SW_SHOWNOACTIVATE);
        return;
    }
    // Hiding usually follows at once; minimise only a window still shown once the caller is
    // done, so that a hidden window is not shown again as an icon.
    PostMessageW(hwnd(), kApplyMinimize, 0, 0);
}

void WinNotifierWindow::SetWindowPos(std::intptr_t insertAfter, int x, int y, int cx, int cy,
                                     unsigned flags) {
    // Raising it to the top must not take the keyboard from the program in use either.
    ::SetWindowPos(hwnd(), reinterpret_cast<HWND>(insertAfter), x, y, cx, cy,
                   flags | SWP_NOACTIVATE);
}

bool WinNotifierWindow::LoadIcon(const std::string& path) {
    const std::wstring file = Utf8ToWide(path);
    auto load = [&](int size) {
        return static_cast<HICON>(
            LoadImageW(nullptr, file.c_str(), IMAGE_ICON, size, size, LR_LOADFROMFILE));
    };
    HICON small = load(GetSystemMetrics(SM_CXSMICON));
    if (!small) return false;
    HICON big = load(GetSystemMetrics(SM_CXICON));
    icons_.push_back(small);
    icons_.push_back(big);
    smallIcon_ = small;
    SendMessageW(hwnd(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
    SendMessageW(hwnd(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big ? big : small));
    return true;
}

TwipsRect WinNotifierWindow::MiniButton() {
    return mini_;
}

void WinNotifierWindow::MoveMiniButton(const TwipsRect& rect) {
    mini_ = rect;
    Layout();
}

void WinNotifierWindow::SetTrayless(bool trayless) {
    if (trayless == trayless_) return;
    trayless_ = trayless;
    // The taskbar looks at the extended style only when a window is shown.
    const bool shown = Visible();
    if (shown) ShowWindow(hwnd(), SW_HIDE);
    SetWindowLongPtrW(hwnd(), GWL_EXSTYLE, static_cast<LONG_PTR>(ExStyle(trayless)));
    if (shown || trayless) ShowWindow(hwnd(), SW_SHOW);
}

LRESULT WinNotifierWindow::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_ACTIVATE:
            if (LOWORD(wParam) != WA_INACTIVE && !HIWORD(wParam) && Activate) Activate();
            return 0;
        case WM_COMMAND:
            if (LOWORD(wParam) == kMiniId && HIWORD(wParam) == BN_CLICKED && MiniButtonClick)
                MiniButtonClick();
            return 0;
        case WM_PARENTNOTIFY:
            // A browser created later must not cover the button.
            if (LOWORD(wParam) == WM_CREATE && reinterpret_cast<HWND>(lParam) != cmdMini_)
                ::SetWindowPos(cmdMini_, HWND_TOP, 0, 0, 0, 0,
                               SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
            return 0;
        case kApplyMinimize:
            if (minimized_ && Visible() && !IsIconic(hwnd())) ShowWindow(hwnd(), SW_MINIMIZE);
            return 0;
        case WM_SHOWWINDOW:
            if (VisibilityChanged) VisibilityChanged(wParam != FALSE);
            break;
        case WM_CLOSE: {
            // A close request from outside may come again while the question is open (its
            // box serves messages): one question is enough.
            if (asking_) return 0;
            asking_ = true;
            const bool keep = QueryUnload && QueryUnload();
            asking_ = false;
            if (keep) return 0;
            break;
        }
        case WM_QUERYENDSESSION:
            return QueryUnload && QueryUnload() ? FALSE : TRUE;
        case WM_ENDSESSION:
            if (wParam && SessionEnding) SessionEnding();
            return 0;
        case WM_DPICHANGED:
            Layout();
            return 0;
        case WM_DESTROY:
            // Nothing is left to reach the program through: end its loop.
            PostQuitMessage(0);
            return 0;
        default:
            break;
    }
    return Win32Window::OnMessage(message, wParam, lParam);
}
