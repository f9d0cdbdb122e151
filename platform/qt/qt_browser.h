#pragma once
#include <QObject>
#include <QPointer>
#include <memory>

#include "platform/browser.h"

class QWidget;
#include <QWebEngineView>
class QWebEngineProfile;

// WebBrowser1 on QtWebEngine. The view is created on the first Navigate, so start-up
// pays nothing for the engine; while its window is hidden the renderer is discarded and
// the page comes back from its address when the window shows again.
class QtBrowser final : public QObject, public IBrowser {
    Q_OBJECT
  public:
    explicit QtBrowser(QWidget* host);
    ~QtBrowser() override;

    void Navigate(const std::string& url) override;
    void Move(int left, int top, int width, int height) override;
    void AttachDocument(bool attach) override;

    QWebEngineView* view() const { return view_; }
    bool documentAttached() const { return attached_; }
    // The host window was shown or hidden.
    void setHostVisible(bool visible);

  private:
    class View;
    class Page;
    void ensureView();

    QWidget* host_;
    QPointer<QWebEngineView> view_;
    bool attached_ = false;
};
