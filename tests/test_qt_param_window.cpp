#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileDialog>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPointer>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QWindow>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "builder/frmParam.h"
#include "platform/distribution.h"
#include "platform/qt/qt_browser.h"
#include "platform/qt/qt_desktop.h"
#include "platform/qt/qt_param_host.h"
#include "platform/qt/qt_param_window.h"
#include "platform/qt/qt_session.h"
#include "platform/qt/twips.h"
#include "support/event_loop.h"
#include "support/local_http_server.h"
#include "text/modLangue.h"

using testsupport::HttpResponse;
using testsupport::LocalHttpServer;
using testsupport::Settle;
using testsupport::SpinUntil;

namespace {

bool At96Dpi() {
    return QGuiApplication::primaryScreen()->logicalDotsPerInch() == 96.0;
}

std::string DataFile(const char* name) {
    return (std::filesystem::path(__FILE__).parent_path() / "data" / name).string();
}

// The control's rectangle in the window's client area, in pixels.
QRect InWindow(QtParamWindow& window, Ctl control) {
    QWidget* widget = window.widget(control);
    return {widget->mapTo(&window, QPoint(0, 0)), widget->size()};
}

class RecordingMessageBox final : public IMessageBox {
  public:
    int MsgBox(const std::string& text, int style) override {
        shown.emplace_back(text, style);
        return vbOK;
    }
    std::vector<std::pair<std::string, int>> shown;
};

class RecordingShell final : public IShell {
  public:
    void ShellExecute(const std::string&, const std::string& file, const std::string&,
                      const std::string&, int) override {
        opened.push_back(file);
    }
    void EndProcess(int) override { ended = true; }
    std::vector<std::string> opened;
    bool ended = false;
};

bool Exposed(QWidget* window) {
    return SpinUntil(
        [window] { return window->windowHandle() && window->windowHandle()->isExposed(); });
}

void ShowAndWait(QWidget& window) {
    window.show();
    ASSERT_TRUE(Exposed(&window));
}

// A left click as the mouse gives it: press and release at pos.
void MouseClick(QWidget* widget, QPoint pos) {
    const QPointF local(pos), global(widget->mapToGlobal(pos));
    QMouseEvent press(QEvent::MouseButtonPress, local, global, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(widget, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, local, global, Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(widget, &release);
}

void Type(QWidget* widget, const QString& text) {
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &press);
        QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(widget, &release);
    }
}

// The window alone, without the builder's logic.
class ParamWindowTest : public ::testing::Test {
  protected:
    void SetUp() override { window = new QtParamWindow; }
    void TearDown() override { delete window.data(); }
    QPointer<QtParamWindow> window;
};

TEST(ParamLayoutTable, EveryControlLiesWithinItsContainer) {
    const TwipsRect tab = Design(Ctl::SSTab1).rect;
    for (const CtlDesign& design : ParamLayout()) {
        SCOPED_TRACE(std::string(design.name));
        const TwipsRect& r = design.rect;
        EXPECT_GE(r.Left, 0);
        if (design.tab < 0) {
            EXPECT_LE(r.Left + r.Width, kParamClientWidth);
            EXPECT_LE(r.Top + r.Height, kParamClientHeight);
        } else {
            EXPECT_LT(design.tab, 3);
            EXPECT_GE(r.Top, kParamTabHeight) << "under the tab row";
            EXPECT_LE(r.Left + r.Width, tab.Width);
            EXPECT_LE(r.Top + r.Height, tab.Height);
        }
    }
}

TEST_F(ParamWindowTest, ControlsSitAtTheirDesignedPixelsAt96Dpi) {
    ShowAndWait(*window);
    EXPECT_EQ(window->size(), QSize(twips::ToPixels(10410), twips::ToPixels(7860)));
    EXPECT_EQ(window->minimumSize(), window->maximumSize()) << "fixed size";
    if (!At96Dpi()) GTEST_SKIP() << "pixel positions are checked at 96 dpi only";
    EXPECT_EQ(window->size(), QSize(694, 524));
    EXPECT_EQ(InWindow(*window, Ctl::SSTab1), QRect(8, 8, 675, 473));
    EXPECT_EQ(InWindow(*window, Ctl::cmdUndo), QRect(568, 488, 113, 25));
    EXPECT_EQ(window->tabWidget()->tabBar()->height(), 35);
    // Tab positions count from the tab control's corner (8, 8), tab row included.
    struct Spot {
        int tab;
        Ctl control;
        QRect pixels;
    };
    const Spot spots[] = {
        {0, Ctl::txtName, {152, 48, 137, 19}},       {0, Ctl::cmdBrowse, {584, 94, 81, 22}},
        {0, Ctl::WebBrowser1, {152, 128, 417, 289}}, {0, Ctl::lblInfo1, {16, 160, 129, 257}},
        {1, Ctl::lstProgr, {32, 115, 473, 82}},      {1, Ctl::chkAddSyst, {520, 208, 159, 89}},
        {1, Ctl::lblInfo0, {496, 376, 177, 73}},     {1, Ctl::Line1, {32, 332, 576, 2}},
        {2, Ctl::lblPro, {48, 104, 601, 113}},       {2, Ctl::cmdMailPro, {344, 253, 185, 57}},
        {2, Ctl::lblInfo2, {144, 336, 393, 121}},
    };
    for (const Spot& spot : spots) {
        SCOPED_TRACE(std::string(Design(spot.control).name));
        window->SetTab(spot.tab);
        QCoreApplication::processEvents();
        EXPECT_EQ(InWindow(*window, spot.control), spot.pixels);
        EXPECT_TRUE(window->widget(spot.control)->isVisible());
    }
    // Reading a control's place gives back the designed twips, where they fall on whole pixels.
    for (const CtlDesign& design : ParamLayout()) {
        const TwipsRect& r = design.rect;
        if (r.Width > 0 && r.Left % 15 == 0 && r.Top % 15 == 0 && r.Width % 15 == 0 &&
            r.Height % 15 == 0)
            EXPECT_EQ(window->Rect(design.id), r) << design.name;
    }
}

TEST_F(ParamWindowTest, ControlsHaveTheirDesignedKindsAndLimits) {
    EXPECT_EQ(window->windowTitle(), "Tavorin");
    const QList<QSize> iconSizes = window->windowIcon().availableSizes();
    EXPECT_TRUE(iconSizes.contains(QSize(16, 16)) && iconSizes.contains(QSize(32, 32)));

    auto* name = qobject_cast<QLineEdit*>(window->widget(Ctl::txtName));
    ASSERT_NE(name, nullptr);
    EXPECT_EQ(name->text(), "MyTavorin");
    name->clear();
    Type(name, "abcdefghijklmnopqrst");
    EXPECT_EQ(window->Caption(Ctl::txtName), "abcdefghijklmno");

    auto* period = qobject_cast<QComboBox*>(window->widget(Ctl::cmbDelai));
    ASSERT_NE(period, nullptr);
    EXPECT_FALSE(period->isEditable());
    ASSERT_EQ(period->count(), 4);
    EXPECT_EQ(period->itemText(0), "5");
    EXPECT_EQ(period->itemText(3), "60");
    window->SetCaption(Ctl::cmbDelai, "45");
    EXPECT_EQ(period->count(), 4);
    window->ComboSelect(Ctl::cmbDelai, 2);
    EXPECT_EQ(window->Caption(Ctl::cmbDelai), "30");

    EXPECT_FALSE(window->Visible(Ctl::cmdShowFiles));
    EXPECT_FALSE(window->Visible(Ctl::lblSystemFiles));
    EXPECT_FALSE(window->Visible(Ctl::lstSyst));
    EXPECT_TRUE(window->Visible(Ctl::lstProgr)) << "on a tab not shown, still visible";
    EXPECT_TRUE(qobject_cast<QLabel*>(window->widget(Ctl::lblInfo2))->wordWrap());
    EXPECT_NE(qobject_cast<QLabel*>(window->widget(Ctl::lblFolder))->frameWidth(), 0);

    // The whole check box takes the click, caption included.
    auto* box = qobject_cast<QCheckBox*>(window->widget(Ctl::chkAddSyst));
    ASSERT_NE(box, nullptr);
    std::vector<Ctl> clicks;
    window->Click = [&](Ctl control) { clicks.push_back(control); };
    ShowAndWait(*window);
    window->SetTab(1);
    MouseClick(box, QPoint(box->width() - 10, box->height() / 2));
    EXPECT_EQ(window->CheckValue(Ctl::chkAddSyst), vbChecked);
    EXPECT_EQ(clicks, std::vector<Ctl>{Ctl::chkAddSyst});
}

TEST_F(ParamWindowTest, TabClickReportsTheTabLeft) {
    std::vector<int> previous;
    window->TabClick = [&](int tab) {
        previous.push_back(tab);
        // A handler may send the window back, as the list command does on a bad name.
        if (window->Tab() == 1 && tab == 2) window->SetTab(0);
    };
    ShowAndWait(*window);
    window->SetTab(2);
    window->SetTab(2);
    QTabBar* bar = window->tabWidget()->tabBar();
    MouseClick(bar, bar->tabRect(1).center());
    EXPECT_EQ(window->Tab(), 0);
    MouseClick(bar, bar->tabRect(1).center());
    EXPECT_EQ(window->Tab(), 1);
    EXPECT_EQ(previous, (std::vector<int>{0, 2, 1, 0}));
}

TEST_F(ParamWindowTest, PictureShowsAnIconUnstretchedAndClearsOnAnUndecodableFile) {
    auto* picture = qobject_cast<QLabel*>(window->widget(Ctl::Image1));
    ASSERT_NE(picture, nullptr);
    const QSize area = picture->size();
    ASSERT_TRUE(window->LoadPicture(Ctl::Image1, DataFile("Info.ico")));
    EXPECT_EQ(picture->pixmap().size(), QSize(32, 32));
    EXPECT_EQ(picture->size(), area);

    EXPECT_FALSE(window->LoadPicture(Ctl::Image1, DataFile("broken.ico")));
    EXPECT_TRUE(picture->pixmap().isNull());
    EXPECT_FALSE(window->LoadPicture(Ctl::Image1, DataFile("missing.ico")));
}

TEST_F(ParamWindowTest, AutoSizeFitsTheLabelToItsText) {
    const std::string text = "Regarder si un nouveau contenu toutes les ";
    window->SetCaption(Ctl::lblEvery0, text);
    window->AutoSize(Ctl::lblEvery0);
    QWidget* label = window->widget(Ctl::lblEvery0);
    const double needed =
        QFontMetricsF(label->font()).horizontalAdvance(QString::fromStdString(text));
    EXPECT_GE(label->width(), needed);
    EXPECT_LE(label->width(), needed + 2);
    const TwipsRect rect = window->Rect(Ctl::lblEvery0);
    EXPECT_EQ(rect.Left, 360);
    EXPECT_EQ(rect.Width, twips::FromPixels(label->width()));
}

TEST_F(ParamWindowTest, FirstShowActivatesAndCloseRunsTheCloseRequestThenDestroys) {
    int activations = 0, unloads = 0;
    window->Activate = [&] { ++activations; };
    window->QueryUnload = [&] { ++unloads; };
    window->Show();
    ASSERT_TRUE(Exposed(window.data()));
    EXPECT_GE(activations, 1);
    window->Close();
    EXPECT_EQ(unloads, 1);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.isNull());
}

