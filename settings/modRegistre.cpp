#include "settings/modRegistre.h"

#include <vector>

#include "settings/modIni.h"
#include "settings/numeric.h"

namespace {
constexpr std::string_view kSection = "Param";
constexpr std::int64_t kDefaultMinutes = 15;
// The largest period whose tick count (minutes x 6) still fits 16 bits.
constexpr std::int16_t kMaxMinutes = 5461;

std::string IniText(const SharedSettings& settings, std::string_view key) {
    return ReadIniValue(kSection, key, settings.IniPath, "");
}

std::string UserText(IUserKeyStore& store, std::string_view valueName) {
    return VariantText(ReadUserValue(store, kSettingsKeyPath, valueName));
}
}  // namespace

std::string VariantText(const RegValue& value) {
    if (const auto* text = std::get_if<std::string>(&value)) return *text;
    if (const auto* number = std::get_if<std::int32_t>(&value)) return std::to_string(*number);
    return {};
}

std::int32_t QueryKeyValue(IUserKeyStore& store, KeyHandle key, std::string_view valueName,
                           RegValue& result) {
    std::uint32_t type = 0, size = 0;
    const std::int32_t status = store.QueryValue(key, valueName, &type, nullptr, &size);
    if (status != kErrorSuccess) return status;

    if (type == kRegSz) {
        if (size == 0) {
            result = std::monostate{};
            return status;
        }
        std::vector<unsigned char> buffer(size, 0);
        const std::int32_t read = store.QueryValue(key, valueName, &type, buffer.data(), &size);
        if (read != kErrorSuccess) {
            result = std::monostate{};
            return read;
        }
        // Only a terminating NUL is dropped: a string stored without one keeps its last character.
        std::size_t length = std::min<std::size_t>(size, buffer.size());
        if (length > 0 && buffer[length - 1] == 0) --length;
        result = std::string(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(length));
        return status;
    }
    if (type == kRegDword) {
        unsigned char bytes[4] = {};
        std::uint32_t dataSize = sizeof bytes;
        const std::int32_t read = store.QueryValue(key, valueName, &type, bytes, &dataSize);
        if (read == kErrorSuccess && dataSize == sizeof bytes) {
            const std::uint32_t raw = bytes[0] | bytes[1] << 8 | bytes[2] << 16 |
                                      static_cast<std::uint32_t>(bytes[3]) << 24;
            result = static_cast<std::int32_t>(raw);
        }
        return read;
    }
    return -1;
}

RegValue ReadUserValue(IUserKeyStore& store, std::string_view keyPath, std::string_view valueName) {
    KeyHandle key = 0;
    store.OpenKey(keyPath, key);
    RegValue result;
    QueryKeyValue(store, key, valueName, result);
    store.CloseKey(key);
    return result;
}

std::string ResolveSettings(SharedSettings& settings, IUserKeyStore& store) {
    std::string page = IniText(settings, "Page");
    if (page.empty()) page = UserText(store, "urlInfo");

    settings.LanguageCode = IniText(settings, "Langue");
    if (settings.LanguageCode.empty()) settings.LanguageCode = UserText(store, "Langue");
    if (settings.LanguageCode.empty()) settings.LanguageCode = "en";

    std::string delay = IniText(settings, "DelaiInfo");
    if (delay.empty()) delay = UserText(store, "DelaiInfo");
    const std::int16_t minutes =
        ClampToInt16(RoundDecimalText(delay).value_or(kDefaultMinutes), kMaxMinutes);
    settings.ScanTicks = static_cast<std::int16_t>(minutes * 6);

    // A stored size is read but start-up fixes the window size right after; text that
    // is not a number leaves the size alone.
    for (auto [key, target] :
         {std::pair{"Width", &settings.WindowWidth}, std::pair{"Height", &settings.WindowHeight}}) {
        const std::string text = IniText(settings, key);
        if (text.empty()) continue;
        if (const auto value = RoundDecimalText(text)) *target = ClampToInt16(*value, INT16_MAX);
    }
    return page;
}
