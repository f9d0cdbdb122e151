#pragma once
#include <cstdint>
#include <optional>
#include <string_view>

// Plain decimal text ("  -12.5 ") rounded to the nearest integer, halves to even.
// nullopt for anything else (empty, letters, exponents, separators). Saturates far
// beyond the 16-bit range instead of overflowing.
std::optional<std::int64_t> RoundDecimalText(std::string_view text);
// Clamped to [-limit, limit].
std::int16_t ClampToInt16(std::int64_t value, std::int16_t limit);
