#include "settings/modIni.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>

#include "settings/ini_encoding.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#else
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kMaxValueChars = 254;  // the Windows caller's buffer: 255 with the NUL
constexpr std::string_view kBlanks = " \t\v\f";
constexpr auto npos = std::string_view::npos;
#ifdef _WIN32
constexpr std::string_view kPlatformLineEnd = "\r\n";
#else
constexpr std::string_view kPlatformLineEnd = "\n";
#endif

// ---- Reading the text

std::string_view Trim(std::string_view s) {
    const auto first = s.find_first_not_of(kBlanks);
    if (first == npos) return {};
    return s.substr(first, s.find_last_not_of(kBlanks) - first + 1);
}

// The Windows calls see C strings: a NUL ends a name or value where it stands.
std::string_view UpToNul(std::string_view s) {
    return s.substr(0, s.find('\0'));
}

std::string_view RequestedName(std::string_view name) {
    return Trim(UpToNul(name));
}

char AsciiLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view inFile, std::string_view requested) {
    inFile = UpToNul(inFile);
    return std::equal(inFile.begin(), inFile.end(), requested.begin(), requested.end(),
                      [](char a, char b) { return AsciiLower(a) == AsciiLower(b); });
}

struct Line {
    std::size_t start = 0;  // first byte of the line
    std::size_t end = 0;    // where its line end (if any) starts
    std::size_t next = 0;   // first byte of the following line
};

// CRLF, LF and CR alone all end a line.
bool NextLine(std::string_view text, std::size_t& pos, Line& line) {
    if (pos >= text.size()) return false;
    const std::size_t end = std::min(text.find_first_of("\r\n", pos), text.size());
    std::size_t next = end;
    if (end < text.size()) next += text.compare(end, 2, "\r\n") == 0 ? 2 : 1;
    line = {pos, end, next};
    pos = next;
    return true;
}

enum class LineKind { Blank, Comment, Header, Key };

struct ParsedLine {
    LineKind kind = LineKind::Blank;
    std::string_view name;   // trimmed; may still hold a NUL
    std::string_view value;  // trimmed, quotes not yet removed
};

ParsedLine ParseLine(std::string_view raw) {
    const std::string_view line = Trim(raw);
    if (line.empty()) return {};
    if (line.front() == ';') return {LineKind::Comment, {}, {}};
    if (line.front() == '[') {
        const auto close = line.find(']');
        return {LineKind::Header, Trim(line.substr(1, close == npos ? npos : close - 1)), {}};
    }
    const auto equals = line.find('=');
    if (equals == npos) return {LineKind::Key, line, {}};
    return {LineKind::Key, Trim(line.substr(0, equals)), Trim(line.substr(equals + 1))};
}

// Where a key is, or where it would go.
struct IniSpot {
    bool sectionFound = false;
    std::size_t insertAt = 0;  // after the header or the section's last key line
    bool keyFound = false;
    Line keyLine;
    std::string_view keyName;
    std::string_view keyValue;
};

// Only the first section of the name counts, and in it the first matching key line.
IniSpot Locate(std::string_view text, std::string_view section, std::string_view key) {
    IniSpot spot;
    bool inSection = false;
    std::size_t pos = 0;
    Line line;
    while (NextLine(text, pos, line)) {
        const ParsedLine parsed = ParseLine(text.substr(line.start, line.end - line.start));
        if (parsed.kind == LineKind::Header) {
            if (inSection) break;
            inSection = SameName(parsed.name, section);
            if (inSection) {
                spot.sectionFound = true;
                spot.insertAt = line.next;
            }
        } else if (inSection && parsed.kind == LineKind::Key) {
            spot.insertAt = line.next;
            if (SameName(parsed.name, key)) {
                spot.keyFound = true;
                spot.keyLine = line;
                spot.keyName = parsed.name;
                spot.keyValue = parsed.value;
                break;
            }
        }
    }
    return spot;
}

