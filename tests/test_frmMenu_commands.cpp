#include "fakes/param_fakes.h"
#include "frmMenu_fixture.h"
#include "platform/distribution.h"
#include "platform/single_instance.h"

using namespace menutest;

namespace {

// ---------------------------------------------------------------- display

TEST_F(FrmMenuTest, ActivatePlacesTheWindowAtTheCornerAndTopmost) {
    Load();
    window.Activate();
    EXPECT_EQ(log, (CallLog{"window.Move(21500,10240)", kTopmost}));
}

TEST_F(FrmMenuTest, ActivateFollowsAChangedScreen) {
    Load();
    desktop.screenWidth = 19200;
    desktop.screenHeight = 10800;
    window.Activate();
    EXPECT_EQ(Only(log, "window.Move("), CallLog{"window.Move(11900,4840)"});
}

TEST_F(FrmMenuTest, ActivateIgnoresAFailedMove) {
    Load();
    window.moveThrows = true;
    ASSERT_NO_THROW(window.Activate());
    EXPECT_EQ(log, (CallLog{"window.Move(21500,10240)", kTopmost}));
}

TEST_F(FrmMenuTest, ActivateIgnoresAFailedTopmost) {
    Load();
    window.setWindowPosThrows = true;
    EXPECT_NO_THROW(window.Activate());
}

TEST_F(FrmMenuTest, DocumentCompleteAttachesTheDocument) {
    Load();
    EXPECT_FALSE(form.DocInfo);
    browser.DocumentComplete();
    EXPECT_EQ(log, CallLog{"browser.AttachDocument(true)"});
    EXPECT_TRUE(form.DocInfo);
    browser.DocumentComplete();  // a later page replaces the first
    EXPECT_TRUE(browser.attached);
}

TEST_F(FrmMenuTest, PageContextMenuOpensTheTrayMenuInstead) {
    Load();
    browser.DocumentComplete();
    log.clear();
    EXPECT_FALSE(browser.DocumentContextMenu());
    EXPECT_EQ(log, CallLog{"menu.Popup()"});
}

TEST_F(FrmMenuTest, PageContextMenuRunsTheChosenCommand) {
    Load();
    window.visible = true;
    menu.onPopup = [&] { menu.Click(MenuItem::mnuClose); };
    EXPECT_FALSE(browser.DocumentContextMenu());
    EXPECT_EQ(log, (CallLog{"menu.Popup()", kMinimise, kInvisible}));
}

TEST_F(FrmMenuTest, MiniButtonOnlyHides) {
    Load();
    window.visible = true;
    window.MiniButtonClick();
    EXPECT_EQ(log, CallLog{kInvisible});
    EXPECT_EQ(window.windowState, vbNormal);
}

// ---------------------------------------------------------------- tray

TEST_F(FrmMenuTest, LeftClickHidesAVisibleWindow) {
    Load();
    window.visible = true;
    tray.MouseMessage(kWmLButtonDown);
    EXPECT_EQ(log, (CallLog{kMinimise, kInvisible}));
}

TEST_F(FrmMenuTest, LeftClickShowsAHiddenWindowAtTheCorner) {
    Load();
    window.visible = false;
    window.windowState = vbMinimized;
    tray.MouseMessage(kWmLButtonDown);
    EXPECT_EQ(log, (CallLog{kVisible, kNormal, "window.Move(21500,10240)", kTopmost}));
}

TEST_F(FrmMenuTest, DoubleClickShowsAHiddenWindow) {
    Load();
    tray.MouseMessage(kWmLButtonDblClk);
    EXPECT_EQ(log, (CallLog{kVisible, kNormal, "window.Move(21500,10240)", kTopmost}));
    log.clear();
    tray.MouseMessage(kWmLButtonDblClk);
    EXPECT_EQ(log, CallLog{}) << "already visible";
}

TEST_F(FrmMenuTest, DoubleClickSequenceFromHiddenEndsShown) {
    Load();
    tray.MouseMessage(kWmLButtonDown);
    tray.MouseMessage(kWmLButtonDblClk);
    EXPECT_TRUE(window.visible);
    EXPECT_EQ(window.windowState, vbNormal);
    EXPECT_EQ(Only(log, "window.SetVisible"), CallLog{kVisible});
}

TEST_F(FrmMenuTest, DoubleClickSequenceFromShownEndsShown) {
    Load();
    window.visible = true;
    tray.MouseMessage(kWmLButtonDown);
    tray.MouseMessage(kWmLButtonDblClk);
    EXPECT_TRUE(window.visible);
    EXPECT_EQ(window.windowState, vbNormal);
    EXPECT_EQ(Only(log, "window.SetVisible"), (CallLog{kInvisible, kVisible}));
    EXPECT_EQ(log.back(), kTopmost);
}

TEST_F(FrmMenuTest, RightClickOpensTheMenu) {
    Load();
    tray.MouseMessage(kWmRButtonDown);
    EXPECT_EQ(log, CallLog{"menu.Popup()"});
}

TEST_F(FrmMenuTest, OtherMouseMessagesDoNothing) {
    Load();
    for (bool visible : {false, true}) {
        window.visible = visible;
        for (int message : {0x200, 0x202, 0x205, 0x207, 0}) {
            tray.MouseMessage(message);
            EXPECT_EQ(log, CallLog{}) << message << (visible ? " shown" : " hidden");
        }
    }
}

// ---------------------------------------------------------------- menu commands

TEST_F(FrmMenuTest, ShowCommandRestoresThenShows) {
    Load();
    window.windowState = vbMinimized;
    menu.Click(MenuItem::mnuShow);
    EXPECT_EQ(log, (CallLog{kNormal, kVisible}));
}

TEST_F(FrmMenuTest, HideCommandMinimisesThenHides) {
    Load();
    window.visible = true;
    menu.Click(MenuItem::mnuClose);
    EXPECT_EQ(log, (CallLog{kMinimise, kInvisible}));
}

TEST_F(FrmMenuTest, ConfigureWithoutConfigurationWindowOnlyHides) {
    Load();
    window.visible = true;
    menu.Click(MenuItem::mnuParam);
    EXPECT_EQ(log, (CallLog{kMinimise, kInvisible}));
}

// The configuration window behind the tray command.
class FrmMenuConfigureTest : public FrmMenuTest {
  protected:
    FrmMenuConfigureTest() { form.paramHost = &host; }

