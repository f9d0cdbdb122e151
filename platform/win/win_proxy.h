#pragma once
// Windows only.
#include <windows.h>
// After windows.h:
#include <winhttp.h>

#include <optional>
#include <string>

// The proxy ("host:port") the user's settings (the browser control's: a script,
// auto-detection, else the fixed proxy) pick for `url`; empty for a direct connection, nothing
// without such settings.
std::optional<std::wstring> UserProxyFor(HINTERNET session, const std::wstring& url,
                                         const std::wstring& scheme, const std::wstring& host);
