#include "platform/win/win_browser_emulation.h"

#include <string>

namespace {
constexpr wchar_t kEmulationKey[] =
    L"Software\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\FEATURE_BROWSER_EMULATION";
}  // namespace

bool WriteBrowserEmulation() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;
    std::wstring name(path, length);
    name.erase(0, name.find_last_of(L"\\/") + 1);
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kEmulationKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
        return false;
    const DWORD mode = kBrowserEmulationMode;
    const LONG result = RegSetValueExW(key, name.c_str(), 0, REG_DWORD,
                                       reinterpret_cast<const BYTE*>(&mode), sizeof mode);
    RegCloseKey(key);
    return result == ERROR_SUCCESS;
}