TEST(QtFileDialogTest, FilterTakesQtFormAndCancelKeepsTheRememberedName) {
    EXPECT_EQ(QtFileDialog::QtFilter("Ico file | *.ico"), "Ico file (*.ico)");
    EXPECT_EQ(QtFileDialog::QtFilter("Pictures|*.bmp;*.ico|All|*.*"),
              "Pictures (*.bmp *.ico);;All (*.*)");

    QWidget owner;
    QtFileDialog dialog(&owner);
    QString title, filters;
    std::function<void(QFileDialog&)> answer;
    auto respond = [&] {
        SpinUntil([] { return qobject_cast<QFileDialog*>(QApplication::activeModalWidget()); });
        auto* box = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!box) return;
        title = box->windowTitle();
        filters = box->nameFilters().join(";;");
        answer(*box);
    };
    std::string fileName = "/tmp/earlier.ico";
    answer = [](QFileDialog& box) { box.reject(); };
    QTimer::singleShot(0, respond);
    dialog.ShowOpen("Your Tavorin Icon", "Ico file | *.ico", fileName);
    if (title.isEmpty()) GTEST_SKIP() << "the platform shows its own dialog";
    EXPECT_EQ(title, "Your Tavorin Icon");
    EXPECT_EQ(filters, "Ico file (*.ico)");
    EXPECT_EQ(fileName, "/tmp/earlier.ico");

    const auto folder = std::filesystem::temp_directory_path();
    const std::string chosen = (folder / "tavorin-chosen.ico").string();
    std::ofstream(chosen) << "icon";
    answer = [&](QFileDialog& box) {
        box.selectFile(QString::fromStdString(chosen));
        static_cast<QDialog&>(box).accept();
    };
    QTimer::singleShot(0, respond);
    dialog.ShowOpen("Your Tavorin Icon", "Ico file | *.ico", fileName);
    EXPECT_EQ(fileName, chosen);

    // A typed name that names no file is taken too (a "not found" box would be closed).
    const std::string typed = (folder / "tavorin-none-here.ico").string();
    fileName = (folder / "tavorin-earlier.ico").string();  // nothing picked in the list
    answer = [&](QFileDialog& box) {
        QTimer::singleShot(2000, &box, [&box] {
            auto* other = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (other && other != &box) other->done(QDialog::Rejected);
            box.reject();
        });
        box.findChild<QLineEdit*>("fileNameEdit")->setText(QString::fromStdString(typed));
        static_cast<QDialog&>(box).accept();  // QFileDialog::accept, which checks the name
    };
    QTimer::singleShot(0, respond);
    dialog.ShowOpen("Your Tavorin Icon", "Ico file | *.ico", fileName);
    EXPECT_EQ(fileName, typed);
    std::filesystem::remove(chosen);
}