    // What the command did after the window's own load procedure.
    CallLog AfterLoad() {
        const auto start = std::find_if(log.begin(), log.end(), [](const std::string& entry) {
            return entry.starts_with("view.SetCaption(txtWebPage,");
        });
        return CallLog(start, log.end());
    }

    FakeParamView paramView{log};
    FakeBrowser preview{log};
    FakeFileDialog dialog{log};
    FakeParamHost host{
        log, settings, paramView, {paramView, preview, dialog, messageBox, shell, files}};
};

TEST_F(FrmMenuConfigureTest, LoadsTheWindowThenFillsItInHidesAndShowsIt) {
    Load();
    files.existing.insert(InFolder("Info.ico"));
    window.visible = true;
    menu.Click(MenuItem::mnuParam);
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.front(), "host.Create()");
    EXPECT_EQ(Only(log, "view.SetTabCaption").size(), 3u);  // the load ran first
    EXPECT_EQ(AfterLoad(), (CallLog{Call("view.SetCaption", "txtWebPage", form.PageUrl),
                                    Call("fs.FileExists", InFolder("Info.ico")),
                                    Call("view.SetCaption", "lblIconPath", InFolder("Info.ico")),
                                    kMinimise, kInvisible, "host.Show()", "view.Show()"}));
    EXPECT_EQ(paramView.Caption(Ctl::txtWebPage), DefaultPage());
}

TEST_F(FrmMenuConfigureTest, WithoutTheProgramsIconThePathIsLeftAlone) {
    Load();
    menu.Click(MenuItem::mnuParam);
    EXPECT_EQ(AfterLoad(), (CallLog{Call("view.SetCaption", "txtWebPage", form.PageUrl),
                                    Call("fs.FileExists", InFolder("Info.ico")), kMinimise,
                                    kInvisible, "host.Show()", "view.Show()"}));
    EXPECT_EQ(paramView.Caption(Ctl::lblIconPath), "");
}

