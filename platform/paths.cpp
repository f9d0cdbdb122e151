#include "platform/paths.h"

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
