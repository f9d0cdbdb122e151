// The Windows file system pieces against a real (Wine) file system.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/paths.h"
#include "platform/win/ansi.h"
// After windows.h (through ansi.h), which it needs.
#include <winioctl.h>

namespace fs = std::filesystem;

namespace {

class FileSystemTest_Windows : public ::testing::Test {
  protected:
    FileSystemTest_Windows() {
        std::random_device random;
        folder_ = (fs::temp_directory_path() / ("tavorin-fs-" + std::to_string(random()))).string();
        fs::create_directories(folder_);
    }
    ~FileSystemTest_Windows() override {
        // Hidden, system and read-only files would stop the removal.
        std::error_code ignored;
        for (const auto& entry : fs::recursive_directory_iterator(folder_, ignored))
            SetFileAttributesW(entry.path().c_str(), FILE_ATTRIBUTE_NORMAL);
        fs::remove_all(folder_, ignored);
    }

    std::string PathOf(const std::string& name) const { return JoinPath(folder_, name); }
    std::string Put(const std::string& name, const std::string& bytes,
                    DWORD attributes = FILE_ATTRIBUTE_NORMAL) const {
        const std::string path = PathOf(name);
        std::ofstream(fs::path(Utf8ToWide(path)), std::ios::binary) << bytes;
        if (attributes != FILE_ATTRIBUTE_NORMAL)
            SetFileAttributesW(Utf8ToWide(path).c_str(), attributes);
        return path;
    }
    static std::string Get(const std::string& path) {
        std::ostringstream out;
        out << std::ifstream(fs::path(Utf8ToWide(path)), std::ios::binary).rdbuf();
        return out.str();
    }
    std::size_t EntryCount() const {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder_), {}));
    }
    std::string First() { return files_->FindFirstFile(folder_, "unins", ".exe"); }

    std::string folder_;
    std::unique_ptr<IFileSystem> files_ = MakeFileSystem();
};

