#include "notifier/frmMenu.h"

#include <algorithm>
#include <cstring>

#include "deployment.h"
#include "platform/page_address.h"
#include "platform/paths.h"
#include "settings/modRegistre.h"
#include "text/modLangue.h"

namespace {
constexpr int kTimerIntervalMs = 10000;
constexpr std::int16_t kWindowWidth = 7800;
constexpr std::int16_t kWindowHeight = 5160;
}  // namespace

std::string DefaultPageUrl() {
    return std::string("http://") + deployment::kPublisherHost + "/tavorin.php";
}

TrayIconData MakeTrayIconData(std::uintptr_t window, std::uintptr_t icon, const std::string& tip) {
    TrayIconData data;
    data.cbSize = 88;
    data.hWnd = window;
    data.uID = 0;
    data.uFlags = kNifMessage | kNifIcon | kNifTip;
    data.uCallbackMessage = kWmMouseMove;
    data.hIcon = icon;
    data.szTip.fill(' ');
    const std::size_t length = std::min(tip.size(), data.szTip.size() - 1);
    std::memcpy(data.szTip.data(), tip.data(), length);
    data.szTip[length] = '\0';
    return data;
}

frmMenu::frmMenu(SharedSettings& settings, NotifierPorts ports)
    : settings_(settings), ports_(ports) {
    ports_.window.Activate = [this] { Form_Activate(); };
    ports_.window.MiniButtonClick = [this] { cmdMini_Click(); };
    ports_.window.QueryUnload = [this] { return Form_QueryUnload(); };
    ports_.WebBrowser1.DocumentComplete = [this] { WebBrowser1_DocumentComplete(); };
    ports_.WebBrowser1.DocumentContextMenu = [this] { return DocInfo_oncontextmenu(); };
    ports_.Inet1.StateChanged = [this](std::int16_t state) { Inet1_StateChanged(state); };
    ports_.Timer1.Timer = [this] { Timer1_Timer(); };
    ports_.tray.MouseMessage = [this](int message) { TrayMouseMessage(message); };
    ports_.mnuMenu.Click = [this](MenuItem item) {
        switch (item) {
            case MenuItem::mnuShow:
                mnuShow_Click();
                break;
            case MenuItem::mnuClose:
                mnuClose_Click();
                break;
            case MenuItem::mnuParam:
                mnuParam_Click();
                break;
            case MenuItem::mnuQuit:
                mnuQuit_Click();
                break;
            case MenuItem::mnuUni:
                mnuUni_Click();
                break;
            case MenuItem::mnuSpace:
            case MenuItem::mnuSpace2:
                break;
        }
    };
    ports_.Timer1.Start(kTimerIntervalMs);
}

void frmMenu::Form_Load() {
    const std::string TrayTip = deployment::kTrayTip;
    const std::string folder = ports_.fileSystem.ProgramFolder();
    settings_.IniPath = JoinPath(folder, "Param.ini");

    PageUrl = ResolveSettings(settings_, ports_.userKeys);
    if (PageUrl.empty()) PageUrl = DefaultPageUrl();

    settings_.WindowWidth = kWindowWidth;
    settings_.WindowHeight = kWindowHeight;
    ports_.window.SetSize(kWindowWidth, settings_.WindowHeight);
    ports_.WebBrowser1.Move(-40, -40, settings_.WindowWidth - 220, settings_.WindowHeight + 280);
    TwipsRect mini = ports_.window.MiniButton();
    mini.Left = settings_.WindowWidth - mini.Width - 520;
    ports_.window.MoveMiniButton(mini);

    const std::string& language = settings_.LanguageCode;
    ports_.mnuMenu.SetCaption(MenuItem::mnuShow, LookupText(1, language));
    ports_.mnuMenu.SetCaption(MenuItem::mnuClose, LookupText(2, language));
    ports_.mnuMenu.SetCaption(MenuItem::mnuParam, LookupText(3, language));
    ports_.mnuMenu.SetCaption(MenuItem::mnuQuit, LookupText(4, language));
    ports_.mnuMenu.SetCaption(MenuItem::mnuUni, LookupText(5, language));

    // An icon file that cannot be decoded leaves the stored icon in place.
    const std::string iconPath = JoinPath(folder, "Info.ico");
    if (ports_.fileSystem.FileExists(iconPath)) ports_.window.LoadIcon(iconPath);

    TrayIcon = MakeTrayIconData(ports_.window.Handle(), ports_.window.IconHandle(), TrayTip);
    ports_.tray.NotifyIcon(kNimAdd, TrayIcon);

    ports_.Inet1.Execute(PageAddress(PageUrl));

    ports_.window.Move(ports_.desktop.ScreenWidthTwips() - ports_.window.Width() - 200,
                       ports_.desktop.ScreenHeightTwips() - ports_.window.Height() - 800);
}
