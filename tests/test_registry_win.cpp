// The settings fallback against the real registry of the current user. Run under a
// throw-away Wine prefix by scripts/test_windows.sh; on a machine whose user already has
// the key, the tests leave it alone and skip.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "platform/user_key_store.h"
#include "platform/win/ansi.h"
#include "settings/modRegistre.h"

namespace fs = std::filesystem;
using namespace std::string_literals;

namespace {

// Written as "Software": the program asks for "SoftWare", and the registry ignores case.
const char* const kKeyLevels[] = {"Software\\Orbelia", "Software\\Orbelia\\Quorvellis",
                                  "Software\\Orbelia\\Quorvellis\\Settings"};

bool KeyExists(const char* path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

bool AnsiHas(std::wstring_view text) {
    BOOL lossy = FALSE;
    WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                        &lossy);
    return !lossy;
}

class RegistryStoreTest_Windows : public ::testing::Test {
  protected:
    void SetUp() override {
        if (KeyExists(kKeyLevels[2])) GTEST_SKIP() << "this user's own settings key exists";
        for (const char* level : kKeyLevels) {
            HKEY created = nullptr;
            DWORD disposition = 0;
            ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, level, 0, nullptr, 0, KEY_ALL_ACCESS,
                                      nullptr, &created, &disposition),
                      ERROR_SUCCESS)
                << level;
            if (disposition == REG_CREATED_NEW_KEY) created_.push_back(level);
            if (key_) RegCloseKey(key_);
            key_ = created;
        }
    }
    void TearDown() override {
        if (key_) RegCloseKey(key_);
        for (auto level = created_.rbegin(); level != created_.rend(); ++level)
            EXPECT_EQ(RegDeleteTreeA(HKEY_CURRENT_USER, *level), ERROR_SUCCESS) << *level;
        if (!created_.empty()) {
            EXPECT_FALSE(KeyExists(kKeyLevels[2]));
        }
    }

    void SetBytes(const char* name, DWORD type, const std::string& bytes) {
        ASSERT_EQ(RegSetValueExA(key_, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                                 static_cast<DWORD>(bytes.size())),
                  ERROR_SUCCESS)
            << name;
    }
    void SetString(const char* name, const std::string& text) {
        SetBytes(name, REG_SZ, text + '\0');
    }
    void SetDword(const char* name, DWORD value) {
        ASSERT_EQ(RegSetValueExA(key_, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                                 sizeof value),
                  ERROR_SUCCESS);
    }
    void SetWide(const wchar_t* name, const std::wstring& text) {
        ASSERT_EQ(RegSetValueExW(key_, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                                 static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))),
                  ERROR_SUCCESS);
    }

    RegValue Read(std::string_view name) { return ReadUserValue(*store_, kSettingsKeyPath, name); }
    std::int32_t Query(std::string_view name, RegValue& result) {
        KeyHandle handle = 0;
        EXPECT_EQ(store_->OpenKey(kSettingsKeyPath, handle), kErrorSuccess);
        const std::int32_t status = QueryKeyValue(*store_, handle, name, result);
        store_->CloseKey(handle);
        return status;
    }

    HKEY key_ = nullptr;
    std::vector<const char*> created_;
    std::unique_ptr<IUserKeyStore> store_ = MakeUserKeyStore();
};

TEST_F(RegistryStoreTest_Windows, StringsAndNumbersAreRead) {
    SetString("urlInfo", "http://registry.test/page?a=1");
    SetString("empty", "");
    SetDword("DelaiInfo", 30);
    SetDword("negative", 0xFFFFFFFE);
    EXPECT_EQ(Read("urlInfo"), RegValue("http://registry.test/page?a=1"s));
    EXPECT_EQ(Read("URLINFO"), RegValue("http://registry.test/page?a=1"s));
    EXPECT_EQ(Read("empty"), RegValue(""s));
    EXPECT_EQ(Read("DelaiInfo"), RegValue(std::int32_t{30}));
    EXPECT_EQ(VariantText(Read("negative")), "-2");
}

TEST_F(RegistryStoreTest_Windows, OtherTypesAndMissingValuesGiveNothing) {
    SetBytes("binary", REG_BINARY, "\x1e\0\0\0"s);
    SetBytes("expandable", REG_EXPAND_SZ, "%TEMP%\0"s);
    RegValue result;
    EXPECT_EQ(Query("binary", result), -1);
    EXPECT_TRUE(std::holds_alternative<std::monostate>(result));
    EXPECT_EQ(Query("expandable", result), -1);
    EXPECT_TRUE(std::holds_alternative<std::monostate>(result));
    EXPECT_EQ(Query("absent", result), kErrorFileNotFound);
    EXPECT_TRUE(std::holds_alternative<std::monostate>(result));
}

