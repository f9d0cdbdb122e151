#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "platform/user_key_store.h"
#include "settings/shared_settings.h"

inline constexpr std::string_view kSettingsKeyPath = "SoftWare\\Orbelia\\Quorvellis\\Settings";

// A registry value as the resolution sees it: nothing, a string or a 32-bit number.
using RegValue = std::variant<std::monostate, std::string, std::int32_t>;

std::string VariantText(const RegValue& value);
std::int32_t QueryKeyValue(IUserKeyStore& store, KeyHandle key, std::string_view valueName,
                           RegValue& result);
RegValue ReadUserValue(IUserKeyStore& store, std::string_view keyPath, std::string_view valueName);
// Fills settings (IniPath must be set) and returns the page address, possibly empty.
std::string ResolveSettings(SharedSettings& settings, IUserKeyStore& store);
