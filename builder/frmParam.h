#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "builder/param_layout.h"
#include "builder/param_view.h"
#include "platform/browser.h"
#include "platform/file_dialog.h"
#include "platform/file_system.h"
#include "platform/message_box.h"
#include "platform/shell.h"
#include "settings/shared_settings.h"

struct ParamPorts {
    IParamView& view;
    IBrowser& WebBrowser1;  // the page preview
    IFileDialog& CommonDialog1;
    IMessageBox& messageBox;
    IShell& shell;
    IFileSystem& fileSystem;
};

// The configuration window: the builder of customised copies. Its controls are its only
// record; every command reads them when it runs.
class frmParam {
  public:
    frmParam(const SharedSettings& settings, ParamPorts ports);

    void Form_Load();
    void Form_Activate();
    void Form_QueryUnload();
    void cmdUndo_Click();
    void SSTab1_Click(int PreviousTab);
    void cmdShowFiles_Click();
    void chkAddSyst_Click();
    void cmdTestWebPage_Click();
    void WebBrowser1_DocumentComplete();
    bool DocInfo_onclick() { return false; }
    bool DocInfo_oncontextmenu() { return false; }
    void cmdBrowse_Click();
    void cmdSelfMake_Click();
    void PrepareMail(std::int16_t kind);
    void cmdMailInstall_Click() { PrepareMail(1); }
    void cmdMailPro_Click() { PrepareMail(2); }
    void cmdPayInstall_Click();
    void cmdPayPro_Click();

    // The controls, for the opener that fills in the page address and the icon path.
    IParamView& view() { return ports_.view; }

    bool DocInfo = false;                // the preview's document is attached
    std::string CommonDialog1_FileName;  // remembered while the window lives

  private:
    void OnClick(Ctl control);
    std::string Text(std::int16_t id) const;
    // Each reports its failure with the path and the reason; false ends the command.
    bool TargetNamesUsable(const std::string& base, const std::string& folder,
                           const std::string& name);
    bool CreateFolder(const std::string& path);
    bool Copy(const std::string& from, const std::string& to);
    bool WriteSettings(const std::string& file, const std::string& page);
    void Error(const std::string& text);

    const SharedSettings& settings_;
    ParamPorts ports_;
};

// True when name can be one file or folder name inside the builder's base folder: valid
// UTF-8, not empty, "." or "..", no separator or control character. windowsRules adds what
// Windows refuses: a trailing blank or dot, the characters <>:"|?* and device names
// (CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM and LPT with 1-9, ¹, ² or ³, with or without an
// extension).
bool IsUsableFileName(std::string_view name, bool windowsRules);

// Addresses handed to the shell, built from the window's fields.
std::string OrderMailAddress(std::int16_t kind, const std::string& name, const std::string& page,
                             const std::string& period, const std::string& languageCode);
std::string PaymentAddress(int product, const std::string& languageCode);
