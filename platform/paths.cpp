#include "platform/paths.h"

#include <cstdint>
#include <cstdio>

#include "platform/single_instance.h"

std::string JoinPath(std::string_view folder, std::string_view name) {
    std::string path(folder);
    if (path.empty() || (path.back() != kPathSeparator && path.back() != '/'))
        path += kPathSeparator;
    path += name;
    return path;
}

std::string StripExecutableSuffix(std::string_view fileName) {
    const std::size_t n = kExecutableSuffix.size();
    if (n == 0 || fileName.size() <= n) return std::string(fileName);
    const std::string_view tail = fileName.substr(fileName.size() - n);
    for (std::size_t i = 0; i < n; ++i) {
        const char c = tail[i] >= 'A' && tail[i] <= 'Z' ? char(tail[i] - 'A' + 'a') : tail[i];
        if (c != kExecutableSuffix[i]) return std::string(fileName);
    }
    return std::string(fileName.substr(0, fileName.size() - n));
}

std::string InstanceKey(std::string_view programPath) {
    // FNV-1a, 64 bits: stable across builds and platforms, enough to tell copies apart.
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (char c : programPath) {
#ifdef _WIN32
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
        if (c == '/') c = '\\';
#endif
        hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001b3ULL;
    }
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
    return std::string("Tavorin-") + hex;
}
