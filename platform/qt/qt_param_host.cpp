#include "platform/qt/qt_param_host.h"

#include "builder/frmParam.h"
#include "platform/qt/qt_param_window.h"
#include "platform/qt/qt_preview.h"

QtParamHost::QtParamHost(SharedSettings& settings, IMessageBox& messageBox, IShell& shell,
                         IFileSystem& fileSystem, PreviewMaker makePreview)
    : settings_(settings),
      messageBox_(messageBox),
      shell_(shell),
      fileSystem_(fileSystem),
      makePreview_(std::move(makePreview)) {
    if (!makePreview_) makePreview_ = [](QWidget* pane) { return new QtPreviewBrowser(pane); };
}

QtParamHost::~QtParamHost() {
    // The program is ending: the window goes without its close request.
    if (!window_) return;
    QtParamWindow* window = window_;
    QObject::disconnect(window, &QtParamWindow::destroying, nullptr, nullptr);
    forget();
    delete window;
}

frmParam& QtParamHost::Window() {
    if (form_) return *form_;
    auto* window = new QtParamWindow;
    window_ = window;
    browser_ = makePreview_(window->browserHost());
    dialog_ = std::make_unique<QtFileDialog>(window);
    form_ = std::make_unique<frmParam>(
        settings_, ParamPorts{*window, *browser_, *dialog_, messageBox_, shell_, fileSystem_});
    // Closing destroys the window; its logic must not outlive the controls it drives.
    QObject::connect(window, &QtParamWindow::destroying, [this] { forget(); });
    form_->Form_Load();
    return *form_;
}

void QtParamHost::Show() {
    Window();
    window_->Show();
}

void QtParamHost::forget() {
    form_.reset();
    dialog_.reset();
    browser_ = nullptr;
    window_ = nullptr;
}
