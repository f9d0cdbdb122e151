#include "builder/param_layout.h"

namespace {
using K = CtlKind;

constexpr std::uint32_t kRed = 0xFF0000;
constexpr std::uint32_t kBlue = 0x0000FF;
constexpr std::uint32_t kDarkBlue = 0x000080;
constexpr std::uint32_t kLightYellow = 0xFFFFC0;
constexpr std::uint32_t kLightGreen = 0xC0FFC0;

// The note as designed; the load procedure puts the current language's text over it.
constexpr std::string_view kNoteFr =
    "Ce menu de configuration n'est accessible que dans cette version . \n"
    "En modifiant le nom de l'application, ce menu ne sera pas présent dans votre Tavorin.";
constexpr std::string_view kProNoteFr =
    "Ce menu de configuration n'est accessible que dans cette version . \n"
    "En modifiant le nom de l'application, ce menu ne sera pas présent dans votre Tavorin.\n"
    "Votre version Pro sera sans publicité ce qui augmentera la place disponible pour vos infos "
    "(ou vos propres publicités)";

// Lists and the drop-down list carry their designed entries in caption, one a line.
// The period labels size themselves to their text and the drop-down list between them
// is placed by the load procedure: their left edges and widths are left at 0 here.
// clang-format off
constexpr std::array<CtlDesign, static_cast<std::size_t>(Ctl::Count)> kLayout{{
    {.id = Ctl::SSTab1, .name = "SSTab1", .kind = K::TabControl, .tab = -1,
     .rect = {120, 120, 10125, 7095}, .caption = ""},
    {.id = Ctl::cmdUndo, .name = "cmdUndo", .kind = K::Button, .tab = -1,
     .rect = {8520, 7320, 1695, 375}, .caption = ""},

    {.id = Ctl::lblName, .name = "lblName", .kind = K::Label, .tab = 0,
     .rect = {240, 600, 1815, 255}, .caption = ""},
    {.id = Ctl::txtName, .name = "txtName", .kind = K::TextBox, .tab = 0,
     .rect = {2160, 600, 2055, 285}, .caption = "MyTavorin", .maxLength = 15},
    {.id = Ctl::lblWeb, .name = "lblWeb", .kind = K::Label, .tab = 0,
     .rect = {240, 960, 1695, 255}, .caption = "Web page adress"},
    {.id = Ctl::txtWebPage, .name = "txtWebPage", .kind = K::TextBox, .tab = 0,
     .rect = {2160, 960, 6255, 285}, .caption = ""},
    {.id = Ctl::cmdTestWebPage, .name = "cmdTestWebPage", .kind = K::Button, .tab = 0,
     .rect = {8640, 930, 1215, 330}, .caption = ""},
    {.id = Ctl::lblIcon, .name = "lblIcon", .kind = K::Label, .tab = 0,
     .rect = {240, 1320, 1695, 255}, .caption = ""},
    {.id = Ctl::Image1, .name = "Image1", .kind = K::Picture, .tab = 0,
     .rect = {960, 1320, 1095, 855}, .caption = ""},
    {.id = Ctl::lblIconPath, .name = "lblIconPath", .kind = K::Label, .tab = 0,
     .rect = {2160, 1320, 6255, 285}, .caption = "", .border = true},
    {.id = Ctl::cmdBrowse, .name = "cmdBrowse", .kind = K::Button, .tab = 0,
     .rect = {8640, 1290, 1215, 330}, .caption = ""},
    {.id = Ctl::WebBrowser1, .name = "WebBrowser1", .kind = K::Browser, .tab = 0,
     .rect = {2160, 1800, 6255, 4335}, .caption = ""},
    {.id = Ctl::lblInfo1, .name = "lblInfo(1)", .kind = K::Label, .tab = 0,
     .rect = {120, 2280, 1935, 3855}, .caption = kNoteFr, .border = true, .pointSize = 12,
     .color = kRed, .background = kLightYellow},
    {.id = Ctl::lblEvery0, .name = "lblEvery(0)", .kind = K::Label, .tab = 0,
     .rect = {360, 6480, 0, 0}, .caption = "", .bold = true, .color = kDarkBlue},
    {.id = Ctl::cmbDelai, .name = "cmbDelai", .kind = K::ComboList, .tab = 0,
     .rect = {0, 6435, 855, 315}, .caption = "5\n15\n30\n60"},
    {.id = Ctl::lblEvery1, .name = "lblEvery(1)", .kind = K::Label, .tab = 0,
     .rect = {0, 6480, 0, 0}, .caption = "", .bold = true, .color = kDarkBlue},

    {.id = Ctl::lblInfoFree, .name = "lblInfoFree", .kind = K::Label, .tab = 1,
     .rect = {360, 720, 2895, 375}, .caption = "", .bold = true, .pointSize = 12,
     .color = kBlue},
    {.id = Ctl::lblProgramFiles, .name = "lblProgramFiles", .kind = K::Label, .tab = 1,
     .rect = {360, 1320, 4335, 255}, .caption = ""},
    {.id = Ctl::lblDest, .name = "lblDest", .kind = K::Label, .tab = 1,
     .rect = {4800, 1320, 1935, 255}, .caption = ""},
    {.id = Ctl::lblFolder, .name = "lblFolder", .kind = K::Label, .tab = 1,
     .rect = {6600, 1305, 3375, 285}, .caption = "", .border = true},
    {.id = Ctl::lstProgr, .name = "lstProgr", .kind = K::ListBox, .tab = 1,
     .rect = {360, 1600, 7095, 1230}, .caption = ""},
    {.id = Ctl::cmdSelfMake, .name = "cmdSelfMake", .kind = K::Button, .tab = 1,
     .rect = {7680, 1800, 2175, 495}, .caption = ""},
    {.id = Ctl::cmdShowFiles, .name = "cmdShowFiles", .kind = K::Button, .tab = 1,
     .rect = {7800, 2520, 1935, 375}, .caption = "", .visible = false},
    {.id = Ctl::lblSystemFiles, .name = "lblSystemFiles", .kind = K::Label, .tab = 1,
     .rect = {360, 2880, 8655, 255}, .caption = "", .visible = false},
    {.id = Ctl::chkAddSyst, .name = "chkAddSyst", .kind = K::CheckBox, .tab = 1,
     .rect = {7680, 3000, 2380, 1335}, .caption = ""},
    {.id = Ctl::lstSyst, .name = "lstSyst", .kind = K::ListBox, .tab = 1,
     .rect = {360, 3160, 7095, 1425}, .caption = "", .visible = false},
    {.id = Ctl::Line1, .name = "Line1", .kind = K::Line, .tab = 1,
     .rect = {360, 4860, 8640, 0}, .caption = ""},
    {.id = Ctl::lblInstall, .name = "lblInstall", .kind = K::Label, .tab = 1,
     .rect = {360, 5040, 8655, 495}, .caption = "", .color = kBlue},
    {.id = Ctl::lstInstall, .name = "lstInstall", .kind = K::ListBox, .tab = 1,
     .rect = {360, 5520, 3855, 1035}, .caption = ""},
    {.id = Ctl::cmdPayInstall, .name = "cmdPayInstall", .kind = K::Button, .tab = 1,
     .rect = {4440, 5520, 2775, 495}, .caption = ""},
    {.id = Ctl::cmdMailInstall, .name = "cmdMailInstall", .kind = K::Button, .tab = 1,
     .rect = {4440, 6075, 2775, 495}, .caption = ""},
    {.id = Ctl::lblInfo0, .name = "lblInfo(0)", .kind = K::Label, .tab = 1,
     .rect = {7320, 5520, 2655, 1095}, .caption = kNoteFr, .border = true, .color = kRed,
     .background = kLightYellow},

    {.id = Ctl::lblPro, .name = "lblPro", .kind = K::Label, .tab = 2,
     .rect = {600, 1440, 9015, 1695}, .caption = "", .pointSize = 12, .color = kBlue},
    {.id = Ctl::lblStep0, .name = "lblStep(0)", .kind = K::Label, .tab = 2,
     .rect = {2040, 3240, 2775, 375}, .caption = "1", .bold = true, .pointSize = 18,
     .centred = true},
    {.id = Ctl::lblStep1, .name = "lblStep(1)", .kind = K::Label, .tab = 2,
     .rect = {5040, 3240, 2775, 375}, .caption = "2", .bold = true, .pointSize = 18,
     .centred = true},
    {.id = Ctl::cmdPayPro, .name = "cmdPayPro", .kind = K::Button, .tab = 2,
     .rect = {2040, 3675, 2775, 855}, .caption = ""},
    {.id = Ctl::cmdMailPro, .name = "cmdMailPro", .kind = K::Button, .tab = 2,
     .rect = {5040, 3675, 2775, 855}, .caption = ""},
    {.id = Ctl::lblInfo2, .name = "lblInfo(2)", .kind = K::Label, .tab = 2,
     .rect = {2040, 4920, 5895, 1815}, .caption = kProNoteFr, .border = true, .pointSize = 12,
     .color = kRed, .background = kLightGreen},
}};
// clang-format on

constexpr bool InEnumOrder() {
    for (std::size_t i = 0; i < kLayout.size(); ++i)
        if (static_cast<std::size_t>(kLayout[i].id) != i) return false;
    return true;
}
static_assert(InEnumOrder(), "the layout is indexed by Ctl");
}  // namespace

const std::array<CtlDesign, static_cast<std::size_t>(Ctl::Count)>& ParamLayout() {
    return kLayout;
}
