#pragma once
// Windows only.
#include <memory>

#include "builder/param_host.h"
#include "platform/win/ansi.h"

class IFileSystem;
class IMessageBox;
class IShell;
class WinBrowser;
class WinFileDialog;
class WinParamWindow;
struct SharedSettings;

// Holds the configuration window while it is open. A closed window's objects stay until
// the next touch (its Close may still be on the stack), which builds the window, its
// preview and its logic anew.
class WinParamHost final : public IParamHost {
  public:
    WinParamHost(SharedSettings& settings, IMessageBox& messageBox, IShell& shell,
                 IFileSystem& fileSystem);
    ~WinParamHost() override;
    WinParamHost(const WinParamHost&) = delete;
    WinParamHost& operator=(const WinParamHost&) = delete;

    frmParam& Window() override;
    void Show() override;

    // Null while the window is closed.
    WinParamWindow* window() const;
    WinBrowser* browser() const;
    // Dialog keys for the window while it is open; a message loop filter.
    bool PreTranslate(MSG& message);

  private:
    void Release();

    SharedSettings& settings_;
    IMessageBox& messageBox_;
    IShell& shell_;
    IFileSystem& fileSystem_;

    std::unique_ptr<WinParamWindow> window_;
    std::unique_ptr<WinBrowser> browser_;
    std::unique_ptr<WinFileDialog> dialog_;
    std::unique_ptr<frmParam> form_;
};