TEST(QtMessageBoxTest, TextIsShownAsTyped) {
    QString format;
    QTimer::singleShot(0, [&] {
        SpinUntil([] { return qobject_cast<QMessageBox*>(QApplication::activeModalWidget()); });
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        const auto* label = box->findChild<QLabel*>("qt_msgbox_label");
        format = label && label->textFormat() == Qt::PlainText ? "plain" : "rich";
        box->accept();
    });
    QtMessageBox().MsgBox("Shop<b>1", vbOKOnly);
    EXPECT_EQ(format, "plain");
}

// The window with the builder's logic, as the tray menu opens it.
class ParamHostTest : public ::testing::TestWithParam<const char*> {
  protected:
    void SetUp() override {
        settings.LanguageCode = GetParam();
        fileSystem = MakeFileSystem();
        host = std::make_unique<QtParamHost>(settings, messageBox, shell, *fileSystem);
    }
    void TearDown() override { host.reset(); }

    std::string Text(int id) { return LookupText(static_cast<std::int16_t>(id), GetParam()); }

    SharedSettings settings;
    RecordingMessageBox messageBox;
    RecordingShell shell;
    std::unique_ptr<IFileSystem> fileSystem;
    std::unique_ptr<QtParamHost> host;
};

void SaveShot(QtParamWindow& window, const QString& name) {
    const QString folder = qEnvironmentVariable("TAVORIN_SHOT_DIR");
    if (folder.isEmpty()) return;
    QDir().mkpath(folder);
    QCoreApplication::processEvents();
    window.grab().save(folder + "/" + name + ".png");
}

