#include <fcntl.h>
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

// Every failure names the system's reason (a full disk is "No space left on device").
bool CopyToNewFile(const std::string& from, const std::string& to, std::string& reason) {
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat source {};
    if (in < 0 || ::fstat(in, &source) != 0) {
        reason = std::strerror(errno);
        if (in >= 0) ::close(in);
        return false;
    }
    const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    bool ok = out >= 0;
    std::vector<char> buffer(1 << 16);
    while (ok) {
        const ssize_t got = ::read(in, buffer.data(), buffer.size());
        if (got == 0) break;
        if (got < 0) {
            ok = errno == EINTR;
            continue;
        }
        for (ssize_t done = 0; ok && done < got;) {
            const ssize_t put = ::write(out, buffer.data() + done, static_cast<size_t>(got - done));
            if (put == 0) errno = EIO;
            if (put > 0) done += put;
            ok = put > 0 || (put < 0 && errno == EINTR);
        }
    }
    // The source's permissions; a full disk may only show when the data reaches it.
    ok = ok && ::fchmod(out, source.st_mode & 07777) == 0 && ::fsync(out) == 0;
    if (!ok) reason = std::strerror(errno);
    ::close(in);
    if (out >= 0 && ::close(out) != 0 && ok) {
        reason = std::strerror(errno);
        ok = false;
    }
    return ok;
}

class PosixFileSystem final : public IFileSystem {
  public:
    std::string ProgramFolder() override { return Executable().parent_path().string(); }
    std::string ExeName() override { return Executable().filename().string(); }

    bool FileExists(const std::string& path) override {
        const std::string name = std::filesystem::path(path).filename().string();
        std::error_code error;
        return !name.starts_with('.') && std::filesystem::is_regular_file(path, error);
    }

    bool IsLink(const std::string& path) override {
        std::error_code error;
        return std::filesystem::is_symlink(std::filesystem::symlink_status(path, error));
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
        // Copy beside, then rename: a running or half-copied target is never truncated, and
        // a link in the target's place is replaced, never written through.
        const std::string temporary = to + ".part" + std::to_string(::getpid());
        ::unlink(temporary.c_str());  // left by a crash; a link is removed, not followed
        if (!CopyToNewFile(from, temporary, reason)) {
            ::unlink(temporary.c_str());
            return false;
        }
        if (::rename(temporary.c_str(), to.c_str()) != 0) {
            reason = std::strerror(errno);
            ::unlink(temporary.c_str());
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
