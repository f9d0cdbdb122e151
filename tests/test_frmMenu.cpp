#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>

#include "deployment.h"
#include "fakes/fakes.h"
#include "notifier/frmMenu.h"
#include "platform/paths.h"
#include "text/modLangue.h"

namespace fs = std::filesystem;
using fakes::Call;
using fakes::Only;
using fakes::Without;

namespace {

const std::string kTopmost = "window.SetWindowPos(-1,0,0,0,0,3)";
const std::string kMinimise = "window.SetWindowState(1)";
const std::string kNormal = "window.SetWindowState(0)";
const std::string kVisible = "window.SetVisible(true)";
const std::string kInvisible = "window.SetVisible(false)";
const std::string kHourglass = "desktop.SetMousePointer(11)";
const std::string kDefaultCursor = "desktop.SetMousePointer(0)";
const std::string kChunk = "inet.GetChunk(1024)";
const std::string kDoEvents = "desktop.DoEvents()";
const std::string kExeName = "Tavorin" + std::string(kExecutableSuffix);

std::string DefaultPage() {
    return std::string("http://") + deployment::kPublisherHost + "/tavorin.php";
}

// The window, its fakes and a real program folder for Param.ini.
class FrmMenuTest : public ::testing::Test {
  protected:
    FrmMenuTest() {
        std::random_device random;
        folder_ = fs::temp_directory_path() / ("tavorin-frm-" + std::to_string(random()));
        fs::create_directories(folder_);
        files.programFolder = folder_.string();
        files.exeName = kExeName;
    }
    ~FrmMenuTest() override {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }

    std::string Folder() const { return folder_.string(); }
    std::string InFolder(const std::string& name) const { return Folder() + kPathSeparator + name; }

    void WriteParamIni(const std::string& body) {
        std::ofstream(folder_ / "Param.ini", std::ios::binary) << "[Param]\r\n" << body;
    }

    // Start-up, then a clean log for the step under test.
    void Load() {
        form.Form_Load();
        log.clear();
    }

    // Ticks at which a timer tick sent a request, out of count ticks.
    std::vector<int> RequestTicks(int count) {
        std::vector<int> ticks;
        for (int tick = 1; tick <= count; ++tick) {
            log.clear();
            timer.Timer();
            if (!Only(log, "inet.Execute").empty()) ticks.push_back(tick);
        }
        return ticks;
    }

    // A completed download of the given pieces; returns what it logged.
    CallLog Complete(std::initializer_list<std::string> pieces) {
        inet.Serve(pieces);
        log.clear();
        inet.StateChanged(kStateResponseCompleted);
        return log;
    }

    bool Shown(const CallLog& entries) { return !Only(entries, "browser.Navigate").empty(); }

