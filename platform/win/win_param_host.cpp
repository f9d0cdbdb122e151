#include "platform/win/win_param_host.h"

#include "builder/frmParam.h"
#include "platform/win/win_browser.h"
#include "platform/win/win_file_dialog.h"
#include "platform/win/win_param_window.h"

WinParamHost::WinParamHost(SharedSettings& settings, IMessageBox& messageBox, IShell& shell,
                           IFileSystem& fileSystem)
    : settings_(settings), messageBox_(messageBox), shell_(shell), fileSystem_(fileSystem) {}

WinParamHost::~WinParamHost() {
    // The program is ending: the window goes without its close request.
    Release();
}

void WinParamHost::Release() {
    form_.reset();
    dialog_.reset();
    browser_.reset();
    window_.reset();
}

frmParam& WinParamHost::Window() {
    if (form_ && !window_->Closed()) return *form_;
    Release();
    window_ = std::make_unique<WinParamWindow>();
    browser_ = std::make_unique<WinBrowser>(window_->BrowserHost());
    dialog_ = std::make_unique<WinFileDialog>(window_->hwnd());
    form_ = std::make_unique<frmParam>(
        settings_, ParamPorts{*window_, *browser_, *dialog_, messageBox_, shell_, fileSystem_});
    // The control goes while the window that holds it still exists.
    window_->Destroying = [browser = browser_.get()] { browser->Destroy(); };
    form_->Form_Load();
    return *form_;
}

void WinParamHost::Show() {
    Window();
    window_->Show();
}

WinParamWindow* WinParamHost::window() const {
    return window_ && !window_->Closed() ? window_.get() : nullptr;
}

WinBrowser* WinParamHost::browser() const {
    return window() ? browser_.get() : nullptr;
}

bool WinParamHost::PreTranslate(MSG& message) {
    WinParamWindow* open = window();
    return open && open->PreTranslate(message);
}
