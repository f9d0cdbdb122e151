#include "platform/page_address.h"

#include <algorithm>
#include <cctype>
#include <optional>

namespace {
constexpr auto npos = std::string_view::npos;

bool IsSchemeChar(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '+' || c == '-' || c == '.';
}

// The blanks of HTML and of regular expressions' \s alike.
bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// Whether text at from starts with lower, in any case.
bool HasAt(std::string_view text, std::size_t from, std::string_view lower) {
    if (from > text.size() || text.size() - from < lower.size()) return false;
    for (std::size_t i = 0; i < lower.size(); ++i)
        if (Lower(text[from + i]) != lower[i]) return false;
    return true;
}

std::size_t FindAnyCase(std::string_view text, std::string_view lower, std::size_t from) {
    for (; from < text.size(); ++from)
        if (HasAt(text, from, lower)) return from;
    return npos;
}

// An address's components (RFC 3986, appendix B); a component that is absent differs from
// one that is empty.
struct Parts {
    std::optional<std::string_view> scheme, authority, query, fragment;
    std::string_view path;
};

Parts Split(std::string_view text) {
    Parts parts;
    const auto colon = text.find_first_of(":/?#");
    if (colon != npos && colon > 0 && text[colon] == ':' &&
        std::isalpha(static_cast<unsigned char>(text[0]))) {
        bool scheme = true;
        for (std::size_t i = 0; i < colon; ++i) scheme = scheme && IsSchemeChar(text[i]);
        if (scheme) {
            parts.scheme = text.substr(0, colon);
            text.remove_prefix(colon + 1);
        }
    }
    if (text.starts_with("//")) {
        const auto end = std::min(text.find_first_of("/?#", 2), text.size());
        parts.authority = text.substr(2, end - 2);
        text.remove_prefix(end);
    }
    if (const auto hash = text.find('#'); hash != npos) {
        parts.fragment = text.substr(hash + 1);
        text = text.substr(0, hash);
    }
    if (const auto question = text.find('?'); question != npos) {
        parts.query = text.substr(question + 1);
        text = text.substr(0, question);
    }
    parts.path = text;
    return parts;
}

// RFC 3986, 5.2.4.
std::string RemoveDotSegments(std::string_view in) {
    std::string out;
    const auto dropLast = [&out] {
        const auto slash = out.rfind('/');
        out.erase(slash == std::string::npos ? 0 : slash);
    };
    while (!in.empty()) {
        if (in.starts_with("../")) {
            in.remove_prefix(3);
        } else if (in.starts_with("./") || in.starts_with("/./")) {
            in.remove_prefix(2);
        } else if (in == "/.") {
            in = in.substr(0, 1);
        } else if (in.starts_with("/../")) {
            in.remove_prefix(3);
            dropLast();
        } else if (in == "/..") {
            in = in.substr(0, 1);
            dropLast();
        } else if (in == "." || in == "..") {
            in = {};
        } else {
            const auto next = std::min(in.find('/', 1), in.size());
            out.append(in.substr(0, next));
            in.remove_prefix(next);
        }
    }
    return out;
}

// The attribute value at the start of text, as written with or without quotes.
std::optional<std::string_view> AttributeValue(std::string_view text) {
    if (text.empty()) return {};
    if (text[0] == '"' || text[0] == '\'') {
        const auto close = text.find(text[0], 1);
        if (close != npos) return text.substr(1, close - 1);
    }
    std::size_t end = 0;
    while (end < text.size() && !IsBlank(text[end]) && text[end] != '>') ++end;
    if (end == 0) return {};
    return text.substr(0, end);
}

// The href of the page's first base element, looked for as far as the first 4 KiB from the
// first "<base" reach; entities other than &amp; are taken as they stand.
std::optional<std::string> OwnBase(std::string_view body) {
    const auto first = FindAnyCase(body, "<base", 0);
    if (first == npos) return {};
    const std::string_view head = body.substr(first, 4096);
    for (auto tag = FindAnyCase(head, "<base", 0); tag != npos;
         tag = FindAnyCase(head, "<base", tag + 1)) {
        if (tag + 5 >= head.size() || !IsBlank(head[tag + 5])) continue;
        for (auto at = tag + 6; at < head.size() && head[at] != '>'; ++at) {
            if (!HasAt(head, at, "href")) continue;
            auto value = at + 4;
            while (value < head.size() && IsBlank(head[value])) ++value;
            if (value >= head.size() || head[value] != '=') continue;
            ++value;
            while (value < head.size() && IsBlank(head[value])) ++value;
            const auto href = AttributeValue(head.substr(value));
            if (!href) continue;
            // As a browser takes an address: blanks around it and line breaks in it dropped.
            std::string text;
            for (std::size_t i = 0; i < href->size(); ++i) {
                const char c = (*href)[i];
                if (href->substr(i).starts_with("&amp;")) i += 4;
                if (c != '\t' && c != '\n' && c != '\r') text += c;
            }
            const auto start = text.find_first_not_of(" \f\v");
            if (start == std::string::npos) return std::string();
            return text.substr(start, text.find_last_not_of(" \f\v") - start + 1);
        }
    }
    return {};
}

bool IsWebAddress(std::string_view address) {
    const Parts parts = Split(address);
    if (!parts.scheme || !parts.authority || parts.authority->empty()) return false;
    std::string scheme;
    for (const char c : *parts.scheme) scheme += Lower(c);
    return scheme == "http" || scheme == "https";
}

// The address as an attribute value: scheme and host in lower case, what may not stand in an
// address percent-encoded (quotes and angle brackets among them), & as an entity.
std::string AttributeAddress(std::string_view address) {
    const Parts parts = Split(address);
    // Offsets of the scheme and of the host (between user information and port).
    const std::size_t schemeTo = parts.scheme ? parts.scheme->size() : 0;
    std::size_t hostFrom = 0, hostTo = 0;
    if (parts.authority) {
        const std::string_view authority = *parts.authority;
        const auto at = authority.rfind('@');
        auto colon = authority.rfind(':');
        if (colon == npos || (at != npos && colon < at) || authority.find(']', colon) != npos)
            colon = authority.size();
        const auto offset = static_cast<std::size_t>(authority.data() - address.data());
        hostFrom = offset + (at == npos ? 0 : at + 1);
        hostTo = offset + colon;
    }
    const auto isHex = [&](std::size_t i) {
        return i < address.size() && std::isxdigit(static_cast<unsigned char>(address[i]));
    };
    constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (std::size_t i = 0; i < address.size(); ++i) {
        const char c = address[i];
        const auto byte = static_cast<unsigned char>(c);
        if (c == '&') {
            out += "&amp;";
        } else if (byte <= 0x20 || byte >= 0x7F || (c == '%' && !(isHex(i + 1) && isHex(i + 2))) ||
                   std::string_view("\"<>\\^`{|}").find(c) != npos) {
            out += '%';
            out += kHex[byte >> 4];
            out += kHex[byte & 15];
        } else {
            out += i < schemeTo || (i >= hostFrom && i < hostTo) ? Lower(c) : c;
        }
    }
    return out;
}

// Where a base element goes without changing how the document parses: after a byte order
// mark, leading blanks and comments, and the doctype (an element before it means quirks).
std::size_t BaseInsertionPoint(std::string_view body) {
    std::size_t at = body.starts_with("\xEF\xBB\xBF") ? 3 : 0;
    for (;;) {
        while (at < body.size() && IsBlank(body[at])) ++at;
        if (body.substr(at, 4) == "<!--") {
            const auto end = body.find("-->", at + 4);
            if (end == npos) return at;
            at = end + 3;
            continue;
        }
        if (!HasAt(body, at, "<!doctype")) return at;
        const auto end = body.find('>', at);
        return end == npos ? at : end + 1;
    }
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

// RFC 3986, 5.2.2 to 5.3.
std::string ResolveAddress(std::string_view base, std::string_view reference) {
    const Parts b = Split(base), r = Split(reference);
    Parts t;
    std::string path;
    if (r.scheme) {
        t = r;
        path = RemoveDotSegments(r.path);
    } else {
        t.scheme = b.scheme;
        if (r.authority) {
            t.authority = r.authority;
            t.query = r.query;
            path = RemoveDotSegments(r.path);
        } else {
            t.authority = b.authority;
            if (r.path.empty()) {
                path = b.path;
                t.query = r.query ? r.query : b.query;
            } else {
                if (r.path.starts_with('/')) {
                    path = RemoveDotSegments(r.path);
                } else if (b.authority && b.path.empty()) {
                    path = RemoveDotSegments("/" + std::string(r.path));
                } else {
                    const auto slash = b.path.rfind('/');
                    const std::string_view directory =
                        slash == npos ? std::string_view() : b.path.substr(0, slash + 1);
                    path = RemoveDotSegments(std::string(directory) + std::string(r.path));
                }
                t.query = r.query;
            }
        }
    }
    t.fragment = r.fragment;
    std::string out;
    if (t.scheme) out.append(*t.scheme).append(":");
    if (t.authority) out.append("//").append(*t.authority);
    out += path;
    if (t.query) out.append("?").append(*t.query);
    if (t.fragment) out.append("#").append(*t.fragment);
    return out;
}

std::string BodyWithBase(std::string_view body, std::string_view address) {
    // An ASCII element would garble a body in UTF-16.
    if (body.starts_with("\xFF\xFE") || body.starts_with("\xFE\xFF")) return std::string(body);
    std::string base(address);
    // Ours comes first, and only the first base counts: the page's own is folded into it.
    // Only a web address may stand in for the page's: never a file or a script.
    if (const auto own = OwnBase(body)) {
        std::string resolved = ResolveAddress(address, *own);
        if (IsWebAddress(resolved)) base = std::move(resolved);
    }
    const std::string element = "<base href=\"" + AttributeAddress(base) + "\">";
    const std::size_t at = BaseInsertionPoint(body);
    std::string shown;
    shown.reserve(body.size() + element.size());
    shown.append(body.substr(0, at)).append(element).append(body.substr(at));
    return shown;
}
