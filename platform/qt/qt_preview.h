#pragma once
#include <QObject>
#include <QPointer>
#include <string>

#include "platform/browser.h"

class QProcess;
class QWidget;
class ViewerChannel;

// The configuration window's preview (WebBrowser1) shown by a viewer process inside the
// window's pane: the engine is loaded only from the first page test on, and goes with the
// window. The page's own navigations, clicks and menu are refused in the viewer, as the
// window's handlers would answer.
class QtPreviewBrowser final : public QObject, public IBrowser {
  public:
    explicit QtPreviewBrowser(QWidget* pane);
    ~QtPreviewBrowser() override;

    void Navigate(const std::string& url) override;
    void Move(int left, int top, int width, int height) override;
    void AttachDocument(bool attach) override;

    // The running viewer's process id, 0 when there is none.
    qint64 viewerPid() const;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    bool start();
    void sendPlace();

    QWidget* pane_;
    QPointer<QProcess> process_;
    QPointer<ViewerChannel> channel_;
};
