#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <random>

#include "fakes/fakes.h"
#include "settings/modRegistre.h"
#ifndef _WIN32
#include "platform/posix/user_key_store_conf.h"
#endif

namespace fs = std::filesystem;
using fakes::Call;
using fakes::Only;

// Largest single allocation while a probe is alive; lets a test see a reader that
// sizes its buffer for the worst case instead of the file.
namespace {
std::atomic<bool> gTrackAllocations{false};
std::atomic<std::size_t> gLargestAllocation{0};

struct AllocationProbe {
    AllocationProbe() {
        gLargestAllocation = 0;
        gTrackAllocations = true;
    }
    ~AllocationProbe() { gTrackAllocations = false; }
    std::size_t Largest() const { return gLargestAllocation; }
};
}  // namespace

// GCC pairs the new expressions it inlines with the free below and warns; both halves are ours.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
void* operator new(std::size_t size) {
    if (gTrackAllocations && size > gLargestAllocation) gLargestAllocation = size;
    if (void* p = std::malloc(size != 0 ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

namespace {

const std::string kKeyPath(kSettingsKeyPath);

class TempFolder {
  public:
    TempFolder() {
        std::random_device random;
        path_ = fs::temp_directory_path() / ("tavorin-settings-" + std::to_string(random()));
        fs::create_directories(path_);
    }
    ~TempFolder() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    const fs::path& path() const { return path_; }
    std::string Write(const fs::path& relative, const std::string& bytes) const {
        const fs::path file = path_ / relative;
        fs::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << bytes;
        return file.string();
    }

  private:
    fs::path path_;
};

// ---------------------------------------------------------------- QueryKeyValue

class QueryKeyValueTest : public ::testing::Test {
  protected:
    std::int32_t Query(const std::string& name, RegValue& result) {
        return QueryKeyValue(store, store.openHandle, name, result);
    }
    RegValue Query(const std::string& name) {
        RegValue result;
        Query(name, result);
        return result;
    }

    CallLog log;
    FakeUserKeyStore store{log};
};

TEST_F(QueryKeyValueTest, StringDropsItsTerminatingNul) {
    store.SetString("Langue", "fr");
    RegValue result;
    EXPECT_EQ(Query("Langue", result), 0);
    EXPECT_EQ(result, RegValue(std::string("fr")));
    const CallLog expected = {
        Call("keys.QueryValue", store.openHandle, "Langue", "null"),
        Call("keys.QueryValue", store.openHandle, "Langue", 3),  // a buffer of the reported size
    };
    EXPECT_EQ(log, expected);
}

TEST_F(QueryKeyValueTest, StringWithoutNulKeepsEveryCharacter) {
    store.SetString("urlInfo", "http://a.test/", false);
    EXPECT_EQ(Query("urlInfo"), RegValue(std::string("http://a.test/")));
}

TEST_F(QueryKeyValueTest, EmbeddedNulsStay) {
    store.SetRaw("v", kRegSz, std::string("a\0b\0", 4));
    EXPECT_EQ(Query("v"), RegValue(std::string("a\0b", 3)));
}

TEST_F(QueryKeyValueTest, OnlyOneTrailingNulIsDropped) {
    store.SetRaw("v", kRegSz, std::string("ab\0\0", 4));
    EXPECT_EQ(Query("v"), RegValue(std::string("ab\0", 3)));
}

TEST_F(QueryKeyValueTest, EmptyStrings) {
    store.SetRaw("none", kRegSz, "");
    store.SetString("nul", "");
    EXPECT_EQ(VariantText(Query("none")), "");
    EXPECT_EQ(Query("nul"), RegValue(std::string()));
}

TEST_F(QueryKeyValueTest, Dwords) {
    store.SetDword("DelaiInfo", 30);
    store.SetDword("negative", -5);
    store.SetDword("max", INT32_MAX);
    RegValue result;
    EXPECT_EQ(Query("DelaiInfo", result), 0);
    EXPECT_EQ(result, RegValue(std::int32_t{30}));
    EXPECT_EQ(Query("negative"), RegValue(std::int32_t{-5}));
    EXPECT_EQ(VariantText(Query("negative")), "-5");
    EXPECT_EQ(VariantText(Query("max")), "2147483647");
}

TEST_F(QueryKeyValueTest, OtherTypesAreUnsupported) {
    store.SetRaw("bin", kRegBinary, "\x1e\0\0\0");
    store.SetRaw("expand", kRegExpandSz, std::string("%TEMP%\0", 7));
    for (const char* name : {"bin", "expand"}) {
        RegValue result;
        EXPECT_EQ(Query(name, result), -1) << name;
        EXPECT_TRUE(std::holds_alternative<std::monostate>(result)) << name;
    }
}

TEST_F(QueryKeyValueTest, FailedFirstQueryReturnsItsCode) {
    RegValue result;
    EXPECT_EQ(Query("missing", result), kErrorFileNotFound);
    EXPECT_TRUE(std::holds_alternative<std::monostate>(result));
    EXPECT_EQ(log.size(), 1u) << "no second query";
}

TEST_F(QueryKeyValueTest, FailedSecondQueryLeavesNothing) {
    store.SetString("s", "text");
    store.SetDword("d", 30);
    store.failDataQuery = true;
    EXPECT_TRUE(std::holds_alternative<std::monostate>(Query("s")));
    EXPECT_TRUE(std::holds_alternative<std::monostate>(Query("d")));

    RegValue stale = std::string("stale");
    Query("s", stale);
    EXPECT_TRUE(std::holds_alternative<std::monostate>(stale)) << "a failed string read empties";
}

// ---------------------------------------------------------------- ReadUserValue

class ReadUserValueTest : public QueryKeyValueTest {};

TEST_F(ReadUserValueTest, OpensQueriesAndCloses) {
    store.SetString("urlInfo", "http://x/");
    EXPECT_EQ(ReadUserValue(store, kKeyPath, "urlInfo"), RegValue(std::string("http://x/")));
    const CallLog expected = {
        Call("keys.OpenKey", kKeyPath),
        Call("keys.QueryValue", store.openHandle, "urlInfo", "null"),
        Call("keys.QueryValue", store.openHandle, "urlInfo", 10),
        Call("keys.CloseKey", store.openHandle),
    };
    EXPECT_EQ(log, expected);
}

TEST_F(ReadUserValueTest, KeyIsClosedWhateverTheQueryGives) {
    store.SetRaw("bin", kRegBinary, "xx");
    store.SetString("s", "text");
    for (const char* name : {"missing", "bin", "s"}) {
        log.clear();
        store.failDataQuery = std::string(name) == "s";
        EXPECT_EQ(VariantText(ReadUserValue(store, kKeyPath, name)), "") << name;
        ASSERT_FALSE(log.empty());
        EXPECT_EQ(log.back(), Call("keys.CloseKey", store.openHandle)) << name;
    }
}

TEST_F(ReadUserValueTest, FailedOpenQueriesAndClosesHandleZero) {
    store.keyExists = false;
    store.SetString("Langue", "fr");
    EXPECT_EQ(VariantText(ReadUserValue(store, kKeyPath, "Langue")), "");
    EXPECT_EQ(Only(log, "keys.QueryValue"), CallLog{Call("keys.QueryValue", 0, "Langue", "null")});
    EXPECT_EQ(log.back(), Call("keys.CloseKey", 0));
}

// ---------------------------------------------------------------- ResolveSettings

class ResolveSettingsTest : public ::testing::Test {
  protected:
    ResolveSettingsTest() { settings.IniPath = (folder.path() / "Param.ini").string(); }

    void WriteIni(const std::string& bytes) { folder.Write("Param.ini", bytes); }
    void WriteParam(const std::string& lines) { WriteIni("[Param]\r\n" + lines); }
    std::string Resolve() { return ResolveSettings(settings, store); }

    std::int16_t TicksFor(const std::string& iniDelay) {
        WriteParam("DelaiInfo=" + iniDelay + "\r\n");
        Resolve();
        return settings.ScanTicks;
    }
    std::int16_t TicksForRegistryText(const std::string& text) {
        store.SetString("DelaiInfo", text);
        Resolve();
        return settings.ScanTicks;
    }

    void ExpectDefaults(const std::string& page) {
        EXPECT_EQ(page, "");
        EXPECT_EQ(settings.LanguageCode, "en");
        EXPECT_EQ(settings.ScanTicks, 90);
    }

    TempFolder folder;
    CallLog log;
    FakeUserKeyStore store{log};
    SharedSettings settings;
};

TEST_F(ResolveSettingsTest, NothingAnywhereGivesDefaults) {
    store.keyExists = false;
    ExpectDefaults(Resolve());
    EXPECT_EQ(settings.IniPath, (folder.path() / "Param.ini").string());
}

TEST_F(ResolveSettingsTest, FileValuesWinAndTheRegistryIsNotAsked) {
    WriteParam("Page=http://ini.test/\r\nLangue=fr\r\nDelaiInfo=30\r\n");
    store.SetString("urlInfo", "http://registry.test/");
    store.SetString("Langue", "en");
    store.SetDword("DelaiInfo", 5);
    EXPECT_EQ(Resolve(), "http://ini.test/");
    EXPECT_EQ(settings.LanguageCode, "fr");
    EXPECT_EQ(settings.ScanTicks, 180);
    EXPECT_EQ(log, CallLog{});
}

TEST_F(ResolveSettingsTest, RegistryFillsWhatTheFileLacks) {
    WriteParam("Langue=\r\n");
    store.SetString("urlInfo", "http://registry.test/");
    store.SetString("Langue", "fr");
    store.SetDword("DelaiInfo", 30);
    EXPECT_EQ(Resolve(), "http://registry.test/");
    EXPECT_EQ(settings.LanguageCode, "fr");
    EXPECT_EQ(settings.ScanTicks, 180);
    EXPECT_EQ(Only(log, "keys.OpenKey"), CallLog(3, Call("keys.OpenKey", kKeyPath)));
    EXPECT_EQ(Only(log, "keys.CloseKey").size(), 3u);
    const CallLog order = {
        Call("keys.QueryValue", store.openHandle, "urlInfo", "null"),
        Call("keys.QueryValue", store.openHandle, "Langue", "null"),
        Call("keys.QueryValue", store.openHandle, "DelaiInfo", "null"),
    };
    CallLog sizeQueries;
    for (const auto& entry : Only(log, "keys.QueryValue"))
        if (entry.find(",null)") != std::string::npos) sizeQueries.push_back(entry);
    EXPECT_EQ(sizeQueries, order);
}

TEST_F(ResolveSettingsTest, LanguageDefaultsToEnglish) {
    WriteParam("Page=http://ini.test/\r\n");
    Resolve();
    EXPECT_EQ(settings.LanguageCode, "en");
}

TEST_F(ResolveSettingsTest, LanguageIsTakenAsFound) {
    WriteParam("Langue=FR\r\n");
    Resolve();
    EXPECT_EQ(settings.LanguageCode, "FR");

    WriteParam("");
    store.SetString("Langue", " fr ");
    Resolve();
    EXPECT_EQ(settings.LanguageCode, " fr ");
}

TEST_F(ResolveSettingsTest, UnsupportedRegistryTypeCountsAsMissing) {
    store.SetRaw("Langue", kRegBinary, "fr");
    store.SetRaw("DelaiInfo", kRegExpandSz, std::string("30\0", 3));
    Resolve();
    EXPECT_EQ(settings.LanguageCode, "en");
    EXPECT_EQ(settings.ScanTicks, 90);
}

TEST_F(ResolveSettingsTest, FailedSecondRegistryQueryCountsAsMissing) {
    store.SetString("Langue", "fr");
    store.SetDword("DelaiInfo", 30);
    store.failDataQuery = true;
    Resolve();
    EXPECT_EQ(settings.LanguageCode, "en");
    EXPECT_EQ(settings.ScanTicks, 90);
}

TEST_F(ResolveSettingsTest, PeriodInMinutesBecomesTicks) {
    EXPECT_EQ(TicksFor("1"), 6);
    EXPECT_EQ(TicksFor("15"), 90);
    EXPECT_EQ(TicksFor("0"), 0);
    EXPECT_EQ(TicksFor("-0"), 0);
    EXPECT_EQ(TicksFor("-1"), -6);
    EXPECT_EQ(TicksFor("+2"), 12);
    EXPECT_EQ(TicksFor("5461"), 32766);
    EXPECT_EQ(TicksFor("-5461"), -32766);
}

TEST_F(ResolveSettingsTest, FractionalPeriodRoundsHalvesToEven) {
    EXPECT_EQ(TicksFor("2.5"), 12);
    EXPECT_EQ(TicksFor("3.5"), 24);
    EXPECT_EQ(TicksFor("2.51"), 18);
    EXPECT_EQ(TicksFor("-2.5"), -12);
    EXPECT_EQ(TicksFor("0.5"), 0);
}

TEST_F(ResolveSettingsTest, PeriodBeyondRangeIsClamped) {
    EXPECT_EQ(TicksFor("5462"), 32766);
    EXPECT_EQ(TicksFor("32767"), 32766);
    EXPECT_EQ(TicksFor("99999"), 32766);
    EXPECT_EQ(TicksFor("-99999"), -32766);
    EXPECT_EQ(TicksFor("5461.5"), 32766);
    EXPECT_EQ(TicksFor("123456789012345678901234567890"), 32766);
}

TEST_F(ResolveSettingsTest, NonNumericPeriodGivesFifteenMinutes) {
    for (const char* text : {"abc", "1e9", "1,5", "1 000", "10min", "0x10", "--1", ".", "+"})
        EXPECT_EQ(TicksFor(text), 90) << text;
}

TEST_F(ResolveSettingsTest, NonNumericFileValueStillHidesTheRegistry) {
    WriteParam("DelaiInfo=abc\r\n");
    store.SetDword("DelaiInfo", 30);
    Resolve();
    EXPECT_EQ(settings.ScanTicks, 90);
}

TEST_F(ResolveSettingsTest, RegistryPeriods) {
    EXPECT_EQ(TicksForRegistryText(" 7 "), 42);
    EXPECT_EQ(TicksForRegistryText("-0"), 0);
    EXPECT_EQ(TicksForRegistryText("1e9"), 90);
    EXPECT_EQ(TicksForRegistryText(""), 90);
    store.SetDword("DelaiInfo", -2);
    Resolve();
    EXPECT_EQ(settings.ScanTicks, -12);
    store.SetDword("DelaiInfo", 100000);
    Resolve();
    EXPECT_EQ(settings.ScanTicks, 32766);
    store.SetDword("DelaiInfo", INT32_MIN);
    Resolve();
    EXPECT_EQ(settings.ScanTicks, -32766);
}

TEST_F(ResolveSettingsTest, EmptyFileFallsBackToTheRegistry) {
    WriteIni("");
    store.SetString("Langue", "fr");
    EXPECT_EQ(Resolve(), "");
    EXPECT_EQ(settings.LanguageCode, "fr");
    EXPECT_EQ(settings.ScanTicks, 90);
}

TEST_F(ResolveSettingsTest, BinaryGarbageGivesDefaults) {
    std::string bytes;
    for (int i = 0; i < 8192; ++i) bytes += static_cast<char>((i * 37 + i / 256) & 0xFF);
    WriteIni(bytes);
    ExpectDefaults(Resolve());
}

TEST_F(ResolveSettingsTest, LargeFileIsReadToItsEnd) {
    std::string bytes;
    const std::string filler = "; " + std::string(1000, 'c') + "\r\n";
    while (bytes.size() < 5'000'000) bytes += filler;
    bytes += "[Param]\r\nPage=http://end.test/\r\nDelaiInfo=2\r\n";
    WriteIni(bytes);
    EXPECT_EQ(Resolve(), "http://end.test/");
    EXPECT_EQ(settings.ScanTicks, 12);
}

TEST_F(ResolveSettingsTest, VeryLongLineIsCutAndTheNextKeysStillRead) {
    WriteParam("Page=http://" + std::string(100'000, 'a') + "\r\nLangue=fr\r\nDelaiInfo=5\r\n");
    const std::string page = Resolve();
    EXPECT_EQ(page, "http://" + std::string(254 - 7, 'a'));
    EXPECT_EQ(settings.LanguageCode, "fr");
    EXPECT_EQ(settings.ScanTicks, 30);
}

TEST_F(ResolveSettingsTest, InvalidUtf8IsReadAsWindows1252) {
    WriteParam("Page=http://h.test/caf\xE9\r\nLangue=fr\r\nDelaiInfo=1\r\n");
    EXPECT_EQ(Resolve(), "http://h.test/caf\xC3\xA9");
    EXPECT_EQ(settings.LanguageCode, "fr");
    EXPECT_EQ(settings.ScanTicks, 6);
}

TEST_F(ResolveSettingsTest, MissingFolderGivesDefaults) {
    settings.IniPath = (folder.path() / "absent" / "Param.ini").string();
    store.keyExists = false;
    ExpectDefaults(Resolve());
}

// ---------------------------------------------------------------- ConfUserKeyStore

#ifndef _WIN32

class ConfUserKeyStoreTest_Posix : public ::testing::Test {
  protected:
    void WriteConf(const std::string& body) {
        folder.Write(fs::path("Orbelia") / "Quorvellis.conf", body);
    }
    RegValue Read(const std::string& name, const std::string& path = kKeyPath) {
        return ReadUserValue(store, path, name);
    }

    TempFolder folder;
    ConfUserKeyStore store{folder.path().string()};
};

TEST_F(ConfUserKeyStoreTest_Posix, MissingFileIsAMissingKey) {
    KeyHandle handle = 0;
    EXPECT_NE(store.OpenKey(kKeyPath, handle), kErrorSuccess);
    EXPECT_EQ(handle, 0u);
    EXPECT_TRUE(std::holds_alternative<std::monostate>(Read("urlInfo")));

    SharedSettings settings;
    settings.IniPath = (folder.path() / "Param.ini").string();
    EXPECT_EQ(ResolveSettings(settings, store), "");
    EXPECT_EQ(settings.LanguageCode, "en");
    EXPECT_EQ(settings.ScanTicks, 90);
}

TEST_F(ConfUserKeyStoreTest_Posix, ValuesAndTheirTypes) {
    WriteConf(
        "[Settings]\n"
        "urlInfo=http://conf.test/page\n"
        "DelaiInfo=dword:0000001e\n"
        "minusOne=dword:ffffffff\n"
        "upper=dword:0000001E\n"
        "short=dword:1e\n"
        "long=dword:00000001e\n"
        "notHex=dword:0000001g\n");
    EXPECT_EQ(Read("urlInfo"), RegValue(std::string("http://conf.test/page")));
    EXPECT_EQ(Read("DelaiInfo"), RegValue(std::int32_t{30}));
    EXPECT_EQ(Read("minusOne"), RegValue(std::int32_t{-1}));
    EXPECT_EQ(Read("upper"), RegValue(std::int32_t{30}));
    EXPECT_EQ(Read("short"), RegValue(std::string("dword:1e")));
    EXPECT_EQ(Read("long"), RegValue(std::string("dword:00000001e")));
    EXPECT_EQ(Read("notHex"), RegValue(std::string("dword:0000001g")));
    EXPECT_TRUE(std::holds_alternative<std::monostate>(Read("absent")));
}

TEST_F(ConfUserKeyStoreTest_Posix, NamesIgnoreCase) {
    WriteConf("[settings]\nURLINFO=http://conf.test/\n");
    EXPECT_EQ(Read("urlInfo"), RegValue(std::string("http://conf.test/")));
    EXPECT_EQ(Read("urlinfo", "SOFTWARE\\Orbelia\\Quorvellis\\SETTINGS"),
              RegValue(std::string("http://conf.test/")));
}

TEST_F(ConfUserKeyStoreTest_Posix, OtherKeyPathsAreNotFound) {
    WriteConf("[Settings]\nLangue=fr\n[Other]\nLangue=de\n");
    folder.Write(fs::path("Orbelia") / "Other.conf", "[Settings]\nLangue=it\n");
    EXPECT_EQ(Read("Langue", "SoftWare\\Orbelia\\Quorvellis\\Other"), RegValue(std::string("de")));
    for (const char* path :
         {"SoftWare\\Orbelia\\Quorvellis\\Missing", "SoftWare\\Orbelia\\Absent\\Settings",
          "Hardware\\Orbelia\\Quorvellis\\Settings", "SoftWare\\Orbelia\\Quorvellis", ""}) {
        const RegValue value = Read("Langue", path);
        EXPECT_TRUE(std::holds_alternative<std::monostate>(value)) << path;
    }
}

TEST_F(ConfUserKeyStoreTest_Posix, ClosedHandleNoLongerReads) {
    WriteConf("[Settings]\nLangue=fr\n");
    KeyHandle handle = 0;
    ASSERT_EQ(store.OpenKey(kKeyPath, handle), kErrorSuccess);
    ASSERT_NE(handle, 0u);
    std::uint32_t type = 0, size = 0;
    EXPECT_EQ(store.QueryValue(handle, "Langue", &type, nullptr, &size), kErrorSuccess);
    EXPECT_EQ(type, kRegSz);
    EXPECT_EQ(size, 3u);
    store.CloseKey(handle);
    EXPECT_NE(store.QueryValue(handle, "Langue", &type, nullptr, &size), kErrorSuccess);
}

TEST_F(ConfUserKeyStoreTest_Posix, TooSmallBufferReportsTheSizeNeeded) {
    WriteConf("[Settings]\nurlInfo=abcdef\n");
    KeyHandle handle = 0;
    ASSERT_EQ(store.OpenKey(kKeyPath, handle), kErrorSuccess);
    unsigned char buffer[4] = {};
    std::uint32_t type = 0, size = sizeof buffer;
    EXPECT_EQ(store.QueryValue(handle, "urlInfo", &type, buffer, &size), kErrorMoreData);
    EXPECT_EQ(size, 7u);
    store.CloseKey(handle);
}

// Start-up opens the key up to three times: a buffer sized for the largest possible file
// on each open costs more than the rest of the start-up together.
TEST_F(ConfUserKeyStoreTest_Posix, SmallFileIsReadWithoutAHugeBuffer) {
    WriteConf("[Settings]\nLangue=fr\n");
    AllocationProbe probe;
    EXPECT_EQ(Read("Langue"), RegValue(std::string("fr")));
    EXPECT_LT(probe.Largest(), std::size_t{1} << 20);
}

// A file over the size limit is read up to its last whole line: a character cut in two would
// make the whole file read as Windows-1252.
TEST_F(ConfUserKeyStoreTest_Posix, AFileOverTheLimitKeepsItsEncoding) {
    const std::string body =
        "[Settings]\nurlInfo=http://\xC3\xA9t\xC3\xA9/\nLangue=\xC3\xA9t\xC3\xA9\n";
    WriteConf(body);
    ConfUserKeyStore limited(folder.path().string(),
                             body.size() - 2);  // inside the last "\xC3\xA9"
    EXPECT_EQ(ReadUserValue(limited, kKeyPath, "urlInfo"),
              RegValue(std::string("http://\xC3\xA9t\xC3\xA9/")));
    EXPECT_TRUE(std::holds_alternative<std::monostate>(ReadUserValue(limited, kKeyPath, "Langue")));
}

TEST_F(ConfUserKeyStoreTest_Posix, SettingsResolveFromTheFile) {
    WriteConf(
        "[Settings]\r\nurlInfo=http://conf.test/\r\nLangue=fr\r\nDelaiInfo=dword:0000001e\r\n");
    SharedSettings settings;
    settings.IniPath = (folder.path() / "Param.ini").string();
    EXPECT_EQ(ResolveSettings(settings, store), "http://conf.test/");
    EXPECT_EQ(settings.LanguageCode, "fr");
    EXPECT_EQ(settings.ScanTicks, 180);
}

TEST_F(ConfUserKeyStoreTest_Posix, StringPeriodWithBlanks) {
    WriteConf("[Settings]\nDelaiInfo=\" 7 \"\n");
    SharedSettings settings;
    settings.IniPath = (folder.path() / "Param.ini").string();
    ResolveSettings(settings, store);
    EXPECT_EQ(settings.ScanTicks, 42);
}
#endif

}  // namespace
