#include <QApplication>
#include <QTimer>

#include "notifier/frmMenu.h"
#include "platform/file_system.h"
#include "platform/paths.h"
#include "platform/qt/qt_desktop.h"
#include "platform/qt/qt_param_host.h"
#include "platform/qt/qt_session.h"
#include "platform/qt/qt_transfer.h"
#include "platform/qt/qt_tray.h"
#include "platform/qt/qt_viewer_window.h"
#include "platform/qt/termination_signals.h"
#include "platform/single_instance.h"
#include "platform/user_key_store.h"

int main() {
    QtProgramApplication app;

    auto userKeys = MakeUserKeyStore();
    auto fileSystem = MakeFileSystem();
    // One running program per copy: a later start of this same file shows the running one's
    // window and ends here, before any icon or request.
    auto instance =
        MakeSingleInstance(JoinPath(fileSystem->ProgramFolder(), fileSystem->ExeName()));
    if (!instance->Claim()) return 0;
    SharedSettings settings;

    // The page is shown by a viewer process while the window is up: the engine is never
    // loaded here, and all it took goes when the window hides.
    QtViewerWindow window;
    IBrowser& browser = window.browser();
    QtTransfer inet;
    QtTimer timer;
    QtPopupMenu menu;
    QtTray tray(&window, menu.menu());
    QtMessageBox messageBox;
    QtDesktop desktop;
    auto endProcess = [&](int code) {
        window.endViewer();
        QCoreApplication::exit(code);
    };
    QtShell shell(endProcess);

    frmMenu form(settings, {window, browser, inet, timer, tray, menu, messageBox, shell,
                            *fileSystem, desktop, *userKeys});
    QtParamHost paramHost(settings, messageBox, shell, *fileSystem);
    form.paramHost = &paramHost;
    instance->ShowRequested = [&form] { form.mnuShow_Click(); };
    tray.AvailabilityChanged = [&](bool available) {
        window.setTrayless(!available);
        if (!available) form.mnuShow_Click();
    };
    // Asked from outside to end (session end, kill): no question, but no ghost icon either.
    WatchTerminationSignals([&] {
        tray.NotifyIcon(kNimDelete, form.TrayIcon);
        endProcess(0);
    });
    form.Form_Load();
    return QApplication::exec();
}
