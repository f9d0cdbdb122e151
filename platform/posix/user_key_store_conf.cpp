#include "platform/posix/user_key_store_conf.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <optional>

#include "settings/ini_encoding.h"
#include "settings/modIni.h"

namespace {
std::vector<std::string> SplitPath(std::string_view path) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t end = std::min(path.find('\\', start), path.size());
        if (end > start) parts.emplace_back(path.substr(start, end - start));
        start = end + 1;
    }
    return parts;
}

bool EqualsIgnoreCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        return lower(x) == lower(y);
    });
}

// A runaway file is read only up to the limit, and then only its whole lines.
std::optional<std::string> ReadFile(const std::string& path, std::size_t maxBytes) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) return std::nullopt;
    const std::streamoff size = in.tellg();
    if (size < 0) return std::nullopt;
    const bool cut = static_cast<std::uintmax_t>(size) > maxBytes;
    std::string bytes(cut ? maxBytes : static_cast<std::size_t>(size), '\0');
    in.seekg(0);
    in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (in.bad()) return std::nullopt;
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    if (cut) bytes.resize(CutToWholeLines(bytes).size());
    return bytes;
}

std::optional<std::uint32_t> ParseDword(std::string_view value) {
    constexpr std::string_view prefix = "dword:";
    if (value.size() != prefix.size() + 8 || !EqualsIgnoreCase(value.substr(0, 6), prefix))
        return std::nullopt;
    std::uint32_t number = 0;
    for (char c : value.substr(prefix.size())) {
        int digit = c >= '0' && c <= '9'   ? c - '0'
                    : c >= 'a' && c <= 'f' ? c - 'a' + 10
                    : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                           : -1;
        if (digit < 0) return std::nullopt;
        number = number << 4 | static_cast<std::uint32_t>(digit);
    }
    return number;
}
}  // namespace

ConfUserKeyStore::ConfUserKeyStore(std::string configFolder, std::size_t maxFileBytes)
    : configFolder_(std::move(configFolder)), maxFileBytes_(maxFileBytes) {}

std::int32_t ConfUserKeyStore::OpenKey(std::string_view path, KeyHandle& handle) {
    handle = 0;
    const auto parts = SplitPath(path);
    if (parts.size() < 4 || !EqualsIgnoreCase(parts[0], "Software")) return kErrorFileNotFound;
    const auto bytes =
        ReadFile(configFolder_ + "/" + parts[1] + "/" + parts[2] + ".conf", maxFileBytes_);
    if (!bytes) return kErrorFileNotFound;

    OpenKeyData key{DecodeIniBytes(*bytes).text, parts[3], true};
    for (std::size_t i = 4; i < parts.size(); ++i) key.section += "\\" + parts[i];
    keys_.push_back(std::move(key));
    handle = keys_.size();
    return kErrorSuccess;
}

std::int32_t ConfUserKeyStore::QueryValue(KeyHandle handle, std::string_view name,
                                          std::uint32_t* type, unsigned char* data,
                                          std::uint32_t* size) {
    if (handle == 0 || handle > keys_.size() || !keys_[handle - 1].open) return kErrorInvalidHandle;
    const OpenKeyData& key = keys_[handle - 1];
    const auto value = FindIniValue(key.text, key.section, name);
    if (!value) return kErrorFileNotFound;

    std::string bytes;
    std::uint32_t valueType = kRegSz;
    if (const auto number = ParseDword(*value)) {
        valueType = kRegDword;
        for (int shift = 0; shift < 32; shift += 8) bytes += static_cast<char>(*number >> shift);
    } else {
        bytes = *value;
        bytes += '\0';
    }
    if (type) *type = valueType;
    const auto needed = static_cast<std::uint32_t>(bytes.size());
    if (data && size && *size < needed) {
        *size = needed;
        return kErrorMoreData;
    }
    if (data) std::memcpy(data, bytes.data(), needed);
    if (size) *size = needed;
    return kErrorSuccess;
}

void ConfUserKeyStore::CloseKey(KeyHandle handle) {
    if (handle == 0 || handle > keys_.size()) return;
    keys_[handle - 1] = {};
    while (!keys_.empty() && !keys_.back().open) keys_.pop_back();
}

std::string UserConfigFolder() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/') return xdg;
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "") + "/.config";
}

std::unique_ptr<IUserKeyStore> MakeUserKeyStore() {
    return std::make_unique<ConfUserKeyStore>(UserConfigFolder());
}