TEST_F(FileSystemTest_Windows, UninstallerSearchPassesOverFoldersHiddenAndSystemFiles) {
    fs::create_directory(PathOf("unins1.exe"));
    Put("unins000.exe", "x", FILE_ATTRIBUTE_HIDDEN);
    Put("unins001.exe", "x", FILE_ATTRIBUTE_SYSTEM);
    Put("unins.txt", "x");
    Put("uninstall.exe1", "x");  // where short names exist, UNINST~1.EXE fits the pattern
    Put("xunins2.exe", "x");
    EXPECT_EQ(First(), "");
    Put("unins002.exe", "x", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
    EXPECT_EQ(First(), "unins002.exe");
}

TEST_F(FileSystemTest_Windows, FirstUninstallerInNameOrder) {
    Put("unins001.exe", "x");
    Put("UNINS002.EXE", "x");
    EXPECT_EQ(First(), "unins001.exe");
    Put("unins000.exe", "x");
    EXPECT_EQ(First(), "unins000.exe");
    EXPECT_EQ(files_->FindFirstFile(folder_ + "\\", "UNINS", ".EXE"), "unins000.exe");
    EXPECT_EQ(files_->FindFirstFile(PathOf("absent"), "unins", ".exe"), "");
}

TEST_F(FileSystemTest_Windows, ProgramFolderAndNameNameTheRunningExecutable) {
    const std::string folder = files_->ProgramFolder();
    const std::string name = files_->ExeName();
    ASSERT_FALSE(folder.empty());
    EXPECT_NE(folder.back(), '\\');
    EXPECT_EQ(name.find_first_of("\\/"), std::string::npos);
    EXPECT_EQ(StripExecutableSuffix(name) + ".exe", name);
    EXPECT_TRUE(files_->FolderExists(folder));
    EXPECT_TRUE(files_->FileExists(JoinPath(folder, name)));
}

TEST_F(FileSystemTest_Windows, FilesAndFoldersAreTold) {
    const std::string file = Put("a.txt", "x");
    EXPECT_TRUE(files_->FileExists(file));
    EXPECT_FALSE(files_->FolderExists(file));
    EXPECT_TRUE(files_->FolderExists(folder_));
    EXPECT_FALSE(files_->FileExists(folder_));
    EXPECT_FALSE(files_->FileExists(PathOf("absent.txt")));
    EXPECT_FALSE(files_->FolderExists(PathOf("absent")));
    // As a directory lookup sees them: hidden and system files are not there.
    EXPECT_FALSE(files_->FileExists(Put("hidden.ico", "x", FILE_ATTRIBUTE_HIDDEN)));
    EXPECT_FALSE(files_->FileExists(Put("system.ico", "x", FILE_ATTRIBUTE_SYSTEM)));
    EXPECT_TRUE(files_->FileExists(Put("kept.ico", "x", FILE_ATTRIBUTE_READONLY)));
    EXPECT_FALSE(files_->IsLink(file));
    EXPECT_FALSE(files_->IsLink(folder_));
}

// A junction (mount point) at link leading to the folder target.
bool MakeJunction(const std::wstring& link, const std::wstring& target) {
    if (!CreateDirectoryW(link.c_str(), nullptr)) return false;
    const HANDLE handle =
        CreateFileW(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    const std::wstring substitute = L"\\??\\" + target;
    // Tag, data length, reserved; then name offsets and lengths; then both names with NULs.
    const auto bytes = [](const std::wstring& s) { return static_cast<WORD>(s.size() * 2); };
    const WORD header[] = {0, bytes(substitute), static_cast<WORD>(bytes(substitute) + 2),
                           bytes(target)};
    std::vector<char> data(8 + sizeof header + bytes(substitute) + bytes(target) + 4, '\0');
    const DWORD tag = IO_REPARSE_TAG_MOUNT_POINT;
    const auto length = static_cast<WORD>(data.size() - 8);
    std::memcpy(data.data(), &tag, 4);
    std::memcpy(data.data() + 4, &length, 2);
    std::memcpy(data.data() + 8, header, sizeof header);
    std::memcpy(data.data() + 16, substitute.c_str(), bytes(substitute));
    std::memcpy(data.data() + 18 + bytes(substitute), target.c_str(), bytes(target));
    DWORD returned = 0;
    const bool made =
        DeviceIoControl(handle, FSCTL_SET_REPARSE_POINT, data.data(),
                        static_cast<DWORD>(data.size()), nullptr, 0, &returned, nullptr) != 0;
    CloseHandle(handle);
    if (!made) RemoveDirectoryW(link.c_str());
    return made;
}

// Wine 8 makes neither (its CreateSymbolicLinkW does nothing and says it did), so these run
// on real Windows only.
TEST_F(FileSystemTest_Windows, SymbolicLinksAndJunctionsAreLinks) {
    const std::string target = Put("target.ico", "x");
    fs::create_directory(PathOf("folder"));
    const bool symbolic =
        CreateSymbolicLinkW(Utf8ToWide(PathOf("link.ico")).c_str(), Utf8ToWide(target).c_str(),
                            SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) &&
        GetFileAttributesW(Utf8ToWide(PathOf("link.ico")).c_str()) != INVALID_FILE_ATTRIBUTES;
    const bool junction =
        MakeJunction(Utf8ToWide(PathOf("junction")), Utf8ToWide(PathOf("folder")));
    if (!symbolic && !junction) GTEST_SKIP() << "neither symbolic links nor junctions here";
    if (symbolic) {
        EXPECT_TRUE(files_->IsLink(PathOf("link.ico")));
    }
    if (junction) {
        EXPECT_TRUE(files_->IsLink(PathOf("junction")));
    }
    EXPECT_FALSE(files_->IsLink(target));
    EXPECT_FALSE(files_->IsLink(PathOf("folder")));
}

TEST_F(FileSystemTest_Windows, CreateFolderMakesOneLevel) {
    std::string reason;
    EXPECT_TRUE(files_->CreateFolder(PathOf("one"), reason)) << reason;
    EXPECT_TRUE(fs::is_directory(PathOf("one")));
    EXPECT_FALSE(files_->CreateFolder(PathOf("one"), reason));
    EXPECT_FALSE(reason.empty());
    reason.clear();
    EXPECT_FALSE(files_->CreateFolder(PathOf("two\\three"), reason));
    EXPECT_FALSE(reason.empty());
    EXPECT_EQ(reason.find('\n'), std::string::npos) << reason;
    EXPECT_FALSE(fs::exists(PathOf("two")));
}

TEST_F(FileSystemTest_Windows, CopyFileReplacesAnExistingFile) {
    const std::string from = Put("new.exe", "new");
    const std::string to = Put("old.exe", "older and longer");
    std::string reason;
    EXPECT_TRUE(files_->CopyFile(from, to, reason)) << reason;
    EXPECT_EQ(Get(to), "new");
    EXPECT_EQ(Get(from), "new");
    EXPECT_TRUE(files_->CopyFile(from, PathOf("fresh.exe"), reason)) << reason;
    EXPECT_EQ(Get(PathOf("fresh.exe")), "new");
    EXPECT_EQ(EntryCount(), 3u) << "no temporary file left behind";
}

TEST_F(FileSystemTest_Windows, CopyFileOntoItselfKeepsTheFile) {
    const std::string file = Put("Tavorin.exe", "program");
    fs::create_directory(PathOf("sub"));
    // Held open as a running program holds its file: replacing it, even by itself, would fail.
    const HANDLE held = CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    std::string reason;
    for (const std::string& same :
         {file, PathOf("TAVORIN.EXE"), PathOf("sub\\..\\Tavorin.exe"), folder_ + "/Tavorin.exe"}) {
        EXPECT_TRUE(files_->CopyFile(file, same, reason)) << same << ": " << reason;
        EXPECT_EQ(Get(file), "program") << same;
    }
    CloseHandle(held);
    EXPECT_EQ(EntryCount(), 2u);
}

TEST_F(FileSystemTest_Windows, FailedCopyKeepsTheTargetAndNamesAReason) {
    const std::string to = Put("running.exe", "running program");
    std::string reason;
    EXPECT_FALSE(files_->CopyFile(PathOf("absent.exe"), to, reason));
    EXPECT_FALSE(reason.empty());
    EXPECT_EQ(Get(to), "running program");

    // A running program's file cannot be deleted or replaced, only read.
    const std::string from = Put("new.exe", "new");
    const HANDLE held =
        CreateFileA(to.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    reason.clear();
    EXPECT_FALSE(files_->CopyFile(from, to, reason));
    CloseHandle(held);
    EXPECT_FALSE(reason.empty());
    EXPECT_EQ(Get(to), "running program");
    EXPECT_EQ(EntryCount(), 2u) << "no temporary file left behind";

    EXPECT_FALSE(files_->CopyFile(from, PathOf("absent\\new.exe"), reason));
}

TEST_F(FileSystemTest_Windows, NamesCrossTheAnsiBoundaryAsUtf8) {
    if (Utf8ToAnsi("\xC3\xA9") == "?") GTEST_SKIP() << "the ANSI code page lacks \u00e9";
    std::string reason;
    const std::string accented = PathOf("caf\xC3\xA9");
    ASSERT_TRUE(files_->CreateFolder(accented, reason)) << reason;
    EXPECT_TRUE(fs::is_directory(fs::path(Utf8ToWide(accented))));
    EXPECT_TRUE(files_->FolderExists(accented));

    Put("caf\xC3\xA9\\unins\xC3\xA9.exe", "x");
    EXPECT_EQ(files_->FindFirstFile(accented, "unins", ".exe"), "unins\xC3\xA9.exe");
    EXPECT_TRUE(files_->FileExists(accented + "\\unins\xC3\xA9.exe"));
    EXPECT_TRUE(files_->CopyFile(accented + "\\unins\xC3\xA9.exe",
                                 accented + "\\d\xC3\xA9j\xC3\xA0.exe", reason))
        << reason;
    EXPECT_EQ(Get(accented + "\\d\xC3\xA9j\xC3\xA0.exe"), "x");
}

// What an edit box holding a lone surrogate gives: text the name checks refuse.
TEST(WideToUtf8, ALoneSurrogateStaysInvalidText) {
    EXPECT_EQ(WideToUtf8(std::wstring{L'a', 0xD800, L'b'}),
              "a\xED\xA0\x80"
              "b");
}

}  // namespace
