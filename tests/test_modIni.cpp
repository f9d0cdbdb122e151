#include <gtest/gtest.h>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "settings/modIni.h"

namespace fs = std::filesystem;
using namespace std::string_literals;
using namespace std::string_view_literals;

namespace {

#ifdef _WIN32
const std::string kEol = "\r\n";
#else
const std::string kEol = "\n";
#endif

unsigned long ProcessId() {
#ifdef _WIN32
    return GetCurrentProcessId();
#else
    return static_cast<unsigned long>(getpid());
#endif
}

// Same number before and after only if the file was edited in place, not replaced.
std::uint64_t FileIdOf(const std::string& path) {
#ifdef _WIN32
    const HANDLE file =
        CreateFileW(std::filesystem::path(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool ok = GetFileInformationByHandle(file, &info) != 0;
    CloseHandle(file);
    return ok ? std::uint64_t{info.nFileIndexHigh} << 32 | info.nFileIndexLow : 0;
#else
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
#endif
}

std::optional<std::string> Find(std::string_view text, std::string_view section,
                                std::string_view key) {
    return FindIniValue(text, section, key);
}

// ---- Lookup

TEST(IniLookup, MissingTextSectionOrKeyFindsNothing) {
    EXPECT_EQ(Find("", "P", "k"), std::nullopt);
    EXPECT_EQ(Find("[P]\nk=1", "Q", "k"), std::nullopt);
    EXPECT_EQ(Find("[P]\nk=1", "P", "x"), std::nullopt);
    EXPECT_EQ(Find("[P]\nk=1", "P", "k"), "1");
}

TEST(IniLookup, NamesIgnoreAsciiCaseAndSurroundingBlanksOnly) {
    const std::string text = "[PaRaM]\nPAGE=x\n[\xC3\x89t\xC3\xA9]\nk=2";
    EXPECT_EQ(Find(text, " param\t", " page "), "x");
    EXPECT_EQ(Find(text, "param", "pag"), std::nullopt);
    EXPECT_EQ(Find(text, "param", "pages"), std::nullopt);
    EXPECT_EQ(Find(text, "para", "page"), std::nullopt);
    EXPECT_EQ(Find(text, "\xC3\xA9t\xC3\xA9", "k"), std::nullopt);  // no case folding beyond ASCII
}

TEST(IniLookup, FirstSectionAndFirstKeyLineWin) {
    const std::string text = "[P]\na=1\nk=\nk=2\nbare\nbare=3\n[Q]\n[p]\nb=2\na=4";
    EXPECT_EQ(Find(text, "P", "a"), "1");
    EXPECT_EQ(Find(text, "P", "b"), std::nullopt);  // later section of the same name is hidden
    EXPECT_EQ(Find(text, "P", "k"), "");            // empty first value still wins
    EXPECT_EQ(Find(text, "P", "bare"), "");         // a line without '=' is a key too
}

TEST(IniLookup, LinesBeforeFirstHeaderBelongToNoSection) {
    EXPECT_EQ(Find("k=0\n[P]", "", "k"), std::nullopt);
    EXPECT_EQ(Find("k=0\n[]\nk=1", "", "k"), "1");
    EXPECT_EQ(Find("k=0\n[ ]\nk=1", " ", "K"), "1");
}

// ---- Lines

TEST(IniLines, EveryLineEndCountsAndBlankLinesAreSkipped) {
    const std::string text = "[P]\r\na=1\rb=2\n\n\r\n\r\rc=3";
    EXPECT_EQ(Find(text, "P", "a"), "1");
    EXPECT_EQ(Find(text, "P", "b"), "2");
    EXPECT_EQ(Find(text, "P", "c"), "3");
}

TEST(IniLines, BlanksAroundLinesNamesAndValuesAreTrimmed) {
    const std::string text = " \t[  P \v]\f\n\v\t my key \t= \t two words \f\t\n";
    EXPECT_EQ(Find(text, "P", "my key"), "two words");
}

TEST(IniLines, HeadersRunToTheFirstClosingBracket) {
    const std::string text = "[P] tail=x\nk=1\n[Open\nk=2\n[a]b]\nk=3";
    EXPECT_EQ(Find(text, "P", "k"), "1");
    EXPECT_EQ(Find(text, "P", "tail"), std::nullopt);
    EXPECT_EQ(Find(text, "Open", "k"), "2");
    EXPECT_EQ(Find(text, "a", "k"), "3");
}

TEST(IniLines, KeyLinesSplitAtTheFirstEqualsAndCommentsOnlyStartLines) {
    const std::string text = "[P]\n; k=0\n  ;j=0\nk = a=b = c\nj=2 ; not # a comment\n#h=1";
    EXPECT_EQ(Find(text, "P", "k"), "a=b = c");
    EXPECT_EQ(Find(text, "P", "j"), "2 ; not # a comment");
    EXPECT_EQ(Find(text, "P", "#h"), "1");
}

TEST(IniLines, NulEndsANameOrValueWhereItStands) {
    const std::string text = "[P\0x]\nk\0ey=1\nv=ab\0cd\nq=\"ab\0c\"\n"s;
    EXPECT_EQ(Find(text, "P", "k"), "1");
    EXPECT_EQ(Find(text, "P", "v"), "ab");
    EXPECT_EQ(Find(text, "P", "q"), "ab");
    EXPECT_EQ(Find(text, "P", "key"), std::nullopt);
    EXPECT_EQ(Find(text, "P\0zzz"s, "k\0zzz"s), "1");  // requested names are C strings too
}

// ---- Values

TEST(IniValues, OneMatchingQuotePairIsRemoved) {
    const std::pair<std::string, std::string> cases[] = {
        {"\"a b\"", "a b"}, {"'x'", "x"},       {"\" a \"", " a "},     {"\"x'", "\"x'"},
        {"\"\"", ""},       {"\"", "\""},       {"\"\"x\"\"", "\"x\""}, {"'a", "'a"},
        {"\"a\" ", "a"},    {" 'a' b", "'a' b"}};
    for (const auto& [stored, expected] : cases) {
        EXPECT_EQ(Find("[P]\nk=" + stored, "P", "k"), expected) << stored;
    }
}

// ---- Files

class IniFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::temp_directory_path() /
               ("tavorin_ini_"s + info->name() + "_" + std::to_string(ProcessId()));
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override {
        std::error_code ignored;
        fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ignored);
        fs::remove_all(dir_, ignored);
    }
    std::string PathOf(const std::string& name) const { return (dir_ / name).string(); }
    std::string Put(const std::string& name, const std::string& bytes) const {
        std::ofstream(PathOf(name), std::ios::binary) << bytes;
        return PathOf(name);
    }
    static std::string Get(const std::string& path) {
        std::ostringstream out;
        out << std::ifstream(path, std::ios::binary).rdbuf();
        return out.str();
    }
    std::size_t EntryCount() const {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir_), {}));
    }
    // Writes and expects success, reporting the reason otherwise.
    void Write(const std::string& file, std::string_view section, std::string_view key,
               std::string_view value) const {
        std::string reason;
        EXPECT_TRUE(WriteIniValue(section, key, value, file, &reason)) << reason;
    }
    fs::path dir_;
};

