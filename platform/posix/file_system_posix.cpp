#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#include "platform/file_system.h"

namespace {
bool StartsWithIgnoreCase(const std::string& text, const std::string& prefix, std::size_t at) {
    if (text.size() < at + prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[at + i])) !=
            std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    return true;
}

class PosixFileSystem final : public IFileSystem {
  public:
    std::string ProgramFolder() override { return Executable().parent_path().string(); }
    std::string ExeName() override { return Executable().filename().string(); }

    bool FileExists(const std::string& path) override {
        std::error_code error;
        return std::filesystem::is_regular_file(path, error);
    }

    std::string FindFirstFile(const std::string& folder, const std::string& prefix,
                              const std::string& suffix) override {
        std::vector<std::string> names;
        std::error_code error;
        for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
             it.increment(error)) {
            const std::string name = it->path().filename().string();
            if (name.empty() || name[0] == '.') continue;  // hidden
            if (name.size() < prefix.size() + suffix.size() ||
                !StartsWithIgnoreCase(name, prefix, 0) ||
                !StartsWithIgnoreCase(name, suffix, name.size() - suffix.size()))
                continue;
            std::error_code statError;
            if (!it->is_regular_file(statError)) continue;
            // Without an extension to go by, only a file that can be run is a program.
            if (suffix.empty() && access(it->path().c_str(), X_OK) != 0) continue;
            names.push_back(name);
        }
        if (names.empty()) return {};
        return *std::min_element(names.begin(), names.end());
    }

    std::string BuilderBaseFolder() override {
        const char* home = std::getenv("HOME");
        return (std::filesystem::path(home && *home ? home : "/tmp") / "Tavorin").string();
    }

    bool FolderExists(const std::string& path) override {
        std::error_code error;
        return std::filesystem::is_directory(path, error);
    }

    bool CreateFolder(const std::string& path, std::string& reason) override {
        if (::mkdir(path.c_str(), 0777) == 0) return true;
        reason = std::strerror(errno);
        return false;
    }

    bool CopyFile(const std::string& from, const std::string& to, std::string& reason) override {
        std::error_code error;
        if (std::filesystem::equivalent(from, to, error)) return true;
        // Copy beside, then rename: a running or half-copied target is never truncated.
        const std::string temporary = to + ".part" + std::to_string(::getpid());
        std::filesystem::copy_file(from, temporary,
                                   std::filesystem::copy_options::overwrite_existing, error);
        if (!error) std::filesystem::rename(temporary, to, error);
        if (error) {
            reason = error.message();
            std::filesystem::remove(temporary, error);
            return false;
        }
        return true;
    }

  private:
    static std::filesystem::path Executable() {
        std::error_code error;
        auto path = std::filesystem::read_symlink("/proc/self/exe", error);
        return error ? std::filesystem::current_path(error) / "Tavorin" : path;
    }
};
}  // namespace

std::unique_ptr<IFileSystem> MakeFileSystem() {
    return std::make_unique<PosixFileSystem>();
}
