#pragma once
#include <array>
#include <cstdint>
#include <functional>

// The shell's tray icon record in its ANSI form (88 bytes on Win32).
struct TrayIconData {
    std::uint32_t cbSize = 0;
    std::uintptr_t hWnd = 0;
    std::uint32_t uID = 0;
    std::uint32_t uFlags = 0;
    std::uint32_t uCallbackMessage = 0;
    std::uintptr_t hIcon = 0;
    std::array<char, 64> szTip{};
};

inline constexpr std::uint32_t kNimAdd = 0;
inline constexpr std::uint32_t kNimDelete = 2;
inline constexpr std::uint32_t kNifMessage = 1, kNifIcon = 2, kNifTip = 4;
inline constexpr std::uint32_t kWmMouseMove = 0x200;
inline constexpr int kWmLButtonDown = 0x201;
inline constexpr int kWmLButtonDblClk = 0x203;
inline constexpr int kWmRButtonDown = 0x204;

class ITray {
  public:
    virtual ~ITray() = default;
    // Shell_NotifyIcon: message is kNimAdd or kNimDelete. Returns the shell's result.
    virtual bool NotifyIcon(std::uint32_t message, const TrayIconData& data) = 0;
    // Mouse messages on the icon (kWmLButtonDown...), as the callback delivers them.
    std::function<void(int mouseMessage)> MouseMessage;
};
