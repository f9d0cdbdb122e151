#include <gtest/gtest.h>

#include <string>

#include "settings/ini_encoding.h"

using namespace std::string_literals;

namespace {

std::string Utf16Le(std::u16string_view units) {
    std::string out = "\xFF\xFE";
    for (const char16_t u : units) {
        out.push_back(static_cast<char>(u & 0xFF));
        out.push_back(static_cast<char>(u >> 8));
    }
    return out;
}

TEST(IniEncoding, ValidUtf8IsKeptAndItsMarkSkipped) {
    const DecodedText plain = DecodeIniBytes("[P]\nk=caf\xC3\xA9 \xF0\x9F\x98\x80");
    EXPECT_EQ(plain.encoding, TextEncoding::Utf8);
    EXPECT_EQ(plain.text, "[P]\nk=caf\xC3\xA9 \xF0\x9F\x98\x80");

    const DecodedText marked = DecodeIniBytes("\xEF\xBB\xBF[P]");
    EXPECT_EQ(marked.encoding, TextEncoding::Utf8Bom);
    EXPECT_EQ(marked.text, "[P]");
    EXPECT_EQ(EncodeIniText(marked.text, marked.encoding), "\xEF\xBB\xBF[P]");

    EXPECT_EQ(DecodeIniBytes("").encoding, TextEncoding::Utf8);
}

TEST(IniEncoding, MalformedUtf8FallsBackToWindows1252) {
    // Lone lead byte, overlong forms, encoded surrogate, beyond U+10FFFF, cut sequence.
    for (const std::string& bad : {"caf\xE9"s, "\xC0\xAF"s, "\xE0\x80\xAF"s, "\xED\xA0\x80"s,
                                   "\xF4\x90\x80\x80"s, "ab\xE2\x82"s}) {
        const DecodedText decoded = DecodeIniBytes(bad);
        EXPECT_EQ(decoded.encoding, TextEncoding::Windows1252) << bad;
        EXPECT_EQ(EncodeIniText(decoded.text, decoded.encoding), bad);
    }
    EXPECT_EQ(DecodeIniBytes("caf\xE9").text, "caf\xC3\xA9");
    // A mark in front of such a file is text, as Windows reads it.
    EXPECT_EQ(DecodeIniBytes("\xEF\xBB\xBF\xE9").text, "\xC3\xAF\xC2\xBB\xC2\xBF\xC3\xA9");
}

TEST(IniEncoding, EveryWindows1252ByteRoundTrips) {
    std::string all;
    for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
    const DecodedText decoded = DecodeIniBytes(all);
    ASSERT_EQ(decoded.encoding, TextEncoding::Windows1252);
    EXPECT_EQ(EncodeIniText(decoded.text, TextEncoding::Windows1252), all);

    // 0x80-0x9F; the five undefined bytes become the C1 controls of the same value.
    EXPECT_EQ(DecodeIniBytes(all.substr(0x80, 32)).text,
              reinterpret_cast<const char*>(
                  u8"€\u0081‚ƒ„…†‡ˆ‰Š‹Œ\u008DŽ\u008F\u0090‘’“”•–—˜™š›œ\u009DžŸ"));
    EXPECT_EQ(DecodeIniBytes(all.substr(0xA0)).text.substr(0, 4), "\xC2\xA0\xC2\xA1");
}

TEST(IniEncoding, Windows1252RefusesWhatItCannotStore) {
    EXPECT_EQ(EncodeIniText("\xE2\x82\xAC \xC3\xA9", TextEncoding::Windows1252), "\x80 \xE9");
    EXPECT_EQ(EncodeIniText("\xF0\x9F\x98\x80", TextEncoding::Windows1252), std::nullopt);
    EXPECT_EQ(EncodeIniText("\xC4\x80", TextEncoding::Windows1252), std::nullopt);  // U+0100
    EXPECT_EQ(EncodeIniText("\xC2\x80", TextEncoding::Windows1252), std::nullopt);  // U+0080
    EXPECT_EQ(EncodeIniText("\xE9", TextEncoding::Windows1252), std::nullopt);      // not UTF-8
}

TEST(IniEncoding, Utf16LeReadAndWrittenBack) {
    const std::string bytes = Utf16Le(u"[P]\r\nk=\u00E9\u20AC\U0001F600"s + u'\0' + u"x");
    const DecodedText decoded = DecodeIniBytes(bytes);
    EXPECT_EQ(decoded.encoding, TextEncoding::Utf16Le);
    EXPECT_EQ(decoded.text, "[P]\r\nk=\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"s + '\0' + "x");
    EXPECT_EQ(EncodeIniText(decoded.text, TextEncoding::Utf16Le), bytes);
    EXPECT_EQ(EncodeIniText("", TextEncoding::Utf16Le), "\xFF\xFE");
}

TEST(IniEncoding, Utf16LeLoneSurrogatesSurviveAndStrayByteIsDropped) {
    const std::string bytes = Utf16Le(
        u"a\xD800"
        u"b\xDC00");
    EXPECT_EQ(EncodeIniText(DecodeIniBytes(bytes).text, TextEncoding::Utf16Le), bytes);
    EXPECT_EQ(DecodeIniBytes(Utf16Le(u"ab") + "\x41").text, "ab");
}

TEST(IniEncoding, Utf8TargetsRefuseMalformedText) {
    EXPECT_EQ(EncodeIniText("caf\xE9", TextEncoding::Utf8), std::nullopt);
    EXPECT_EQ(EncodeIniText("\xED\xA0\x80", TextEncoding::Utf8Bom), std::nullopt);
    EXPECT_EQ(EncodeIniText("\xFF", TextEncoding::Utf16Le), std::nullopt);
}

TEST(IniEncoding, CutCountsCodePointsAndNeverSplitsOne) {
    EXPECT_EQ(CutToChars("abcdef", 4), "abcd");
    EXPECT_EQ(CutToChars("ab", 4), "ab");
    EXPECT_EQ(CutToChars("\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80z", 3),
              "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
    EXPECT_EQ(CutToChars("\xC3\xA9\xE2\x82\xAC", 1), "\xC3\xA9");
    EXPECT_EQ(CutToChars("abc", 0), "");
}

TEST(IniEncoding, APartialReadEndsAtALineEndOrAWholeCharacter) {
    const std::pair<std::string, std::string> cases[] = {
        {"[s]\r\na=\xC3\xA9\r\nb=\xC3", "[s]\r\na=\xC3\xA9\r\n"},
        {"[s]\ra=1\rb", "[s]\ra=1\r"},
        {"a=\xC3\xA9\xE2\x82", "a=\xC3\xA9"},
        {"a=\xF0\x9F\x98\x80", "a=\xF0\x9F\x98\x80"},
        {"a=\xE9", "a="},
        {"a=\xFF\xE9", "a=\xFF\xE9"},
        {Utf16Le(u"[s]\na=\u00E9") + "\x0A", Utf16Le(u"[s]\n")},
        {Utf16Le(u"a=\U0001F600").substr(0, 8), Utf16Le(u"a=")}};
    for (const auto& [bytes, kept] : cases) {
        EXPECT_EQ(CutToWholeLines(bytes), kept) << testing::PrintToString(bytes);
    }
}

}  // namespace
