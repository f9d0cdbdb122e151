#pragma once
// Windows only.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

// Makes the WebBrowser control render pages in the newest document mode for this
// executable (FEATURE_BROWSER_EMULATION under the current user's key); the value is
// named after the executable's file name. Returns false when it could not be written.
bool WriteBrowserEmulation();
inline constexpr DWORD kBrowserEmulationMode = 11001;
