#pragma once
#include <QPointer>
#include <functional>
#include <memory>

#include "builder/param_host.h"
#include "platform/qt/qt_file_dialog.h"
#include "platform/qt/qt_param_window.h"

class IFileSystem;
class IMessageBox;
class IShell;
class IBrowser;
struct SharedSettings;

// Holds the configuration window while it is open and nothing while it is closed: the
// first touch after a close builds the window, its preview and its logic anew.
class QtParamHost final : public IParamHost {
  public:
    // Makes the preview inside the window's pane, as a child of it.
    using PreviewMaker = std::function<IBrowser*(QWidget* pane)>;
    // Without a maker the preview is shown by a viewer process.
    QtParamHost(SharedSettings& settings, IMessageBox& messageBox, IShell& shell,
                IFileSystem& fileSystem, PreviewMaker makePreview = {});
    ~QtParamHost() override;
    QtParamHost(const QtParamHost&) = delete;
    QtParamHost& operator=(const QtParamHost&) = delete;

    frmParam& Window() override;
    void Show() override;

    // Null while the window is closed.
    QtParamWindow* window() const { return window_; }
    IBrowser* browser() const { return window_ ? browser_ : nullptr; }

  private:
    void forget();

    SharedSettings& settings_;
    IMessageBox& messageBox_;
    IShell& shell_;
    IFileSystem& fileSystem_;
    PreviewMaker makePreview_;

    QPointer<QtParamWindow> window_;
    IBrowser* browser_ = nullptr;  // a child of the window's preview pane
    std::unique_ptr<QtFileDialog> dialog_;
    std::unique_ptr<frmParam> form_;
};
