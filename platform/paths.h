#pragma once
#include <string>
#include <string_view>

#ifdef _WIN32
inline constexpr char kPathSeparator = '\\';
inline constexpr std::string_view kExecutableSuffix = ".exe";
#else
inline constexpr char kPathSeparator = '/';
inline constexpr std::string_view kExecutableSuffix = "";
#endif

// folder + separator + name, without doubling a separator the folder already ends with.
std::string JoinPath(std::string_view folder, std::string_view name);
// An executable's file name without the platform's executable suffix
// ("Tavorin.exe" gives "Tavorin" on Windows; names are kept whole elsewhere).
std::string StripExecutableSuffix(std::string_view fileName);
