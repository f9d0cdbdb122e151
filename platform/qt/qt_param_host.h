#pragma once
#include <QPointer>
#include <memory>

#include "builder/param_host.h"
#include "platform/qt/qt_param_window.h"

class IFileSystem;
class IMessageBox;
class IShell;
class QtBrowser;
struct SharedSettings;

// Holds the configuration window while it is open and nothing while it is closed: the
// first touch after a close builds the window, its preview and its logic anew.
class QtParamHost final : public IParamHost {
  public:
    QtParamHost(SharedSettings& settings, IMessageBox& messageBox, IShell& shell,
                IFileSystem& fileSystem);
    ~QtParamHost() override;
    QtParamHost(const QtParamHost&) = delete;
    QtParamHost& operator=(const QtParamHost&) = delete;

    frmParam& Window() override;
    void Show() override;

    // Null while the window is closed.
    QtParamWindow* window() const { return window_; }
    QtBrowser* browser() const { return window_ ? browser_ : nullptr; }

  private:
    void forget();

    SharedSettings& settings_;
    IMessageBox& messageBox_;
    IShell& shell_;
    IFileSystem& fileSystem_;

    QPointer<QtParamWindow> window_;
    QtBrowser* browser_ = nullptr;  // a child of the window's preview pane
    std::unique_ptr<QtFileDialog> dialog_;
    std::unique_ptr<frmParam> form_;
};
