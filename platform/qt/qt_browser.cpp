#include "platform/qt/qt_browser.h"

#include <QBuffer>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QFile>
#include <QHash>
#include <QMenu>
#include <QSslCertificate>
#include <QSslError>
#include <QStringDecoder>
#include <QWebEngineCertificateError>
#include <QWebEngineHistory>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>
#include <QWebEngineView>

#include "platform/page_address.h"
#include "platform/qt/twips.h"

#ifdef Q_OS_LINUX
#include <signal.h>
#include <unistd.h>
#endif

// Whether a hidden window's page gives its renderer back (on by default; a build option).
#ifndef TAVORIN_DISCARD_HIDDEN
#define TAVORIN_DISCARD_HIDDEN 1
#endif

namespace {
// The engine hands a shown body over as a data address, refused beyond 2 MiB.
constexpr qsizetype kMaxDataUrl = 2 * 1024 * 1024 - 1024;
// A body past that is served from memory under this scheme. It has none of the local
// schemes' rights: its documents reach what any web page does, and no file.
constexpr char kShownScheme[] = "tavorin-page";

// The question the engine asks through javaScriptConfirm before a page with a leave-page
// handler is left.
QString LeavePageQuestion() {
    return QCoreApplication::translate(
        "QWebEnginePage",
        "Are you sure you want to leave this page? Changes that you made may not be saved.");
}

bool IsUtf8(const QByteArray& bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder(bytes);
    return !decoder.hasError();
}

// The engine checks certificates against its own database, the poller against the system's
// store, so an intranet page the poll reached would be shown with its pictures refused. Only
// the engine's "unknown authority" is reconsidered, and only a chain the system's store verifies
// in full (every link, dates, host) lifts it. Nobody is ever asked: what the system does not
// trust stays refused.
bool SystemStoreTrusts(const QWebEngineCertificateError& error) {
    if (error.type() != QWebEngineCertificateError::CertificateAuthorityInvalid ||
        !error.isOverridable())
        return false;
    const QList<QSslCertificate> chain = error.certificateChain();
    return !chain.isEmpty() && QSslCertificate::verify(chain, error.url().host()).isEmpty();
}

struct ProcessUse {
    qint64 residentBytes = -1;
    qint64 cpuMs = -1;
};

ProcessUse ReadProcessUse([[maybe_unused]] qint64 pid) {
    ProcessUse use;
#ifdef Q_OS_LINUX
    QFile statm(QStringLiteral("/proc/%1/statm").arg(pid));
    if (statm.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> fields = statm.readAll().split(' ');
        if (fields.size() > 1) use.residentBytes = fields[1].toLongLong() * sysconf(_SC_PAGESIZE);
    }
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (stat.open(QIODevice::ReadOnly)) {
        // The name in parentheses may hold spaces: count fields after its closing one.
        const QByteArray line = stat.readAll();
        const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (fields.size() > 12) {
            const qint64 ticks = fields[11].toLongLong() + fields[12].toLongLong();
            use.cpuMs = ticks * 1000 / sysconf(_SC_CLK_TCK);
        }
    }
#endif
    return use;
}

// The bodies being shown, from memory at private addresses: also when a discarded page comes
// back, without asking its server again. One for the profile, which outlives browsers.
class ShownBodies final : public QWebEngineUrlSchemeHandler {
  public:
    static ShownBodies& Of(QWebEngineProfile* profile) {
        auto* bodies = profile->findChild<ShownBodies*>(QString(), Qt::FindDirectChildrenOnly);
        if (!bodies) {
            bodies = new ShownBodies(profile);
            profile->installUrlSchemeHandler(kShownScheme, bodies);
        }
        return *bodies;
    }
    QUrl Add(QByteArray body, QByteArray type) {
        const QString address = QStringLiteral("%1://page/%2").arg(kShownScheme).arg(++shows_);
        bodies_.insert(address, {std::move(body), std::move(type)});
        return QUrl(address);
    }
    void Remove(const QUrl& address) { bodies_.remove(address.toString()); }

