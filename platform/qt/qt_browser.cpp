#include "platform/qt/qt_browser.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include "platform/qt/twips.h"

// Whether a hidden window's page gives its renderer back (on by default; a build option).
#ifndef TAVORIN_DISCARD_HIDDEN
#define TAVORIN_DISCARD_HIDDEN 1
#endif

class QtBrowser::Page final : public QWebEnginePage {
  public:
    Page(QtBrowser& owner, QObject* parent) : QWebEnginePage(parent), owner_(owner) {}

  protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override {
        // A click in an attached document may be vetoed by the window.
        if (type == NavigationTypeLinkClicked && owner_.attached_ && owner_.DocumentClick &&
            !owner_.DocumentClick())
            return false;
        return QWebEnginePage::acceptNavigationRequest(url, type, isMainFrame);
    }

  private:
    QtBrowser& owner_;
};

class QtBrowser::View final : public QWebEngineView {
  public:
    View(QtBrowser& owner, QWidget* parent) : QWebEngineView(parent), owner_(owner) {}

  protected:
    void contextMenuEvent(QContextMenuEvent* event) override {
        // Until a document is attached the browser keeps its own menu.
        if (owner_.attached_ && owner_.DocumentContextMenu && !owner_.DocumentContextMenu()) {
            event->accept();
            return;
        }
        QMenu* menu = createStandardContextMenu();
        menu->setAttribute(Qt::WA_DeleteOnClose, true);
        menu->popup(event->globalPos());
    }

  private:
    QtBrowser& owner_;
};

QtBrowser::QtBrowser(QWidget* host) : QObject(host), host_(host) {}

QtBrowser::~QtBrowser() = default;

void QtBrowser::ensureView() {
    if (view_) return;
    auto* view = new View(*this, host_);
    auto* page = new Page(*this, view);
    // Without an HTTP cache: a discarded page coming back is reloaded from the cache without
    // asking the server, and a navigation asked for at that moment is dropped, so a page that
    // has just changed would show its old text.
    page->profile()->setHttpCacheType(QWebEngineProfile::NoCache);
    view->setPage(page);
    view->setGeometry(host_->rect());
    connect(view, &QWebEngineView::loadFinished, this, [this](bool) {
        if (DocumentComplete) DocumentComplete();
    });
    view_ = view;
    view->show();
}

void QtBrowser::Navigate(const std::string& url) {
    ensureView();
    view_->page()->setLifecycleState(QWebEnginePage::LifecycleState::Active);
    view_->setUrl(QUrl(QString::fromStdString(url)));
}

void QtBrowser::Move(int left, int top, int width, int height) {
    host_->setGeometry(twips::ToPixels(TwipsRect{left, top, width, height}));
    if (view_) view_->setGeometry(host_->rect());
    host_->lower();
}

void QtBrowser::AttachDocument(bool attach) {
    attached_ = attach;
}

void QtBrowser::setHostVisible(bool visible) {
#if TAVORIN_DISCARD_HIDDEN
    if (!view_) return;
    QWebEnginePage* page = view_->page();
    if (visible) {
        if (page->lifecycleState() == QWebEnginePage::LifecycleState::Discarded)
            page->setLifecycleState(QWebEnginePage::LifecycleState::Active);
    } else if (page->lifecycleState() == QWebEnginePage::LifecycleState::Active) {
        // Hidden pages may be discarded: the renderer process ends and memory goes back.
        page->setLifecycleState(QWebEnginePage::LifecycleState::Discarded);
    }
#else
    Q_UNUSED(visible);
#endif
}