using IniRead = IniFileTest;

TEST_F(IniRead, ValuesAreCutTo254WholeCharacters) {
    const std::string file =
        Put("a.ini", "[P]\nlong=" + std::string(300, 'x') + "\nacc=" + std::string(253, 'a') +
                         "\xE2\x82\xAC\xC3\xA9\n");
    EXPECT_EQ(ReadIniValue("P", "long", file, ""), std::string(254, 'x'));
    EXPECT_EQ(ReadIniValue("P", "acc", file, ""), std::string(253, 'a') + "\xE2\x82\xAC");
    EXPECT_EQ(FindIniValue(Get(file), "P", "long")->size(), 300u);  // no cut here
}

TEST_F(IniRead, MissingEmptyOrUnreadableGivesTheDefault) {
    const std::string file = Put("a.ini", "[P]\nk=1\n");
    EXPECT_EQ(ReadIniValue("P", "k", file, "d"), "1");
    EXPECT_EQ(ReadIniValue("Q", "k", file, "d"), "d");
    EXPECT_EQ(ReadIniValue("P", "x", file, "d"), "d");
    EXPECT_EQ(ReadIniValue("P", "k", PathOf("missing.ini"), "d"), "d");
    EXPECT_EQ(ReadIniValue("P", "k", Put("empty.ini", ""), "d"), "d");
    EXPECT_EQ(ReadIniValue("P", "k", dir_.string(), "d"), "d");
}

