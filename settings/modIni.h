#pragma once
#include <optional>
#include <string>
#include <string_view>

// Profile (INI) file access with the semantics of the Windows profile-string
// functions; see README "Param.ini" for the rules.

// Value of key in section of file, cut to its first 254 characters; defaultValue
// when the file, section or key is missing.
std::string ReadIniValue(std::string_view section, std::string_view key, const std::string& file,
                         std::string_view defaultValue);

// Writes key=value into section of file, creating what is missing, keeping every
// other byte and replacing the file atomically. False (nothing written) on failure;
// reason, when given, then says why.
bool WriteIniValue(std::string_view section, std::string_view key, std::string_view value,
                   const std::string& file, std::string* reason = nullptr);

// Lookup in already decoded (UTF-8) file text, without the 254-character cut.
std::optional<std::string> FindIniValue(std::string_view text, std::string_view section,
                                        std::string_view key);
