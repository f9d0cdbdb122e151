#pragma once
#include <cstdint>
#include <string>

#include "builder/param_host.h"
#include "platform/browser.h"
#include "platform/desktop.h"
#include "platform/file_system.h"
#include "platform/message_box.h"
#include "platform/popup_menu.h"
#include "platform/shell.h"
#include "platform/timer.h"
#include "platform/transfer.h"
#include "platform/tray.h"
#include "platform/user_key_store.h"
#include "platform/window.h"
#include "settings/shared_settings.h"

// Everything the notification window talks to; borrowed, not owned.
struct NotifierPorts {
    IWindow& window;
    IBrowser& WebBrowser1;
    ITransfer& Inet1;
    ITimer& Timer1;
    ITray& tray;
    IPopupMenu& mnuMenu;
    IMessageBox& messageBox;
    IShell& shell;
    IFileSystem& fileSystem;
    IDesktop& desktop;
    IUserKeyStore& userKeys;
};

// The notification window: start-up, polling, display, tray and menu commands.
class frmMenu {
  public:
    frmMenu(SharedSettings& settings, NotifierPorts ports);

    void Form_Load();
    void Form_Activate();
    // True keeps the window (and the program) running.
    bool Form_QueryUnload();
    void Timer1_Timer();
    void Inet1_StateChanged(std::int16_t State);
    void WebBrowser1_DocumentComplete();
    bool DocInfo_oncontextmenu();
    void cmdMini_Click();
    void TrayMouseMessage(int message);
    void mnuShow_Click();
    void mnuClose_Click();
    void mnuParam_Click();
    void mnuQuit_Click();
    void mnuUni_Click() { UninstallCommand(); }
    void UninstallCommand();

    // The configuration window's host, borrowed; without one, configure only hides.
    IParamHost* paramHost = nullptr;

    std::string PageUrl;
    std::int16_t TickCounter = 0;
    std::string LastPageText;
    TrayIconData TrayIcon;
    bool DocInfo = false;  // a document is attached and its events reach this window

  private:
    void ShowNotification(const std::string& text);
    void ShowWindow();
    void Quit();
    std::string ProgramName();

    SharedSettings& settings_;
    NotifierPorts ports_;
    // Set once quitting or uninstalling is confirmed; ending the process may return first.
    bool ending_ = false;
};

// The fixed tray tooltip, the built-in page address and the record start-up registers.
std::string DefaultPageUrl();
TrayIconData MakeTrayIconData(std::uintptr_t window, std::uintptr_t icon, const std::string& tip);
