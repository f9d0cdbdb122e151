#include "settings/ini_encoding.h"

#include <array>

namespace {

constexpr char32_t kInvalid = 0xFFFFFFFF;
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kUtf16LeBom = "\xFF\xFE";

// Bytes 0x80-0x9F. The five bytes Windows-1252 leaves undefined map to the C1 controls of
// the same value, so that every byte of a file survives a read and a write.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

bool IsSurrogate(char32_t c) {
    return c >= 0xD800 && c <= 0xDFFF;
}
bool StartsWith(std::string_view s, std::string_view prefix) {
    return s.substr(0, prefix.size()) == prefix;
}

// Code point at pos (pos advances past it), kInvalid for malformed or overlong input.
// Lone surrogates are let through only for text that came from a UTF-16 file.
char32_t NextCodePoint(std::string_view s, std::size_t& pos, bool allowSurrogates) {
    const auto lead = static_cast<unsigned char>(s[pos]);
    if (lead < 0x80) {
        ++pos;
        return lead;
    }
    std::size_t length = 0;
    char32_t cp = 0;
    char32_t smallest = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, cp = lead & 0x1Fu, smallest = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, cp = lead & 0x0Fu, smallest = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, cp = lead & 0x07u, smallest = 0x10000;
    } else {
        return kInvalid;
    }
    if (s.size() - pos < length) return kInvalid;
    for (std::size_t i = 1; i < length; ++i) {
        const auto c = static_cast<unsigned char>(s[pos + i]);
        if ((c & 0xC0) != 0x80) return kInvalid;
        cp = (cp << 6) | (c & 0x3Fu);
    }
    if (cp < smallest || cp > 0x10FFFF || (IsSurrogate(cp) && !allowSurrogates)) return kInvalid;
    pos += length;
    return cp;
}

bool IsValidUtf8(std::string_view s) {
    for (std::size_t pos = 0; pos < s.size();) {
        if (NextCodePoint(s, pos, false) == kInvalid) return false;
    }
    return true;
}

void AppendUtf8(std::string& out, char32_t cp) {
    auto byte = [&out](char32_t b) { out.push_back(static_cast<char>(b)); };
    if (cp < 0x80) {
        byte(cp);
    } else if (cp < 0x800) {
        byte(0xC0 | (cp >> 6)), byte(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        byte(0xE0 | (cp >> 12)), byte(0x80 | ((cp >> 6) & 0x3F)), byte(0x80 | (cp & 0x3F));
    } else {
        byte(0xF0 | (cp >> 18)), byte(0x80 | ((cp >> 12) & 0x3F));
        byte(0x80 | ((cp >> 6) & 0x3F)), byte(0x80 | (cp & 0x3F));
    }
}

void AppendUtf16Unit(std::string& out, char32_t unit) {
    out.push_back(static_cast<char>(unit & 0xFF));
    out.push_back(static_cast<char>(unit >> 8));
}

// A lone surrogate becomes its own three-byte sequence so that it is written back as it was;
// a stray last byte is dropped here (the writer puts it back).
std::string DecodeUtf16Le(std::string_view body) {
    std::string out;
    out.reserve(body.size());
    auto unitAt = [body](std::size_t i) {
        return static_cast<char32_t>(static_cast<unsigned char>(body[i]) |
                                     static_cast<unsigned char>(body[i + 1]) << 8);
    };
    for (std::size_t i = 0; i + 1 < body.size(); i += 2) {
        char32_t cp = unitAt(i);
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 3 < body.size()) {
            const char32_t low = unitAt(i + 2);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            }
        }
        AppendUtf8(out, cp);
    }
    return out;
}

std::string DecodeCp1252(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 4);
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        AppendUtf8(out, b >= 0x80 && b < 0xA0 ? kCp1252High[b - 0x80] : char32_t{b});
    }
    return out;
}

std::optional<std::string> EncodeUtf16Le(std::string_view text) {
    std::string out(kUtf16LeBom);
    out.reserve(2 + text.size() * 2);
    for (std::size_t pos = 0; pos < text.size();) {
        const char32_t cp = NextCodePoint(text, pos, true);
        if (cp == kInvalid) return std::nullopt;
        if (cp < 0x10000) {
            AppendUtf16Unit(out, cp);
        } else {
            AppendUtf16Unit(out, 0xD800 + ((cp - 0x10000) >> 10));
            AppendUtf16Unit(out, 0xDC00 + ((cp - 0x10000) & 0x3FF));
        }
    }
    return out;
}

