#include "platform/qt/qt_preview.h"

#include <QEvent>
#include <QProcess>
#include <QWidget>

#include "platform/qt/twips.h"
#include "platform/qt/viewer_channel.h"

QtPreviewBrowser::QtPreviewBrowser(QWidget* pane) : QObject(pane), pane_(pane) {
    pane_->installEventFilter(this);
}

QtPreviewBrowser::~QtPreviewBrowser() {
    // The window is going: so does the engine, at once.
    if (channel_) channel_->Close();
    if (process_) {
        process_->kill();
        process_->waitForFinished(5000);
    }
}

qint64 QtPreviewBrowser::viewerPid() const {
    return process_ && channel_ ? process_->processId() : 0;
}

bool QtPreviewBrowser::start() {
    if (channel_ && channel_->IsOpen()) return true;
    if (process_) process_->kill();  // one that closed its end
    const StartedViewer started = StartViewer(this, kViewerRolePreview);
    if (!started.process) return false;
    QProcess* process = started.process;
    connect(process, &QProcess::finished, process, &QObject::deleteLater);
    started.channel->Received = [this](const ViewerChannel::Message& message) {
        if (message.value(0) == "loaded" && DocumentComplete) DocumentComplete();
    };
    process_ = process;
    channel_ = started.channel;
    // The pane's window, for the viewer to show the page inside it.
    channel_->Send({"embed", QByteArray::number(static_cast<qulonglong>(pane_->winId()))});
    sendPlace();
    return true;
}

void QtPreviewBrowser::sendPlace() {
    if (!channel_) return;
    const QRect inside = pane_->contentsRect();
    channel_->Send({"place", QByteArray::number(inside.x()), QByteArray::number(inside.y()),
                    QByteArray::number(inside.width()), QByteArray::number(inside.height())});
}

bool QtPreviewBrowser::eventFilter(QObject* watched, QEvent* event) {
    if (watched == pane_ && event->type() == QEvent::Resize) sendPlace();
    return QObject::eventFilter(watched, event);
}

void QtPreviewBrowser::Navigate(const std::string& url) {
    if (!start()) return;
    channel_->Send({"navigate", ViewerChannel::Text(QString::fromStdString(url))});
}

void QtPreviewBrowser::Move(int left, int top, int width, int height) {
    pane_->setGeometry(twips::ToPixels(TwipsRect{left, top, width, height}));
}

void QtPreviewBrowser::AttachDocument(bool attach) {
    if (channel_) channel_->Send({"attach", QByteArray::number(attach)});
}
