#include "platform/page_address.h"

#include <cctype>

namespace {
bool IsSchemeChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
}
}  // namespace

std::string PageAddress(std::string_view typed) {
    // Blanks around a pasted address are no part of it.
    const auto first = typed.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    typed = typed.substr(first, typed.find_last_not_of(" \t") - first + 1);
    if (typed.starts_with("//")) return "http:" + std::string(typed);
    // A scheme is letters, digits, "+", "-" and "." up to a colon; digits after the colon make
    // it a host and its port instead.
    std::size_t end = 0;
    while (end < typed.size() && IsSchemeChar(typed[end]) && end < 32) ++end;
    const bool scheme =
        end > 0 && end < typed.size() && typed[end] == ':' &&
        std::isalpha(static_cast<unsigned char>(typed[0])) &&
        !(end + 1 < typed.size() && std::isdigit(static_cast<unsigned char>(typed[end + 1])));
    return scheme ? std::string(typed) : "http://" + std::string(typed);
}