TEST_F(FrmMenuConfigureTest, AgainWhileOpenOnlyRefillsTheAddressAndIcon) {
    Load();
    menu.Click(MenuItem::mnuParam);
    paramView.SetCaption(Ctl::txtName, "Shop");
    paramView.SetCaption(Ctl::txtWebPage, "http://elsewhere/");
    paramView.captions[Ctl::cmbDelai] = "60";
    paramView.UserSelectsTab(1);  // builds the files list
    paramView.UserSelectsTab(2);
    files.existing.insert(InFolder("Info.ico"));
    log.clear();

    menu.Click(MenuItem::mnuParam);
    EXPECT_EQ(log, (CallLog{Call("view.SetCaption", "txtWebPage", form.PageUrl),
                            Call("fs.FileExists", InFolder("Info.ico")),
                            Call("view.SetCaption", "lblIconPath", InFolder("Info.ico")), kMinimise,
                            kInvisible, "host.Show()", "view.Show()"}));
    EXPECT_EQ(paramView.Caption(Ctl::txtName), "Shop");
    EXPECT_EQ(paramView.Caption(Ctl::cmbDelai), "60");
    EXPECT_EQ(paramView.tab, 2);
    EXPECT_EQ(paramView.lists[Ctl::lstProgr].size(), 3 + ProgramParts().size());
}

TEST_F(FrmMenuConfigureTest, AfterClosingTheWindowStartsAfresh) {
    Load();
    menu.Click(MenuItem::mnuParam);
    paramView.SetCaption(Ctl::txtName, "Shop");
    paramView.captions[Ctl::cmbDelai] = "60";
    paramView.UserSelectsTab(1);
    paramView.Click(Ctl::cmdUndo);
    log.clear();

    menu.Click(MenuItem::mnuParam);
    EXPECT_EQ(log.front(), "host.Create()");
    EXPECT_EQ(paramView.Caption(Ctl::txtName), "MyTavorin");
    EXPECT_EQ(paramView.Caption(Ctl::cmbDelai), "15");
    EXPECT_EQ(paramView.tab, 0);
    EXPECT_EQ(paramView.Caption(Ctl::lblFolder), "");
    EXPECT_TRUE(paramView.lists[Ctl::lstProgr].empty());
}

TEST_F(FrmMenuTest, SeparatorsDoNothing) {
    Load();
    menu.Click(MenuItem::mnuSpace);
    menu.Click(MenuItem::mnuSpace2);
    EXPECT_EQ(log, CallLog{});
}

// ---------------------------------------------------------------- quit

TEST_F(FrmMenuTest, QuitAnsweredNoKeepsEverything) {
    Load();
    browser.DocumentComplete();
    log.clear();
    messageBox.answers = {vbNo};
    menu.Click(MenuItem::mnuQuit);
    EXPECT_EQ(log, CallLog{Call("msgbox.MsgBox", "Quit Tavorin ?", 292)});
    EXPECT_TRUE(form.DocInfo);
    EXPECT_FALSE(shell.exitCode.has_value());
}

TEST_F(FrmMenuTest, CloseRequestIsCancelledOnlyByNo) {
    Load();
    messageBox.answers = {vbNo, vbYes};
    EXPECT_TRUE(window.QueryUnload());
    EXPECT_EQ(Only(log, "tray."), CallLog{});
    EXPECT_FALSE(window.QueryUnload());
    EXPECT_EQ(Only(log, "tray."), CallLog{"tray.NotifyIcon(2)"});
    EXPECT_EQ(shell.exitCode, 0);
}

TEST_F(FrmMenuTest, QuitAnsweredYesRemovesTheIconAndEnds) {
    Load();
    browser.DocumentComplete();
    log.clear();
    messageBox.answers = {vbYes};
    menu.Click(MenuItem::mnuQuit);
    const CallLog expected = {
        Call("msgbox.MsgBox", "Quit Tavorin ?", 292),
        "tray.NotifyIcon(2)",
        "browser.AttachDocument(false)",
        "shell.EndProcess(0)",
    };
    EXPECT_EQ(log, expected);
    EXPECT_FALSE(form.DocInfo);

    ASSERT_EQ(tray.records.size(), 2u);
    const TrayIconData& added = tray.records[0].second;
    const TrayIconData& deleted = tray.records[1].second;
    EXPECT_EQ(deleted.cbSize, added.cbSize);
    EXPECT_EQ(deleted.hWnd, added.hWnd);
    EXPECT_EQ(deleted.uID, added.uID);
    EXPECT_EQ(deleted.uFlags, added.uFlags);
    EXPECT_EQ(deleted.uCallbackMessage, added.uCallbackMessage);
    EXPECT_EQ(deleted.hIcon, added.hIcon);
    EXPECT_EQ(deleted.szTip, added.szTip);
}