TEST_P(ParamHostTest, LoadedWindowClosesUpThePeriodRowAndKeepsItsTitle) {
    frmParam& form = host->Window();
    host->Show();
    QtParamWindow* window = host->window();
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(Exposed(window));
    EXPECT_EQ(window->windowTitle(), "Tavorin");
    EXPECT_EQ(window->tabWidget()->tabText(2).toStdString(), Text(8));
    EXPECT_EQ(form.view().Caption(Ctl::cmbDelai), "15");

    const QRect before = InWindow(*window, Ctl::lblEvery0);
    const QRect combo = InWindow(*window, Ctl::cmbDelai);
    const QRect after = InWindow(*window, Ctl::lblEvery1);
    EXPECT_EQ(before.right() + 1, combo.left());
    EXPECT_EQ(combo.right() + 1, after.left());
    const QFontMetricsF metrics(window->widget(Ctl::lblEvery0)->font());
    EXPECT_GE(before.width(), metrics.horizontalAdvance(QString::fromStdString(Text(35))));
    EXPECT_GE(after.width(), metrics.horizontalAdvance(QString::fromStdString(Text(36))));
    EXPECT_LE(after.right(), window->tabWidget()->geometry().right()) << "the row fits the tab";
    EXPECT_EQ(window->Rect(Ctl::cmbDelai).Top, 6435);
    EXPECT_EQ(window->Rect(Ctl::lblEvery1).Top, 6480);
    if (At96Dpi()) EXPECT_EQ(before.left(), 8 + 24);

    // Activation shows the icon named by the path label.
    form.view().SetCaption(Ctl::lblIconPath, DataFile("Info.ico"));
    form.Form_Activate();
    const QPixmap icon = qobject_cast<QLabel*>(window->widget(Ctl::Image1))->pixmap();
    ASSERT_FALSE(icon.isNull());
    // The picture's rectangle begins under the icon caption; the two must not meet.
    const QRect picture = InWindow(*window, Ctl::Image1);
    const QRect drawn(picture.topRight() - QPoint(icon.width() - 1, 0), icon.size());
    const QRect label = InWindow(*window, Ctl::lblIcon);
    const QRect caption(label.topLeft(),
                        QSize(int(QFontMetricsF(window->widget(Ctl::lblIcon)->font())
                                      .horizontalAdvance(QString::fromStdString(Text(19)))),
                              label.height()));
    EXPECT_FALSE(drawn.intersects(caption));
    SaveShot(*window, QStringLiteral("param-%1-tab0").arg(GetParam()));

    window->SetTab(1);
    EXPECT_FALSE(window->Visible(Ctl::cmdShowFiles));
    EXPECT_FALSE(window->Visible(Ctl::lstSyst));
    EXPECT_FALSE(window->Visible(Ctl::lblSystemFiles));
    EXPECT_EQ(qobject_cast<QListWidget*>(window->widget(Ctl::lstProgr))->count(),
              3 + std::ssize(ProgramParts()))
        << "entering the creation tab from the first one builds the list";
    SaveShot(*window, QStringLiteral("param-%1-tab1").arg(GetParam()));
    auto* box = qobject_cast<QCheckBox*>(window->widget(Ctl::chkAddSyst));
    MouseClick(box, QPoint(box->width() / 2, box->height() / 2));
    EXPECT_TRUE(window->widget(Ctl::lstSyst)->isVisible());
    EXPECT_TRUE(window->widget(Ctl::lblSystemFiles)->isVisible());
    EXPECT_FALSE(window->Visible(Ctl::cmdShowFiles));
    SaveShot(*window, QStringLiteral("param-%1-tab1-system").arg(GetParam()));
    window->SetTab(2);
    SaveShot(*window, QStringLiteral("param-%1-tab2").arg(GetParam()));
}