int Cp1252Byte(char32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<int>(cp);
    for (std::size_t i = 0; i < kCp1252High.size(); ++i) {
        if (kCp1252High[i] == cp) return static_cast<int>(0x80 + i);
    }
    return -1;
}

std::optional<std::string> EncodeCp1252(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t pos = 0; pos < text.size();) {
        const char32_t cp = NextCodePoint(text, pos, false);
        const int byte = cp == kInvalid ? -1 : Cp1252Byte(cp);
        if (byte < 0) return std::nullopt;
        out.push_back(static_cast<char>(byte));
    }
    return out;
}

}  // namespace

DecodedText DecodeIniBytes(std::string_view bytes) {
    if (StartsWith(bytes, kUtf16LeBom)) {
        return {DecodeUtf16Le(bytes.substr(kUtf16LeBom.size())), TextEncoding::Utf16Le};
    }
    const bool bom = StartsWith(bytes, kUtf8Bom);
    const std::string_view body = bom ? bytes.substr(kUtf8Bom.size()) : bytes;
    if (IsValidUtf8(body)) {
        return {std::string(body), bom ? TextEncoding::Utf8Bom : TextEncoding::Utf8};
    }
    // Not UTF-8: a mark in front is then just three characters, as Windows sees them.
    return {DecodeCp1252(bytes), TextEncoding::Windows1252};
}

std::optional<std::string> EncodeIniText(std::string_view text, TextEncoding encoding) {
    switch (encoding) {
        case TextEncoding::Utf8:
            if (IsValidUtf8(text)) return std::string(text);
            return std::nullopt;
        case TextEncoding::Utf8Bom:
            if (IsValidUtf8(text)) return std::string(kUtf8Bom).append(text);
            return std::nullopt;
        case TextEncoding::Utf16Le:
            return EncodeUtf16Le(text);
        case TextEncoding::Windows1252:
            return EncodeCp1252(text);
    }
    return std::nullopt;
}

std::string CutToChars(std::string_view text, std::size_t maxChars) {
    std::size_t count = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;  // continuation byte
        if (count == maxChars) return std::string(text.substr(0, i));
        ++count;
    }
    return std::string(text);
}

std::string_view CutToWholeLines(std::string_view bytes) {
    if (StartsWith(bytes, kUtf16LeBom)) {
        std::size_t end = bytes.size() & ~std::size_t{1};
        for (std::size_t at = end; at > kUtf16LeBom.size(); at -= 2) {
            const char low = bytes[at - 2];
            if ((low == '\n' || low == '\r') && bytes[at - 1] == '\0') return bytes.substr(0, at);
        }
        const auto lastHigh =
            end >= kUtf16LeBom.size() + 2 ? static_cast<unsigned char>(bytes[end - 1]) & 0xFC : 0;
        return bytes.substr(0, lastHigh == 0xD8 ? end - 2 : end);  // no half surrogate pair
    }
    const auto lineEnd = bytes.find_last_of("\r\n");
    if (lineEnd != std::string_view::npos) return bytes.substr(0, lineEnd + 1);
    // No line end: drop a last UTF-8 character cut short, unless the text before it is no
    // UTF-8 anyway (it then reads as Windows-1252, byte by byte).
    std::size_t lead = bytes.size();
    while (lead > 0 && bytes.size() - lead < 4 &&
           (static_cast<unsigned char>(bytes[lead - 1]) & 0xC0) == 0x80) {
        --lead;
    }
    if (lead == 0) return bytes;
    const auto first = static_cast<unsigned char>(bytes[lead - 1]);
    const std::size_t length = first >= 0xF0 ? 4 : first >= 0xE0 ? 3 : first >= 0xC0 ? 2 : 1;
    const bool cutShort = length > 1 && bytes.size() - (lead - 1) < length;
    if (!cutShort || !IsValidUtf8(bytes.substr(0, lead - 1))) return bytes;
    return bytes.substr(0, lead - 1);
}