TEST_F(FrmMenuTest, AnyAnswerButNoQuits) {
    Load();
    for (int answer : {vbOK, 2, 0}) {
        log.clear();
        shell.exitCode.reset();
        messageBox.answers = {answer};
        form.mnuQuit_Click();
        EXPECT_EQ(shell.exitCode, 0) << "answer " << answer;
        EXPECT_EQ(Only(log, "tray."), CallLog{"tray.NotifyIcon(2)"});
    }
}

TEST_F(FrmMenuTest, QuitQuestionInFrenchNamesTheExecutable) {
    WriteParamIni("Langue=fr\r\n");
    files.exeName = "MonInfo" + std::string(kExecutableSuffix);
    Load();
    form.mnuQuit_Click();
    ASSERT_EQ(messageBox.shown.size(), 1u);
    EXPECT_EQ(messageBox.shown[0].first, "Quitter MonInfo ?");
    EXPECT_EQ(messageBox.shown[0].second, 292);
}

// ---------------------------------------------------------------- uninstall

TEST_F(FrmMenuTest, UninstallWithoutUninstallerSaysSo) {
    Load();
    menu.Click(MenuItem::mnuUni);
    const CallLog expected = {
        Call("fs.FindFirstFile", Folder(), "unins", std::string(kExecutableSuffix)),
        Call("msgbox.MsgBox", "No Uninstall file at " + Folder(), 16),
    };
    EXPECT_EQ(log, expected);
    EXPECT_FALSE(shell.exitCode.has_value());
}

TEST_F(FrmMenuTest, UninstallAnsweredNoDoesNothing) {
    Load();
    files.firstMatch = "unins000" + std::string(kExecutableSuffix);
    messageBox.answers = {vbNo};
    form.mnuUni_Click();
    EXPECT_EQ(Without(log, {"fs."}), CallLog{Call("msgbox.MsgBox", "Unistall Tavorin ?", 292)});
}

TEST_F(FrmMenuTest, UninstallAnsweredYesStartsTheUninstallerAndEnds) {
    Load();
    const std::string name = "unins000" + std::string(kExecutableSuffix);
    files.firstMatch = name;
    messageBox.answers = {vbYes};
    menu.Click(MenuItem::mnuUni);
    const CallLog expected = {
        Call("fs.FindFirstFile", Folder(), "unins", std::string(kExecutableSuffix)),
        Call("msgbox.MsgBox", "Unistall Tavorin ?", 292),
        Call("shell.ShellExecute", "open", Folder() + kPathSeparator + name, "", Folder(), 1),
        "tray.NotifyIcon(2)",
        "shell.EndProcess(0)",
    };
    EXPECT_EQ(log, expected);
    EXPECT_EQ(tray.records.back().second.hWnd, window.handle);
}

TEST_F(FrmMenuTest, UninstallQuestionInFrench) {
    WriteParamIni("Langue=fr\r\n");
    Load();
    files.firstMatch = "unins000";
    form.UninstallCommand();
    ASSERT_EQ(messageBox.shown.size(), 1u);
    EXPECT_EQ(messageBox.shown[0].first, "Désinstaller Tavorin ?");
}

TEST_F(FrmMenuTest, UnknownLanguageLeavesTheQuestionsStartingWithABlank) {
    WriteParamIni("Langue=de\r\n");
    Load();
    files.firstMatch = "unins000";
    form.UninstallCommand();
    form.mnuQuit_Click();
    ASSERT_EQ(messageBox.shown.size(), 2u);
    EXPECT_EQ(messageBox.shown[0].first, " Tavorin ?");
    EXPECT_EQ(messageBox.shown[1].first, " Tavorin ?");
}

TEST(InstanceKey, IsFnv1aOfThePathAndTellsCopiesApart) {
    EXPECT_EQ(InstanceKey(""), "Tavorin-cbf29ce484222325");  // FNV-1a's vectors: a stable key
    EXPECT_EQ(InstanceKey("foobar"), "Tavorin-85944171f73967e8");
    const std::string key = InstanceKey("/opt/t/Tavorin");
    for (const char* other : {"/opt/u/Tavorin", "/opt/t/MyCopy", "/opt/t/Tavorin "})
        EXPECT_NE(InstanceKey(other), key) << other;
    EXPECT_EQ(InstanceKey("\\OPT\\T\\TAVORIN") == key, kPathSeparator == '\\');  // case, slash kind
}

}  // namespace
