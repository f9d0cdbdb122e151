#include "platform/win/win_proxy.h"

// After windows.h:
#include <shlwapi.h>

#include <algorithm>
#include <vector>

namespace {

// Splits a WinHTTP list of proxies or of bypass patterns.
std::vector<std::wstring> Entries(const std::wstring& list) {
    std::vector<std::wstring> entries;
    for (std::size_t at = 0; at < list.size();) {
        const std::size_t end = std::min(list.find_first_of(L"; \t", at), list.size());
        if (end > at) entries.push_back(list.substr(at, end - at));
        at = end + 1;
    }
    return entries;
}

// The one proxy ("host:port") of `list` that serves `scheme` for `host`; empty when none does
// or `bypass` names the host.
std::wstring PickProxy(const std::wstring& list, const std::wstring& bypass,
                       const std::wstring& scheme, const std::wstring& host) {
    for (const std::wstring& pattern : Entries(bypass))
        if (pattern == L"<local>" ? host.find(L'.') == std::wstring::npos
                                  : PathMatchSpecW(host.c_str(), pattern.c_str()) != FALSE)
            return {};
    std::wstring chosen, fallback;
    for (std::wstring entry : Entries(list)) {
        const std::size_t equals = entry.find(L'=');
        if (equals == std::wstring::npos) {
            if (fallback.empty()) fallback = entry;
        } else if (_wcsicmp(entry.substr(0, equals).c_str(), scheme.c_str()) == 0) {
            chosen = entry.substr(equals + 1);
            break;
        }
    }
    if (chosen.empty()) chosen = fallback;
    if (const std::size_t slashes = chosen.find(L"://"); slashes != std::wstring::npos)
        chosen.erase(0, slashes + 3);
    if (!chosen.empty() && chosen.find(L':') == std::wstring::npos) chosen += L":80";
    return chosen;
}

// The proxy the user's settings (the browser control's: a script, auto-detection, else the
// fixed proxy) pick for `url`; empty for a direct connection, nothing without such settings.
}  // namespace

std::optional<std::wstring> UserProxyFor(HINTERNET session, const std::wstring& url,
                                         const std::wstring& scheme, const std::wstring& host) {
    WINHTTP_CURRENT_USER_IE_PROXY_CONFIG user{};
    if (!WinHttpGetIEProxyConfigForCurrentUser(&user)) return std::nullopt;
    std::wstring list, bypass;
    bool answered = false;
    if (user.fAutoDetect || user.lpszAutoConfigUrl) {
        WINHTTP_AUTOPROXY_OPTIONS options{};
        options.dwFlags =
            user.lpszAutoConfigUrl ? WINHTTP_AUTOPROXY_CONFIG_URL : WINHTTP_AUTOPROXY_AUTO_DETECT;
        if (!user.lpszAutoConfigUrl)
            options.dwAutoDetectFlags =
                WINHTTP_AUTO_DETECT_TYPE_DHCP | WINHTTP_AUTO_DETECT_TYPE_DNS_A;
        options.lpszAutoConfigUrl = user.lpszAutoConfigUrl;
        options.fAutoLogonIfChallenged = TRUE;
        WINHTTP_PROXY_INFO info{};
        answered = WinHttpGetProxyForUrl(session, url.c_str(), &options, &info) != FALSE;
        if (answered && info.lpszProxy) list = info.lpszProxy;
        if (answered && info.lpszProxyBypass) bypass = info.lpszProxyBypass;
        GlobalFree(info.lpszProxy);
        GlobalFree(info.lpszProxyBypass);
    }
    if (!answered && user.lpszProxy) list = user.lpszProxy;
    if (!answered && user.lpszProxyBypass) bypass = user.lpszProxyBypass;
    GlobalFree(user.lpszProxy);
    GlobalFree(user.lpszProxyBypass);
    GlobalFree(user.lpszAutoConfigUrl);
    return PickProxy(list, bypass, scheme, host);
}