TEST_F(RegistryStoreTest_Windows, StringWithoutItsNulKeepsEveryCharacter) {
    // The writer adds the NUL back when the byte after the data is one; a non-zero byte
    // there keeps the value as given.
    const std::string data = "abcX";
    ASSERT_EQ(
        RegSetValueExA(key_, "noNul", 0, REG_SZ, reinterpret_cast<const BYTE*>(data.data()), 3),
        ERROR_SUCCESS);
    DWORD stored = 0;
    ASSERT_EQ(RegQueryValueExA(key_, "noNul", nullptr, nullptr, nullptr, &stored), ERROR_SUCCESS);
    ASSERT_EQ(stored, 3u) << "the value was stored with a NUL after all";
    EXPECT_EQ(Read("noNul"), RegValue("abc"s));

    SetBytes("embedded", REG_SZ, "a\0b\0"s);
    EXPECT_EQ(Read("embedded"), RegValue("a\0b"s));
}

TEST_F(RegistryStoreTest_Windows, AnsiTextComesBackAsUtf8) {
    if (!AnsiHas(L"caf\u00e9 D\u00e9lai")) GTEST_SKIP() << "the ANSI code page lacks \u00e9";
    SetWide(L"Langue", L"caf\u00e9");
    SetWide(L"D\u00e9lai", L"\u00e9t\u00e9");
    EXPECT_EQ(Read("Langue"), RegValue("caf\xC3\xA9"s));
    EXPECT_EQ(Read("D\xC3\xA9lai"), RegValue("\xC3\xA9t\xC3\xA9"s));

    // Both queries report the UTF-8 size, one byte per accent more than the ANSI one.
    KeyHandle handle = 0;
    ASSERT_EQ(store_->OpenKey(kSettingsKeyPath, handle), kErrorSuccess);
    std::uint32_t type = 0, size = 0;
    EXPECT_EQ(store_->QueryValue(handle, "Langue", &type, nullptr, &size), kErrorSuccess);
    EXPECT_EQ(type, kRegSz);
    EXPECT_EQ(size, 6u);
    unsigned char small[5] = {};
    size = sizeof small;
    EXPECT_EQ(store_->QueryValue(handle, "Langue", &type, small, &size), kErrorMoreData);
    EXPECT_EQ(size, 6u);
    unsigned char exact[6] = {};
    size = sizeof exact;
    EXPECT_EQ(store_->QueryValue(handle, "Langue", &type, exact, &size), kErrorSuccess);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(exact), size), "caf\xC3\xA9\0"s);
    store_->CloseKey(handle);
}

TEST_F(RegistryStoreTest_Windows, MissingKeyOpensNothing) {
    KeyHandle handle = 1;
    EXPECT_EQ(store_->OpenKey("SoftWare\\Orbelia\\Quorvellis\\Absent", handle), kErrorFileNotFound);
    EXPECT_EQ(handle, 0u);
    SetString("Langue", "fr");
    EXPECT_TRUE(std::holds_alternative<std::monostate>(
        ReadUserValue(*store_, "SoftWare\\Orbelia\\Quorvellis\\Absent", "Langue")));
}

TEST_F(RegistryStoreTest_Windows, SettingsResolveFromTheRegistry) {
    std::random_device random;
    const fs::path folder =
        fs::temp_directory_path() / ("tavorin-registry-" + std::to_string(random()));
    fs::create_directories(folder);
    SharedSettings settings;
    settings.IniPath = (folder / "Param.ini").string();
    std::ofstream(folder / "Param.ini", std::ios::binary) << "[Param]\r\nLangue=\r\n";

    SetString("urlInfo", "http://registry.test/");
    SetString("Langue", "fr");
    SetDword("DelaiInfo", 30);
    EXPECT_EQ(ResolveSettings(settings, *store_), "http://registry.test/");
    EXPECT_EQ(settings.LanguageCode, "fr");
    EXPECT_EQ(settings.ScanTicks, 180);

    std::ofstream(folder / "Param.ini", std::ios::binary) << "[Param]\r\nPage=http://ini.test/\r\n";
    SetString("DelaiInfo", " 2.5 ");
    EXPECT_EQ(ResolveSettings(settings, *store_), "http://ini.test/");
    EXPECT_EQ(settings.ScanTicks, 12);

    std::error_code ignored;
    fs::remove_all(folder, ignored);
}

}  // namespace
