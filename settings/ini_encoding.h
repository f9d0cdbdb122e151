#pragma once
#include <optional>
#include <string>
#include <string_view>

enum class TextEncoding { Utf8, Utf8Bom, Windows1252, Utf16Le };

struct DecodedText {
    std::string text;  // UTF-8, byte-order mark removed
    TextEncoding encoding = TextEncoding::Utf8;
};

// UTF-16LE with its byte-order mark, else UTF-8 (mark skipped), else Windows-1252.
DecodedText DecodeIniBytes(std::string_view bytes);
// Back to the file's encoding (mark included); nullopt when text cannot be represented.
std::optional<std::string> EncodeIniText(std::string_view text, TextEncoding encoding);
// Cuts UTF-8 text to its first maxChars code points.
std::string CutToChars(std::string_view text, std::size_t maxChars);
// The longest prefix of a file's first bytes that ends at a line end (else at a character
// boundary), so that a file read only in part is not cut inside a line or a character.
std::string_view CutToWholeLines(std::string_view bytes);