TEST_P(ParamHostTest, ClosingForgetsTheWindowAndOpeningAgainStartsAnew) {
    host->Window().view().SetCaption(Ctl::txtName, "Other");
    host->Window().view().ComboSelect(Ctl::cmbDelai, 3);
    host->Show();
    QPointer<QtParamWindow> first = host->window();
    ASSERT_TRUE(Exposed(first.data()));
    first->Close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(first.isNull());
    EXPECT_EQ(host->window(), nullptr);
    EXPECT_EQ(host->browser(), nullptr);

    frmParam& again = host->Window();
    EXPECT_EQ(again.view().Caption(Ctl::txtName), "MyTavorin");
    EXPECT_EQ(again.view().Caption(Ctl::cmbDelai), "15");
    EXPECT_EQ(again.view().Tab(), 0);
}

INSTANTIATE_TEST_SUITE_P(Languages, ParamHostTest, ::testing::Values("en", "fr"));

// The configuration window in English, shown, for its page test.
struct PreviewHost {
    PreviewHost() { host.Show(); }
    // Types the address and presses the page test button, as a user does.
    void Test(const std::string& url) {
        host.Window().view().SetCaption(Ctl::txtWebPage, url);
        qobject_cast<QAbstractButton*>(host.window()->widget(Ctl::cmdTestWebPage))->click();
    }

    SharedSettings settings = [] {
        SharedSettings english;
        english.LanguageCode = "en";
        return english;
    }();
    RecordingMessageBox messageBox;
    RecordingShell shell;
    std::unique_ptr<IFileSystem> fileSystem = MakeFileSystem();
    // The preview's browser in this process, where the test can look into it.
    QtParamHost host{settings, messageBox, shell, *fileSystem,
                     [](QWidget* pane) { return new QtBrowser(pane); }};
    QtBrowser* browser() { return static_cast<QtBrowser*>(host.browser()); }
};

