#pragma once
#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>
#include <deque>
#include <memory>
#include <optional>

#include "platform/browser.h"

class QWidget;
#include <QWebEngineView>
class QWebEngineProfile;

// WebBrowser1 on QtWebEngine. The view is created on the first Navigate, so start-up
// pays nothing for the engine; while its window is hidden the renderer is discarded and
// the page comes back when the window shows again. The page comes from the network: its
// dialogs never block, and a watchdog drops a page whose renderer goes over its budget.
class QtBrowser final : public QObject, public IBrowser {
    Q_OBJECT
  public:
    // What a shown page may take before it is dropped: resident memory of its renderer, and
    // CPU time over a sliding window of wall time.
    struct Budget {
        qint64 memoryBytes = 512LL << 20;
        int cpuPercent = 50;
        int windowMs = 20000;
        int sampleMs = 250;
    };

    explicit QtBrowser(QWidget* host);
    ~QtBrowser() override;
    // Before the application object: the engine learns its schemes when it starts.
    static void RegisterSchemes();

    void Navigate(const std::string& url) override;
    void ShowPage(const std::string& url, const std::string& body) override;
    void Move(int left, int top, int width, int height) override;
    void AttachDocument(bool attach) override;

    QWebEngineView* view() const { return view_; }
    bool documentAttached() const { return attached_; }
    // The host window was shown or hidden.
    void setHostVisible(bool visible);
    void setBudget(const Budget& budget) { budget_ = budget; }
    // How many pages the watchdog has dropped.
    int droppedPages() const { return dropped_; }

  private:
    class View;
    class Page;
    struct Sample {
        qint64 atMs;
        qint64 cpuMs;
    };
    // Where the history stood when the program last started a load.
    struct HistoryMark {
        int count;
        int index;
        QUrl url;
        QDateTime visited;
        bool operator==(const HistoryMark&) const = default;
    };
    void ensureView();
    void activate();
    void watch();
    void drop(qint64 pid);
    bool pageMayNavigate() const;
    HistoryMark historyMark() const;
    bool ownLoadUncommitted() const;
    void forgetShownBody();

    QWidget* host_;
    QPointer<QWebEngineView> view_;
    bool attached_ = false;
    Budget budget_;
    QTimer watchdog_;
    QElapsedTimer clock_;
    std::deque<Sample> samples_;
    qint64 watchedPid_ = 0;
    qint64 droppedPid_ = 0;
    int dropped_ = 0;
    std::optional<HistoryMark> ownLoad_;
    // Where the body being shown is served from, if it is.
    QUrl shownAddress_;
};
