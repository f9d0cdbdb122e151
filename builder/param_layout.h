#pragma once
#include <array>
#include <cstdint>
#include <string_view>

#include "platform/window.h"

// Every control of the configuration window, in the order they are laid out.
enum class Ctl {
    SSTab1,
    cmdUndo,
    // tab 0
    lblName,
    txtName,
    lblWeb,
    txtWebPage,
    cmdTestWebPage,
    lblIcon,
    Image1,
    lblIconPath,
    cmdBrowse,
    WebBrowser1,
    lblInfo1,
    lblEvery0,
    cmbDelai,
    lblEvery1,
    // tab 1
    lblInfoFree,
    lblProgramFiles,
    lblDest,
    lblFolder,
    lstProgr,
    cmdSelfMake,
    cmdShowFiles,
    lblSystemFiles,
    chkAddSyst,
    lstSyst,
    Line1,
    lblInstall,
    lstInstall,
    cmdPayInstall,
    cmdMailInstall,
    lblInfo0,
    // tab 2
    lblPro,
    lblStep0,
    lblStep1,
    cmdPayPro,
    cmdMailPro,
    lblInfo2,
    Count
};

enum class CtlKind {
    TabControl,
    Button,
    Label,
    TextBox,
    Picture,
    Browser,
    ComboList,
    ListBox,
    CheckBox,
    Line
};

struct CtlDesign {
    Ctl id;
    std::string_view name;  // "lblInfo(1)" for members of a control array
    CtlKind kind;
    int tab;                   // -1: outside the tab control
    TwipsRect rect;            // within the window, or within the tab page
    std::string_view caption;  // as designed, before the load procedure
    bool visible = true;
    bool border = false;
    bool bold = false;
    int pointSize = 0;             // 0: the window's font
    std::uint32_t color = 0;       // 0xRRGGBB text colour; 0: default
    std::uint32_t background = 0;  // 0xRRGGBB; 0: default
    bool centred = false;
    int maxLength = 0;  // text boxes; 0: no limit
};

inline constexpr int kParamClientWidth = 10410;
inline constexpr int kParamClientHeight = 7860;
inline constexpr int kParamTabHeight = 520;

// The designed layout, indexed by Ctl.
const std::array<CtlDesign, static_cast<std::size_t>(Ctl::Count)>& ParamLayout();
inline const CtlDesign& Design(Ctl control) {
    return ParamLayout()[static_cast<std::size_t>(control)];
}
