#pragma once
// Windows only. Our strings are UTF-8; the Windows "A" functions take and give text in
// the ANSI code page, so text crosses that boundary through these helpers.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
// IFileSystem has members of these names; the macros would rename them to their A forms.
#undef CopyFile
#undef FindFirstFile

#include <string>
#include <string_view>

// Lengths are passed explicitly, so embedded NULs survive every conversion.
inline std::wstring MultiByteToWide(UINT codePage, std::string_view text) {
    if (text.empty()) return {};
    const int length = static_cast<int>(text.size());
    const int wideLength = MultiByteToWideChar(codePage, 0, text.data(), length, nullptr, 0);
    if (wideLength <= 0) return {};
    std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), length, wide.data(), wideLength);
    return wide;
}

inline std::string WideToMultiByte(UINT codePage, std::wstring_view wide) {
    if (wide.empty()) return {};
    const int length = static_cast<int>(wide.size());
    const int bytes =
        WideCharToMultiByte(codePage, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return {};
    std::string text(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(codePage, 0, wide.data(), length, text.data(), bytes, nullptr, nullptr);
    return text;
}

inline std::wstring Utf8ToWide(std::string_view text) {
    return MultiByteToWide(CP_UTF8, text);
}
// A lone surrogate (an edit box holds any UTF-16) keeps its own three bytes: invalid UTF-8
// that every check refuses, rather than a replacement character that would pass for text.
inline std::string WideToUtf8(std::wstring_view wide) {
    std::string text;
    std::size_t done = 0;
    for (std::size_t i = 0; i < wide.size(); ++i) {
        const auto unit = static_cast<unsigned>(wide[i]);
        if (unit < 0xD800 || unit > 0xDFFF) continue;
        const bool paired = unit < 0xDC00 && i + 1 < wide.size() &&
                            static_cast<unsigned>(wide[i + 1]) >= 0xDC00 &&
                            static_cast<unsigned>(wide[i + 1]) <= 0xDFFF;
        if (paired) {
            ++i;
            continue;
        }
        text += WideToMultiByte(CP_UTF8, wide.substr(done, i - done));
        text += static_cast<char>(0xE0 | (unit >> 12));
        text += static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
        text += static_cast<char>(0x80 | (unit & 0x3F));
        done = i + 1;
    }
    return text + WideToMultiByte(CP_UTF8, wide.substr(done));
}

// Characters the code page lacks become its default character ('?').
inline std::string Utf8ToAnsi(std::string_view text) {
    return WideToMultiByte(CP_ACP, Utf8ToWide(text));
}
inline std::string AnsiToUtf8(std::string_view text) {
    return WideToUtf8(MultiByteToWide(CP_ACP, text));
}

// The system's text for an error code, without its trailing line break.
inline std::string ErrorText(DWORD error) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring message(buffer ? buffer : L"", length);
    if (buffer) LocalFree(buffer);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' ||
                                message.back() == L' ' || message.back() == L'.'))
        message.pop_back();
    if (message.empty()) return "error " + std::to_string(error);
    return WideToUtf8(message);
}
