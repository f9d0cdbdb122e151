#include "platform/qt/qt_tray.h"

#include <QCursor>
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

constexpr std::array<const char*, 7> kStoredCaptions = {"&Show", "&Minimize", "Param Tavorin", "-",
                                                        "&Quit", "-",         "Unininstall"};
constexpr std::array<const char*, 7> kItemNames = {"mnuShow", "mnuClose",  "mnuParam", "mnuSpace",
                                                   "mnuQuit", "mnuSpace2", "mnuUni"};
}  // namespace

QtTray::QtTray(QWidget* window) : QObject(window), window_(window) {
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
    connect(
        icon_, &QSystemTrayIcon::activated, this,
        [this](QSystemTrayIcon::ActivationReason r) {
            if (MouseMessage) MouseMessage(MouseMessageFor(r));
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
}

QtPopupMenu::~QtPopupMenu() {
    delete menu_;
}

void QtPopupMenu::SetCaption(MenuItem item, const std::string& caption) {
    menu_->actions().at(int(item))->setText(QString::fromStdString(caption));
}

void QtPopupMenu::Popup() {
    QAction* chosen = menu_->exec(QCursor::pos());
    if (chosen && Click) Click(static_cast<MenuItem>(chosen->data().toInt()));
}
