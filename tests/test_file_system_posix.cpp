// The POSIX file system pieces against a real folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "platform/file_system.h"

namespace fs = std::filesystem;

namespace {

constexpr auto kRunnable = fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec;
constexpr auto kNotRunnable = fs::perms::owner_read | fs::perms::owner_write;

class PosixFileSystemTest : public ::testing::Test {
  protected:
    PosixFileSystemTest() {
        std::random_device random;
        folder_ = fs::temp_directory_path() / ("tavorin-fs-" + std::to_string(random()));
        fs::create_directories(folder_);
    }
    ~PosixFileSystemTest() override {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }
    std::string Put(const std::string& name, fs::perms perms = kNotRunnable) const {
        std::ofstream(folder_ / name) << "x";
        fs::permissions(folder_ / name, perms);
        return (folder_ / name).string();
    }
    std::string First(const std::string& prefix = "unins") {
        return files_->FindFirstFile(folder_.string(), prefix, "");
    }

    fs::path folder_;
    std::unique_ptr<IFileSystem> files_ = MakeFileSystem();
};

TEST_F(PosixFileSystemTest, UninstallerSearchPassesOverFoldersHiddenAndUnrunnableFiles) {
    fs::create_directory(folder_ / "unins000");
    Put("unins001");
    Put(".unins002", kRunnable);
    EXPECT_EQ(First(), "");
    EXPECT_EQ(First(""), "") << "a hidden file is no candidate";
    Put("unins004", kRunnable);
    Put("unins003", kRunnable);
    EXPECT_EQ(First(), "unins003");
    Put("Unins-9", kRunnable);  // the prefix ignores case; the order is by bytes
    EXPECT_EQ(First(), "Unins-9");
}

TEST_F(PosixFileSystemTest, OnlyOrdinaryFilesExistAndLinksAreTold) {
    EXPECT_TRUE(files_->FileExists(Put("Shop.ico")));
    EXPECT_FALSE(files_->FileExists(Put(".Shop.ico"))) << "hidden";
    EXPECT_FALSE(files_->FileExists(folder_.string()));
    EXPECT_FALSE(files_->FileExists((folder_ / "absent.ico").string()));

    fs::create_symlink("Shop.ico", folder_ / "link.ico");
    fs::create_symlink("absent", folder_ / "dangling");
    fs::create_directory_symlink(folder_, folder_ / "folder-link");
    for (const char* name : {"link.ico", "dangling", "folder-link"})
        EXPECT_TRUE(files_->IsLink((folder_ / name).string())) << name;
    for (const char* name : {"Shop.ico", "absent", "."})
        EXPECT_FALSE(files_->IsLink((folder_ / name).string())) << name;
}

}  // namespace
