#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "builder/frmParam.h"
#include "deployment.h"
#include "fakes/param_fakes.h"
#include "platform/paths.h"
#include "text/modLangue.h"

namespace fs = std::filesystem;
using fakes::Call;
using fakes::Only;

namespace {

constexpr int kError = vbOKOnly + vbCritical;
constexpr int kQuestion = vbYesNo + vbQuestion;
const std::string kSuffix(kExecutableSuffix);
#ifdef _WIN32
const std::string kMailFolder = "C:\\";
#else
const std::string kMailFolder = "";
#endif

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::erase(text, '\r');
    return text;
}

void WriteFile(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

fs::path NewTemporaryFolder() {
    std::random_device random;
    const fs::path folder =
        fs::temp_directory_path() / ("tavorin-param-" + std::to_string(random()));
    fs::create_directories(folder);
    return folder;
}

// The window loaded in a language, its fakes, and a clean log.
class FrmParamTest : public ::testing::Test {
  protected:
    void Open(const std::string& language = "en") {
        settings.LanguageCode = language;
        form = std::make_unique<frmParam>(
            settings, ParamPorts{view, preview, dialog, messageBox, shell, *fileSystem});
        form->Form_Load();
        log.clear();
    }
    std::string Text(std::int16_t id) const { return LookupText(id, settings.LanguageCode); }
    // Entering the creation tab from the configuration tab, as the user does.
    void EnterCreationTab(const std::string& name) {
        view.captions[Ctl::txtName] = name;
        view.UserSelectsTab(0);
        view.UserSelectsTab(1);
    }
    std::string Folder(const std::string& name) {
        return JoinPath(fileSystem->BuilderBaseFolder(), name);
    }

    CallLog log;
    FakeParamView view{log};
    FakeBrowser preview{log};
    FakeFileDialog dialog{log};
    FakeMessageBox messageBox{log};
    FakeShell shell{log};
    FakeFileSystem files{log};
    IFileSystem* fileSystem = &files;
    SharedSettings settings;
    std::unique_ptr<frmParam> form;
};

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
                     Call("view.SetCaption", "lblProgramFiles",
                          "Program Files (Default install : C:\\Program Files\\xxxxx)"),
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
    EXPECT_EQ(view.Caption(Ctl::lblProgramFiles),
              "Fichiers programmes (installation conseillée dans C:\\Program Files\\xxxxx)");
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

TEST_F(FrmParamTest, PageTestNavigatesToTheAddressAsTyped) {
    Open();
    for (const std::string address : {" not an address ", ""}) {
        view.captions[Ctl::txtWebPage] = address;
        view.Click(Ctl::cmdTestWebPage);
    }
    EXPECT_EQ(
        log, (CallLog{Call("browser.Navigate", " not an address "), Call("browser.Navigate", "")}));
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
        EXPECT_EQ(view.Caption(Ctl::lblProgramFiles),
                  "Program Files (Default install : C:\\Program Files\\" + name + ")");
    }
    EXPECT_TRUE(messageBox.shown.empty());
    EXPECT_EQ(view.lists[Ctl::lstProgr],
              (std::vector<std::string>{"MyTavorin.exe", "Info.ico", "Param.ini"}));
    EXPECT_EQ(view.lists[Ctl::lstSyst],
              (std::vector<std::string>{"ieframe.dll", "msinet.ocx", "msinet.oca", "MSINET.DEP",
                                        "TABCTL32.OCX", "TABCTL32.DEP", "COMDLG32.OCX",
                                        "COMDLG32.DEP", "wshom.ocx", "mshtml.tlb"}));
}

TEST_F(FrmParamTest, RefusedNameKeepsTheEarlierList) {
    Open();
    EnterCreationTab("Shop");
    EnterCreationTab("Tavorin");
    EXPECT_EQ(view.Caption(Ctl::lblFolder), Folder("Shop"));
    EXPECT_EQ(view.lists[Ctl::lstProgr].front(), "Shop.exe");
    EXPECT_EQ(view.lists[Ctl::lstSyst].size(), 10u);
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
    EXPECT_EQ(view.lists[Ctl::lstSyst].size(), 10u);
}

