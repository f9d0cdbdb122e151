// The Windows program: the Win32 layer wired to the logic, one message loop on one thread.
#include "notifier/frmMenu.h"
#include "platform/file_system.h"
#include "platform/user_key_store.h"
#include "platform/win/message_loop.h"
#include "platform/win/win_desktop.h"
#include "platform/win/win_notifier_window.h"
#include "platform/win/win_tray.h"

namespace {
// Placeholders until the hosted browser and the WinINet transfer are wired in.
class PlaceholderBrowser final : public IBrowser {
  public:
    void Navigate(const std::string&) override {}
    void Move(int, int, int, int) override {}
    void AttachDocument(bool) override {}
};

class PlaceholderTransfer final : public ITransfer {
  public:
    void Execute(const std::string&) override {}
    std::string GetChunk(int) override { return {}; }
};
}  // namespace

// The program reads no command-line arguments.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    MessageLoop loop;
    auto userKeys = MakeUserKeyStore();
    auto fileSystem = MakeFileSystem();
    SharedSettings settings;

    WinNotifierWindow window;
    PlaceholderBrowser browser;
    PlaceholderTransfer inet;
    WinTimer timer;
    WinTray tray;
    WinPopupMenu menu(window.hwnd());
    WinMessageBox messageBox;
    WinDesktop desktop(loop);
    WinShell shell;

    frmMenu form(settings, {window, browser, inet, timer, tray, menu, messageBox, shell,
                            *fileSystem, desktop, *userKeys});
    tray.AvailabilityChanged = [&](bool available) {
        window.SetTrayless(!available);
        if (!available) form.mnuShow_Click();
    };
    // The session ends without having asked (or after a Yes elsewhere): no ghost icon.
    window.SessionEnding = [&] {
        tray.NotifyIcon(kNimDelete, form.TrayIcon);
        shell.EndProcess(0);
    };
    form.Form_Load();
    return loop.Run();
}
