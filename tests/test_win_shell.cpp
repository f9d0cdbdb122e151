// The Win32 layer of the notifier against real windows (under Wine: a private desktop).
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "platform/win/message_loop.h"
#include "platform/win/win_notifier_window.h"
#include "platform/win/win_tray.h"
#include "win_ui_support.h"

namespace {
TrayIconData Record(const std::string& tip) {
    TrayIconData data;
    data.cbSize = 88;
    data.hWnd = 0x1234;
    data.uFlags = kNifMessage | kNifIcon | kNifTip | 0x10;
    data.uCallbackMessage = kWmMouseMove;
    data.hIcon = 0x5678;
    data.szTip.fill(' ');
    std::copy(tip.begin(), tip.end(), data.szTip.begin());
    data.szTip[tip.size()] = '\0';
    return data;
}

// A 1 x 1 icon file, 32 bits per pixel.
std::string WriteIconFile() {
    const unsigned char bytes[] = {
        0,  0, 1,   0,   1, 0, 1, 1, 0, 0, 1, 0, 32, 0, 48, 0, 0, 0, 22, 0, 0, 0,  // header, entry
        40, 0, 0,   0,   1, 0, 0, 0, 2, 0, 0, 0, 1,  0, 32, 0, 0, 0, 0,  0,  // BITMAPINFOHEADER
        0,  0, 0,   0,   0, 0, 0, 0, 0, 0, 0, 0, 0,  0, 0,  0, 0, 0, 0,  0,  // (rest)
        0,  0, 255, 255, 0, 0, 0, 0};                                        // pixel, mask
    char folder[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    const std::string path = std::string(folder) + "tavorin-test.ico";
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes), sizeof bytes);
    return path;
}

RECT ClientRectOnScreen(HWND window) {
    RECT r{};
    GetClientRect(window, &r);
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&r), 2);
    return r;
}
}  // namespace

TEST(WinTray, TheAnsiRecordBecomesTheWideOneOfTheTraysWindow) {
    const struct {
        std::string tip;
        std::wstring expected;
    } cases[] = {{"tv.example.com", L"tv.example.com"},
                 {"Caf\xC3\xA9 news", L"Caf\u00E9 news"},
                 {std::string(63, 'x'), std::wstring(63, L'x')},
                 {"", L""}};
    for (const auto& c : cases) {
        const NOTIFYICONDATAW wide =
            WideTrayRecord(Record(c.tip), reinterpret_cast<HWND>(0x99), WM_APP + 1);
        EXPECT_EQ(c.expected, std::wstring(wide.szTip)) << c.tip;
        EXPECT_EQ(sizeof wide, wide.cbSize);
        EXPECT_EQ(reinterpret_cast<HWND>(0x99), wide.hWnd);
        EXPECT_EQ(UINT{NIF_MESSAGE | NIF_ICON | NIF_TIP}, wide.uFlags);
        EXPECT_EQ(UINT{WM_APP + 1}, wide.uCallbackMessage);
        EXPECT_EQ(reinterpret_cast<HICON>(0x5678), wide.hIcon);
    }
}

TEST(WinTray, IconMessagesReachTheLogicAsTheMouseMessagesTheyCarry) {
    WinTray tray;
    std::vector<int> seen;
    tray.MouseMessage = [&](int message) { seen.push_back(message); };
    for (int message : {WM_LBUTTONDOWN, WM_LBUTTONDBLCLK, WM_RBUTTONDOWN, WM_MOUSEMOVE})
        PostMessageW(tray.hwnd(), WM_APP + 1, 0, message);
    winui::Pump(100);
    EXPECT_EQ((std::vector<int>{513, 515, 516, 512}), seen);
}