TEST_F(IniRead, EncodingsAreRecognised) {
    const std::string utf16 = "\xFF\xFE[\0P\0]\0\r\0\n\0k\0=\0\xE9\0\xAC\x20"s;
    EXPECT_EQ(ReadIniValue("P", "k", Put("u16.ini", utf16), ""), "\xC3\xA9\xE2\x82\xAC");
    EXPECT_EQ(ReadIniValue("P", "k", Put("bom.ini", "\xEF\xBB\xBF[P]\nk=\xC3\xA9"), ""),
              "\xC3\xA9");
    EXPECT_EQ(ReadIniValue("P", "k", Put("ansi.ini", "[P]\nk=caf\xE9 \x80\x81"), ""),
              "caf\xC3\xA9 \xE2\x82\xAC\xC2\x81");
}

TEST_F(IniRead, BadAndHugeInputIsSurvived) {
    std::mt19937 random(42);
    std::string garbage(3 << 20, '\0');
    for (char& c : garbage) c = static_cast<char>(random());
    std::replace(garbage.begin(), garbage.end(), '[', ' ');  // no header to stumble on
    EXPECT_EQ(ReadIniValue("P", "k", Put("garbage.ini", garbage), "d"), "d");
    EXPECT_EQ(ReadIniValue("P", "k", Put("tail.ini", garbage + "\n[P]\nk=v"), "d"), "v");

    std::string big = "[P]\n";
    for (int i = 0; i < 200000; ++i) big += "key" + std::to_string(i) + "=value\n";
    big += "line=" + std::string(100000, 'y') + "\nlast=end\n";
    const std::string file = Put("big.ini", big);
    EXPECT_EQ(ReadIniValue("P", "last", file, ""), "end");
    EXPECT_EQ(ReadIniValue("P", "line", file, ""), std::string(254, 'y'));
    Write(file, "P", "added", "1");
    EXPECT_TRUE(Get(file) == big + "added=1\n");  // EXPECT_EQ would diff megabytes
}

using IniWrite = IniFileTest;

TEST_F(IniWrite, NewFileIsHeaderThenKeyInUtf8) {
    const std::string file = PathOf("new.ini");
    Write(file, " Param ", " Page ", "caf\xC3\xA9");
    EXPECT_EQ(Get(file), "[Param]" + kEol + "Page=caf\xC3\xA9" + kEol);
    Write(file, "Param", "Langue", "fr");
    Write(file, "Other", "x", "1");
    EXPECT_EQ(Get(file), "[Param]" + kEol + "Page=caf\xC3\xA9" + kEol + "Langue=fr" + kEol +
                             "[Other]" + kEol + "x=1" + kEol);
}

