// The Windows program: the Win32 layer wired to the logic, one message loop on one thread.
#include "notifier/frmMenu.h"
#include "platform/file_system.h"
#include "platform/paths.h"
#include "platform/user_key_store.h"
#include "platform/win/message_loop.h"
#include "platform/win/win_browser.h"
#include "platform/win/win_desktop.h"
#include "platform/win/win_message_box.h"
#include "platform/win/win_notifier_window.h"
#include "platform/win/win_param_host.h"
#include "platform/win/win_shell.h"
#include "platform/win/win_single_instance.h"
#include "platform/win/win_timer.h"
#include "platform/win/win_transfer.h"
#include "platform/win/win_tray.h"

// The program reads no command-line arguments.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    auto fileSystem = MakeFileSystem();
    // A copy already running has been asked to show its window: nothing more to do here.
    WinSingleInstance instance(JoinPath(fileSystem->ProgramFolder(), fileSystem->ExeName()));
    if (!instance.Claim()) return 0;

    const OleSession ole;
    MessageLoop loop;
    auto userKeys = MakeUserKeyStore();
    SharedSettings settings;

    WinNotifierWindow window;
    WinBrowser browser(window.browserParent());
    WinTransfer inet;
    WinTimer timer;
    WinTray tray;
    WinPopupMenu menu(window.hwnd());
    WinMessageBox messageBox;
    WinDesktop desktop(loop, window.hwnd());
    WinShell shell;

    // A hidden window's page gives way to a blank one; it comes back when the window shows.
    window.VisibilityChanged = [&](bool visible) { browser.SetHostVisible(visible); };

    frmMenu form(settings, {window, browser, inet, timer, tray, menu, messageBox, shell,
                            *fileSystem, desktop, *userKeys});
    WinParamHost paramHost(settings, messageBox, shell, *fileSystem);
    form.paramHost = &paramHost;
    // Keys for the pages (Tab, arrows, copy) and for the configuration window's controls.
    loop.AddFilter([&](MSG& message) { return browser.PreTranslate(message); });
    loop.AddFilter([&](MSG& message) {
        WinBrowser* preview = paramHost.browser();
        return preview && preview->PreTranslate(message);
    });
    loop.AddFilter([&](MSG& message) { return paramHost.PreTranslate(message); });
    tray.AvailabilityChanged = [&](bool available) {
        window.SetTrayless(!available);
        if (!available) form.mnuShow_Click();
    };
    // The session ends without having asked (or after a Yes elsewhere), or our setup is
    // about to replace or remove the program: no question, no ghost icon.
    window.SessionEnding = [&] {
        tray.NotifyIcon(kNimDelete, form.TrayIcon);
        shell.EndProcess(0);
    };
    instance.EndRequested = window.SessionEnding;
    instance.ShowRequested = [&] { form.mnuShow_Click(); };
    form.Form_Load();
    const int code = loop.Run();
    // However the loop ended, Quit's ending: no icon left behind, no wait on a download's locks.
    tray.NotifyIcon(kNimDelete, form.TrayIcon);
    shell.EndProcess(code);
    return code;
}