    void requestStarted(QWebEngineUrlRequestJob* job) override {
        const auto found =
            bodies_.constFind(job->requestUrl().adjusted(QUrl::RemoveFragment).toString());
        if (job->requestMethod() != "GET" || found == bodies_.cend()) {
            job->fail(QWebEngineUrlRequestJob::UrlNotFound);
            return;
        }
        auto* buffer = new QBuffer(job);
        buffer->setData(found->first);
        buffer->open(QIODevice::ReadOnly);
        job->reply(found->second, buffer);
    }

  private:
    using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;
    QHash<QString, std::pair<QByteArray, QByteArray>> bodies_;
    int shows_ = 0;
};
}  // namespace

class QtBrowser::Page final : public QWebEnginePage {
  public:
    Page(QtBrowser& owner, QObject* parent) : QWebEnginePage(parent), owner_(owner) {
        connect(this, &QWebEnginePage::certificateError, this,
                [this](QWebEngineCertificateError error) {
                    if (trusts(error))
                        error.acceptCertificate();
                    else
                        error.rejectCertificate();
                });
    }

  protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override {
        // A click in an attached document may be vetoed by the window.
        if (type == NavigationTypeLinkClicked && owner_.attached_ && owner_.DocumentClick &&
            !owner_.DocumentClick())
            return false;
        // Only the program types addresses, and a server's redirect comes before the
        // program's page commits; everything else (a redirect by script or meta refresh
        // included) comes from the page.
        if (isMainFrame && type != NavigationTypeTyped &&
            !(type == NavigationTypeRedirect && owner_.ownLoadUncommitted()) &&
            !owner_.pageMayNavigate())
            return false;
        return QWebEnginePage::acceptNavigationRequest(url, type, isMainFrame);
    }

    // Dialogs would be modal: a page looping on them would lock the program. They are
    // answered at once as if dismissed; a leave-page question is answered "leave".
    void javaScriptAlert(const QUrl&, const QString&) override {}
    bool javaScriptConfirm(const QUrl&, const QString& message) override {
        return message == LeavePageQuestion();
    }
    bool javaScriptPrompt(const QUrl&, const QString&, const QString&, QString*) override {
        return false;
    }
    // Nor does the page get to ask for the user's files.
    QStringList chooseFiles(FileSelectionMode, const QStringList&, const QStringList&) override {
        return {};
    }

  private:
    // Verifying loads the whole system store (about 0.1 s) and the engine asks again for every
    // refused request: a page full of pictures from one server must not freeze the program.
    bool trusts(const QWebEngineCertificateError& error) {
        QByteArray key = error.url().host().toUtf8() + ' ' + QByteArray::number(error.type());
        for (const QSslCertificate& certificate : error.certificateChain())
            key += ' ' + certificate.digest(QCryptographicHash::Sha256);
        if (const auto known = verdicts_.constFind(key); known != verdicts_.cend()) return *known;
        if (verdicts_.size() >= 256) verdicts_.clear();
        return verdicts_[key] = SystemStoreTrusts(error);
    }

    QtBrowser& owner_;
    QHash<QByteArray, bool> verdicts_;
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

QtBrowser::QtBrowser(QWidget* host) : QObject(host), host_(host) {
    connect(&watchdog_, &QTimer::timeout, this, [this] { watch(); });
    clock_.start();
}

QtBrowser::~QtBrowser() {
    forgetShownBody();
}

void QtBrowser::RegisterSchemes() {
    QWebEngineUrlScheme scheme(kShownScheme);
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Host);
    QWebEngineUrlScheme::registerScheme(scheme);
}

bool QtBrowser::pageMayNavigate() const {
    return !PageNavigation || PageNavigation();
}

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
        ownLoad_.reset();
        if (DocumentComplete) DocumentComplete();
    });
    connect(page, &QWebEnginePage::renderProcessTerminated, this, [this, page] {
        samples_.clear();
        if (!droppedPid_) return;
        droppedPid_ = 0;
        // An empty page in place of the dropped one; its successor comes with the next show.
        page->setHtml(QString());
    });
    view_ = view;
    view->show();
}

