#include "platform/qt/qt_tray.h"

#include <QApplication>
#include <QCursor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QWidget>
#include <array>
#include <cstring>

namespace {
constexpr int kWmMButtonDown = 0x207;

int MouseMessageFor(QSystemTrayIcon::ActivationReason reason) {
    switch (reason) {
        case QSystemTrayIcon::Trigger:
            return kWmLButtonDown;
        case QSystemTrayIcon::DoubleClick:
            return kWmLButtonDblClk;
        case QSystemTrayIcon::Context:
            return kWmRButtonDown;
        case QSystemTrayIcon::MiddleClick:
            return kWmMButtonDown;
        default:
            return 0;
    }
}

// Qt shows its icon through a StatusNotifierItem host when one is registered on the session
// bus at the first look, and through the X11 tray otherwise; this is the same test, made once.
bool StatusNotifierHostPresent() {
    static const bool present = [] {
        QDBusConnection bus = QDBusConnection::sessionBus();
        const QString watcher = QStringLiteral("org.kde.StatusNotifierWatcher");
        if (!bus.isConnected() || !bus.interface()->isServiceRegistered(watcher)) return false;
        QDBusInterface iface(watcher, QStringLiteral("/StatusNotifierWatcher"), watcher, bus);
        return iface.property("IsStatusNotifierHostRegistered").toBool();
    }();
    return present;
}

constexpr std::array<const char*, 7> kStoredCaptions = {"&Show", "&Minimize", "Param Tavorin", "-",
                                                        "&Quit", "-",         "Unininstall"};
constexpr std::array<const char*, 7> kItemNames = {"mnuShow", "mnuClose",  "mnuParam", "mnuSpace",
                                                   "mnuQuit", "mnuSpace2", "mnuUni"};
}  // namespace

QtTray::QtTray(QWidget* window, QMenu* menu) : QObject(window), window_(window), menu_(menu) {
    // Qt does not embed an icon into a tray host that appears later: look again now and then.
    retry_.setInterval(5000);
    connect(&retry_, &QTimer::timeout, this, [this] {
        if (!registered_ || !QSystemTrayIcon::isSystemTrayAvailable()) return;
        retry_.stop();
        createIcon();
        if (AvailabilityChanged) AvailabilityChanged(true);
    });
}

QtTray::~QtTray() {
    delete icon_;
}

bool QtTray::NotifyIcon(std::uint32_t message, const TrayIconData& data) {
    if (message == kNimDelete) {
        registered_ = false;
        retry_.stop();
        if (!icon_) return false;
        icon_->hide();
        delete icon_;
        return true;
    }
    if (message != kNimAdd || registered_) return false;
    registered_ = true;
    // Looked at when Qt first looks (just below), so both take the same answer for good.
    StatusNotifierHostPresent();
    tip_ = QString::fromLocal8Bit(data.szTip.data(),
                                  qsizetype(strnlen(data.szTip.data(), data.szTip.size())));
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        createIcon();
        return true;
    }
    retry_.start();
    if (AvailabilityChanged) AvailabilityChanged(false);
    return false;
}

void QtTray::createIcon() {
    icon_ = new QSystemTrayIcon(window_->windowIcon(), this);
    icon_->setToolTip(tip_);
    // Such a host opens the menu it was given on a right click; an X11 tray only reports
    // the click, and a menu given there would open twice.
    const bool hostShowsMenu = menu_ && StatusNotifierHostPresent();
    if (hostShowsMenu) icon_->setContextMenu(menu_);
    connect(
        icon_, &QSystemTrayIcon::activated, this,
        [this, hostShowsMenu](QSystemTrayIcon::ActivationReason r) {
            int message = MouseMessageFor(r);
            if (hostShowsMenu) {
                if (r == QSystemTrayIcon::Context) return;
                // Such a host reports each click of a double click as an activation: the
                // second one, soon after, is the double click an X11 tray would report.
                if (r == QSystemTrayIcon::Trigger) {
                    if (lastTrigger_.isValid() &&
                        lastTrigger_.elapsed() < QApplication::doubleClickInterval()) {
                        message = kWmLButtonDblClk;
                        lastTrigger_.invalidate();
                    } else {
                        lastTrigger_.start();
                    }
                }
            }
            if (MouseMessage) MouseMessage(message);
        },
        Qt::QueuedConnection);
    icon_->show();
}

QtPopupMenu::QtPopupMenu() : menu_(new QMenu) {
    menu_->setObjectName("mnuMenu");
    for (std::size_t i = 0; i < kStoredCaptions.size(); ++i) {
        QAction* action = kStoredCaptions[i] == std::string_view("-")
                              ? menu_->addSeparator()
                              : menu_->addAction(QString::fromUtf8(kStoredCaptions[i]));
        action->setObjectName(kItemNames[i]);
        action->setData(int(i));
    }
    // A choice in the menu a tray host showed; Popup reports its own choice when it returns.
    QObject::connect(menu_, &QMenu::triggered, menu_, [this](QAction* chosen) {
        if (!popping_ && Click) Click(static_cast<MenuItem>(chosen->data().toInt()));
    });
}

QtPopupMenu::~QtPopupMenu() {
    delete menu_;
}

void QtPopupMenu::SetCaption(MenuItem item, const std::string& caption) {
    menu_->actions().at(int(item))->setText(QString::fromStdString(caption));
}

void QtPopupMenu::Popup() {
    popping_ = true;
    QAction* chosen = menu_->exec(QCursor::pos());
    popping_ = false;
    if (chosen && Click) Click(static_cast<MenuItem>(chosen->data().toInt()));
}