std::string_view Unquote(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

// ---- Editing the text

// The file's own line end: the first one found.
std::string_view LineEndOf(std::string_view text) {
    const auto at = text.find_first_of("\r\n");
    if (at == npos) return kPlatformLineEnd;
    if (text[at] == '\n') return "\n";
    return text.compare(at, 2, "\r\n") == 0 ? "\r\n" : "\r";
}

// The new text; nullopt when the value is already there. A replaced value keeps the rest of
// its line (indentation, spacing around "=", trailing blanks).
std::optional<std::string> EditIniText(std::string_view text, std::string_view section,
                                       std::string_view key, std::string_view value) {
    const IniSpot spot = Locate(text, section, key);
    const std::string_view lineEnd = LineEndOf(text);
    std::string out;
    out.reserve(text.size() + section.size() + key.size() + value.size() + 8);
    if (spot.keyFound) {
        if (spot.keyValue == value) return std::nullopt;
        const auto offset = [text](std::string_view part) {
            return static_cast<std::size_t>(part.data() - text.data());
        };
        std::size_t from = 0;
        std::size_t to = spot.keyLine.end;
        std::string_view equals = "=";
        if (!spot.keyValue.empty()) {
            from = offset(spot.keyValue), to = from + spot.keyValue.size(), equals = {};
        } else if (const auto at =
                       text.substr(spot.keyLine.start, to - spot.keyLine.start).find('=');
                   at != npos) {
            from = spot.keyLine.start + at + 1, equals = {};
        } else {
            from = offset(spot.keyName) + spot.keyName.size();
        }
        out.append(text.substr(0, from)).append(equals);
        out.append(value).append(text.substr(to));
        return out;
    }
    const std::size_t at = spot.sectionFound ? spot.insertAt : text.size();
    out.append(text.substr(0, at));
    if (!out.empty() && out.back() != '\n' && out.back() != '\r') out.append(lineEnd);
    if (!spot.sectionFound) out.append("[").append(section).append("]").append(lineEnd);
    out.append(key).append("=").append(value).append(lineEnd);
    out.append(text.substr(at));
    return out;
}

bool IsUtf8(std::string_view s) {
    return EncodeIniText(s, TextEncoding::Utf8).has_value();
}

// Names that would not read back as written are refused like line breaks.
const char* RefusalReason(std::string_view section, std::string_view key, std::string_view value) {
    auto hasBreak = [](std::string_view s) { return s.find_first_of("\r\n") != npos; };
    if (hasBreak(section) || hasBreak(key) || hasBreak(value)) {
        return "a line break in the section, key or value would split the line";
    }
    if (value.find('\0') != npos) return "a NUL in the value would cut it short";
    if (key.empty()) return "the key name is empty";
    if (key.find('=') != npos || key.front() == '[' || key.front() == ';') {
        return "the key name would not read back as written";
    }
    if (section.find(']') != npos) return "the section name would not read back as written";
    if (!IsUtf8(section) || !IsUtf8(key) || !IsUtf8(value)) {
        return "the section, key or value is not valid UTF-8";
    }
    return nullptr;
}

// The file's own encoding when the text then reads exactly as edited; else UTF-8, which
// stores any text. A Windows-1252 file can turn valid UTF-8 through a write (or need a
// character it lacks), and would then read differently everywhere.
std::optional<std::string> EncodeKeepingTheReading(std::string_view text, TextEncoding own) {
    for (const TextEncoding encoding : {own, TextEncoding::Utf8}) {
        auto bytes = EncodeIniText(text, encoding);
        if (bytes && DecodeIniBytes(*bytes).text == text) return bytes;
    }
    return std::nullopt;
}

// ---- Files

// Our paths are UTF-8 strings; on Windows a narrow path would be read in the ANSI code page.
fs::path PathOf(const std::string& utf8) {
#ifdef _WIN32
    // Text that is not UTF-8 names no file here (and would throw on conversion): none.
    if (!IsUtf8(utf8)) return {};
#endif
    return fs::path(std::u8string_view(reinterpret_cast<const char8_t*>(utf8.data()), utf8.size()));
}

std::string Utf8Of(const fs::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::FILE* OpenFile(const fs::path& path, const char* mode) {
#ifdef _WIN32
    const std::wstring wideMode(mode, mode + std::strlen(mode));
    return _wfopen(path.c_str(), wideMode.c_str());
#else
    return std::fopen(path.c_str(), mode);
#endif
}

// Opens a new file for writing; fails with EEXIST when the name is taken.
std::FILE* CreateNewFile(const fs::path& path) {
#ifdef _WIN32
    const int fd =
        _wopen(path.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (fd < 0) return nullptr;
    std::FILE* f = _fdopen(fd, "wb");
    if (!f) _close(fd);
    return f;
#else
    return std::fopen(path.c_str(), "wbx");
#endif
}

bool Fail(std::string* reason, std::string message) {
    if (reason) *reason = std::move(message);
    return false;
}

std::string OsReason(int error) {
    return std::strerror(error != 0 ? error : EIO);
}

struct FileBytes {
    std::string bytes;
    int error = 0;  // errno of the failed open or read
};

FileBytes ReadFileBytes(const fs::path& path, const char* mode) {
    FileBytes result;
    std::FILE* f = OpenFile(path, mode);
    if (!f) {
        result.error = errno != 0 ? errno : EIO;
        return result;
    }
    char buffer[1 << 16];
    std::size_t got = 0;
    errno = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, f)) > 0) result.bytes.append(buffer, got);
    if (std::ferror(f)) result.error = errno != 0 ? errno : EIO;  // a folder fails here
    std::fclose(f);
    return result;
}

