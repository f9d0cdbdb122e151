#include "frmMenu_fixture.h"

using namespace menutest;

namespace {

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

TEST_F(FrmMenuTest, AnAddressWithoutASchemeIsPolledAndShownAsHttp) {
    WriteParamIni("Page=www.site.com/info.htm\r\nDelaiInfo=0\r\n");
    form.Form_Load();
    EXPECT_EQ(form.PageUrl, "www.site.com/info.htm");
    timer.Timer();
    EXPECT_EQ(Only(log, "inet.Execute"),
              CallLog(2, Call("inet.Execute", "http://www.site.com/info.htm")));
    EXPECT_EQ(Only(Complete({"news"}), "browser.Navigate"),
              CallLog{Call("browser.Navigate", "http://www.site.com/info.htm")});
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
        kHourglass,
        kChunk,
        kDoEvents,
        kChunk,
        kDoEvents,
        kChunk,
        kDoEvents,
        kChunk,
        kDoEvents,
        "browser.AttachDocument(false)",
        Call("browser.Navigate", DefaultPage()),
        kVisible,
        kNormal,
        kTopmost,
        kDefaultCursor,
    };
    EXPECT_EQ(entries, expected);
    EXPECT_EQ(form.LastPageText, "<html>body</html>");
    EXPECT_EQ(browser.shownBody, "<html>body</html>") << "shown is what was compared";
}

TEST_F(FrmMenuTest, ANewPageLetsGoOfTheDocumentUntilItCompletes) {
    Load();
    Complete({"first"});
    browser.DocumentComplete();
    ASSERT_TRUE(browser.attached);
    Complete({"second"});
    EXPECT_FALSE(browser.attached) << "the right click is the browser's until the page completes";
    EXPECT_FALSE(form.DocInfo);
    browser.DocumentComplete();
    EXPECT_TRUE(browser.attached);
    EXPECT_TRUE(form.DocInfo);
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

// Ending the process returns to the event loop first; the read it interrupted stops there.
class EndDuringRead : public FrmMenuTest, public ::testing::WithParamInterface<MenuItem> {};

TEST_P(EndDuringRead, NothingRunsAfterQuitOrUninstallConfirmed) {
    WriteParamIni("DelaiInfo=0\r\n");
    Load();
    files.firstMatch = "unins000" + std::string(kExecutableSuffix);
    messageBox.answers = {vbYes};
    menu.onPopup = [&] { menu.Click(GetParam()); };
    // While the first piece is read: the menu, the confirmation, then a tick and a click.
    desktop.onDoEvents = [&] {
        desktop.onDoEvents = nullptr;
        tray.MouseMessage(kWmRButtonDown);
        timer.Timer();
        tray.MouseMessage(kWmLButtonDown);
    };
    const CallLog entries = Complete({"a", "b", "c"});
    EXPECT_EQ(Only(entries, "inet.GetChunk").size(), 1u);
    EXPECT_TRUE(Only(entries, "inet.Execute").empty());
    EXPECT_FALSE(Shown(entries));
    EXPECT_TRUE(Only(entries, kVisible).empty());
    EXPECT_EQ(shell.exitCode, 0);
}
INSTANTIATE_TEST_SUITE_P(QuitAndUninstall, EndDuringRead,
                         ::testing::Values(MenuItem::mnuQuit, MenuItem::mnuUni));

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

}  // namespace