    fs::path folder_;
    CallLog log;
    FakeWindow window{log};
    FakeBrowser browser{log};
    FakeTransfer inet{log};
    FakeTimer timer{log};
    FakeTray tray{log};
    FakePopupMenu menu{log};
    FakeMessageBox messageBox{log};
    FakeShell shell{log};
    FakeFileSystem files{log};
    FakeDesktop desktop{log};
    FakeUserKeyStore keys{log};
    SharedSettings settings;
    frmMenu form{
        settings,
        {window, browser, inet, timer, tray, menu, messageBox, shell, files, desktop, keys}};
};

// ---------------------------------------------------------------- start-up

TEST_F(FrmMenuTest, TimerRunsEveryTenSecondsFromCreation) {
    EXPECT_EQ(log, CallLog{"timer.Start(10000)"});
}

TEST_F(FrmMenuTest, LoadRunsItsStepsInOrder) {
    files.existing.insert(InFolder("Info.ico"));
    log.clear();
    form.Form_Load();

    const CallLog expected = {
        "window.SetSize(7800,5160)",
        "browser.Move(-40,-40,7580,5440)",
        "window.MoveMiniButton(6905,0,375,375)",
        Call("menu.SetCaption", "mnuShow", LookupText(1, "en")),
        Call("menu.SetCaption", "mnuClose", LookupText(2, "en")),
        Call("menu.SetCaption", "mnuParam", LookupText(3, "en")),
        Call("menu.SetCaption", "mnuQuit", LookupText(4, "en")),
        Call("menu.SetCaption", "mnuUni", LookupText(5, "en")),
        Call("fs.FileExists", InFolder("Info.ico")),
        Call("window.LoadIcon", InFolder("Info.ico")),
        "tray.NotifyIcon(0)",
        Call("inet.Execute", DefaultPage()),
        // 28800 - 7800 - 200, 16200 - 5160 - 800
        "window.Move(20800,10240)",
    };
    EXPECT_EQ(Without(log, {"keys."}), expected);
    EXPECT_EQ(form.PageUrl, DefaultPage());
    EXPECT_EQ(menu.captions[MenuItem::mnuUni], "Unistall");
}

TEST_F(FrmMenuTest, LoadResolvesSettingsFromTheProgramFolder) {
    WriteParamIni("Page=http://local.test/info.php\r\nLangue=fr\r\nDelaiInfo=1\r\n");
    form.Form_Load();

    EXPECT_EQ(settings.IniPath, Folder() + kPathSeparator + "Param.ini");
    EXPECT_EQ(form.PageUrl, "http://local.test/info.php");
    EXPECT_EQ(Only(log, "inet.Execute"), CallLog{"inet.Execute(http://local.test/info.php)"});
    EXPECT_EQ(settings.LanguageCode, "fr");
    EXPECT_EQ(settings.ScanTicks, 6);
    EXPECT_EQ(settings.WindowWidth, 7800);
    EXPECT_EQ(settings.WindowHeight, 5160);
}

TEST_F(FrmMenuTest, RegistryPageIsUsedWhenTheFileHasNone) {
    keys.SetString("urlInfo", "http://from.registry/p");
    form.Form_Load();
    EXPECT_EQ(form.PageUrl, "http://from.registry/p");
}

TEST_F(FrmMenuTest, StoredWindowSizeNeverTakesEffect) {
    WriteParamIni("Width=9000\r\nHeight=3000\r\n");
    form.Form_Load();
    EXPECT_EQ(Only(log, "window.SetSize"), CallLog{"window.SetSize(7800,5160)"});
    EXPECT_EQ(settings.WindowWidth, 7800);
    EXPECT_EQ(settings.WindowHeight, 5160);
}

TEST_F(FrmMenuTest, MiniButtonLeftFollowsItsWidthAndKeepsItsTop) {
    window.miniButton = {100, 0, 500, 375};
    form.Form_Load();
    EXPECT_EQ(Only(log, "window.MoveMiniButton"), CallLog{"window.MoveMiniButton(6780,0,500,375)"});
}

TEST_F(FrmMenuTest, FrenchMenuCaptions) {
    WriteParamIni("Langue=fr\r\n");
    form.Form_Load();
    const CallLog expected = {
        Call("menu.SetCaption", "mnuShow", LookupText(1, "fr")),
        Call("menu.SetCaption", "mnuClose", LookupText(2, "fr")),
        Call("menu.SetCaption", "mnuParam", LookupText(3, "fr")),
        Call("menu.SetCaption", "mnuQuit", LookupText(4, "fr")),
        Call("menu.SetCaption", "mnuUni", LookupText(5, "fr")),
    };
    EXPECT_EQ(Only(log, "menu."), expected);
    EXPECT_EQ(menu.captions[MenuItem::mnuShow], "Afficher");
    EXPECT_EQ(menu.captions[MenuItem::mnuUni], "Désinstaller");
}

TEST_F(FrmMenuTest, TrayRecordAsRegistered) {
    form.Form_Load();
    ASSERT_EQ(tray.records.size(), 1u);
    const auto& [message, data] = tray.records[0];
    EXPECT_EQ(message, kNimAdd);
    EXPECT_EQ(data.cbSize, 88u);
    EXPECT_EQ(data.hWnd, window.handle);
    EXPECT_EQ(data.uID, 0u);
    EXPECT_EQ(data.uFlags, 7u);
    EXPECT_EQ(data.uCallbackMessage, 512u);
    EXPECT_EQ(data.hIcon, std::uintptr_t{0x51});  // no Info.ico: the stored icon
    EXPECT_TRUE(Only(log, "window.LoadIcon").empty());

    const std::string tip = deployment::kTrayTip;
    const std::string expectedTip = tip + '\0' + std::string(63 - tip.size(), ' ');
    EXPECT_EQ(std::string(data.szTip.data(), data.szTip.size()), expectedTip);
    EXPECT_EQ(form.TrayIcon.hWnd, window.handle);
}

TEST(MakeTrayIconData, TipFillsTheFieldUpToItsNul) {
    const std::string longest(63, 't');
    const TrayIconData full = MakeTrayIconData(1, 2, longest);
    EXPECT_EQ(std::string(full.szTip.data(), 64), longest + '\0');

    const TrayIconData empty = MakeTrayIconData(1, 2, "");
    EXPECT_EQ(std::string(empty.szTip.data(), 64), '\0' + std::string(63, ' '));
}

TEST_F(FrmMenuTest, LoadedIconGoesIntoTheTrayRecord) {
    files.existing.insert(InFolder("Info.ico"));
    form.Form_Load();
    EXPECT_EQ(tray.records.at(0).second.hIcon, window.loadedIconHandle);
}

TEST_F(FrmMenuTest, UndecodableIconKeepsTheStoredOneAndStartUpGoesOn) {
    files.existing.insert(InFolder("Info.ico"));
    window.iconDecodes = false;
    ASSERT_NO_THROW(form.Form_Load());
    EXPECT_EQ(tray.records.at(0).second.hIcon, std::uintptr_t{0x51});
    EXPECT_EQ(Only(log, "inet.Execute").size(), 1u);
    EXPECT_EQ(Only(log, "window.Move("), CallLog{"window.Move(20800,10240)"});
}

TEST_F(FrmMenuTest, StartPositionFollowsTheScreen) {
    desktop.screenWidth = 19200;
    desktop.screenHeight = 10800;
    form.Form_Load();
    EXPECT_EQ(Only(log, "window.Move("), CallLog{"window.Move(11200,4840)"});
}

// ---------------------------------------------------------------- polling

TEST_F(FrmMenuTest, OneMinutePeriodRequestsEverySeventhTick) {
    WriteParamIni("DelaiInfo=1\r\n");
    Load();
    EXPECT_EQ(RequestTicks(21), (std::vector<int>{7, 14, 21}));  // 70, 140, 210 s
    log.clear();
    timer.Timer();
    EXPECT_EQ(Only(log, "inet.Execute"), CallLog{});
}

TEST_F(FrmMenuTest, TimerRequestFetchesThePageInUse) {
    WriteParamIni("Page=http://local.test/a\r\nDelaiInfo=0\r\n");
    Load();
    timer.Timer();
    EXPECT_EQ(log, CallLog{"inet.Execute(http://local.test/a)"});
}

TEST_F(FrmMenuTest, ZeroPeriodRequestsOnEveryTick) {
    WriteParamIni("DelaiInfo=0\r\n");
    Load();
    EXPECT_EQ(RequestTicks(4), (std::vector<int>{1, 2, 3, 4}));
}

TEST_F(FrmMenuTest, NegativePeriodRequestsOnEveryTick) {
    WriteParamIni("DelaiInfo=-3\r\n");
    Load();
    EXPECT_EQ(RequestTicks(3), (std::vector<int>{1, 2, 3}));
}

TEST_F(FrmMenuTest, DefaultPeriodFirstRequestsAtTick91) {
    Load();
    EXPECT_EQ(RequestTicks(182), (std::vector<int>{91, 182}));
}

TEST_F(FrmMenuTest, DownloadsDoNotTouchTheTickCounter) {
    WriteParamIni("DelaiInfo=1\r\n");
    Load();
    EXPECT_EQ(RequestTicks(3), std::vector<int>{});
    Complete({"page"});
    inet.StateChanged(kStateError);
    EXPECT_EQ(RequestTicks(4), (std::vector<int>{4}));  // tick 7 overall
}

TEST_F(FrmMenuTest, FailedRequestOnlyMinimises) {
    Load();
    form.LastPageText = "before";
    window.visible = true;
    inet.StateChanged(kStateError);
    EXPECT_EQ(log, (CallLog{kMinimise, kDefaultCursor}));
    EXPECT_EQ(form.LastPageText, "before");
    EXPECT_TRUE(window.visible);
}

TEST_F(FrmMenuTest, OtherStatesOnlyResetTheCursor) {
    Load();
    for (std::int16_t state : {std::int16_t{8}, std::int16_t{1}, std::int16_t{10}}) {
        log.clear();
        inet.StateChanged(state);
        EXPECT_EQ(log, CallLog{kDefaultCursor}) << "state " << state;
    }
}

TEST_F(FrmMenuTest, FirstDownloadReadsInPiecesThenShows) {
    Load();
    const CallLog entries = Complete({"<html>", "body", "</html>"});
    const CallLog expected = {
        kHourglass, kChunk,    kDoEvents, kChunk,         kDoEvents,
        kChunk,     kDoEvents, kChunk,    kDoEvents,      Call("browser.Navigate", DefaultPage()),
        kVisible,   kNormal,   kTopmost,  kDefaultCursor,
    };
    EXPECT_EQ(entries, expected);
    EXPECT_EQ(form.LastPageText, "<html>body</html>");
}

TEST_F(FrmMenuTest, LastPageTextChangesOnlyAfterTheShow) {
    Load();
    form.LastPageText = "old";
    std::string seenAtNavigate;
    browser.onNavigate = [&] { seenAtNavigate = form.LastPageText; };
    Complete({"new"});
    EXPECT_EQ(seenAtNavigate, "old");
    EXPECT_EQ(form.LastPageText, "new");
}

TEST_F(FrmMenuTest, ChangeTest) {
    Load();
    EXPECT_TRUE(Shown(Complete({"Hello ", "world"}))) << "first download";
    EXPECT_FALSE(Shown(Complete({"Hello world"}))) << "same text, other pieces";
    EXPECT_TRUE(Shown(Complete({"Hello World"}))) << "case only";
    EXPECT_FALSE(Shown(Complete({"Hello World"})));
    EXPECT_TRUE(Shown(Complete({"Hello World!"}))) << "one character more";
}

TEST_F(FrmMenuTest, FirstDownloadShowsEvenWhenEmpty) {
    Load();
    EXPECT_TRUE(Shown(Complete({})));
    EXPECT_EQ(form.LastPageText, "");
}

TEST_F(FrmMenuTest, EmptyPageShowsEveryTime) {
    Load();
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(Shown(Complete({}))) << "download " << i + 1;
    EXPECT_TRUE(Shown(Complete({"x"})));
    EXPECT_TRUE(Shown(Complete({})));
    EXPECT_TRUE(Shown(Complete({}))) << "after an empty page";
}

TEST_F(FrmMenuTest, FailureBetweenUnchangedDownloadsShowsNothing) {
    Load();
    Complete({"text"});
    log.clear();
    inet.StateChanged(kStateError);
    EXPECT_EQ(Only(log, "window."), CallLog{kMinimise});
    const CallLog after = Complete({"text"});
    EXPECT_FALSE(Shown(after));
    EXPECT_TRUE(Only(after, "window.").empty());
}

TEST_F(FrmMenuTest, ErrorDuringReadIsHandledAsAFailedRequest) {
    Load();
    form.LastPageText = "previous";
    inet.chunks = {std::string("partial "), std::nullopt};
    log.clear();
    ASSERT_NO_THROW(inet.StateChanged(kStateResponseCompleted));
    EXPECT_EQ(form.LastPageText, "previous");
    EXPECT_FALSE(Shown(log));
    EXPECT_EQ(Only(log, "window."), CallLog{kMinimise});
    EXPECT_EQ(log.back(), kDefaultCursor);

    // The text kept is still the reference for the next download.
    EXPECT_FALSE(Shown(Complete({"previous"})));
}

TEST_F(FrmMenuTest, ErrorOnTheFirstPieceLeavesNothingHalfWritten) {
    Load();
    inet.chunks = {std::nullopt};
    ASSERT_NO_THROW(inet.StateChanged(kStateResponseCompleted));
    EXPECT_EQ(form.LastPageText, "");
    EXPECT_EQ(desktop.mousePointer, kMousePointerDefault);
    EXPECT_TRUE(Shown(Complete({"late"}))) << "still the first completed download";
}

TEST_F(FrmMenuTest, TimerTickDuringTheReadDoesNotDisturbIt) {
    WriteParamIni("DelaiInfo=0\r\n");
    Load();
    form.LastPageText = "old";
    int calls = 0;
    desktop.onDoEvents = [&] {
        if (++calls == 1) timer.Timer();
    };
    const CallLog entries = Complete({"a", "b", "c"});
    EXPECT_EQ(form.LastPageText, "abc");
    EXPECT_EQ(Only(entries, "inet.Execute").size(), 1u);
    EXPECT_EQ(Only(entries, "browser.Navigate").size(), 1u);
    EXPECT_EQ(entries.back(), kDefaultCursor);
}

TEST_F(FrmMenuTest, PollingGoesOnWhileTheQuitQuestionIsOpen) {
    WriteParamIni("DelaiInfo=0\r\n");
    Load();
    messageBox.answers = {vbNo};
    messageBox.onShow = [&] {
        timer.Timer();
        inet.Serve({"news"});
        inet.StateChanged(kStateResponseCompleted);
    };
    menu.onPopup = [&] { menu.Click(MenuItem::mnuQuit); };
    tray.MouseMessage(kWmRButtonDown);
    EXPECT_EQ(Only(log, "inet.Execute").size(), 1u);
    EXPECT_TRUE(window.visible) << "a changed page shows while the question is open";
    EXPECT_EQ(form.LastPageText, "news");
    EXPECT_FALSE(shell.exitCode.has_value());
}

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
    EXPECT_EQ(paramView.lists[Ctl::lstProgr].size(), 3u);
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

}  // namespace