TEST_F(IniWrite, NewKeysGoAfterTheLastKeyOfTheFirstSection) {
    const std::string file = Put("a.ini", "[A]\na=1\n\n; c\n[B]\nb=1\n[a]\nz=1\n");
    Write(file, "a", "n", "2");
    Write(file, "B", "m", "3");
    Write(file, "A", "z", "4");
    EXPECT_EQ(Get(file), "[A]\na=1\nn=2\nz=4\n\n; c\n[B]\nb=1\nm=3\n[a]\nz=1\n");

    const std::string bare = Put("b.ini", "; top\n[A]\n\n; only a comment\n[B]\n");
    Write(bare, "A", "k", "v");
    EXPECT_EQ(Get(bare), "; top\n[A]\nk=v\n\n; only a comment\n[B]\n");
}

TEST_F(IniWrite, TheFilesLineEndsAreKeptAndAMissingLastOneAdded) {
    const std::pair<std::string, std::string> cases[] = {
        {"[A]\r\na=1", "[A]\r\na=1\r\nb=2\r\n[N]\r\nk=v\r\n"},
        {"[A]\ra=1\r", "[A]\ra=1\rb=2\r[N]\rk=v\r"},
        {"[A]\na=1\r\n", "[A]\na=1\r\nb=2\n[N]\nk=v\n"},
        {"x=1", "x=1" + kEol + "[A]" + kEol + "b=2" + kEol + "[N]" + kEol + "k=v" + kEol}};
    for (const auto& [before, after] : cases) {
        const std::string file = Put("a.ini", before);
        Write(file, "A", "b", "2");
        Write(file, "N", "k", "v");
        EXPECT_EQ(Get(file), after);
    }
}

TEST_F(IniWrite, ReplacingKeepsThePlaceTheSpellingAndEveryOtherByte) {
    const std::string before =
        "\t; top\r\n\r\n[PaRaM]  # x\r\n  other = 1 \r\n\t pAGE = old ; x\r\nbare\r\n"
        "[param]\r\npage=hidden\r\n";
    const std::string file = Put("a.ini", before);
    Write(file, "Param", "Page", "new");
    Write(file, "param", "BARE", " spaced \"value\" ");
    EXPECT_EQ(Get(file),
              "\t; top\r\n\r\n[PaRaM]  # x\r\n  other = 1 \r\n\t pAGE = new\r\n"
              "bare= spaced \"value\" \r\n[param]\r\npage=hidden\r\n");
    EXPECT_EQ(ReadIniValue("Param", "bare", file, ""), "spaced \"value\"");
}

TEST_F(IniWrite, TheValueAlreadyThereLeavesTheFileAlone) {
    const std::string file = Put("a.ini", "[P]\r\n k =  v  \r\nq = \"x\"\nbare\n");
    const std::uint64_t id = FileIdOf(file);
    ASSERT_NE(id, 0u);
    Write(file, "p", "K", "v");
    Write(file, "P", "q", "\"x\"");
    Write(file, "P", "bare", "");
    EXPECT_EQ(FileIdOf(file), id);
    EXPECT_EQ(Get(file), "[P]\r\n k =  v  \r\nq = \"x\"\nbare\n");
}

TEST_F(IniWrite, NulCutsNamesLikeCStrings) {
    const std::string file = PathOf("a.ini");
    Write(file, "P\0x"s, "k\0z"s, "a");
    EXPECT_EQ(Get(file), "[P]" + kEol + "k=a" + kEol);
}

TEST_F(IniWrite, OnlyTheValueChangesOnItsLine) {
    const std::string file = Put("a.ini", "[P]\n  k = \"old\"  \ne =  \nbare\n");
    Write(file, "P", "k", "new");
    Write(file, "P", "e", "1");
    Write(file, "P", "bare", "2");
    EXPECT_EQ(Get(file), "[P]\n  k = new  \ne =1\nbare=2\n");
}

