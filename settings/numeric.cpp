#include "settings/numeric.h"

#include <algorithm>

namespace {
constexpr std::int64_t kSaturate = 1'000'000'000'000LL;

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r' || c == '\n';
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
}  // namespace

std::optional<std::int64_t> RoundDecimalText(std::string_view text) {
    std::size_t i = 0, n = text.size();
    while (i < n && IsBlank(text[i])) ++i;
    while (n > i && IsBlank(text[n - 1])) --n;
    bool negative = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';

    std::int64_t whole = 0;
    std::size_t digits = 0;
    for (; i < n && IsDigit(text[i]); ++i, ++digits)
        whole = std::min(kSaturate, whole * 10 + (text[i] - '0'));

    // The fraction only decides the rounding: below, at or above one half.
    int firstFraction = -1;
    bool restNonZero = false;
    if (i < n && text[i] == '.') {
        for (++i; i < n && IsDigit(text[i]); ++i, ++digits) {
            if (firstFraction < 0)
                firstFraction = text[i] - '0';
            else if (text[i] != '0')
                restNonZero = true;
        }
    }
    if (i != n || digits == 0) return std::nullopt;

    const bool above = firstFraction > 5 || (firstFraction == 5 && restNonZero);
    const bool half = firstFraction == 5 && !restNonZero;
    if (above || (half && whole % 2 != 0)) whole = std::min(kSaturate, whole + 1);
    return negative ? -whole : whole;
}

std::int16_t ClampToInt16(std::int64_t value, std::int16_t limit) {
    return static_cast<std::int16_t>(std::clamp<std::int64_t>(value, -limit, limit));
}