QtBrowser::HistoryMark QtBrowser::historyMark() const {
    const QWebEngineHistory* history = view_->page()->history();
    const QWebEngineHistoryItem item = history->currentItem();
    return {history->count(), history->currentItemIndex(), item.url(), item.lastVisited()};
}

bool QtBrowser::ownLoadUncommitted() const {
    return ownLoad_ && view_ && historyMark() == *ownLoad_;
}

void QtBrowser::activate() {
    ensureView();
    view_->page()->setLifecycleState(QWebEnginePage::LifecycleState::Active);
    ownLoad_ = historyMark();
    watchdog_.start(budget_.sampleMs);
}

void QtBrowser::forgetShownBody() {
    if (view_ && !shownAddress_.isEmpty())
        ShownBodies::Of(view_->page()->profile()).Remove(shownAddress_);
    shownAddress_.clear();
}

void QtBrowser::Navigate(const std::string& url) {
    forgetShownBody();
    activate();
    view_->setUrl(QUrl(QString::fromStdString(url)));
}

void QtBrowser::ShowPage(const std::string& url, const std::string& body) {
    const QByteArray bytes = QByteArray::fromStdString(body);
    const QUrl address(QString::fromStdString(url));
    // Without a charset the engine guesses; a body that is valid UTF-8 is taken as such.
    const QString type =
        IsUtf8(bytes) ? QStringLiteral("text/html;charset=UTF-8") : QStringLiteral("text/html");
    forgetShownBody();
    activate();
    // Encoding only makes a body longer: one past the limit need not be encoded to know.
    if (bytes.size() > kMaxDataUrl ||
        bytes.toPercentEncoding().size() + type.size() > kMaxDataUrl) {
        // Too large to hand over (typically a page past 1 to 1.5 MB): served from memory,
        // so that what shows is what was compared and the server is not asked again.
        shownAddress_ = ShownBodies::Of(view_->page()->profile())
                            .Add(QByteArray::fromStdString(BodyWithBase(body, url)), type.toUtf8());
        view_->setUrl(shownAddress_);
        return;
    }
    view_->page()->setContent(bytes, type, address);
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
        if (page->lifecycleState() == QWebEnginePage::LifecycleState::Discarded) activate();
    } else if (page->lifecycleState() == QWebEnginePage::LifecycleState::Active) {
        // Hidden pages may be discarded: the renderer process ends and memory goes back.
        page->setLifecycleState(QWebEnginePage::LifecycleState::Discarded);
        watchdog_.stop();
        samples_.clear();
    }
#else
    Q_UNUSED(visible);
#endif
}

void QtBrowser::watch() {
    if (!view_) return;
    const qint64 pid = view_->page()->renderProcessPid();
    if (pid <= 0 || pid == droppedPid_) return;
    if (pid != watchedPid_) {
        watchedPid_ = pid;
        samples_.clear();
    }
    const ProcessUse use = ReadProcessUse(pid);
    if (use.residentBytes > budget_.memoryBytes) {
        drop(pid);
        return;
    }
    if (use.cpuMs < 0) return;
    const qint64 now = clock_.elapsed();
    samples_.push_back({now, use.cpuMs});
    while (samples_.size() > 2 && now - samples_[1].atMs >= budget_.windowMs) samples_.pop_front();
    const Sample& first = samples_.front();
    const qint64 span = now - first.atMs;
    if (span >= budget_.windowMs && (use.cpuMs - first.cpuMs) * 100 > span * budget_.cpuPercent)
        drop(pid);
}

void QtBrowser::drop([[maybe_unused]] qint64 pid) {
#ifdef Q_OS_LINUX
    // A renderer stuck in a script does not answer requests to stop: end its process.
    qWarning("Tavorin: the page took more than its share of memory or CPU and was stopped");
    droppedPid_ = pid;
    ++dropped_;
    samples_.clear();
    ::kill(static_cast<pid_t>(pid), SIGKILL);
#endif
}
