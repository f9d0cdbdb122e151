#include "platform/win/win_tray.h"

#include <array>
#include <cstring>
#include <string_view>

namespace {
// Not WM_MOUSEMOVE as in the record: on a window of its own the callback cannot be mistaken
// for a real mouse move, and the mouse message is read straight from it.
constexpr UINT kCallbackMessage = WM_APP + 1;
constexpr UINT_PTR kRetryTimer = 1;
constexpr UINT kRetryMs = 5000;

constexpr std::array<const wchar_t*, 7> kStoredCaptions = {
    L"&Show", L"&Minimize", L"Param Tavorin", nullptr, L"&Quit", nullptr, L"Unininstall"};

UINT CommandOf(MenuItem item) {
    return static_cast<UINT>(item) + 1;
}
}  // namespace

NOTIFYICONDATAW WideTrayRecord(const TrayIconData& data, HWND window, UINT callbackMessage) {
    NOTIFYICONDATAW wide{};
    wide.cbSize = sizeof wide;
    wide.hWnd = window;
    wide.uID = data.uID;
    wide.uFlags = data.uFlags & (NIF_MESSAGE | NIF_ICON | NIF_TIP);
    wide.uCallbackMessage = callbackMessage;
    wide.hIcon = reinterpret_cast<HICON>(data.hIcon);
    const std::string_view tip(data.szTip.data(), strnlen(data.szTip.data(), data.szTip.size()));
    const std::wstring text = Utf8ToWide(tip).substr(0, std::size(wide.szTip) - 1);
    std::memcpy(wide.szTip, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
    return wide;
}

WinTray::WinTray() {
    // Hidden top-level rather than message-only: only top-level windows get the broadcast.
    Create(L"TavorinTray", nullptr, WS_EX_TOOLWINDOW, WS_POPUP, nullptr);
    taskbarCreated_ = RegisterWindowMessageW(L"TaskbarCreated");
}

WinTray::~WinTray() {
    if (!record_) return;
    NOTIFYICONDATAW wide = WideTrayRecord(*record_, hwnd(), kCallbackMessage);
    ShellNotify(NIM_DELETE, &wide);
}

bool WinTray::NotifyIcon(std::uint32_t message, const TrayIconData& data) {
    if (message == kNimDelete) {
        KillTimer(hwnd(), kRetryTimer);
        NOTIFYICONDATAW wide = WideTrayRecord(data, hwnd(), kCallbackMessage);
        record_.reset();
        shown_ = tried_ = false;
        return ShellNotify(NIM_DELETE, &wide) != FALSE;
    }
    if (message != kNimAdd) return false;
    record_ = data;
    if (Add()) return true;
    // No taskbar yet (or none at all): keep trying, and say so.
    SetTimer(hwnd(), kRetryTimer, kRetryMs, nullptr);
    if (AvailabilityChanged) AvailabilityChanged(false);
    return false;
}

bool WinTray::Add() {
    NOTIFYICONDATAW wide = WideTrayRecord(*record_, hwnd(), kCallbackMessage);
    // A busy shell can report a failed add after its time-out and add the icon all the same;
    // every later add of that icon then fails. An icon that takes a change exists.
    shown_ = (tried_ && ShellNotify(NIM_MODIFY, &wide)) || ShellNotify(NIM_ADD, &wide);
    tried_ = true;
    return shown_;
}

LRESULT WinTray::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    // "Close this program" tools ask every top-level window to close; the question is the
    // notification window's to ask, and this window must live on to keep the icon.
    if (message == WM_CLOSE) return 0;
    if (message == kCallbackMessage) {
        if (MouseMessage) MouseMessage(static_cast<int>(LOWORD(lParam)));
        return 0;
    }
    if ((message == taskbarCreated_ && taskbarCreated_) ||
        (message == WM_TIMER && wParam == kRetryTimer)) {
        if (!record_) return 0;
        const bool wasShown = shown_;
        if (Add()) {
            KillTimer(hwnd(), kRetryTimer);
            if (!wasShown && AvailabilityChanged) AvailabilityChanged(true);
        } else if (message == taskbarCreated_) {
            SetTimer(hwnd(), kRetryTimer, kRetryMs, nullptr);
        }
        return 0;
    }
    return Win32Window::OnMessage(message, wParam, lParam);
}

WinPopupMenu::WinPopupMenu(HWND owner) : owner_(owner), menu_(CreatePopupMenu()) {
    for (std::size_t i = 0; i < kStoredCaptions.size(); ++i) {
        const UINT command = CommandOf(static_cast<MenuItem>(i));
        if (kStoredCaptions[i])
            AppendMenuW(menu_, MF_STRING, command, kStoredCaptions[i]);
        else
            AppendMenuW(menu_, MF_SEPARATOR, command, nullptr);
    }
}

WinPopupMenu::~WinPopupMenu() {
    DestroyMenu(menu_);
}

void WinPopupMenu::SetCaption(MenuItem item, const std::string& caption) {
    if (item == MenuItem::mnuSpace || item == MenuItem::mnuSpace2) return;
    const UINT command = CommandOf(item);
    ModifyMenuW(menu_, command, MF_BYCOMMAND | MF_STRING, command, Utf8ToWide(caption).c_str());
}

void WinPopupMenu::Popup() {
    POINT at{};
    GetCursorPos(&at);
    // Without the owner in the foreground the menu would not close on a click elsewhere;
    // the WM_NULL after it makes the next click on the tray icon work the first time.
    SetForegroundWindow(owner_);
    const UINT chosen = static_cast<UINT>(TrackPopupMenuEx(
        menu_, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_NONOTIFY, at.x, at.y, owner_, nullptr));
    PostMessageW(owner_, WM_NULL, 0, 0);
    if (chosen && Click) Click(static_cast<MenuItem>(chosen - 1));
}
