#include <algorithm>

#include "frmParam_fixture.h"
#include "platform/distribution.h"

using namespace paramtest;

namespace {

#ifdef _WIN32
const std::string kProgramFiles = "Program Files (Default install : C:\\Program Files\\";
const std::string kProgrammes =
    "Fichiers programmes (installation conseillée dans C:\\Program Files\\";
#else
const std::string kProgramFiles = "Program Files (Default install : /opt/";
const std::string kProgrammes = "Fichiers programmes (installation conseillée dans /opt/";
#endif

// ---------------------------------------------------------------- load

TEST_F(FrmParamTest, LoadSetsTheCaptionsInItsOrder) {
    settings.LanguageCode = "en";
    form = std::make_unique<frmParam>(settings,
                                      ParamPorts{view, preview, dialog, messageBox, shell, files});
    form->Form_Load();
    auto caption = [&](const char* control, std::int16_t id) {
        return Call("view.SetCaption", control, Text(id));
    };
    const std::string note = Text(20);
    CallLog expected{Call("view.SetTabCaption", 0, "Config"),
                     Call("view.SetTabCaption", 1, "Create"),
                     Call("view.SetTabCaption", 2, "By your Pro version"),
                     "view.SetTab(0)",
                     caption("cmdTestWebPage", 9),
                     caption("cmdBrowse", 10),
                     caption("cmdUndo", 11),
                     caption("cmdShowFiles", 12),
                     caption("cmdSelfMake", 13),
                     caption("cmdPayInstall", 14),
                     caption("cmdMailInstall", 15),
                     caption("cmdPayPro", 16),
                     caption("cmdMailPro", 17),
                     caption("lblWeb", 18),
                     caption("lblIcon", 19),
                     caption("lblInfo0", 20),
                     Call("view.SetCaption", "lblInfo1", note),
                     Call("view.SetCaption", "lblInfo2", note + "\n" + Text(21)),
                     caption("lblInfoFree", 22),
                     caption("lblName", 23),
                     Call("view.SetCaption", "lblProgramFiles", kProgramFiles + "xxxxx)"),
                     caption("lblSystemFiles", 25),
                     caption("lblDest", 26),
                     caption("lblInstall", 27),
                     caption("chkAddSyst", 28),
                     caption("lblPro", 29),
                     "view.ListClear(lstInstall)"};
    for (std::int16_t id = 30; id <= 34; ++id)
        expected.push_back(Call("view.ListAdd", "lstInstall", Text(id)));
    const int every = FakeParamView::kTwipsPerChar * 26;  // "Search for new data every "
    const CallLog tail{Call("view.ComboSelect", "cmbDelai", 1),
                       Call("view.SetCaption", "lblEvery0", "Search for new data every "),
                       "view.AutoSize(lblEvery0)",
                       Call("view.SetCaption", "lblEvery1", " minutes"),
                       "view.AutoSize(lblEvery1)",
                       Call("view.Move", "cmbDelai", 360 + every, 6435, 855, 315),
                       Call("view.Move", "lblEvery1", 360 + every + 855, 6480,
                            FakeParamView::kTwipsPerChar * 8, 195)};
    expected.insert(expected.end(), tail.begin(), tail.end());
    EXPECT_EQ(log, expected);
    // Nothing else: the opener fills these, and the name, period and lists stay as designed.
    EXPECT_EQ(view.Caption(Ctl::txtName), "MyTavorin");
    EXPECT_EQ(view.Caption(Ctl::cmbDelai), "15");
    EXPECT_EQ(view.lists[Ctl::lstInstall].size(), 5u);
    EXPECT_TRUE(view.lists[Ctl::lstProgr].empty());
    EXPECT_FALSE(view.Visible(Ctl::lstSyst));
}

TEST_F(FrmParamTest, FrenchWindowAndItsPeriodRowClosedUp) {
    Open("fr");
    EXPECT_EQ(view.tabCaptions,
              (std::vector<std::string>{"Configuration", "Création", "Acheter votre version Pro"}));
    EXPECT_EQ(view.Caption(Ctl::lblEvery0), "Regarder si un nouveau contenu toutes les ");
    EXPECT_EQ(view.Caption(Ctl::lblEvery1), " minutes");
    EXPECT_EQ(view.Caption(Ctl::lblProgramFiles), kProgrammes + "xxxxx)");
    const TwipsRect before = view.rects[Ctl::lblEvery0], period = view.rects[Ctl::cmbDelai],
                    after = view.rects[Ctl::lblEvery1];
    EXPECT_EQ(period.Left, before.Left + before.Width);
    EXPECT_EQ(after.Left, period.Left + period.Width);
    EXPECT_EQ(before.Width, FakeParamView::kTwipsPerChar * 42);
    EXPECT_EQ((std::array{before.Top, period.Top, after.Top}), (std::array{6480, 6435, 6480}));
    // Text 20 is two lines: the third note adds text 21 on a third.
    EXPECT_EQ(view.Caption(Ctl::lblInfo1), view.Caption(Ctl::lblInfo0));
    EXPECT_EQ(view.Caption(Ctl::lblInfo2), Text(20) + "\n" + Text(21));
    EXPECT_EQ(
        std::count(view.captions[Ctl::lblInfo2].begin(), view.captions[Ctl::lblInfo2].end(), '\n'),
        2);
}

TEST_F(FrmParamTest, NotesCopyWhatTheFirstNoteShows) {
    view.shows = [](Ctl control, const std::string& text) {
        return control == Ctl::lblInfo0 ? text + "*" : text;
    };
    Open();
    EXPECT_EQ(view.Caption(Ctl::lblInfo1), Text(20) + "*");
    EXPECT_EQ(view.Caption(Ctl::lblInfo2), Text(20) + "*\n" + Text(21));
}

TEST_F(FrmParamTest, UnknownLanguageLeavesEveryTextEmpty) {
    Open("de");
    EXPECT_EQ(view.tabCaptions, (std::vector<std::string>{"", "", ""}));
    for (Ctl control : {Ctl::cmdUndo, Ctl::lblWeb, Ctl::lblInfo0, Ctl::lblInfo1, Ctl::lblPro,
                        Ctl::chkAddSyst, Ctl::lblEvery0, Ctl::lblEvery1})
        EXPECT_EQ(view.Caption(control), "") << fakes::CtlName(control);
    EXPECT_EQ(view.Caption(Ctl::lblInfo2), "\n");
    EXPECT_EQ(view.Caption(Ctl::lblProgramFiles), "xxxxx)");
    EXPECT_EQ(view.lists[Ctl::lstInstall], std::vector<std::string>(5));
    EXPECT_EQ(view.rects[Ctl::cmbDelai].Left, 360);  // the empty label takes no room
}

// ---------------------------------------------------------------- activation, preview, close

TEST_F(FrmParamTest, ActivationShowsTheIconOnlyWhenItsFileExists) {
    Open();
    view.Activate();  // empty path
    view.captions[Ctl::lblIconPath] = "/gone/Info.ico";
    view.Activate();
    EXPECT_TRUE(Only(log, "view.LoadPicture").empty());

    files.existing.insert("/icons/my icon.ico");
    view.captions[Ctl::lblIconPath] = "/icons/my icon.ico";
    view.Activate();
    EXPECT_EQ(Only(log, "view.LoadPicture"),
              CallLog{Call("view.LoadPicture", "Image1", "/icons/my icon.ico")});
    EXPECT_EQ(view.pictures[Ctl::Image1], "/icons/my icon.ico");
}

TEST_F(FrmParamTest, UndecodablePictureOnActivationIsClearedSilently) {
    Open();
    files.existing.insert("/icons/broken.ico");
    view.undecodable.insert("/icons/broken.ico");
    view.pictures[Ctl::Image1] = "/icons/old.ico";
    view.captions[Ctl::lblIconPath] = "/icons/broken.ico";
    view.Activate();
    EXPECT_EQ(view.pictures[Ctl::Image1], "");
    EXPECT_EQ(view.Caption(Ctl::lblIconPath), "/icons/broken.ico");
    EXPECT_TRUE(messageBox.shown.empty());
    EnterCreationTab("Shop");  // still usable
    EXPECT_EQ(view.Caption(Ctl::lblFolder), Folder("Shop"));
}

TEST_F(FrmParamTest, PageTestNavigatesToTheAddressTakenAsHttpWithoutAScheme) {
    Open();
    for (const std::string address : {"www.site.com/info.htm", "ftp://h/p", ""}) {
        view.captions[Ctl::txtWebPage] = address;
        view.Click(Ctl::cmdTestWebPage);
    }
    EXPECT_EQ(log, (CallLog{Call("browser.Navigate", "http://www.site.com/info.htm"),
                            Call("browser.Navigate", "ftp://h/p"), Call("browser.Navigate", "")}));
    EXPECT_TRUE(messageBox.shown.empty());
}

TEST_F(FrmParamTest, PreviewIsInertAndReleasedOnClose) {
    Open();
    preview.DocumentComplete();
    EXPECT_TRUE(form->DocInfo);
    EXPECT_FALSE(preview.DocumentClick());
    EXPECT_FALSE(preview.DocumentContextMenu());
    view.Click(Ctl::cmdUndo);
    EXPECT_EQ(log, (CallLog{"browser.AttachDocument(true)", "view.Close()",
                            "browser.AttachDocument(false)"}));
    EXPECT_FALSE(form->DocInfo);
    EXPECT_TRUE(view.closed);
}

// ---------------------------------------------------------------- icon choice

TEST_F(FrmParamTest, IconChoiceCancelledBeforeAnyChoiceChangesNothing) {
    Open();
    view.captions[Ctl::lblIconPath] = "/opt/tavorin/Info.ico";
    dialog.answers = {std::nullopt};
    view.Click(Ctl::cmdBrowse);
    EXPECT_EQ(log, CallLog{Call("dialog.ShowOpen", "Your Tavorin Icon", "Ico file | *.ico", "")});
    EXPECT_EQ(view.Caption(Ctl::lblIconPath), "/opt/tavorin/Info.ico");
}

TEST_F(FrmParamTest, IconChoiceIsAppliedAgainAfterALaterCancel) {
    Open();
    dialog.answers = {"/my icons/shop.ico", std::nullopt};
    view.Click(Ctl::cmdBrowse);
    view.Click(Ctl::cmdBrowse);
    const CallLog once{Call("view.SetCaption", "lblIconPath", "/my icons/shop.ico"),
                       Call("view.LoadPicture", "Image1", "/my icons/shop.ico")};
    EXPECT_EQ(log, (CallLog{Call("dialog.ShowOpen", "Your Tavorin Icon", "Ico file | *.ico", ""),
                            once[0], once[1],
                            Call("dialog.ShowOpen", "Your Tavorin Icon", "Ico file | *.ico",
                                 "/my icons/shop.ico"),
                            once[0], once[1]}));
    EXPECT_EQ(view.pictures[Ctl::Image1], "/my icons/shop.ico");
}

TEST_F(FrmParamTest, UndecodableChoiceKeepsThePathAndClearsThePicture) {
    Open();
    view.pictures[Ctl::Image1] = "/old.ico";
    view.undecodable.insert("/notes.txt");
    dialog.answers = {"/notes.txt"};
    view.Click(Ctl::cmdBrowse);
    EXPECT_EQ(view.Caption(Ctl::lblIconPath), "/notes.txt");
    EXPECT_EQ(view.pictures[Ctl::Image1], "");
    EXPECT_TRUE(messageBox.shown.empty());
}

// ---------------------------------------------------------------- files list

TEST_F(FrmParamTest, ListRefusesAnEmptyNameAndTheProductsOwn) {
    Open();
    for (const std::string name : {"Tavorin", ""}) {
        log.clear();
        EnterCreationTab(name);
        EXPECT_EQ(log, (CallLog{Call("msgbox.MsgBox", "No valid application Name", kError),
                                "view.SetTab(0)"}))
            << name;
        EXPECT_EQ(view.tab, 0);
        EXPECT_EQ(view.Caption(Ctl::lblFolder), "");
    }
}

TEST_F(FrmParamTest, ListIsBuiltForAnyOtherNameAndRebuiltNotAppended) {
    Open();
    for (const std::string name : {"tavorin", " Tavorin", "MyTavorin"}) {
        EnterCreationTab(name);
        EXPECT_EQ(view.Caption(Ctl::lblFolder), Folder(name));
        EXPECT_EQ(view.Caption(Ctl::lblProgramFiles), kProgramFiles + name + ")");
    }
    EXPECT_TRUE(messageBox.shown.empty());
#ifdef _WIN32
    EXPECT_EQ(view.lists[Ctl::lstProgr],
              (std::vector<std::string>{"MyTavorin.exe", "Info.ico", "Param.ini"}));
    EXPECT_EQ(view.lists[Ctl::lstSyst],
              (std::vector<std::string>{"ieframe.dll", "msinet.ocx", "msinet.oca", "MSINET.DEP",
                                        "TABCTL32.OCX", "TABCTL32.DEP", "COMDLG32.OCX",
                                        "COMDLG32.DEP", "wshom.ocx", "mshtml.tlb"}));
#else
    // The files the copy really has, and package names as dpkg knows them.
    EXPECT_EQ(view.lists[Ctl::lstProgr],
              (std::vector<std::string>{"MyTavorin", "Info.ico", "Param.ini", "tavorin-viewer"}));
    const std::vector<std::string>& packages = view.lists[Ctl::lstSyst];
    EXPECT_NE(std::find(packages.begin(), packages.end(), "libc6"), packages.end());
    for (const std::string& package : packages)
        EXPECT_EQ(package.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789+-."),
                  std::string::npos)
            << package;
#endif
}

TEST_F(FrmParamTest, RefusedNameKeepsTheEarlierList) {
    Open();
    EnterCreationTab("Shop");
    EnterCreationTab("Tavorin");
    EXPECT_EQ(view.Caption(Ctl::lblFolder), Folder("Shop"));
    EXPECT_EQ(view.lists[Ctl::lstProgr].front(), "Shop" + kSuffix);
    EXPECT_EQ(view.lists[Ctl::lstSyst].size(), SystemParts().size());
}

TEST_F(FrmParamTest, OnlyTheWayFromTheConfigurationTabBuildsTheList) {
    Open();
    view.UserSelectsTab(2);
    view.UserSelectsTab(1);
    view.UserSelectsTab(0);
    EXPECT_EQ(log, CallLog{});
    view.Click(Ctl::cmdSelfMake);  // so the copy is refused
    EXPECT_EQ(messageBox.shown.front().first,
              "Complet the name of your Tavorin and generate files before proceed");
}

TEST_F(FrmParamTest, SystemFilesFollowTheCheckBox) {
    Open();
    EnterCreationTab("Shop");
    for (const int value : {vbChecked, vbUnchecked, vbChecked, 2}) {
        log.clear();
        view.checks[Ctl::chkAddSyst] = value;
        view.Click(Ctl::chkAddSyst);
        const bool shown = value == vbChecked;
        EXPECT_EQ(log, (CallLog{Call("view.SetVisible", "lblSystemFiles", shown),
                                Call("view.SetVisible", "lstSyst", shown)}));
    }
    EXPECT_EQ(view.lists[Ctl::lstSyst].size(), SystemParts().size());
}

// ---------------------------------------------------------------- names of generated files

TEST(IsUsableFileName, RefusedEverywhere) {
    for (const bool windows : {false, true}) {
        for (const std::string& name : std::vector<std::string>{
                 "", ".", "..", "a/b", "a\\b", "../x", std::string("a\0b", 3), "tab\there",
                 "line\nbreak", "del\x7f", "a\xFF", "a\xED\xA0\x80"})
            EXPECT_FALSE(IsUsableFileName(name, windows)) << name << " windows=" << windows;
        for (const std::string name : {"MyTavorin", " Tavorin", "a.b", "Café", "..a"})
            EXPECT_TRUE(IsUsableFileName(name, windows)) << name << " windows=" << windows;
    }
}

TEST(IsUsableFileName, WindowsRules) {
    for (const std::string name : {"CON", "con", "Nul", "aux.txt", "con .txt", "COM1", "lpt9.exe",
                                   "COM\u00B9", "lpt\u00B3.txt", "CONIN$", "conout$.log", "name.",
                                   "name ", "a:b", "a*b", "a?b", "a|b", "a\"b", "<a>"}) {
        EXPECT_FALSE(IsUsableFileName(name, true)) << name;
        EXPECT_TRUE(IsUsableFileName(name, false)) << name;
    }
    for (const std::string name : {"COM0", "LPT10", "console", "CONS.txt", "xcon"})
        EXPECT_TRUE(IsUsableFileName(name, true)) << name;
}

// ---------------------------------------------------------------- order e-mail and payment

TEST(OrderMailAddress, EnglishInstallationOrder) {
    EXPECT_EQ(OrderMailAddress(1, "MyTavorin", "http://h/p", "15", "en"),
              std::string("mailto:") + deployment::kOrderEmail +
                  "?subject=Tavorin%20installation&body=Tavorin%20Name:%20MyTavorin%0A"
                  "Url:%20http:%2F%2Fh%2Fp%0APeriod:%2015%0A"
                  "Payment%20info%20(please%20complete):%20%0A%0A"
                  "icon%20file%20(add%20attachement)%0A");
}

TEST(OrderMailAddress, FrenchLabelsForEveryOtherCode) {
    const std::string french = OrderMailAddress(2, "Shop", "p", "60", "fr");
    EXPECT_EQ(french, std::string("mailto:") + deployment::kOrderEmail +
                          "?subject=Tavorin%20ProVersion&body=Tavorin%20Nom:%20Shop%0A"
                          "Url%20:%20p%0ADelai:%2060%0A"
                          "Info%20paiement%20(completer%20SVP):%20%0A%0AIcône%20(joindre)%0A");
    for (const char* code : {"de", "EN", ""})
        EXPECT_EQ(OrderMailAddress(2, "Shop", "p", "60", code), french) << code;
    EXPECT_EQ(OrderMailAddress(7, "Shop", "p", "60", "fr"), french);  // any kind but 1
}

TEST(OrderMailAddress, ValuesReachTheMailProgramAsTyped) {
    const std::string address =
        OrderMailAddress(1, "A&B #1?", "http://h/p?a=1&b=5%+x#top", "1\n5", "en");
    EXPECT_NE(address.find("Name:%20A%26B%20%231%3F%0A"), std::string::npos) << address;
    EXPECT_NE(address.find("Url:%20http:%2F%2Fh%2Fp%3Fa%3D1%26b%3D5%25%2Bx%23top%0A"),
              std::string::npos)
        << address;
    EXPECT_NE(address.find("Period:%201%0A5%0A"), std::string::npos) << address;
    EXPECT_NE(OrderMailAddress(1, "Café ô", "", "", "en").find("Name:%20Caf%C3%A9%20%C3%B4%0A"),
              std::string::npos);
}

TEST(PaymentAddress, ProductAndLanguage) {
    const std::string page = std::string("http://") + deployment::kPaymentHost + "/page20.php";
    EXPECT_EQ(PaymentAddress(1, "fr"), page + "?product=1&lang=fr");
    EXPECT_EQ(PaymentAddress(2, "en"), page + "?product=2&lang=en");
    EXPECT_EQ(PaymentAddress(2, "EN"), page + "?product=2&lang=EN");
    EXPECT_EQ(PaymentAddress(1, "d e&x=1#"), page + "?product=1&lang=d%20e%26x%3D1%23");
}

TEST_F(FrmParamTest, OrderButtonsHandTheAddressesToTheShell) {
    Open("de");
    view.captions[Ctl::txtWebPage] = "http://h/p";
    for (Ctl button : {Ctl::cmdMailInstall, Ctl::cmdMailPro, Ctl::cmdPayInstall, Ctl::cmdPayPro})
        view.Click(button);
    auto mail = [&](std::int16_t kind) {
        return Call("shell.ShellExecute", "",
                    OrderMailAddress(kind, "MyTavorin", "http://h/p", "15", "de"), "", kMailFolder,
                    1);
    };
    EXPECT_EQ(log,
              (CallLog{mail(1), mail(2),
                       Call("shell.ShellExecute", "open", PaymentAddress(1, "de"), "", "", 1),
                       Call("shell.ShellExecute", "open", PaymentAddress(2, "de"), "", "", 1)}));
}

}  // namespace
