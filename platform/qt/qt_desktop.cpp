#include "platform/qt/qt_desktop.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QUrl>

#include "platform/qt/twips.h"

int QtDesktop::ScreenWidthTwips() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? twips::FromPixels(screen->geometry().width(), screen) : 0;
}

int QtDesktop::ScreenHeightTwips() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? twips::FromPixels(screen->geometry().height(), screen) : 0;
}

void QtDesktop::SetMousePointer(int pointer) {
    const bool busy = pointer == kMousePointerHourglass;
    if (busy == busy_) return;
    busy_ = busy;
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void QtDesktop::DoEvents() {
    // Each turn of the event loop costs a system call; called after every small piece of a
    // long read, once a millisecond keeps everything as responsive for a fraction of the cost.
    if (sinceEvents_.isValid() && sinceEvents_.nsecsElapsed() < 1'000'000) return;
    QCoreApplication::processEvents();
    sinceEvents_.start();
}

QtTimer::QtTimer() {
    connect(&timer_, &QTimer::timeout, this, [this] {
        if (Timer) Timer();
    });
}

void QtTimer::Start(int intervalMs) {
    timer_.setTimerType(Qt::CoarseTimer);
    timer_.start(intervalMs);
}

void QtShell::ShellExecute(const std::string&, const std::string& file,
                           const std::string& parameters, const std::string& directory, int) {
    const QString path = QString::fromStdString(file);
    const QFileInfo info(path);
    if (info.isFile() && info.isExecutable()) {
        QStringList arguments = QProcess::splitCommand(QString::fromStdString(parameters));
        QProcess::startDetached(path, arguments, QString::fromStdString(directory));
        return;
    }
    QDesktopServices::openUrl(info.exists() ? QUrl::fromLocalFile(path) : QUrl(path));
}

int QtMessageBox::MsgBox(const std::string& text, int style) {
    QMessageBox box;
    box.setWindowTitle(QStringLiteral("Quorvellis"));
    // Names come from the user or a file: "Shop<b>1" shows as typed.
    box.setTextFormat(Qt::PlainText);
    box.setText(QString::fromStdString(text));
    switch (style & 0x70) {
        case vbCritical:
            box.setIcon(QMessageBox::Critical);
            break;
        case vbQuestion:
            box.setIcon(QMessageBox::Question);
            break;
        case 48:
            box.setIcon(QMessageBox::Warning);
            break;
        case 64:
            box.setIcon(QMessageBox::Information);
            break;
        default:
            box.setIcon(QMessageBox::NoIcon);
            break;
    }
    if ((style & 0x7) == vbYesNo) {
        QPushButton* yes = box.addButton(QMessageBox::Yes);
        QPushButton* no = box.addButton(QMessageBox::No);
        box.setDefaultButton((style & vbDefaultButton2) ? no : yes);
        box.setEscapeButton(no);
        box.exec();
        return box.clickedButton() == yes ? vbYes : vbNo;
    }
    box.addButton(QMessageBox::Ok);
    box.exec();
    return vbOK;
}
