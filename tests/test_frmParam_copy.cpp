#include "frmParam_fixture.h"
#include "platform/distribution.h"

#ifndef _WIN32
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <map>
#endif

using namespace paramtest;

namespace {

// ---------------------------------------------------------------- local copy, fake file system

// Param.ini goes to a real folder that the fake file system still reports missing, so
// that every folder step shows in the log.
class FrmParamCopyTest : public FrmParamTest {
  protected:
    FrmParamCopyTest() : root_(NewTemporaryFolder()) {
        files.baseFolder = (root_ / "Tavorin").string();
        files.folders = {root_.string()};
        files.existing = {Program()};
        for (const auto part : ProgramParts()) files.existing.insert(Part(part));
        fs::create_directories(root_ / "Tavorin" / "MyTavorin");
    }
    ~FrmParamCopyTest() override {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    std::string Program() const { return JoinPath(files.programFolder, files.exeName + kSuffix); }
    std::string Target() { return Folder("MyTavorin"); }
    std::string Part(std::string_view part) const {
        return JoinPath(files.programFolder, std::string(part));
    }
    // The program's copy, then the parts it runs with.
    CallLog ProgramCopies(const std::string& copy) {
        CallLog calls{Call("fs.CopyFile", Program(), copy)};
        for (const auto part : ProgramParts())
            calls.push_back(Call("fs.CopyFile", Part(part), JoinPath(Target(), std::string(part))));
        return calls;
    }
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
    CallLog expected{Call("fs.FolderExists", base),
                     Call("fs.CreateFolder", base),
                     Call("fs.FolderExists", Target()),
                     Call("fs.CreateFolder", Target()),
                     Call("fs.FileExists", "/icons/shop.ico"),
                     Call("fs.CopyFile", "/icons/shop.ico", JoinPath(Target(), "Info.ico"))};
    for (const auto& call : ProgramCopies(copy)) expected.push_back(call);
    expected.push_back(
        Call("msgbox.MsgBox", "Your Tavorin is ready for test, launch now ?", kQuestion));
    expected.push_back(Call("shell.ShellExecute", "open", copy, "", Target(), 1));
    EXPECT_EQ(log, expected);
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
    CallLog copies = ProgramCopies(JoinPath(Target(), "Other" + kSuffix));
    CallLog twice = copies;
    twice.insert(twice.end(), copies.begin(), copies.end());
    EXPECT_EQ(Only(log, "fs.CopyFile"), twice);
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
    bool IsLink(const std::string& path) override { return real_->IsLink(path); }
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
        for (const auto part : ProgramParts())
            WriteFile(root_ / "program" / part, std::string(part));
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
    for (const auto part : ProgramParts()) EXPECT_EQ(ReadFile(Target() / part), part);
    EXPECT_EQ(std::distance(fs::directory_iterator(Target()), fs::directory_iterator()),
              3 + std::ssize(ProgramParts()));
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

// Names are kept as typed (no look-alike characters), below the base folder; text that is not
// UTF-8 (a lone surrogate, a stray byte) makes nothing.
TEST_F(FrmParamRealFolderTest, NamesAreKeptAsTypedAndNothingLeavesTheBaseFolder) {
    const auto path = [](const std::string& s) {
        return fs::path(std::u8string(s.begin(), s.end()));
    };
    for (const std::string name : {"\u0141\u00f3d\u017a", "..\uff3cx", "a\xED\xA0\x80", "a\xFF"}) {
        Prepare(name);
        view.Click(Ctl::cmdSelfMake);  // No to the start
        if (name.starts_with('a')) continue;
        EXPECT_EQ(ReadFile(root_ / "Tavorin" / path(name) / path(name + kSuffix)),
                  "#!/bin/sh\necho copy\n");
        EXPECT_EQ(ReadFile(root_ / "Tavorin" / path(name) / "Param.ini"),
                  "[Param]\nPage=http://h/p\nLangue=en\nDelaiInfo=15\n");
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(root_ / "Tavorin"), {}), 2);
    EXPECT_EQ(std::distance(fs::directory_iterator(root_), {}), 2);  // with the program's folder
}

#ifndef _WIN32
// Every file under folder (links not followed) with its content, links with their target.
std::map<std::string, std::string> Snapshot(const fs::path& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_symlink()) {
            files[entry.path().string()] = "-> " + fs::read_symlink(entry.path()).string();
        } else if (entry.is_regular_file()) {
            files[entry.path().string()] = ReadFile(entry.path());
        } else {
            files[entry.path().string()] = "folder";
        }
    }
    return files;
}

// A link in the target's place would carry the copy elsewhere: the program's own folder, a
// file of the user's, a file a dangling link would create.
TEST_F(FrmParamRealFolderTest, NothingIsWrittenThroughALink) {
    const fs::path outside = root_ / "outside.ini";
    WriteFile(outside, "[Param]\nPage=mine\n");
    const fs::path copy = Target() / ("MyTavorin" + kSuffix);
    const std::pair<fs::path, fs::path> links[] = {{Target(), root_ / "program"},
                                                   {Target() / "Param.ini", outside},
                                                   {Target() / "Param.ini", root_ / "new.ini"},
                                                   {Target() / "Info.ico", outside},
                                                   {copy, program_}};
    for (const auto& [link, to] : links) {
        fs::remove_all(root_ / "Tavorin");
        fs::create_directories(link.parent_path());
        fs::create_symlink(to, link);
        const auto before = Snapshot(root_);
        Prepare("MyTavorin");
        messageBox.shown.clear();
        messageBox.answers = {vbYes, vbYes};
        view.Click(Ctl::cmdSelfMake);
        ASSERT_FALSE(messageBox.shown.empty());
        const auto& [text, style] = messageBox.shown.back();
        EXPECT_TRUE(text.starts_with("Cannot ") && text.find(link.string()) != std::string::npos &&
                    text.find("link") != std::string::npos)
            << text;
        EXPECT_EQ(style, kError);
        EXPECT_EQ(Snapshot(root_), before) << link;
        EXPECT_TRUE(Only(log, "shell").empty());
    }
}

// The system's own reason, not a generic input/output error.
TEST_F(FrmParamRealFolderTest, ACopyOntoAFullDiskSaysSo) {
    if (geteuid() != 0 || unshare(CLONE_NEWNS) != 0) GTEST_SKIP() << "needs a mount of its own";
    // The small file system is seen by this process only and goes with it.
    ASSERT_EQ(mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr), 0);
    const fs::path base = root_ / "Tavorin";
    fs::create_directories(base);
    ASSERT_EQ(mount("tavorin-test", base.c_str(), "tmpfs", 0, "size=64k"), 0);
    WriteFile(program_, std::string(1 << 20, 'x'));
    Prepare("MyTavorin");
    view.Click(Ctl::cmdSelfMake);
    umount2(base.c_str(), MNT_DETACH);
    ASSERT_FALSE(messageBox.shown.empty());
    EXPECT_EQ(messageBox.shown.back().first, "Cannot copy " + program_.string() + " to " +
                                                 (Target() / ("MyTavorin" + kSuffix)).string() +
                                                 ": No space left on device");
}
#endif

}  // namespace
