#include "builder/frmParam.h"
#include "notifier/frmMenu.h"
#include "platform/paths.h"
#include "text/modLangue.h"

namespace {
constexpr int kShowNormal = 1;

// A placement step whose failure must not stop the next one.
template <typename Step>
void IgnoringErrors(Step step) {
    try {
        step();
    } catch (...) {
    }
}
}  // namespace

void frmMenu::Form_Activate() {
    IgnoringErrors([this] {
        ports_.window.Move(ports_.desktop.ScreenWidthTwips() - ports_.window.Width() + 500,
                           ports_.desktop.ScreenHeightTwips() - ports_.window.Height() - 800);
    });
    IgnoringErrors(
        [this] { ports_.window.SetWindowPos(kHwndTopmost, 0, 0, 0, 0, kSwpNoMove | kSwpNoSize); });
}

void frmMenu::WebBrowser1_DocumentComplete() {
    ports_.WebBrowser1.AttachDocument(true);
    DocInfo = true;
}

bool frmMenu::DocInfo_oncontextmenu() {
    if (ending_) return false;
    ports_.mnuMenu.Popup();
    return false;
}

void frmMenu::cmdMini_Click() {
    ports_.window.SetVisible(false);
}

void frmMenu::TrayMouseMessage(int message) {
    if (ending_) return;
    switch (message) {
        case kWmLButtonDown:
            if (ports_.window.Visible()) {
                ports_.window.SetWindowState(vbMinimized);
                ports_.window.SetVisible(false);
            } else {
                ShowWindow();
            }
            break;
        case kWmLButtonDblClk:
            if (!ports_.window.Visible()) ShowWindow();
            break;
        case kWmRButtonDown:
            ports_.mnuMenu.Popup();
            break;
        default:
            break;
    }
}

void frmMenu::ShowWindow() {
    ports_.window.SetVisible(true);
    ports_.window.SetWindowState(vbNormal);
    Form_Activate();
}

void frmMenu::mnuShow_Click() {
    ports_.window.SetWindowState(vbNormal);
    ports_.window.SetVisible(true);
}

void frmMenu::mnuClose_Click() {
    ports_.window.SetWindowState(vbMinimized);
    ports_.window.SetVisible(false);
}

void frmMenu::mnuParam_Click() {
    if (!paramHost) {
        mnuClose_Click();
        return;
    }
    // The first touch creates the window, so its load runs before these writes.
    frmParam& configuration = paramHost->Window();
    configuration.view().SetCaption(Ctl::txtWebPage, PageUrl);
    const std::string icon = JoinPath(ports_.fileSystem.ProgramFolder(), "Info.ico");
    if (ports_.fileSystem.FileExists(icon)) configuration.view().SetCaption(Ctl::lblIconPath, icon);
    mnuClose_Click();
    paramHost->Show();
}

void frmMenu::mnuQuit_Click() {
    Form_QueryUnload();
}

bool frmMenu::Form_QueryUnload() {
    const std::string question = LookupText(4, settings_.LanguageCode) + " " + ProgramName() + " ?";
    if (ports_.messageBox.MsgBox(question, vbYesNo + vbQuestion + vbDefaultButton2) == vbNo)
        return true;
    Quit();
    return false;
}

void frmMenu::Quit() {
    ending_ = true;
    ports_.tray.NotifyIcon(kNimDelete, TrayIcon);
    ports_.WebBrowser1.AttachDocument(false);
    DocInfo = false;
    ports_.shell.EndProcess(0);
}

void frmMenu::UninstallCommand() {
    const std::string folder = ports_.fileSystem.ProgramFolder();
    const std::string found =
        ports_.fileSystem.FindFirstFile(folder, "unins", std::string(kExecutableSuffix));
    if (found.empty()) {
        ports_.messageBox.MsgBox("No Uninstall file at " + folder, vbOKOnly + vbCritical);
        return;
    }
    const std::string question = LookupText(5, settings_.LanguageCode) + " " + ProgramName() + " ?";
    if (ports_.messageBox.MsgBox(question, vbYesNo + vbQuestion + vbDefaultButton2) == vbNo) return;
    ending_ = true;
    ports_.shell.ShellExecute("open", JoinPath(folder, found), "", folder, kShowNormal);
    // Leaving the icon behind would show a ghost in the tray until the mouse passes over it.
    ports_.tray.NotifyIcon(kNimDelete, TrayIcon);
    ports_.shell.EndProcess(0);
}

std::string frmMenu::ProgramName() {
    return StripExecutableSuffix(ports_.fileSystem.ExeName());
}