TEST(ParamPreview, ALinkClickedInThePreviewIsNotFollowed) {
    LocalHttpServer server([](const testsupport::HttpRequest& request) {
        if (request.path == "/")
            return HttpResponse::ok(
                       "<html><body><a id='go' href='/target' style='display:block;"
                       "width:300px;height:100px'>go</a></body></html>")
                .header("Content-Type", "text/html");
        return HttpResponse::ok("<html><body>target</body></html>")
            .header("Content-Type", "text/html");
    });
    ASSERT_TRUE(server.listen());
    auto targetRequests = [&] {
        int count = 0;
        for (const auto& request : server.requests()) count += request.path == "/target";
        return count;
    };
    auto clickLink = [](QWebEngineView* view) {
        view->page()->runJavaScript(QStringLiteral("document.getElementById('go').click();"));
    };

    PreviewHost preview;
    ASSERT_TRUE(Exposed(preview.host.window()));
    preview.Test(server.urlString("/"));
    QtBrowser* browser = preview.browser();
    ASSERT_NE(browser, nullptr);
    ASSERT_TRUE(SpinUntil([&] { return browser->documentAttached(); }, 30000));

    clickLink(browser->view());
    Settle(1500);
    EXPECT_EQ(targetRequests(), 0);
    EXPECT_EQ(browser->view()->url().path(), "/");

    // Without the window's hold on the document and its rule the same click does navigate.
    browser->AttachDocument(false);
    browser->PageNavigation = nullptr;
    clickLink(browser->view());
    EXPECT_TRUE(SpinUntil([&] { return targetRequests() > 0; }, 10000));
}

// Every way a page has of going elsewhere, before and after its document is attached.
TEST(ParamPreview, ThePageCannotTakeThePreviewElsewhere) {
    const std::vector<std::pair<QByteArray, QByteArray>> pages = {
        {"/form",
         "<form action='/target' method='post'><input name='a' value='1'></form>"
         "<script>addEventListener('load', () => setTimeout("
         "() => document.forms[0].submit(), 300));</script>"},
        {"/button",
         "<form action='/target'><input id='b' type='submit'></form>"
         "<script>addEventListener('load', () => setTimeout("
         "() => document.getElementById('b').click(), 300));</script>"},
        {"/script",
         "<script>addEventListener('load', () => setTimeout("
         "() => { location.href = '/target'; }, 300));</script>"},
        {"/replace",
         "<script>addEventListener('load', () => setTimeout("
         "() => location.replace('/target'), 300));</script>"},
        {"/loading", "<script>location.href = '/target';</script>"},
        {"/refresh", "<meta http-equiv='refresh' content='0; url=/target'>"},
    };
    LocalHttpServer server([&](const testsupport::HttpRequest& request) {
        for (const auto& [path, body] : pages)
            if (request.path == path)
                return HttpResponse::ok("<html><body>" + body + "</body></html>")
                    .header("Content-Type", "text/html");
        if (request.path == "/moved") return HttpResponse::redirect(302, "/landing");
        return HttpResponse::ok("<html><body>target</body></html>")
            .header("Content-Type", "text/html");
    });
    ASSERT_TRUE(server.listen());
    auto requestsFor = [&](const QByteArray& path) {
        int count = 0;
        for (const auto& request : server.requests()) count += request.path.startsWith(path);
        return count;
    };

    PreviewHost preview;
    QtParamHost& host = preview.host;
    ASSERT_TRUE(Exposed(host.window()));
    for (const auto& [path, body] : pages) {
        preview.Test(server.urlString(QString(path)));
        QtBrowser* browser = preview.browser();
        ASSERT_TRUE(SpinUntil([&] { return requestsFor(path) > 0; }, 20000)) << path.data();
        Settle(1500);
        EXPECT_EQ(requestsFor("/target"), 0) << path.data();
        EXPECT_EQ(browser->view()->url().path().toUtf8(), path);
    }
    // The server's redirect of the tested address is part of loading it.
    preview.Test(server.urlString("/moved"));
    EXPECT_TRUE(SpinUntil([&] { return requestsFor("/landing") > 0; }, 20000));
    EXPECT_TRUE(
        SpinUntil([&] { return preview.browser()->view()->url().path() == "/landing"; }, 10000));
}

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (::testing::GTEST_FLAG(list_tests)) return RUN_ALL_TESTS();
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    SetLightEngineDefaults();  // the program's own engine settings
    QtBrowser::RegisterSchemes();
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