TEST_F(IniWrite, RefusalsLeaveTheFileByteIdentical) {
    const std::string before = "[P]\r\nk=1\r\n";
    const std::string file = Put("a.ini", before);
    const std::string_view refused[][3] = {
        {"P", "k", "two\r\nlines"}, {"P", "k", "a\rb"},    {"P", "new\nkey", "v"},
        {"P\n", "k", "v"},          {"P", "", "v"},        {"P", " \t ", "v"},
        {"P", "a=b", "v"},          {"P", "[k", "v"},      {"P", ";k", "v"},
        {"P]x", "k", "v"},          {"P", "k", "caf\xE9"}, {"P", "k", "a\0b"sv}};
    for (const auto& r : refused) {
        std::string reason;
        EXPECT_FALSE(WriteIniValue(r[0], r[1], r[2], file, &reason)) << r[1] << r[2];
        EXPECT_NE(reason.find(file), std::string::npos) << reason;
        EXPECT_FALSE(WriteIniValue(r[0], r[1], r[2], PathOf("none.ini")));
    }
    EXPECT_EQ(Get(file), before);
    EXPECT_EQ(EntryCount(), 1u);
}

TEST_F(IniWrite, TheFilesEncodingIsKept) {
    const std::string utf16 = Put("u16.ini", "\xFF\xFE[\0P\0]\0\n\0"s);
    Write(utf16, "P", "k", "\xC3\xA9\xF0\x9F\x98\x80");
    EXPECT_EQ(Get(utf16), "\xFF\xFE[\0P\0]\0\n\0k\0=\0\xE9\0\x3D\xD8\x00\xDE\n\0"s);

    const std::string odd = Put("odd.ini", "\xFF\xFE[\0P\0]\0\n\0\x41"s);  // stray last byte
    Write(odd, "P", "k", "v");
    EXPECT_EQ(Get(odd), "\xFF\xFE[\0P\0]\0\n\0k\0=\0v\0\n\0\x41"s);

    const std::string bom = Put("bom.ini", "\xEF\xBB\xBF[P]\n");
    Write(bom, "P", "k", "\xE2\x82\xAC");
    EXPECT_EQ(Get(bom), "\xEF\xBB\xBF[P]\nk=\xE2\x82\xAC\n");

    const std::string ansi = Put("ansi.ini", "[P]\nk=caf\xE9\n");
    Write(ansi, "P", "n", "\xE2\x82\xAC");
    EXPECT_EQ(Get(ansi), "[P]\nk=caf\xE9\nn=\x80\n");
    // A character Windows-1252 lacks: the whole file turns UTF-8, its values unchanged.
    Write(ansi, "P", "n", "\xF0\x9F\x98\x80");
    EXPECT_EQ(Get(ansi), "[P]\nk=caf\xC3\xA9\nn=\xF0\x9F\x98\x80\n");
}

// After any write every other key reads as before, sections stay as they were, and the key
// written reads back as written, whatever the file's encoding.
TEST_F(IniWrite, AWriteChangesNothingButTheValueWritten) {
    const std::string files[] = {
        "[s]\na=\xC3\xA9\nk=\xFF\n",                        // Windows-1252 only through k
        "\xEF\xBB\xBF[s]\na=1\n[t]\nk=\xFF\nb=\xC3\xA9\n",  // a mark Windows-1252 reads as text
        "[s]\r\na=caf\xE9\r\nk=\x80\r\n",
        "[s]\na=\xC3\xA9\n[t]\nk=\xE2\x82\xAC",
        "\xEF\xBB\xBF[s]\na=\xC3\xA9\n",
        "\xFF\xFE[\0s\0]\0\n\0a\0=\0\xE9\0\n\0k\0=\0\x3D\xD8\n\0"s,  // a lone surrogate
        "k=top\n[s]\nbare\n[s]\nk=hidden\n",
        ""};
    const std::string_view writes[][3] = {
        {"s", "k", "x"},        {"s", "k", "\xE2\x82\xAC"}, {"s", "k", "\xE4\xB8\xAD"},
        {"t", "k", "\xC3\xA9"}, {"t", "n", "\xC3\x83"},     {"u", "b", "v"},
        {"s", "a", "\xC3\xA9"}, {"s", "bare", "\xC2\xA0"}};
    const char* sections[] = {"s", "t", "u", "\xC3\xAF\xC2\xBB\xC2\xBF[s"};
    const char* keys[] = {"a", "k", "b", "n", "bare", "\xC3\xAF\xC2\xBB\xC2\xBF[s]"};
    for (const std::string& before : files) {
        for (const auto& [section, key, value] : writes) {
            const std::string file = Put("a.ini", before);
            auto reading = [&] {
                std::vector<std::string> values;
                for (const char* s : sections) {
                    for (const char* k : keys) values.push_back(ReadIniValue(s, k, file, "-"));
                }
                return values;
            };
            std::vector<std::string> expected = reading();
            Write(file, section, key, value);
            const std::string where = testing::PrintToString(before) + " " + std::string(section) +
                                      "/" + std::string(key);
            EXPECT_EQ(ReadIniValue(section, key, file, "-"), value) << where;
            std::vector<std::string> after = reading();
            for (std::size_t i = 0; i < after.size(); ++i) {
                const bool written =
                    sections[i / std::size(keys)] == section && keys[i % std::size(keys)] == key;
                if (!written) {
                    EXPECT_EQ(after[i], expected[i]) << where << " probe " << i;
                }
            }
        }
    }
}