TEST(WinTray, AnIconMadeDespiteAFailedAddCountsAsAddedOnTheRetry) {
    std::vector<DWORD> calls;
    std::vector<bool> available;
    WinTray tray;
    // The shell reports the first add failed yet makes the icon: later adds fail, changes work.
    tray.ShellNotify = [&](DWORD message, NOTIFYICONDATAW*) {
        calls.push_back(message);
        return BOOL{message != NIM_ADD};
    };
    tray.AvailabilityChanged = [&](bool yes) { available.push_back(yes); };
    tray.NotifyIcon(kNimAdd, Record("tip"));
    SendMessageW(tray.hwnd(), RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    EXPECT_EQ((std::vector<DWORD>{NIM_ADD, NIM_MODIFY}), calls);
    EXPECT_EQ((std::vector<bool>{false, true}), available);
}

TEST(WinPopupMenu, ItemsInTheirOrderWithTheCaptionsSet) {
    winui::HostWindow owner;
    WinPopupMenu menu(owner.Get());
    menu.SetCaption(MenuItem::mnuShow, "Afficher");
    menu.SetCaption(MenuItem::mnuUni, "D\xC3\xA9sinstaller");
    ASSERT_EQ(7, GetMenuItemCount(menu.menu()));
    const std::wstring expected[] = {L"Afficher", L"&Minimize", L"Param Tavorin",    L"",
                                     L"&Quit",    L"",          L"D\u00E9sinstaller"};
    for (int i = 0; i < 7; ++i) {
        wchar_t text[64] = {};
        GetMenuStringW(menu.menu(), static_cast<UINT>(i), text, 64, MF_BYPOSITION);
        EXPECT_EQ(expected[i], text) << i;
        const bool separator =
            GetMenuState(menu.menu(), static_cast<UINT>(i), MF_BYPOSITION) & MF_SEPARATOR;
        EXPECT_EQ(i == 3 || i == 5, separator) << i;
    }
}

TEST(WinNotifierWindow, DesignedGeometryInTwipsAtTheScreensDpi) {
    WinNotifierWindow window;
    const UINT dpi = twips::DpiOf(window.hwnd());
    window.SetSize(7800, 5160);
    window.MoveMiniButton({6905, 0, 375, 375});
    window.Move(1500, 3000);
    RECT outer{};
    GetWindowRect(window.hwnd(), &outer);
    EXPECT_EQ(twips::ToPixels(7800, dpi), outer.right - outer.left);
    EXPECT_EQ(twips::ToPixels(5160, dpi), outer.bottom - outer.top);
    EXPECT_EQ(twips::ToPixels(1500, dpi), outer.left);
    EXPECT_EQ(twips::ToPixels(3000, dpi), outer.top);
    EXPECT_NEAR(7800, window.Width(), 1440.0 / dpi);
    EXPECT_NEAR(5160, window.Height(), 1440.0 / dpi);
    // A thin border all round, no caption, no taskbar button, above other windows.
    const RECT client = ClientRectOnScreen(window.hwnd());
    EXPECT_EQ(1, client.left - outer.left);
    EXPECT_EQ(1, outer.bottom - client.bottom);
    const LONG_PTR style = GetWindowLongPtrW(window.hwnd(), GWL_STYLE);
    const LONG_PTR exStyle = GetWindowLongPtrW(window.hwnd(), GWL_EXSTYLE);
    EXPECT_NE(WS_CAPTION, style & WS_CAPTION);
    EXPECT_TRUE(exStyle & WS_EX_TOOLWINDOW);
    EXPECT_TRUE(exStyle & WS_EX_TOPMOST);
    RECT mini{};
    GetWindowRect(window.miniButton(), &mini);
    EXPECT_EQ(twips::ToPixels(6905, dpi), mini.left - client.left);
    EXPECT_EQ(twips::ToPixels(375, dpi), mini.right - mini.left);
    EXPECT_EQ((TwipsRect{6905, 0, 375, 375}), window.MiniButton());
}

TEST(WinNotifierWindow, ShowingActivatesHidingAfterMinimisingLeavesNoIcon) {
    WinNotifierWindow window;
    int activations = 0;
    window.Activate = [&] { ++activations; };
    window.SetVisible(true);
    winui::Pump();
    EXPECT_TRUE(window.Visible());
    EXPECT_GE(activations, 1);

    // The tray's hide: minimised, then hidden at once; it must not come back as an icon.
    window.SetWindowState(vbMinimized);
    window.SetVisible(false);
    winui::Pump();
    EXPECT_FALSE(window.Visible());
    EXPECT_FALSE(IsIconic(window.hwnd()));
    EXPECT_EQ(vbMinimized, window.WindowState());

    // A failed download minimises a window left shown.
    window.SetVisible(true);
    window.SetWindowState(vbNormal);
    window.SetWindowState(vbMinimized);
    winui::Pump();
    EXPECT_TRUE(IsIconic(window.hwnd()));
    window.SetVisible(true);
    window.SetWindowState(vbNormal);
    winui::Pump();
    EXPECT_FALSE(IsIconic(window.hwnd()));
}

TEST(WinNotifierWindow, CloseRequestsAskTheLogicAndTheMiniButtonReportsItsClick) {
    WinNotifierWindow window;
    int asked = 0, clicks = 0;
    window.QueryUnload = [&] { return ++asked, true; };
    window.MiniButtonClick = [&] { ++clicks; };
    SendMessageW(window.hwnd(), WM_CLOSE, 0, 0);
    EXPECT_EQ(FALSE, SendMessageW(window.hwnd(), WM_QUERYENDSESSION, 0, 0));
    EXPECT_EQ(2, asked);
    EXPECT_TRUE(IsWindow(window.hwnd()));
    SendMessageW(window.miniButton(), BM_CLICK, 0, 0);
    EXPECT_EQ(1, clicks);
}

TEST(WinNotifierWindow, AnIconFileReplacesTheStoredIconAndABrokenOneLeavesIt) {
    WinNotifierWindow window;
    const std::uintptr_t stored = window.IconHandle();
    EXPECT_NE(0u, stored);
    char folder[MAX_PATH];
    GetTempPathA(MAX_PATH, folder);
    const std::string broken = std::string(folder) + "tavorin-broken.ico";
    std::ofstream(broken) << "not an icon";
    EXPECT_FALSE(window.LoadIcon(broken));
    EXPECT_EQ(stored, window.IconHandle());
    const std::string good = WriteIconFile();
    EXPECT_TRUE(window.LoadIcon(good));
    EXPECT_NE(stored, window.IconHandle());
    std::remove(broken.c_str());
    std::remove(good.c_str());
}

TEST(MessageLoop, ServingPendingMessagesLeavesTheQuitForTheLoop) {
    MessageLoop loop;
    int filtered = 0;
    loop.AddFilter([&](MSG& message) { return message.message == WM_APP + 7 && ++filtered; });
    winui::HostWindow window;
    PostMessageW(window.Get(), WM_APP + 7, 0, 0);
    PostQuitMessage(3);
    loop.ServePending();
    EXPECT_EQ(1, filtered);
    EXPECT_EQ(3, loop.Run());
}

TEST(Twips, PixelsAtCommonDpis) {
    const struct {
        UINT dpi;
        int twips, pixels;
    } cases[] = {{96, 7800, 520}, {96, 15, 1}, {120, 7800, 650}, {144, 5160, 516}, {192, -45, -6}};
    for (const auto& c : cases) {
        EXPECT_EQ(c.pixels, twips::ToPixels(c.twips, c.dpi)) << c.dpi << " " << c.twips;
        EXPECT_EQ(c.twips, twips::FromPixels(c.pixels, c.dpi)) << c.dpi << " " << c.pixels;
    }
}
