#pragma once
// Windows only.
#include <functional>
#include <optional>

#include "platform/popup_menu.h"
#include "platform/tray.h"
#include "platform/win/win32_window.h"

// The tray icon through Shell_NotifyIconW. The record the logic fills is the ANSI one; it
// is converted here, and the icon's messages come to a hidden window of the tray's own:
// its callback message, and the broadcast that a restarted taskbar sends ("TaskbarCreated"),
// on which the icon is added again.
class WinTray final : public Win32Window, public ITray {
  public:
    WinTray();
    ~WinTray() override;
    bool NotifyIcon(std::uint32_t message, const TrayIconData& data) override;

    // Told when the icon could not be added (false), and when a later try succeeded (true).
    std::function<void(bool available)> AvailabilityChanged;
    // The shell's call; tests put a slow or failing shell in its place.
    std::function<BOOL(DWORD message, NOTIFYICONDATAW* data)> ShellNotify = Shell_NotifyIconW;

  protected:
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

  private:
    bool Add();

    UINT taskbarCreated_ = 0;
    std::optional<TrayIconData> record_;  // the icon the logic registered and not deleted
    bool shown_ = false;
    bool tried_ = false;  // an add was asked for: the shell may have made the icon anyway
};

// mnuMenu: a pop-up menu with the items in their fixed order and their stored captions.
class WinPopupMenu final : public IPopupMenu {
  public:
    explicit WinPopupMenu(HWND owner);
    ~WinPopupMenu() override;
    WinPopupMenu(const WinPopupMenu&) = delete;
    WinPopupMenu& operator=(const WinPopupMenu&) = delete;
    void SetCaption(MenuItem item, const std::string& caption) override;
    void Popup() override;
    HMENU menu() const { return menu_; }

  private:
    HWND owner_;
    HMENU menu_;
};

// The ANSI record as the wide one Shell_NotifyIconW takes, for the window and callback
// message given; the tip is the record's text up to its NUL.
NOTIFYICONDATAW WideTrayRecord(const TrayIconData& data, HWND window, UINT callbackMessage);