TEST_F(IniWrite, MissingFolderOrAFolderAsTheFileFails) {
    std::string reason;
    const std::string inMissing = (dir_ / "no" / "a.ini").string();
    EXPECT_FALSE(WriteIniValue("P", "k", "v", inMissing, &reason));
    EXPECT_NE(reason.find(inMissing), std::string::npos) << reason;
    EXPECT_FALSE(fs::exists(dir_ / "no"));

    EXPECT_FALSE(WriteIniValue("P", "k", "v", dir_.string(), &reason));
    EXPECT_TRUE(fs::is_directory(dir_));
}

TEST_F(IniWrite, ReadOnlyFileKeepsTheOriginal) {
#ifndef _WIN32
    if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
#endif
    std::string reason;
    const std::string file = Put("a.ini", "[P]\nk=1\n");
    fs::permissions(file, fs::perms::owner_read);
#ifdef _WIN32
    if (std::FILE* probe = _wfopen(fs::path(file).c_str(), L"r+b")) {
        std::fclose(probe);
        fs::permissions(file, fs::perms::owner_write, fs::perm_options::add);
        GTEST_SKIP() << "the read-only attribute does not bind here (Wine run by root)";
    }
#endif
    EXPECT_FALSE(WriteIniValue("P", "k", "2", file, &reason));
    EXPECT_NE(reason.find(file), std::string::npos) << reason;
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(Get(file), "[P]\nk=1\n");
    EXPECT_EQ(EntryCount(), 1u);
}

// A read-only folder attribute does not stop file creation on Windows, and links need rights
// a normal user there lacks.
#ifndef _WIN32
TEST_F(IniWrite, ReadOnlyFolderKeepsTheOriginal_Posix) {
    if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
    std::string reason;
    const std::string file = Put("a.ini", "[P]\nk=1\n");
    fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec);
    EXPECT_FALSE(WriteIniValue("P", "k", "2", file, &reason));
    EXPECT_NE(reason.find(file), std::string::npos) << reason;
    EXPECT_EQ(Get(file), "[P]\nk=1\n");
    EXPECT_EQ(EntryCount(), 1u);
}

TEST_F(IniWrite, ALinkStaysALinkAndPermissionsStay_Posix) {
    const std::string target = Put("real.ini", "[P]\nk=1\n");
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_symlink("real.ini", dir_ / "link.ini");
    Write(PathOf("link.ini"), "P", "k", "2");
    EXPECT_TRUE(fs::is_symlink(dir_ / "link.ini"));
    EXPECT_EQ(Get(target), "[P]\nk=2\n");
    EXPECT_EQ(fs::status(target).permissions(),
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(EntryCount(), 2u);  // no temporary file left behind
}
#endif

}  // namespace
