#include <algorithm>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/paths.h"
#include "platform/win/ansi.h"

namespace {

char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}

// The order an NTFS listing gives: case-insensitive, then by bytes so the result never
// depends on the listing.
bool NameBefore(const std::string& a, const std::string& b) {
    const auto folded =
        std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                     [](char x, char y) { return AsciiLower(x) < AsciiLower(y); });
    if (folded || !SameIgnoringCase(a, b)) return folded;
    return a < b;
}

// What a directory lookup passes over.
constexpr DWORD kNotOrdinary =
    FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

// Paths go to the wide API: through the ANSI code page a name would be changed to its
// closest characters ("Łódź" to "Lodz", a fullwidth backslash to a real one). A path that is
// not valid UTF-8 names no file: it becomes an empty path, which every call refuses.
std::wstring Wide(const std::string& path) {
    if (path.empty()) return {};
    const int length = static_cast<int>(path.size());
    const int wideLength =
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(), length, nullptr, 0);
    if (wideLength <= 0 || path.find('\0') != std::string::npos) return {};
    std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(), length, wide.data(),
                        wideLength);
    return wide;
}

DWORD Attributes(const std::string& path) {
    const std::wstring wide = Wide(path);
    return wide.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(wide.c_str());
}

std::string LastErrorText() {
    return ErrorText(GetLastError());
}

bool Unstorable(const std::string& path, std::string& reason) {
    reason = path.empty() ? "no file name" : "the name has characters a file name cannot hold";
    return false;
}

// Volume serial and file index: the file's identity whatever path names it.
bool FileIdentity(const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
    const HANDLE file =
        CreateFileW(Wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    const bool ok = GetFileInformationByHandle(file, &info) != 0;
    CloseHandle(file);
    return ok;
}

bool SameFile(const std::string& a, const std::string& b) {
    BY_HANDLE_FILE_INFORMATION first{}, second{};
    return FileIdentity(a, first) && FileIdentity(b, second) &&
           first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
           first.nFileIndexHigh == second.nFileIndexHigh &&
           first.nFileIndexLow == second.nFileIndexLow;
}

class WindowsFileSystem final : public IFileSystem {
  public:
    std::string ProgramFolder() override {
        const std::string path = ModulePath();
        const std::size_t slash = path.find_last_of("\\/");
        if (slash == std::string::npos) return {};
        // A drive root keeps its backslash: "C:\", not "C:".
        if (slash == 2 && path[1] == ':') return path.substr(0, 3);
        return path.substr(0, slash);
    }

    std::string ExeName() override {
        const std::string path = ModulePath();
        return path.substr(path.find_last_of("\\/") + 1);
    }

    bool FileExists(const std::string& path) override {
        const DWORD attributes = Attributes(path);
        return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & kNotOrdinary);
    }

    // The attributes of the name itself: a link's own, not its target's.
    bool IsLink(const std::string& path) override {
        const DWORD attributes = Attributes(path);
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
    }

    std::string FindFirstFile(const std::string& folder, const std::string& prefix,
                              const std::string& suffix) override {
        const std::wstring pattern = Wide(JoinPath(folder, prefix + "*" + suffix));
        if (pattern.empty()) return {};
        WIN32_FIND_DATAW found{};
        const HANDLE search = FindFirstFileW(pattern.c_str(), &found);
        if (search == INVALID_HANDLE_VALUE) return {};
        std::vector<std::string> names;
        do {
            if (found.dwFileAttributes & kNotOrdinary) continue;
            const std::string name = WideToUtf8(found.cFileName);
            // The pattern also matches short 8.3 names ("uninstall.exe1" as UNINST~1.EXE):
            // only the real name counts.
            if (name.size() < prefix.size() + suffix.size() ||
                !SameIgnoringCase(std::string_view(name).substr(0, prefix.size()), prefix) ||
                !SameIgnoringCase(std::string_view(name).substr(name.size() - suffix.size()),
                                  suffix))
                continue;
            names.push_back(name);
        } while (FindNextFileW(search, &found));
        FindClose(search);
        if (names.empty()) return {};
        return *std::min_element(names.begin(), names.end(), NameBefore);
    }

    std::string BuilderBaseFolder() override { return "C:\\Tavorin"; }

    bool FolderExists(const std::string& path) override {
        const DWORD attributes = Attributes(path);
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    }

    bool CreateFolder(const std::string& path, std::string& reason) override {
        const std::wstring wide = Wide(path);
        if (wide.empty()) return Unstorable(path, reason);
        if (CreateDirectoryW(wide.c_str(), nullptr)) return true;
        reason = LastErrorText();
        return false;
    }

    bool CopyFile(const std::string& from, const std::string& to, std::string& reason) override {
        if (SameFile(from, to)) return true;
        // Copy beside, then rename: a running or half-copied target is never truncated.
        const std::wstring source = Wide(from), target = Wide(to);
        if (source.empty()) return Unstorable(from, reason);
        if (target.empty()) return Unstorable(to, reason);
        const std::wstring temporary = target + L".part" + std::to_wstring(GetCurrentProcessId());
        if (!CopyFileW(source.c_str(), temporary.c_str(), FALSE)) {
            reason = LastErrorText();
            DeleteFileW(temporary.c_str());
            return false;
        }
        if (!MoveFileExW(temporary.c_str(), target.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            reason = LastErrorText();
            DeleteFileW(temporary.c_str());
            return false;
        }
        return true;
    }

  private:
    static std::string ModulePath() {
        std::wstring path(MAX_PATH, L'\0');
        for (;;) {
            const DWORD length =
                GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
            if (length == 0) return {};
            if (length < path.size()) {
                path.resize(length);
                return WideToUtf8(path);
            }
            path.resize(path.size() * 2);  // cut short: a long path
        }
    }
};

}  // namespace

std::unique_ptr<IFileSystem> MakeFileSystem() {
    return std::make_unique<WindowsFileSystem>();
}