// ---------------------------------------------------------------- names of generated files

TEST(IsUsableFileName, RefusedEverywhere) {
    for (const bool windows : {false, true}) {
        for (const std::string& name :
             std::vector<std::string>{"", ".", "..", "a/b", "a\\b", "../x", std::string("a\0b", 3),
                                      "tab\there", "line\nbreak", "del\x7f"})
            EXPECT_FALSE(IsUsableFileName(name, windows)) << name << " windows=" << windows;
        for (const std::string name : {"MyTavorin", " Tavorin", "a.b", "Café", "..a"})
            EXPECT_TRUE(IsUsableFileName(name, windows)) << name << " windows=" << windows;
    }
}

TEST(IsUsableFileName, WindowsRules) {
    for (const std::string name : {"CON", "con", "Nul", "aux.txt", "con .txt", "COM1", "lpt9.exe",
                                   "name.", "name ", "a:b", "a*b", "a?b", "a|b", "a\"b", "<a>"}) {
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

// ---------------------------------------------------------------- local copy, fake file system

// Param.ini goes to a real folder that the fake file system still reports missing, so
// that every folder step shows in the log.
class FrmParamCopyTest : public FrmParamTest {
  protected:
    FrmParamCopyTest() : root_(NewTemporaryFolder()) {
        files.baseFolder = (root_ / "Tavorin").string();
        files.folders = {root_.string()};
        files.existing = {Program()};
        fs::create_directories(root_ / "Tavorin" / "MyTavorin");
    }
    ~FrmParamCopyTest() override {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    std::string Program() const { return JoinPath(files.programFolder, files.exeName + kSuffix); }
    std::string Target() { return Folder("MyTavorin"); }
    std::string Ini() { return JoinPath(Target(), "Param.ini"); }
    // The window with an address and the list made for MyTavorin.
    void Prepare(const std::string& language = "en") {
        Open(language);
        view.captions[Ctl::txtWebPage] = "http://h/p";
        EnterCreationTab("MyTavorin");
        log.clear();
    }

    fs::path root_;
};

TEST_F(FrmParamCopyTest, RefusedWithoutAListOrAnAddress) {
    Open();
    view.Click(Ctl::cmdSelfMake);
    EXPECT_EQ(log,
              (CallLog{Call("msgbox.MsgBox",
                            "Complet the name of your Tavorin and generate files before proceed",
                            kError)}));
    Prepare();
    view.captions[Ctl::txtWebPage] = "";
    view.Click(Ctl::cmdSelfMake);
    EXPECT_EQ(
        log,
        (CallLog{Call("msgbox.MsgBox", "Complete url page for your Tavorin before proced", kError),
                 "view.SetTab(0)"}));
    EXPECT_EQ(view.tab, 0);
}

TEST_F(FrmParamCopyTest, CreatesCopiesWritesAndStartsInThisOrder) {
    Prepare();
    files.existing.insert("/icons/shop.ico");
    view.captions[Ctl::lblIconPath] = "/icons/shop.ico";
    messageBox.answers = {vbYes};
    view.Click(Ctl::cmdSelfMake);
    const std::string base = files.baseFolder, copy = JoinPath(Target(), "MyTavorin" + kSuffix);
    EXPECT_EQ(
        log,
        (CallLog{Call("fs.FolderExists", base), Call("fs.CreateFolder", base),
                 Call("fs.FolderExists", Target()), Call("fs.CreateFolder", Target()),
                 Call("fs.FileExists", "/icons/shop.ico"),
                 Call("fs.CopyFile", "/icons/shop.ico", JoinPath(Target(), "Info.ico")),
                 Call("fs.CopyFile", Program(), copy),
                 Call("msgbox.MsgBox", "Your Tavorin is ready for test, launch now ?", kQuestion),
                 Call("shell.ShellExecute", "open", copy, "", Target(), 1)}));
    EXPECT_EQ(ReadFile(Ini()), "[Param]\nPage=http://h/p\nLangue=en\nDelaiInfo=15\n");
}

TEST_F(FrmParamCopyTest, ExistingFolderDeclinedWritesNothing) {
    Prepare();
    files.folders.insert({files.baseFolder, Target()});
    view.Click(Ctl::cmdSelfMake);  // No
    EXPECT_EQ(
        log, (CallLog{Call("fs.FolderExists", files.baseFolder), Call("fs.FolderExists", Target()),
                      Call("msgbox.MsgBox",
                           "Folder " + Target() + " exist, replace existing files ?", kQuestion)}));
    EXPECT_FALSE(fs::exists(Ini()));
}

TEST_F(FrmParamCopyTest, FrenchQuestionsAndTheChosenPeriod) {
    Prepare("fr");
    files.folders.insert({files.baseFolder, Target()});
    view.captions[Ctl::cmbDelai] = "60";
    messageBox.answers = {vbYes, vbNo};
    view.Click(Ctl::cmdSelfMake);
    EXPECT_EQ(messageBox.shown,
              (std::vector<std::pair<std::string, int>>{
                  {"Folder " + Target() + " existe, remplacer les fichiers existants ?", kQuestion},
                  {"Votre Tavorin est prêt à être tester, démarrer maintenant ?", kQuestion}}));
    EXPECT_TRUE(Only(log, "fs.CreateFolder").empty());
    EXPECT_TRUE(Only(log, "shell").empty());
    EXPECT_EQ(ReadFile(Ini()), "[Param]\nPage=http://h/p\nLangue=fr\nDelaiInfo=60\n");
}

TEST_F(FrmParamCopyTest, IconOnlyFromAnExistingFileAndTheNameAsTypedNow) {
    Prepare();
    view.captions[Ctl::txtName] = "Other";     // after the list: the folder stays
    messageBox.answers = {vbNo, vbYes, vbNo};  // the second run replaces
    for (const std::string icon : {"", "/gone.ico"}) {
        view.captions[Ctl::lblIconPath] = icon;
        view.Click(Ctl::cmdSelfMake);
    }
    const std::string copy = Call("fs.CopyFile", Program(), JoinPath(Target(), "Other" + kSuffix));
    EXPECT_EQ(Only(log, "fs.CopyFile"), (CallLog{copy, copy}));
    EXPECT_EQ(Only(log, "fs.FileExists"), CallLog{Call("fs.FileExists", "/gone.ico")});
    EXPECT_TRUE(Only(log, "shell").empty());
}

TEST_F(FrmParamCopyTest, FailuresEndTheCommandNamingTheFileAndTheReason) {
    Prepare();
    files.failures[files.baseFolder] = "Permission denied";
    view.Click(Ctl::cmdSelfMake);
    EXPECT_EQ(log.back(),
              Call("msgbox.MsgBox",
                   "Cannot create the folder " + files.baseFolder + ": Permission denied", kError));
    EXPECT_EQ(Only(log, "fs.").size(), 2u);

    files.failures.clear();
    files.existing.insert("/icons/shop.ico");
    view.captions[Ctl::lblIconPath] = "/icons/shop.ico";
    const std::string copy = JoinPath(Target(), "MyTavorin" + kSuffix);
    files.failures[copy] = "Text file busy";
    log.clear();
    view.Click(Ctl::cmdSelfMake);
    EXPECT_EQ(
        messageBox.shown.back(),
        std::make_pair("Cannot copy " + Program() + " to " + copy + ": Text file busy", kError));
    EXPECT_EQ(files.existing.count(JoinPath(Target(), "Info.ico")), 1u);  // stays
    EXPECT_FALSE(fs::exists(Ini()));
    EXPECT_TRUE(Only(log, "shell").empty());
}

TEST_F(FrmParamCopyTest, RefusedSettingsValueIsReportedNotCelebrated) {
    Prepare();
    view.captions[Ctl::txtWebPage] = "http://h/p\nLangue=xx";
    view.Click(Ctl::cmdSelfMake);
    ASSERT_EQ(messageBox.shown.size(), 1u);
    EXPECT_TRUE(messageBox.shown[0].first.starts_with("Cannot write Page into " + Ini() + ": "))
        << messageBox.shown[0].first;
    EXPECT_GT(messageBox.shown[0].first.size(), ("Cannot write Page into " + Ini() + ": ").size());
    EXPECT_EQ(messageBox.shown[0].second, kError);
    EXPECT_FALSE(fs::exists(Ini()));
}

TEST_F(FrmParamCopyTest, UnsafeNamesAreRefusedBeforeAnythingIsCreated) {
    Open();
    view.captions[Ctl::txtWebPage] = "http://h/p";
    auto refused = [&](const std::string& text) {
        return CallLog{Call("msgbox.MsgBox", text, kError)};
    };
    for (const std::string& name : std::vector<std::string>{"..", "../up", "a\\b", "a\x01"}) {
        EnterCreationTab(name);
        log.clear();
        view.Click(Ctl::cmdSelfMake);
        EXPECT_EQ(log, refused("Cannot create " + Folder(name) + ": \"" + name +
                               "\" cannot be used as a folder name"))
            << name;
    }
    EnterCreationTab("MyTavorin");
    std::vector<std::string> names{"a/b", "", "."};
    if (kSuffix.empty()) names.push_back("Param.ini");
    for (const std::string& name : names) {
        view.captions[Ctl::txtName] = name;
        log.clear();
        view.Click(Ctl::cmdSelfMake);
        EXPECT_EQ(log, refused("Cannot create the program in " + Target() + ": \"" + name +
                               "\" cannot be used as a file name"))
            << name;
    }
    view.captions[Ctl::txtName] = "MyTavorin";
    const std::string folder = Target();
    files.baseFolder = (root_ / "Moved").string();
    log.clear();
    view.Click(Ctl::cmdSelfMake);
    EXPECT_EQ(log, refused("Cannot create " + folder + ": it is not a folder inside " +
                           files.baseFolder));
}

// ---------------------------------------------------------------- local copy, real folders

// The platform's file system under a temporary base folder, with a small program to copy.
class RealFolders final : public IFileSystem {
  public:
    RealFolders(std::string base, std::string program)
        : base_(std::move(base)), program_(std::move(program)) {}
    std::string ProgramFolder() override { return program_; }
    std::string ExeName() override { return "Tavorin" + kSuffix; }
    bool FileExists(const std::string& path) override { return real_->FileExists(path); }
    std::string FindFirstFile(const std::string& folder, const std::string& prefix,
                              const std::string& suffix) override {
        return real_->FindFirstFile(folder, prefix, suffix);
    }
    std::string BuilderBaseFolder() override { return base_; }
    bool FolderExists(const std::string& path) override { return real_->FolderExists(path); }
    bool CreateFolder(const std::string& path, std::string& reason) override {
        return real_->CreateFolder(path, reason);
    }
    bool CopyFile(const std::string& from, const std::string& to, std::string& reason) override {
        return real_->CopyFile(from, to, reason);
    }

  private:
    std::unique_ptr<IFileSystem> real_ = MakeFileSystem();
    std::string base_, program_;
};

class FrmParamRealFolderTest : public FrmParamTest {
  protected:
    FrmParamRealFolderTest() {
        fs::create_directories(root_ / "program");
        WriteFile(program_, "#!/bin/sh\necho copy\n");
        fs::permissions(program_, fs::perms::owner_all | fs::perms::group_read |
                                      fs::perms::group_exec | fs::perms::others_read |
                                      fs::perms::others_exec);
        WriteFile(root_ / "program" / "Info.ico", "icon bytes");
        fileSystem = &real_;
    }
    ~FrmParamRealFolderTest() override {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    void Prepare(const std::string& name) {
        Open();
        view.captions[Ctl::txtWebPage] = "http://h/p";
        view.captions[Ctl::lblIconPath] = (root_ / "program" / "Info.ico").string();
        EnterCreationTab(name);
        log.clear();
    }
    fs::path Target() const { return root_ / "Tavorin" / "MyTavorin"; }

    fs::path root_ = NewTemporaryFolder();
    fs::path program_ = root_ / "program" / ("Tavorin" + kSuffix);
    RealFolders real_{(root_ / "Tavorin").string(), (root_ / "program").string()};
};

TEST_F(FrmParamRealFolderTest, GeneratesTheThreeFiles) {
    Prepare("MyTavorin");
    view.Click(Ctl::cmdSelfMake);  // No to the start
    EXPECT_EQ(messageBox.shown.size(), 1u);
    const fs::path copy = Target() / ("MyTavorin" + kSuffix);
    EXPECT_EQ(ReadFile(copy), "#!/bin/sh\necho copy\n");
    EXPECT_NE(fs::status(copy).permissions() & fs::perms::owner_exec, fs::perms::none);
    EXPECT_EQ(ReadFile(Target() / "Info.ico"), "icon bytes");
    EXPECT_EQ(ReadFile(Target() / "Param.ini"),
              "[Param]\nPage=http://h/p\nLangue=en\nDelaiInfo=15\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(Target()), fs::directory_iterator()), 3);
}

TEST_F(FrmParamRealFolderTest, ReplacingKeepsTheOtherKeysAndDecliningWritesNothing) {
    fs::create_directories(Target());
    WriteFile(Target() / "Param.ini", "[Param]\nWidth=7800\nPage=old\nHeight=5160\n");
    Prepare("MyTavorin");
    view.Click(Ctl::cmdSelfMake);  // No to the replacement
    EXPECT_EQ(std::distance(fs::directory_iterator(Target()), fs::directory_iterator()), 1);
    EXPECT_EQ(ReadFile(Target() / "Param.ini"), "[Param]\nWidth=7800\nPage=old\nHeight=5160\n");

    messageBox.answers = {vbYes, vbNo};
    view.Click(Ctl::cmdSelfMake);
    EXPECT_EQ(ReadFile(Target() / "Param.ini"),
              "[Param]\nWidth=7800\nPage=http://h/p\nHeight=5160\nLangue=en\nDelaiInfo=15\n");
    EXPECT_TRUE(fs::exists(Target() / ("MyTavorin" + kSuffix)));
}

TEST_F(FrmParamRealFolderTest, RefusedNamesCreateNothing) {
    for (const std::string name : {"../Outside", ".."}) {
        Prepare(name);
        view.Click(Ctl::cmdSelfMake);
    }
    EXPECT_EQ(messageBox.shown.size(), 2u);
    EXPECT_FALSE(fs::exists(root_ / "Tavorin"));
    EXPECT_FALSE(fs::exists(root_ / "Outside"));
}

TEST_F(FrmParamRealFolderTest, FailingCopyReportsTheFileAndTheReason) {
    const fs::path copy = Target() / ("MyTavorin" + kSuffix);
    fs::create_directories(copy / "in the way");
    Prepare("MyTavorin");
    messageBox.answers = {vbYes};
    view.Click(Ctl::cmdSelfMake);
    ASSERT_EQ(messageBox.shown.size(), 2u);
    const std::string start = "Cannot copy " + program_.string() + " to " + copy.string() + ": ";
    EXPECT_TRUE(messageBox.shown[1].first.starts_with(start)) << messageBox.shown[1].first;
    EXPECT_GT(messageBox.shown[1].first.size(), start.size());
    EXPECT_EQ(messageBox.shown[1].second, kError);
    EXPECT_EQ(ReadFile(Target() / "Info.ico"), "icon bytes");  // written before, stays
    EXPECT_FALSE(fs::exists(Target() / "Param.ini"));
    EXPECT_TRUE(shell.exitCode == std::nullopt && Only(log, "shell").empty());
}

}  // namespace
