#pragma once
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <functional>

#include "platform/popup_menu.h"
#include "platform/tray.h"

class QMenu;
#include <QSystemTrayIcon>
class QWidget;

// The tray icon: registers the window's icon with the tip of the record and turns
// activation reasons into the mouse messages the window decodes.
class QtTray final : public QObject, public ITray {
    Q_OBJECT
  public:
    // menu is offered to a StatusNotifierItem host, which shows it itself on a right click.
    QtTray(QWidget* window, QMenu* menu);
    ~QtTray() override;
    bool NotifyIcon(std::uint32_t message, const TrayIconData& data) override;
    QSystemTrayIcon* icon() const { return icon_; }

    // Told when the desktop has no notification area for the icon (false), and when one
    // turns up later and the icon is in it (true).
    std::function<void(bool available)> AvailabilityChanged;

  private:
    void createIcon();

    QWidget* window_;
    QMenu* menu_;
    QPointer<QSystemTrayIcon> icon_;
    QString tip_;
    bool registered_ = false;
    QTimer retry_;
    QElapsedTimer lastTrigger_;
};

// mnuMenu as a pop-up QMenu, items in their fixed order with their stored captions.
class QtPopupMenu final : public IPopupMenu {
  public:
    QtPopupMenu();
    ~QtPopupMenu() override;
    void SetCaption(MenuItem item, const std::string& caption) override;
    void Popup() override;
    QMenu* menu() const { return menu_; }

  private:
    QMenu* menu_;
    bool popping_ = false;
};