// Writing through a link replaces the file it points to, so the link stays.
std::optional<fs::path> ResolveLinks(fs::path path, std::string* reason) {
    for (int hop = 0; hop < 40; ++hop) {
        std::error_code error;
        if (!fs::is_symlink(fs::symlink_status(path, error))) return path;
        const fs::path to = fs::read_symlink(path, error);
        if (error) {
            Fail(reason, "Cannot follow the link " + Utf8Of(path) + ": " + error.message());
            return std::nullopt;
        }
        path = to.is_absolute() ? to : path.parent_path() / to;
    }
    Fail(reason, "Cannot follow the link " + Utf8Of(path) + ": " + OsReason(ELOOP));
    return std::nullopt;
}

std::FILE* CreateTempNextTo(const fs::path& target, fs::path& temp) {
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[24];
        std::snprintf(suffix, sizeof suffix, ".tmp%08x", random());
        temp = target;
        temp += suffix;
        std::FILE* f = CreateNewFile(temp);
        if (f || errno != EEXIST) return f;
    }
    errno = EEXIST;
    return nullptr;
}

bool SyncToDisk(std::FILE* f) {
#ifdef _WIN32
    return _commit(_fileno(f)) == 0;
#else
    return fsync(fileno(f)) == 0;
#endif
}

bool DiscardTemp(const fs::path& temp, std::string* reason, std::string message) {
    std::error_code ignored;
    fs::remove(temp, ignored);
    return Fail(reason, std::move(message));
}

// Whole new content into a temporary file of the same folder, then renamed over the target:
// a crash or a full disk never leaves a half-written settings file.
bool ReplaceFile(const fs::path& target, std::string_view bytes, bool existed,
                 std::string* reason) {
    const std::string name = Utf8Of(target);
    fs::path temp;
    std::FILE* f = CreateTempNextTo(target, temp);
    if (!f) {
        const int error = errno;
        return Fail(reason,
                    "Cannot write " + name +
                        ": cannot create a temporary file in its folder: " + OsReason(error));
    }
    errno = 0;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size() &&
              std::fflush(f) == 0 && SyncToDisk(f);
    int error = errno;
    if (std::fclose(f) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (!ok) return DiscardTemp(temp, reason, "Cannot write " + name + ": " + OsReason(error));
    std::error_code fsError;
    if (existed) {
        const fs::perms perms = fs::status(target, fsError).permissions();
        if (!fsError) fs::permissions(temp, perms, fsError);
        if (fsError) {
            return DiscardTemp(temp, reason,
                               "Cannot keep the permissions of " + name + ": " + fsError.message());
        }
    }
    fs::rename(temp, target, fsError);
    if (fsError)
        return DiscardTemp(temp, reason, "Cannot replace " + name + ": " + fsError.message());
    return true;
}

}  // namespace

std::optional<std::string> FindIniValue(std::string_view text, std::string_view section,
                                        std::string_view key) {
    const IniSpot spot = Locate(text, RequestedName(section), RequestedName(key));
    if (!spot.keyFound) return std::nullopt;
    return std::string(UpToNul(Unquote(spot.keyValue)));
}

std::string ReadIniValue(std::string_view section, std::string_view key, const std::string& file,
                         std::string_view defaultValue) {
    const FileBytes read = ReadFileBytes(PathOf(file), "rb");
    if (read.error != 0) return std::string(defaultValue);
    const auto value = FindIniValue(DecodeIniBytes(read.bytes).text, section, key);
    return value ? CutToChars(*value, kMaxValueChars) : std::string(defaultValue);
}

bool WriteIniValue(std::string_view section, std::string_view key, std::string_view value,
                   const std::string& file, std::string* reason) {
    const std::string_view sectionName = RequestedName(section);
    const std::string_view keyName = RequestedName(key);
    if (const char* why = RefusalReason(sectionName, keyName, value)) {
        return Fail(reason, "Refusing to write to " + file + ": " + why);
    }
    const fs::path path = PathOf(file);
    if (path.empty()) return Fail(reason, "Cannot write " + file + ": not a file name");
    const auto target = ResolveLinks(path, reason);
    if (!target) return false;
    // Opened for update so that a read-only file is refused, not replaced.
    const FileBytes current = ReadFileBytes(*target, "r+b");
    const bool existed = current.error == 0;
    if (!existed && current.error != ENOENT) {
        return Fail(reason, "Cannot write " + Utf8Of(*target) + ": " + OsReason(current.error));
    }
    const DecodedText decoded = existed ? DecodeIniBytes(current.bytes) : DecodedText{};
    const auto edited = EditIniText(decoded.text, sectionName, keyName, value);
    if (!edited || *edited == decoded.text) return true;
    auto encoded = EncodeKeepingTheReading(*edited, decoded.encoding);
    if (!encoded) {
        return Fail(reason, "Refusing to write to " + file +
                                ": no encoding stores the text so that it reads back the same");
    }
    if (decoded.encoding == TextEncoding::Utf16Le && current.bytes.size() % 2 != 0) {
        encoded->push_back(current.bytes.back());  // a stray half character stays where it was
    }
    return ReplaceFile(*target, *encoded, existed, reason);
}
